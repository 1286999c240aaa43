// Readers of values below a key path in HKEY_LOCAL_MACHINE, with a default
// when the key or the value is absent.
#pragma once

#include <cstddef>

#include "platform/win32.h"

// The key path below HKEY_LOCAL_MACHINE (key path, a backslash, subkey) holds
// at most 1000 characters; a longer one names no key.
constexpr size_t kRegistryKeyPathSize = 1001;

// Reads the string value valueName of HKLM\keyPath\subkey into buffer
// (bufferSize bytes). The buffer always ends up terminated; a value that does
// not fit leaves the default in place.
void GetHklmSubkeyString(const char* subkey, const char* valueName, const char* defaultText, char* buffer,
                         DWORD bufferSize, const char* keyPath, REGSAM extraAccess);
// Reads the number valueName of HKLM\keyPath\subkey: a value of 1 to 4 bytes
// of any type, zero-extended; the default when it is absent, empty or longer.
DWORD GetHklmSubkeyDword(const char* subkey, const char* valueName, DWORD defaultValue, const char* keyPath);
