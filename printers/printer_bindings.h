// Printers moved onto the monitor's new ports, and taken off its ports.
#pragma once

#include <cstddef>

#include "base/run_plan.h"
#include "platform/handles.h"
#include "platform/win32.h"

// A printer named by an assignment key holds at most 259 characters.
constexpr size_t kPrinterNameSize = 260;
// A port-list entry is looked up in a 260-byte buffer: one of more than 259
// characters is never taken for a port of the monitor.
constexpr size_t kPortEntrySize = 260;

// The keys of a port section that name printers, in the order they are read:
// "AssignPrinter", then "AssignPrinter2" to "AssignPrinter10" (there is no
// "AssignPrinter1").
constexpr int kAssignKeyCount = 10;
constexpr size_t kAssignKeySize = sizeof "AssignPrinter-2147483648";
void FormatAssignKey(int k, char (&key)[kAssignKeySize]);
// The printer that key k of port section n names, read into 260 bytes (a
// longer name from the INI file is cut to 259 characters, one from the
// registry names none); empty when it names none.
void ReadAssignedPrinter(int n, int k, const RunPlan& plan, char (&name)[kPrinterNameSize]);

// Moves the printers named in port sections 1 to count of the run's source
// onto the ports of their sections, a line for each.
void AssignPrinters(int count, const RunPlan& plan);
// Makes portName the printer's only port. True when the spooler took it.
bool SetPrinterPort(const char* printerName, const char* portName);

// The local spooler's printers (PRINTER_INFO_4A, level 4) by the two-call
// protocol, in a block the caller owns; *count gets how many it holds. An
// empty block when there are none or the spooler cannot list them.
platform::GlobalBlock EnumLocalPrinters(DWORD* count);

// The printers the disconnection looks at: those of the local spooler whose
// attributes hold PRINTER_ATTRIBUTE_LOCAL.
bool IsDisconnectedPrinter(DWORD attributes);
void DisconnectPrinters(const char* monitorName);
void DisconnectPrinter(const char* printerName, const char* monitorName);
// True when the spooler has a port of that name that belongs to that monitor.
bool IsMonitorPort(const char* portName, const char* monitorName);
// True when a port of the spooler's table (its name and monitor as EnumPortsA
// gives them) is the port named by a port-list entry and belongs to the
// monitor: the names compared without regard to case by lstrcmpiA, as the
// system compares text of the ANSI code page.
bool IsEntryOfMonitorPort(const char* tablePort, const char* tableMonitor, const char* entry, const char* monitor);

// Takes out of a comma-separated port list, where it stands, every entry for
// which `test` holds, each with one separating comma: the comma after it, or
// for the last entry the comma before it. The entries are tested in order,
// each once; an entry longer than kPortEntrySize - 1 characters is never
// tested and stays. The list only gets shorter. True when it changed.
typedef bool (*PortEntryTest)(const char* entry, void* context);
bool RemovePortEntries(char* ports, PortEntryTest test, void* context);
// The disconnection's edit of one printer's port list: every entry for which
// `test` holds leaves (RemovePortEntries), and a list left empty becomes
// "FILE:". Returns the list to write back (ports itself, or "FILE:"), or
// null when the list is empty or no entry left: then nothing is written.
const char* DisconnectionPortList(char* ports, PortEntryTest test, void* context);
