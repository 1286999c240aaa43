// winsim's print spooler: where it keeps monitors, ports and printers, and
// the handle that OpenPrinterA and OpenPrinterW give out.
//
// Layout in a hive (HKLM of the machine, or of a print server it knows):
//   SYSTEM\CurrentControlSet\Control\Print\Monitors\NAME         "Driver", "Environment"
//   SYSTEM\CurrentControlSet\Control\Print\Monitors\NAME\Ports\P  one key per port of the monitor;
//                                                                the stand-in monitor keeps the
//                                                                port's last record in "Record"
//   SYSTEM\CurrentControlSet\Control\Print\Printers\NAME         "Port", "Attributes", ...
// The standard local ports belong to the monitor "Local Port".
#pragma once

#include <string>
#include <vector>

#include "winsim/machine.h"

namespace winsim {

struct PrinterObject : Object {
    static constexpr const char* Kind = "printer";
    PrinterObject() : Object(Kind) {}
    std::string hive;     // the spooler's hive
    bool xcv = false;     // an Xcv channel of a monitor
    bool server = false;  // the print server's own handle
    std::string monitor;  // the monitor of an Xcv channel
    std::string printer;  // the printer's name (its key below Printers)
    DWORD access = 0;
};

struct PortEntry {
    std::string name, monitor;
};

extern const char* const kLocalMonitor;  // "Local Port"

// The hive of the spooler that a server name addresses: none, empty or the
// machine's own name is the local spooler; a server the machine knows has its
// own; any other name fails with RPC_S_SERVER_UNAVAILABLE (into *error).
bool SpoolerHive(const char* server, std::string* hive, DWORD* error);
std::string MonitorKey(const std::string& monitor);
std::string PortsKey(const std::string& monitor);
std::string PrinterKey(const std::string& printer);
// Every port of every monitor, in the spooler's order (monitors, then ports,
// each sorted by name); valid until the next call into winsim.
const std::vector<PortEntry>& ListPorts(const std::string& hive);
// The monitor that owns a port ("" when no monitor has it), without regard to case.
std::string PortMonitor(const std::string& hive, const std::string& port);
// What names a monitor's Xcv channel in a printer name: ",XcvMonitor NAME"
// (local spooler) or "\\\\SERVER\\,XcvMonitor NAME".
extern const char* const kXcvMonitorPrefix;  // ",XcvMonitor "
// Opens the Xcv channel such a name names, with the access asked for;
// OpenPrinterA and OpenPrinterW answer with it.
BOOL OpenXcv(const std::string& name, DWORD access, LPHANDLE handle);
// Lays a fresh spooler into a hive: the local monitor with its standard ports.
bool CreateSpooler(const std::string& hive);

}  // namespace winsim
