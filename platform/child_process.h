// Child processes: started without inheriting the installer's handles.
#pragma once

#include "platform/handles.h"

namespace platform {

// Starts a program; the command line may be changed by the system. When
// process is given it receives the process handle; otherwise the handle is
// closed at once and the program runs on by itself.
bool StartProcess(const char* application, char* commandLine, KernelHandle* process);
// Starts a program and waits until it ends. False when it cannot be started
// or waited for; otherwise *exitCode holds its exit code.
bool RunProcess(const char* application, char* commandLine, DWORD* exitCode);

}  // namespace platform
