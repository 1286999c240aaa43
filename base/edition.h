// The edition profile: the names that differ between the standard and the
// Enterprise edition, and what else sets the two apart.
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
    // The old monitor DLLs, only ever deleted from the system directory; null
    // where the edition has none.
    const char* oldMonitorDll32;
    const char* oldMonitorDll64;
    // The client application ships with the edition: its files are checked,
    // deployed and removed.
    bool shipsClient;
    // A run needs the .NET Framework 2.0 (the client application does).
    bool needsDotNet;
    // A port that works without server communication neither encrypts nor
    // refreshes its server list, whatever its section says.
    bool serverlessPortRule;
};

extern const EditionProfile kStandardEdition;
extern const EditionProfile kEnterpriseEdition;
