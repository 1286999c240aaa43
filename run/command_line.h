// The command line of the installer (and of the pre-flight check), and the
// run plan made from it and the machine.
#pragma once

#include "base/run_plan.h"

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

// Fills the options from the arguments after the program name: each is
// compared in full against the switch table; "-l" and "-i" take the rest of
// their argument; anything else is the server name (the last one wins).
void ParseCommandLine(int argc, char** argv, RunOptions* options);

// The run plan of the options on this machine: the edition's profile, the
// configuration-file path (the INI file beside the installer, in the current
// directory, unless "-i" names another), the print server, the switches.
RunPlan MakeRunPlan(const RunOptions& options);

// Makes the folder of argument 0 (cut to 259 characters) the current
// directory; a program name without a folder leaves it as it is.
void SetInstallerFolderAsCurrent(const char* programName);
