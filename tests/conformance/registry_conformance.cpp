// Registry reads and writes as Windows answers for them.
#include <cstring>

#include "check.h"
#include "platform/handles.h"

namespace {
const char kKey[] = "Software\\WinsimConformance";

struct CleanKey {
    CleanKey() { Clean(); }
    ~CleanKey() { Clean(); }
    static void Clean() {
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\WinsimConformance\\Child\\Grandchild");
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\WinsimConformance\\Child");
        RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
    }
};
}  // namespace

CONFORMANCE_CASE(QueryValueSizesAndMissingValues) {
    CleanKey clean;
    platform::RegKey key;
    CHECK_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.out(), nullptr),
             ERROR_SUCCESS);
    const char text[] = "hello";
    CHECK_EQ(RegSetValueExA(key.get(), "Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text),
             ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    CHECK_EQ(RegQueryValueExA(key.get(), "text", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    CHECK_EQ(size, static_cast<DWORD>(sizeof text));
    CHECK_EQ(type, static_cast<DWORD>(REG_SZ));
    char small[3];
    size = sizeof small;
    CHECK_EQ(RegQueryValueExA(key.get(), "Text", nullptr, nullptr, reinterpret_cast<LPBYTE>(small), &size),
             ERROR_MORE_DATA);
    CHECK_EQ(size, static_cast<DWORD>(sizeof text));
    CHECK_EQ(RegQueryValueExA(key.get(), "Absent", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    DWORD big = 0x12345678;
    CHECK_EQ(RegSetValueExA(key.get(), "Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&big), 4), ERROR_SUCCESS);
    DWORD value = 0;
    size = sizeof value;
    CHECK_EQ(RegQueryValueExA(key.get(), "NUMBER", nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size),
             ERROR_SUCCESS);
    CHECK_EQ(value, 0x12345678u);
    CHECK_EQ(type, static_cast<DWORD>(REG_DWORD));
    // A string into a 4-byte number: too large, refused.
    size = sizeof value;
    CHECK_EQ(RegQueryValueExA(key.get(), "Text", nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size),
             ERROR_MORE_DATA);
}

CONFORMANCE_CASE(OpenMissingKeyGives2AndDeleteRefusesParents) {
    CleanKey clean;
    platform::RegKey key;
    CHECK_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\WinsimConformance\\Nothing", 0, KEY_READ, key.out()),
             ERROR_FILE_NOT_FOUND);
    platform::RegKey child;
    CHECK_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\WinsimConformance\\Child\\Grandchild", 0, nullptr, 0,
                             KEY_ALL_ACCESS, nullptr, child.out(), nullptr),
             ERROR_SUCCESS);
    child.reset();
    CHECK(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\WinsimConformance\\Child") != ERROR_SUCCESS);
    CHECK_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\WinsimConformance\\Child\\Grandchild"), ERROR_SUCCESS);
    CHECK_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\WinsimConformance\\Child"), ERROR_SUCCESS);
}

CONFORMANCE_CASE(EnumKeysAndDeleteValues) {
    CleanKey clean;
    platform::RegKey key;
    CHECK_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\WinsimConformance\\Child", 0, nullptr, 0, KEY_ALL_ACCESS,
                             nullptr, key.out(), nullptr),
             ERROR_SUCCESS);
    key.reset();
    CHECK_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_ALL_ACCESS, key.out()), ERROR_SUCCESS);
    char name[512];
    DWORD size = sizeof name;
    CHECK_EQ(RegEnumKeyExA(key.get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    CHECK_STR(name, "Child");
    CHECK_EQ(size, 5u);
    size = sizeof name;
    CHECK_EQ(RegEnumKeyExA(key.get(), 1, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    CHECK_EQ(RegDeleteValueA(key.get(), "Absent"), ERROR_FILE_NOT_FOUND);
}

// The values of a key one by one, as the pre-flight check lists them. Wine
// hands them out sorted by name, Windows in no promised order: only the set
// is checked.
CONFORMANCE_CASE(EnumValuesNamesTypesAndSizes) {
    CleanKey clean;
    platform::RegKey key;
    CHECK_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.out(), nullptr),
             ERROR_SUCCESS);
    DWORD five = 5;
    CHECK_EQ(RegSetValueExA(key.get(), "Beta", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&five), 4), ERROR_SUCCESS);
    CHECK_EQ(RegSetValueExA(key.get(), "alpha", 0, REG_SZ, reinterpret_cast<const BYTE*>("hello"), 6), ERROR_SUCCESS);
    std::string seen;
    DWORD index = 0;
    for (;; ++index) {
        char name[64];
        BYTE data[16];
        DWORD nameSize = sizeof name, type = 0, dataSize = sizeof data;
        LSTATUS status = RegEnumValueA(key.get(), index, name, &nameSize, nullptr, &type, data, &dataSize);
        if (status == ERROR_NO_MORE_ITEMS) break;
        CHECK_EQ(status, ERROR_SUCCESS);
        if (status != ERROR_SUCCESS) break;
        CHECK_EQ(nameSize, static_cast<DWORD>(std::strlen(name)));
        seen += std::string(name) + ":" + std::to_string(type) + ":" + std::to_string(dataSize) + ";";
    }
    CHECK_EQ(index, 2u);
    CHECK(seen == "Beta:4:4;alpha:1:6;" || seen == "alpha:1:6;Beta:4:4;");
    // A name that does not fit: 234, and the size is not told.
    char small[3];
    DWORD smallSize = sizeof small;
    CHECK_EQ(RegEnumValueA(key.get(), 0, small, &smallSize, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    CHECK_EQ(smallSize, 3u);
}

// How the uninstallation tells a registry link from a key: opened with
// REG_OPTION_OPEN_LINK, a link is the link itself and holds
// "SymbolicLinkValue" of type REG_LINK (its target's native path in UTF-16);
// a plain key opened so is the key, without that value. winsim never makes
// nor follows registry links (README, Limits): the link is made where Windows
// and Wine make it.
CONFORMANCE_CASE(OpenLinkOptionShowsARegistryLinkItself) {
    CleanKey clean;
    platform::RegKey key;
    CHECK_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.out(), nullptr),
             ERROR_SUCCESS);
    platform::RegKey plain;
    CHECK_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kKey, REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE, plain.out()), ERROR_SUCCESS);
    DWORD type = REG_NONE;
    CHECK_EQ(RegQueryValueExA(plain.get(), "SymbolicLinkValue", nullptr, &type, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
#ifdef _WIN32
    // A volatile link to a key that does not exist: nothing outlives the run.
    const char linkName[] = "Software\\WinsimConformanceLink";
    const wchar_t target[] = L"\\Registry\\Machine\\Software\\WinsimConformanceNowhere";
    platform::RegKey made;
    CHECK_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, linkName, 0, nullptr, REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE,
                             KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, made.out(), nullptr),
             ERROR_SUCCESS);
    CHECK_EQ(RegSetValueExA(made.get(), "SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(target),
                            sizeof target - sizeof target[0]),
             ERROR_SUCCESS);
    platform::RegKey link;
    CHECK_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, linkName, REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE, link.out()),
             ERROR_SUCCESS);
    CHECK_EQ(RegQueryValueExA(link.get(), "SymbolicLinkValue", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
    CHECK_EQ(type, static_cast<DWORD>(REG_LINK));
    // Opened without the option, the link leads to its target: here none.
    platform::RegKey followed;
    CHECK_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, linkName, 0, KEY_QUERY_VALUE, followed.out()), ERROR_FILE_NOT_FOUND);
#endif
}
