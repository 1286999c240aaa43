#include "platform/handles.h"
#include "sequence/version.h"

bool IsWow64() {
    HMODULE kernel = GetModuleHandleA("kernel32");
    auto isWow64Process = platform::BindProc<LPFN_ISWOW64PROCESS>(kernel, "IsWow64Process");
    BOOL answer = FALSE;
    if (isWow64Process) isWow64Process(GetCurrentProcess(), &answer);
    return answer != FALSE;
}
