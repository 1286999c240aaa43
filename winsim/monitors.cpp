// The spooler's monitors: AddMonitorA and DeleteMonitorA.
#include "winsim/spooler.h"

using namespace winsim;

extern "C" {
BOOL WINAPI AddMonitorA(LPSTR, DWORD, LPBYTE) { return Fail(ERROR_CALL_NOT_IMPLEMENTED); }
BOOL WINAPI DeleteMonitorA(LPSTR, LPSTR, LPSTR) { return Fail(ERROR_CALL_NOT_IMPLEMENTED); }
}
