// The run driver: from process entry to exit code.
#pragma once

struct RunOptions {
    bool uninstall;
    bool ignoreErrors;
    bool configFromRegistry;
    bool copyFiles;
    bool showUsage;
    bool obsoleteClientSwitch;
    const char* serverName;   // none: the local spooler
    const char* logFilePath;  // none: the default log
    const char* iniFilePath;  // none: the INI file beside the installer
};

// Fills the options from the arguments after the program name. Sets
// enterpriseEdition for "-a".
void ParseCommandLine(int argc, char** argv, RunOptions* options);

bool RunInstaller(int argc, char** argv);
void ReleaseRunResources();

void DisableFsRedirection();
bool IsDotNet20Installed();
const char* GetBuildYear();
bool AcquireInstallMutex();

// The process's exit code for a run's result: 0, or -1 (all bits set).
int ExitCodeFor(bool result);
