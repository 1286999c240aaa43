// Ports of the monitor, created and configured over its Xcv channel.
#pragma once

#include "platform/win32.h"
#include "portcfg/port_record.h"
#include "portcfg/port_settings.h"

// The spooler and kernel entry points bound at run time, in this order.
typedef BOOL(WINAPI* OpenPrinterWProc)(LPWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults);
typedef BOOL(WINAPI* XcvDataWProc)(HANDLE xcv, LPCWSTR dataName, PBYTE input, DWORD inputSize, PBYTE output,
                                   DWORD outputSize, PDWORD needed, PDWORD status);
struct SpoolerEntryPoints {
    OpenPrinterWProc openPrinterW = nullptr;
    XcvDataWProc xcvDataW = nullptr;
    MultiByteToWideCharProc multiByteToWideChar = nullptr;
};

// Creates and configures one port per port section (1, 2, 3 ... up to the
// first missing one). Returns 1 for success, 0 for failure; *portCount gets
// the number of ports written, always those of sections 1 to *portCount.
// serverName null or empty addresses the local spooler.
int AddPortConfiguration(bool fromIniFile, int* portCount, const char* serverName);

// Creates the port named by settings->PortName with "AddPort" and sends it
// its configuration record with "SetPortData"; a port whose configuration is
// refused is deleted again. Prints "Cannot write configuration ..." on
// failure. True when the port was created and configured.
bool WritePortConfiguration(const PortSettings* settings, HANDLE xcv, const SpoolerEntryPoints* entries);
