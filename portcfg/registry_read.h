// Readers of values below a key path in HKEY_LOCAL_MACHINE, with a default
// when the key or the value is absent.
#pragma once

#include "platform/win32.h"

// Reads the string value valueName of HKLM\keyPath\subkey into buffer
// (bufferSize bytes). The buffer always ends up terminated; a value that does
// not fit leaves the default in place.
void GetHklmSubkeyString(const char* subkey, const char* valueName, const char* defaultText, char* buffer,
                         DWORD bufferSize, const char* keyPath, REGSAM extraAccess);
DWORD GetHklmSubkeyDword(const char* subkey, const char* valueName, DWORD defaultValue, const char* keyPath);
