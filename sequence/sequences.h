// The install and uninstall sequences.
#pragma once

bool InstallPortMonitor(bool ignoreErrors, const char* serverName, bool configFromRegistry, bool copyFiles);
bool UninstallPortMonitor(const char* serverName, bool copyFiles);
