#include "platform/child_process.h"

#include <cstring>
#include <utility>

namespace platform {

bool StartProcess(const char* application, char* commandLine, KernelHandle* process) {
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    std::memset(&info, 0, sizeof info);
    if (!CreateProcessA(application, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    KernelHandle started(info.hProcess), thread(info.hThread);
    if (process) *process = std::move(started);
    return true;
}

bool RunProcess(const char* application, char* commandLine, DWORD* exitCode) {
    KernelHandle process;
    if (!StartProcess(application, commandLine, &process)) return false;
    if (WaitForSingleObject(process.get(), INFINITE) == WAIT_FAILED) return false;
    return GetExitCodeProcess(process.get(), exitCode) != FALSE;
}

}  // namespace platform
