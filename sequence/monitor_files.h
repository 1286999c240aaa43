// The monitor's DLLs in the system directory, its registration with the
// spooler, and the event-log source.
#pragma once

#include "platform/win32.h"
#include "sequence/version.h"

// The monitor file set of a platform class in the edition in force. Names are
// bare file names; a role without a file (the old monitor DLL of the
// Enterprise edition, every role of Unsupported) is null.
struct MonitorFileSet {
    const char* monitorDll;
    const char* uiDll;
    const char* cairoDll;
    const char* oldMonitorDll;  // only ever deleted
};
MonitorFileSet GetMonitorFileSet(PlatformClass platform);

bool CopyToSystemDirectory(const char* fileName);
void DeleteFromSystemDirectory(const char* fileName);
// Deletes the set from the system directory: the monitor DLL, the UI DLL,
// the old monitor DLL and the Cairo library, in this order; nothing is reported.
void DeleteMonitorFileSet(const MonitorFileSet& set);

enum MonitorRemoval {
    MonitorRemoved,
    MonitorNotFound,
    MonitorBusy,
    MonitorNotSupported,
    MonitorRemovalFailed,
};
MonitorRemoval RemovePrintMonitor(const char* serverName);
bool RegisterPrintMonitor(const char* serverName, PlatformClass platform);
bool RegisterEventLogSource(const char* logName, const char* sourceName, const char* messageFile,
                            DWORD categoryCount);
