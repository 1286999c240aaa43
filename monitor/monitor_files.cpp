// The monitor's DLLs in the system directory, its registration with the
// spooler, and the event-log source.
#include "monitor/monitor_files.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "base/output.h"
#include "platform/handles.h"

namespace {

// The spooler environment of 64-bit Windows.
const char kEnvironmentX64[] = "Windows x64";

// The spooler's "A" functions take non-const strings that they only read.
LPSTR SpoolerText(const char* text) { return const_cast<LPSTR>(text); }

}  // namespace

MonitorFileSet GetMonitorFileSet(const EditionProfile& edition, PlatformClass platform) {
    switch (platform) {
        case Supported32:
            return MonitorFileSet{edition.monitorDll32, edition.uiDll32, edition.cairoDll32, edition.oldMonitorDll32};
        case Supported64:
            return MonitorFileSet{edition.monitorDll64, edition.uiDll64, edition.cairoDll64, edition.oldMonitorDll64};
        case Unsupported:
            break;
    }
    return MonitorFileSet{nullptr, nullptr, nullptr, nullptr};
}

bool CopyToSystemDirectory(const char* fileName) {
    if (!fileName) return false;
    char systemDir[kSystemCopyPathSize];
    UINT length = GetSystemDirectoryA(systemDir, sizeof systemDir);
    if (length == 0 || length >= sizeof systemDir) return false;
    char target[kSystemCopyPathSize];
    int n = std::snprintf(target, sizeof target, "%s\\%s", systemDir, fileName);
    // A target path that does not fit is refused rather than cut.
    if (n < 0 || static_cast<size_t>(n) >= sizeof target) return false;
    return CopyFileA(fileName, target, FALSE) != FALSE;
}

void DeleteFromSystemDirectory(const char* fileName) {
    if (!fileName) return;
    char path[kSystemDeletePathSize];
    size_t nameLength = std::strlen(fileName);
    // The system directory gets the room that the path leaves beside the
    // backslash, the name and the terminator.
    const size_t beside = 2;
    if (nameLength + beside >= sizeof path) return;
    UINT room = static_cast<UINT>(sizeof path - beside - nameLength);
    UINT length = GetSystemDirectoryA(path, room);
    if (length == 0 || length >= room) return;
    int n = std::snprintf(path + length, sizeof path - length, "\\%s", fileName);
    if (n < 0 || static_cast<size_t>(n) >= sizeof path - length) return;
    // Clear read-only, hidden and system first; a missing file is no error.
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path);
}

MonitorRemoval RemovalOf(BOOL deleted, DWORD error) {
    if (deleted) return {MonitorRemoved, 0};
    switch (error) {
        case ERROR_UNKNOWN_PRINT_MONITOR:
            return {MonitorNotFound, error};
        case ERROR_BUSY:
            return {MonitorBusy, error};
        case ERROR_CALL_NOT_IMPLEMENTED:
            return {MonitorNotSupported, error};
        default:
            return {MonitorRemovalFailed, error};
    }
}

bool RemovalLetsRunGoOn(const MonitorRemoval& removal) {
    return removal.outcome == MonitorRemoved || removal.outcome == MonitorNotFound;
}

MonitorRemoval RemovePrintMonitor(const char* serverName, const char* monitorName) {
    if (DeleteMonitorA(SpoolerText(serverName), nullptr, SpoolerText(monitorName))) return RemovalOf(TRUE, 0);
    return RemovalOf(FALSE, GetLastError());
}

void PrintMonitorRemoval(const MonitorRemoval& removal) {
    switch (removal.outcome) {
        case MonitorRemoved:
            break;
        case MonitorNotFound:
            PrintText("    (Print Monitor Not Found)\n");
            break;
        case MonitorBusy:
            PrintText("ERROR Print Monitor Is Used By Spooler.\n");
            break;
        case MonitorNotSupported:
            PrintText("ERROR This function is not supported on this system.\n");
            break;
        case MonitorRemovalFailed:
            PrintFormatted("ERROR (%lu) While Removing Print Monitor.\n", static_cast<unsigned long>(removal.error));
            break;
    }
}

MonitorRegistration RegisterPrintMonitor(const char* serverName, const EditionProfile& edition,
                                         PlatformClass platform) {
    MONITOR_INFO_2A record;
    record.pName = nullptr;
    record.pEnvironment = nullptr;  // the spooler's own environment
    record.pDLLName = nullptr;
    if (platform == Supported32) {
        record.pName = SpoolerText(edition.productWord);
        record.pDLLName = SpoolerText(edition.monitorDll32);
    } else if (platform == Supported64) {
        record.pName = SpoolerText(edition.productWord);
        record.pEnvironment = SpoolerText(kEnvironmentX64);
        record.pDLLName = SpoolerText(edition.monitorDll64);
    }
    if (AddMonitorA(SpoolerText(serverName), 2, reinterpret_cast<LPBYTE>(&record))) return {true, 0};
    return {false, GetLastError()};
}

bool RegisterEventLogSource(const char* logName, const char* sourceName, const char* messageFile,
                            DWORD categoryCount) {
    if (!logName || !sourceName || !messageFile) return false;
    char keyPath[kEventSourceKeyPathSize];
    int n = std::snprintf(keyPath, sizeof keyPath, "SYSTEM\\CurrentControlSet\\Services\\EventLog\\%s\\%s", logName,
                          sourceName);
    // A key path that does not fit is refused rather than cut.
    if (n < 0 || static_cast<size_t>(n) >= sizeof keyPath) return false;

    platform::RegKey key;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                        key.out(), &disposition) != ERROR_SUCCESS)
        return false;

    const BYTE* fileData = reinterpret_cast<const BYTE*>(messageFile);
    DWORD fileSize = static_cast<DWORD>(std::strlen(messageFile) + 1);  // the terminator counted
    DWORD typesSupported = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    if (RegSetValueExA(key.get(), "EventMessageFile", 0, REG_EXPAND_SZ, fileData, fileSize) != ERROR_SUCCESS)
        return false;
    if (RegSetValueExA(key.get(), "TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&typesSupported),
                       sizeof typesSupported) != ERROR_SUCCESS)
        return false;
    if (RegSetValueExA(key.get(), "CategoryMessageFile", 0, REG_EXPAND_SZ, fileData, fileSize) != ERROR_SUCCESS)
        return false;
    if (RegSetValueExA(key.get(), "CategoryCount", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&categoryCount),
                       sizeof categoryCount) != ERROR_SUCCESS)
        return false;
    return true;
}

void DeleteMonitorFileSet(const MonitorFileSet& set) {
    for (const char* name : {set.monitorDll, set.uiDll, set.oldMonitorDll, set.cairoDll})
        if (name) DeleteFromSystemDirectory(name);
}
