// The run plan: what one run does, made once from the command line and the
// machine before anything is changed, and handed down to every step.
#pragma once

#include <cstddef>

#include "base/edition.h"

// The configuration-file path holds at most 1023 characters; a longer one is cut.
constexpr size_t kConfigFilePathSize = 1024;
// The path through which the INI file is read: the configuration-file path,
// or ".\" before a bare file name.
constexpr size_t kIniReadPathSize = kConfigFilePathSize + 2;

// Where the port sections come from: the INI file, or the registry key of the
// edition's profile.
struct PortSectionSource {
    bool fromIniFile = true;
    char configFilePath[kConfigFilePathSize] = {};  // the INI file as the run names it
    char iniReadPath[kIniReadPathSize] = {};        // the name the profile functions get
};

struct RunPlan {
    EditionProfile edition = kStandardEdition;
    PortSectionSource sections;
    // The print server named on the command line, as each spooler call gets
    // it: AddMonitorA and DeleteMonitorA the name as given (null for none),
    // the Xcv channel only a name that is not empty (null otherwise).
    const char* spoolerServer = nullptr;
    const char* xcvServer = nullptr;
    bool ignoreErrors = false;
    bool copyFiles = true;
    bool uninstall = false;
    // The install log named with -l (relative to the installer's folder);
    // null or empty: the default log in the Windows directory.
    const char* logFilePath = nullptr;
};

// Stores the configuration-file path, cut at 1023 characters, and the path
// it is read through: a bare file name (no folder, no drive) is read as ".\"
// and the name, from the current directory, which is the installer's folder;
// the profile functions would look for a bare name in the Windows directory.
void SetConfigFilePath(PortSectionSource* source, const char* path);
// The print server of the run: null for none.
void SetPrintServer(RunPlan* plan, const char* serverName);
