// What RegEnumValueA and RegQueryValueExA tell when a buffer does not fit or
// a value is not there, as Wine's registry tests state Windows' answers.
#include <cstring>
#include <string>

#include "check.h"
#include "platform/handles.h"

namespace {

const char kKey[] = "Software\\WinsimConformanceAnswers";

}  // namespace

// A value "Test" of 7 bytes ("foobar") listed into name and data buffers of
// several sizes. Data that does not fit: 234, its size and type told, both
// buffers and the name's size as they were. A name that does not fit: 234,
// the name cut into its buffer, the data handed out, the name's size as it
// was (Windows XP leaves both buffers as they were).
CONFORMANCE_CASE(EnumValueTellsWhatDoesNotFit) {
    platform::RegKey key;
    CHECK_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.out(), nullptr),
             ERROR_SUCCESS);
    CHECK_EQ(RegSetValueExA(key.get(), "Test", 0, REG_SZ, reinterpret_cast<const BYTE*>("foobar"), 7), ERROR_SUCCESS);
    const struct Row {
        DWORD nameRoom, dataRoom;
        LSTATUS status;
        DWORD nameSize;
        const char *name, *data;  // the buffers afterwards
    } rows[] = {
        {20, 20, ERROR_SUCCESS, 4, "Test", "foobar"},
        {2, 2, ERROR_MORE_DATA, 2, "xxxxxxxxxx", "xxxxxxxxxx"},
        {3, 16, ERROR_MORE_DATA, 3, "Te", "foobar"},
        {0, 16, ERROR_MORE_DATA, 0, "xxxxxxxxxx", "foobar"},
        {20, 2, ERROR_MORE_DATA, 20, "xxxxxxxxxx", "xxxxxxxxxx"},
    };
    for (const auto& row : rows) {
        char name[20], data[30];
        std::strcpy(name, "xxxxxxxxxx");
        std::strcpy(data, "xxxxxxxxxx");
        DWORD nameSize = row.nameRoom, dataSize = row.dataRoom, type = 1234;
        LSTATUS status = RegEnumValueA(key.get(), 0, name, &nameSize, nullptr, &type, reinterpret_cast<LPBYTE>(data),
                                       &dataSize);
        std::string what = "name " + std::to_string(row.nameRoom) + ", data " + std::to_string(row.dataRoom) + ": ";
        CHECK_STR(what + std::to_string(status) + " " + std::to_string(nameSize) + " " + std::to_string(dataSize) +
                      " " + std::to_string(type) + " " + name + " " + data,
                  what + std::to_string(row.status) + " " + std::to_string(row.nameSize) + " 7 1 " + row.name + " " +
                      row.data);
    }
    // A value of no bytes: its size 0, the data buffer as it was.
    CHECK_EQ(RegSetValueExA(key.get(), "Test", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    char name[20], data[20] = "xxxxxxxxxx";
    DWORD nameSize = sizeof name, dataSize = sizeof data, type = 1234;
    CHECK_EQ(RegEnumValueA(key.get(), 0, name, &nameSize, nullptr, &type, reinterpret_cast<LPBYTE>(data), &dataSize),
             ERROR_SUCCESS);
    CHECK_STR(std::to_string(dataSize) + " " + std::to_string(type) + " " + data, "0 3 xxxxxxxxxx");
    // No name buffer, or no room for it told: 87.
    CHECK_EQ(RegEnumValueA(key.get(), 0, nullptr, &nameSize, nullptr, &type, nullptr, nullptr),
             ERROR_INVALID_PARAMETER);
    CHECK_EQ(RegEnumValueA(key.get(), 0, name, nullptr, nullptr, &type, nullptr, nullptr), ERROR_INVALID_PARAMETER);
    key.reset();
    RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
}

// A value that is not there, in HKEY_CLASSES_ROOT and in a key of one's own:
// 2; a size query is told 0, a read with a buffer leaves the size as it
// was. One variable passed as both the type and the size works. A successful
// read leaves the last error as it was.
CONFORMANCE_CASE(QueryValueOfMissingValuesAndOneVariableForTypeAndSize) {
    platform::RegKey key;
    CHECK_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.out(), nullptr),
             ERROR_SUCCESS);
    const DWORD qw[2] = {0x12345678, 0x87654321};
    CHECK_EQ(RegSetValueExA(key.get(), "BIN32", 0, REG_BINARY, reinterpret_cast<const BYTE*>(qw), 4), ERROR_SUCCESS);
    BYTE buffer[10];
    for (HKEY root : {HKEY_CLASSES_ROOT, key.get()}) {
        std::string what = root == HKEY_CLASSES_ROOT ? "HKEY_CLASSES_ROOT: " : "own key: ";
        DWORD type = 0xDEADBEEF, size = 0xDEADBEEF;
        LSTATUS status = RegQueryValueExA(root, "Nonexistent Value", nullptr, &type, nullptr, &size);
        CHECK_STR(what + std::to_string(status) + " " + std::to_string(size), what + "2 0");
        size = sizeof buffer;
        status = RegQueryValueExA(root, "Nonexistent Value", nullptr, &type, buffer, &size);
        CHECK_STR(what + std::to_string(status) + " " + std::to_string(size), what + "2 10");
    }
    DWORD size = 4;
    SetLastError(0xDEADBEEF);
    CHECK_EQ(RegQueryValueExA(key.get(), "BIN32", nullptr, &size, buffer, &size), ERROR_SUCCESS);
    CHECK_EQ(GetLastError(), 0xDEADBEEFu);
    DWORD value = 0;
    std::memcpy(&value, buffer, 4);
    CHECK_EQ(value, 0x12345678u);
    key.reset();
    RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
}
