// RegQueryValueExA into a caller's buffer: strings stored by the ANSI call,
// and the registry view of a 32-bit process on 64-bit Windows.
#include <cstring>

#include "check.h"
#include "platform/handles.h"

namespace {

const char kKey[] = "Software\\WinsimConformanceQuery";
const char kViewKey[] = "SOFTWARE\\WinsimConformanceView";

typedef BOOL(WINAPI* IsWow64Proc)(HANDLE, PBOOL);

bool IsWow64() {
    BOOL wow64 = FALSE;
    platform::Library kernel(LoadLibraryA("kernel32.dll"));
    auto isWow64 = platform::BindProc<IsWow64Proc>(kernel.get(), "IsWow64Process");
    return isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64;
}

void DeleteViewKeys() {
    for (REGSAM view : {static_cast<REGSAM>(KEY_WOW64_32KEY), static_cast<REGSAM>(KEY_WOW64_64KEY)}) {
        platform::RegKey key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kViewKey, 0, KEY_ALL_ACCESS | view, key.out()) == ERROR_SUCCESS)
            RegDeleteKeyA(key.get(), "");
    }
}

}  // namespace

// RegSetValueExA stores a string whose size leaves out its terminator with
// the terminator (Windows looks at the byte after the data); a string of no
// bytes stays one of no bytes, other types stay as given. Read back into a
// buffer of exactly the stored size, the bytes are the string's.
CONFORMANCE_CASE(AnsiStringsAreStoredWithTheirTerminator) {
    platform::RegKey key;
    CHECK_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.out(), nullptr),
             ERROR_SUCCESS);
    const char kText[] = "ThisNeverBreaks";
    const char kZeros[] = "This\0Breaks\0\0A\0\0\0Lot\0\0\0";
    const struct Row {
        const char* what;
        DWORD type;
        const char* data;
        DWORD size, stored;
    } rows[] = {
        {"15 characters without their terminator", REG_SZ, kText, 15, 16},
        {"15 characters with it", REG_SZ, kText, 16, 16},
        {"no bytes", REG_SZ, "", 0, 0},
        {"an empty string", REG_SZ, "", 1, 1},
        {"zero bytes inside", REG_SZ, kZeros, sizeof kZeros, sizeof kZeros},
        {"binary bytes", REG_BINARY, kText, 15, 15},
    };
    for (const auto& row : rows) {
        std::string what = std::string(row.what) + ": ";
        CHECK_EQ(RegSetValueExA(key.get(), "Value", 0, row.type, reinterpret_cast<const BYTE*>(row.data), row.size),
                 ERROR_SUCCESS);
        char buffer[64];
        std::memset(buffer, 'x', sizeof buffer);
        DWORD size = row.stored;
        LSTATUS status = RegQueryValueExA(key.get(), "Value", nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size);
        CHECK_STR(what + std::to_string(status) + " " + std::to_string(size), what + "0 " + std::to_string(row.stored));
        CHECK(std::memcmp(buffer, row.data, row.stored) == 0 && buffer[row.stored] == 'x');
    }
    key.reset();
    RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
}

CONFORMANCE_CASE(QueryDwordIntoFourBytes) {
    platform::RegKey key;
    CHECK_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.out(), nullptr),
             ERROR_SUCCESS);
    DWORD stored = 9100;
    CHECK_EQ(RegSetValueExA(key.get(), "Port", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&stored), 4),
             ERROR_SUCCESS);
    DWORD value = 0, size = sizeof value;
    CHECK_EQ(RegQueryValueExA(key.get(), "port", nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size),
             ERROR_SUCCESS);
    CHECK_EQ(value, 9100u);
    CHECK_EQ(size, 4u);
    key.reset();
    RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
}

// A 32-bit process on 64-bit Windows sees HKLM\SOFTWARE through its 32-bit
// view unless it asks for the other.
CONFORMANCE_CASE(HklmSoftwareIsSeenThroughThe32BitView) {
    if (!IsWow64()) return;  // one view only
    DeleteViewKeys();
    platform::RegKey key;
    CHECK_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kViewKey, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr,
                             key.out(), nullptr),
             ERROR_SUCCESS);
    key.reset();
    CHECK_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kViewKey, 0, KEY_QUERY_VALUE, key.out()), ERROR_FILE_NOT_FOUND);
    CHECK_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kViewKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.out(), nullptr),
             ERROR_SUCCESS);
    key.reset();
    CHECK_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kViewKey, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, key.out()),
             ERROR_SUCCESS);
    key.reset();
    CHECK_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Wow6432Node\\WinsimConformanceView", 0,
                           KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.out()),
             ERROR_SUCCESS);
    key.reset();
    DeleteViewKeys();
    CHECK_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kViewKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.out()),
             ERROR_FILE_NOT_FOUND);
}
