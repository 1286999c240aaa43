#include "base/wow64.h"

#include "platform/handles.h"

// Both entry points are looked up at run time: Windows without WOW64 lacks them.

bool IsWow64() {
    auto isWow64Process = platform::BindProc<LPFN_ISWOW64PROCESS>(GetModuleHandleA("kernel32"), "IsWow64Process");
    BOOL answer = FALSE;
    if (isWow64Process) isWow64Process(GetCurrentProcess(), &answer);
    return answer != FALSE;
}

void DisableFsRedirection() {
    typedef BOOL(WINAPI * DisableFn)(PVOID*);
    auto disable = platform::BindProc<DisableFn>(GetModuleHandleA("kernel32.dll"), "Wow64DisableWow64FsRedirection");
    if (!disable) return;
    PVOID saved = nullptr;  // redirection stays off: the state is not restored
    disable(&saved);
}
