// RegQueryValueExA into a caller's buffer: strings stored without their
// terminator, and the registry view of a 32-bit process on 64-bit Windows.
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

CONFORMANCE_CASE(QueryStringStoredWithoutTerminator) {
    platform::RegKey key;
    CHECK_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.out(), nullptr),
             ERROR_SUCCESS);
    CHECK_EQ(RegSetValueExA(key.get(), "Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("abcd"), 4), ERROR_SUCCESS);
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    DWORD size = 4;
    LSTATUS status = RegQueryValueExA(key.get(), "Bare", nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size);
    if (conformance::UnderWine()) {
        // Wine stores the string with a terminator that RegSetValueExA adds.
        CHECK_EQ(status, ERROR_MORE_DATA);
        CHECK_EQ(size, 5u);
    } else {
        // Exactly its size: the bytes come back without a terminator.
        CHECK_EQ(status, ERROR_SUCCESS);
        CHECK_EQ(size, 4u);
        CHECK(std::memcmp(buffer, "abcdx", 5) == 0);
    }
    // With room to spare the string ends terminated.
    std::memset(buffer, 'x', sizeof buffer);
    size = sizeof buffer;
    CHECK_EQ(RegQueryValueExA(key.get(), "Bare", nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size),
             ERROR_SUCCESS);
    CHECK_EQ(size, conformance::UnderWine() ? 5u : 4u);
    CHECK_STR(buffer, "abcd");
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
