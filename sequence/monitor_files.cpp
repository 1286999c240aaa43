#include "sequence/monitor_files.h"

MonitorFileSet GetMonitorFileSet(PlatformClass) { return MonitorFileSet{nullptr, nullptr, nullptr, nullptr}; }
bool CopyToSystemDirectory(const char*) { return false; }
void DeleteFromSystemDirectory(const char*) {}
MonitorRemoval RemovePrintMonitor(const char*) { return MonitorNotFound; }
bool RegisterPrintMonitor(const char*, PlatformClass) { return false; }
bool RegisterEventLogSource(const char*, const char*, const char*, DWORD) { return false; }
