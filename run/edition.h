// The edition profile: the twelve names that differ between the standard and
// the Enterprise edition, and the process-wide Enterprise flag.
#pragma once

struct EditionProfile {
    const char* portInstallCfgKey;  // registry key of the port sections under HKLM
    const char* productWord;        // the monitor's name at the spooler, and the word in messages
    const char* portNameFormat;     // the name of the port of section n
    const char* iniFileName;
    const char* uiDll32;
    const char* uiDll64;
    const char* monitorDll32;
    const char* monitorDll64;
    const char* cairoDll32;
    const char* cairoDll64;
    const char* fontFolder;     // below the Program Files folder
    const char* productFolder;  // below the Program Files folder
};

extern const EditionProfile kStandardEdition;
extern const EditionProfile kEnterpriseEdition;

// Set by "-a" while the command line is parsed; never cleared within a run.
extern bool enterpriseEdition;

// The profile in force: the standard set until UseEnterpriseEdition switches
// it, whole, to the Enterprise set.
const EditionProfile& Edition();
void UseEnterpriseEdition();

// Back to the state at process start (for tests that run several runs in one process).
void ResetEdition();

// The INI file's path, at most 1023 characters; a longer text is cut.
void SetConfigFilePath(const char* path);
const char* GetConfigFilePath();
