// The run driver: from process entry to exit code.
#pragma once

#include "base/run_plan.h"
#include "platform/win32.h"

struct RunOptions {
    bool enterprise = false;
    bool uninstall = false;
    bool ignoreErrors = false;
    bool configFromRegistry = false;
    bool copyFiles = true;
    bool showUsage = false;
    bool obsoleteClientSwitch = false;
    const char* serverName = nullptr;   // none: the local spooler
    const char* logFilePath = nullptr;  // none: the default log
    const char* iniFilePath = nullptr;  // none: the INI file beside the installer
};

// Fills the options from the arguments after the program name.
void ParseCommandLine(int argc, char** argv, RunOptions* options);

// The run plan of the options on this machine: the edition's profile, the
// configuration-file path (the INI file beside the installer, in the current
// directory, unless "-i" names another), the print server, the switches.
RunPlan MakeRunPlan(const RunOptions& options);

// What a run holds until its end besides the install log: the install mutex.
struct RunResources {
    HANDLE mutex = nullptr;
};

bool RunInstaller(int argc, char** argv, RunResources* resources);
// Closes the install log and releases the mutex; after every run.
void ReleaseRunResources(RunResources* resources);

bool IsDotNet20Installed();
const char* GetBuildYear();
bool AcquireInstallMutex(RunResources* resources);

// The process's exit code for a run's result: 0, or -1 (all bits set).
int ExitCodeFor(bool result);
