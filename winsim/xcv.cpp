// The Xcv channel of a monitor and the stand-in port monitor behind it.
#include "winsim/spooler.h"

using namespace winsim;

extern "C" {
BOOL WINAPI OpenPrinterW(LPWSTR, LPHANDLE, LPPRINTER_DEFAULTSW) { return Fail(ERROR_CALL_NOT_IMPLEMENTED); }
BOOL WINAPI XcvDataW(HANDLE, LPCWSTR, PBYTE, DWORD, PBYTE, DWORD, PDWORD, PDWORD) {
    return Fail(ERROR_CALL_NOT_IMPLEMENTED);
}
}
