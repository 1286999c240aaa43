// Profile (INI) files: GetPrivateProfileStringA and GetPrivateProfileIntA.
#include <cstring>

#include "winsim/machine.h"

using namespace winsim;

extern "C" {
DWORD WINAPI GetPrivateProfileStringA(LPCSTR, LPCSTR, LPCSTR defaultText, LPSTR buffer, DWORD size, LPCSTR) {
    if (!buffer || size == 0) return 0;
    std::snprintf(buffer, size, "%s", defaultText ? defaultText : "");
    return static_cast<DWORD>(std::strlen(buffer));
}
UINT WINAPI GetPrivateProfileIntA(LPCSTR, LPCSTR, INT defaultValue, LPCSTR) { return static_cast<UINT>(defaultValue); }
}
