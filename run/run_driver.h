// The run driver: from process entry to exit code.
#pragma once

#include "platform/win32.h"
#include "run/command_line.h"

// What a run holds until its end besides the install log: the install mutex.
struct RunResources {
    HANDLE mutex = nullptr;
};

bool RunInstaller(int argc, char** argv, RunResources* resources);
// Closes the install log and releases the mutex; after every run.
void ReleaseRunResources(RunResources* resources);

const char* GetBuildYear();
bool AcquireInstallMutex(RunResources* resources);

// The process's exit code for a run's result: 0, or -1 (all bits set).
int ExitCodeFor(bool result);
