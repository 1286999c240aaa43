// Ports of the monitor, created and configured over its Xcv channel.
#pragma once

// Creates and configures one port per port section (1, 2, 3 ... up to the
// first missing one). Returns 1 for success, 0 for failure; *portCount gets
// the number of ports written, always those of sections 1 to *portCount.
int AddPortConfiguration(bool fromIniFile, int* portCount, const char* serverName);
