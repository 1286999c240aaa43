// Printers moved onto the monitor's new ports, and taken off its ports.
#pragma once

#include "platform/win32.h"

// A zero-filled block from GlobalAlloc (GMEM_FIXED); null when none could be had.
HGLOBAL GlobalAllocZeroed(SIZE_T bytes);

void AssignPrinters(int count, bool fromIniFile);
int SetPrinterPort(const char* printerName, const char* portName);

void DisconnectPrinters(const char* monitorName);
void DisconnectPrinter(const char* printerName, const char* monitorName);
bool IsMonitorPort(const char* portName, const char* monitorName);
