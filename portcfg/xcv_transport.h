// Ports of the monitor, created and configured over its Xcv channel.
#pragma once

#include <cstddef>

#include "base/run_plan.h"
#include "platform/win32.h"
#include "portcfg/port_record.h"
#include "portcfg/port_settings.h"

// The Xcv name (",XcvMonitor NAME" or "SERVER\,XcvMonitor NAME") holds at
// most 259 characters; a server name too long for it opens no channel.
constexpr size_t kXcvNameSize = 260;

// The spooler and kernel entry points bound at run time, in this order.
typedef BOOL(WINAPI* OpenPrinterWProc)(LPWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults);
typedef BOOL(WINAPI* XcvDataWProc)(HANDLE xcv, LPCWSTR dataName, PBYTE input, DWORD inputSize, PBYTE output,
                                   DWORD outputSize, PDWORD needed, PDWORD status);
struct SpoolerEntryPoints {
    OpenPrinterWProc openPrinterW = nullptr;
    XcvDataWProc xcvDataW = nullptr;
    MultiByteToWideCharProc multiByteToWideChar = nullptr;
};

// Creates and configures one port per port section of the run's source (1,
// 2, 3 ... up to the first missing one), on the run's print server, and
// prints a line for each port written and for each failure. False when a
// port could not be written; *portCount gets the number of ports written,
// always those of sections 1 to *portCount.
bool AddPortConfiguration(const RunPlan& plan, int* portCount);

// Creates the port named by settings->PortName with "AddPort" and sends it
// its configuration record with "SetPortData"; a port whose configuration is
// refused is deleted again. Returns 0 when the port was created and
// configured, otherwise the error code: the last error of a call that
// failed, or the monitor's status.
DWORD WritePortConfiguration(const PortSettings* settings, HANDLE xcv, const SpoolerEntryPoints* entries);
