#include "base/registry_read.h"

#include <cstdio>
#include <cstring>

#include "platform/handles.h"

namespace {

bool FormatKeyPath(char (&path)[kRegistryKeyPathSize], const char* keyPath, const char* subkey) {
    int n = std::snprintf(path, sizeof path, "%s\\%s", keyPath ? keyPath : "", subkey ? subkey : "");
    return n >= 0 && static_cast<size_t>(n) < sizeof path;
}

}  // namespace

void GetHklmSubkeyString(const char* subkey, const char* valueName, const char* defaultText, char* buffer,
                         DWORD bufferSize, const char* keyPath, REGSAM extraAccess) {
    if (!buffer || bufferSize == 0) return;
    const char* fallback = defaultText ? defaultText : "";
    size_t n = std::strlen(fallback);
    if (n > bufferSize - 1) n = bufferSize - 1;
    std::memcpy(buffer, fallback, n);
    buffer[n] = '\0';
    buffer[bufferSize - 1] = '\0';
    char path[kRegistryKeyPathSize];
    if (!FormatKeyPath(path, keyPath, subkey)) return;  // a path that does not fit names no key
    platform::RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE | extraAccess, key.out()) != ERROR_SUCCESS) return;
    DWORD size = bufferSize;
    LSTATUS status = RegQueryValueExA(key.get(), valueName, nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size);
    if (status != ERROR_SUCCESS) {
        // A value too large for the buffer leaves the buffer's content
        // undefined: go back to the default.
        if (status == ERROR_MORE_DATA) {
            std::memcpy(buffer, fallback, n);
            buffer[n] = '\0';
        }
        buffer[bufferSize - 1] = '\0';
        return;
    }
    // A value stored without its terminator, or one that fills the buffer,
    // still ends terminated.
    if (size < bufferSize) buffer[size] = '\0';
    buffer[bufferSize - 1] = '\0';
}

DWORD GetHklmSubkeyDword(const char* subkey, const char* valueName, DWORD defaultValue, const char* keyPath) {
    DWORD result = defaultValue;
    char path[kRegistryKeyPathSize];
    if (!FormatKeyPath(path, keyPath, subkey)) return result;
    platform::RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, key.out()) != ERROR_SUCCESS) return result;
    // A value of 1 to 4 bytes, of any type, is read into a zeroed number: a
    // shorter one is zero-extended. An empty value keeps the default, and so
    // does a longer one, which the 4-byte buffer cannot take.
    DWORD value = 0, size = sizeof value;
    if (RegQueryValueExA(key.get(), valueName, nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size) ==
            ERROR_SUCCESS &&
        size >= 1 && size <= sizeof value)
        result = value;
    return result;
}
