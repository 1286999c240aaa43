// Printers and the port table: OpenPrinterA, GetPrinterA, SetPrinterA,
// EnumPrintersA, EnumPortsA.
#include "winsim/spooler.h"

using namespace winsim;

extern "C" {
BOOL WINAPI OpenPrinterA(LPSTR, LPHANDLE, LPPRINTER_DEFAULTSA) { return Fail(ERROR_CALL_NOT_IMPLEMENTED); }
BOOL WINAPI GetPrinterA(HANDLE, DWORD, LPBYTE, DWORD, LPDWORD) { return Fail(ERROR_CALL_NOT_IMPLEMENTED); }
BOOL WINAPI SetPrinterA(HANDLE, DWORD, LPBYTE, DWORD) { return Fail(ERROR_CALL_NOT_IMPLEMENTED); }
BOOL WINAPI EnumPrintersA(DWORD, LPSTR, DWORD, LPBYTE, DWORD, LPDWORD needed, LPDWORD returned) {
    if (needed) *needed = 0;
    if (returned) *returned = 0;
    return TRUE;
}
BOOL WINAPI EnumPortsA(LPSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD) { return Fail(ERROR_CALL_NOT_IMPLEMENTED); }
}
