#include "base/dot_net.h"

#include "platform/handles.h"

bool IsDotNet20Installed() {
    platform::RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\NET Framework Setup\\NDP\\v2.0.50727", 0, KEY_READ,
                      key.out()) != ERROR_SUCCESS)
        return false;
    DWORD value = 0, size = sizeof value;
    if (RegQueryValueExA(key.get(), "Install", nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size) !=
        ERROR_SUCCESS)
        return false;
    return value == 1;
}
