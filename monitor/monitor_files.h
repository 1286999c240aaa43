// The monitor's DLLs in the system directory, its registration with the
// spooler, and the event-log source.
#pragma once

#include <cstddef>

#include "base/edition.h"
#include "platform/win32.h"
#include "version/version.h"

// A path in the system directory that a file is copied to holds at most 259
// characters; a longer one fails the copy.
constexpr size_t kSystemCopyPathSize = MAX_PATH;
// A path in the system directory that a file is deleted from holds at most
// 999 characters: the system directory is asked for with the room that the
// backslash, the file name and the terminator leave.
constexpr size_t kSystemDeletePathSize = 1000;
// The event-log source's key path holds at most 259 characters.
constexpr size_t kEventSourceKeyPathSize = MAX_PATH;

// The monitor file set of a platform class in an edition. Names are bare file
// names; a role without a file (the old monitor DLL of the Enterprise
// edition, every role of Unsupported) is null.
struct MonitorFileSet {
    const char* monitorDll;
    const char* uiDll;
    const char* cairoDll;
    const char* oldMonitorDll;  // only ever deleted
};
MonitorFileSet GetMonitorFileSet(const EditionProfile& edition, PlatformClass platform);

bool CopyToSystemDirectory(const char* fileName);
void DeleteFromSystemDirectory(const char* fileName);
// Deletes the set from the system directory: the monitor DLL, the UI DLL,
// the old monitor DLL and the Cairo library, in this order; nothing is reported.
void DeleteMonitorFileSet(const MonitorFileSet& set);

enum MonitorRemovalOutcome {
    MonitorRemoved,
    MonitorNotFound,
    MonitorBusy,
    MonitorNotSupported,
    MonitorRemovalFailed,
};
struct MonitorRemoval {
    MonitorRemovalOutcome outcome;
    DWORD error;  // the spooler's error code; 0 when the monitor was removed
};
// What DeleteMonitorA's answer means: removed, not found (3000), busy (170),
// not supported (120) or failed with another error.
MonitorRemoval RemovalOf(BOOL deleted, DWORD error);
// Whether a run goes on after the removal: it does when the monitor was
// removed or was not there; busy, not supported and failed stop an
// uninstallation, and an installation unless errors are ignored.
bool RemovalLetsRunGoOn(const MonitorRemoval& removal);
// Asks the spooler of serverName (null: the local one) to delete the monitor.
MonitorRemoval RemovePrintMonitor(const char* serverName, const char* monitorName);
// Prints the line of a removal's outcome; a removed monitor has none.
void PrintMonitorRemoval(const MonitorRemoval& removal);

struct MonitorRegistration {
    bool registered;
    DWORD error;  // the spooler's error code when it refused
};
MonitorRegistration RegisterPrintMonitor(const char* serverName, const EditionProfile& edition,
                                         PlatformClass platform);

bool RegisterEventLogSource(const char* logName, const char* sourceName, const char* messageFile,
                            DWORD categoryCount);
