// The machine as it is, read through the Windows API without changing
// anything: the print spoolers' monitors and ports (the product's ports with
// the records their monitor keeps), the local printers with their port lists
// and attributes, the monitor files in the system directory, and the client's
// folder and autostart entry. One enumeration of each kind; the result is a
// plain value that holds no handle, to be kept, compared and written out.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "portcfg/port_settings.h"

// A field of a port's record (an index of kPortFields) with its value: the
// text of a text field in UTF-16, or a number.
struct FieldValue {
    size_t field = 0;
    std::basic_string<WCHAR> text;
    DWORD number = 0;
    bool operator==(const FieldValue& o) const { return field == o.field && text == o.text && number == o.number; }
};
// The fields of a record that differ from the fields' defaults, in the
// table's order.
using RecordFields = std::vector<FieldValue>;

// Decodes a stored record through the field table; false for a record of
// another size than kPortRecordSize.
bool DecodeRecord(const BYTE* data, size_t size, RecordFields* fields);
// The record the installation builds from port settings, decoded.
RecordFields RecordFieldsOf(const PortSettings& settings);
// The value of field i in decoded fields (the default when it is not among them).
FieldValue FieldIn(const RecordFields& fields, size_t i);

struct MonitorReading {
    std::string name, environment, dll;
};

struct PortReading {
    std::string name, monitor;
    // The record as the monitor keeps it (Monitors\MONITOR\Ports\PORT, value
    // "Record"), read for the product's monitors on the local spooler only.
    bool recordRead = false;
    DWORD recordSize = 0;  // 0: the port has none
    RecordFields fields;   // when the record has the right size
    // The "Record" value as it is stored, for the capture of the machine:
    // whether the port has one (of any size), its type and its bytes.
    bool recordFound = false;
    DWORD recordType = 0;
    std::string recordBytes = "";
};

struct SpoolerReading {
    DWORD error = 0;  // 0, or the error with which the spooler refused to list its ports
    std::vector<MonitorReading> monitors;
    std::vector<PortReading> ports;  // every port of every monitor, in the spooler's order
};

struct PrinterReading {
    std::string name, ports;  // the port list: one port, or several separated by commas
    DWORD attributes = 0;
    // The rest of the printer's definition as level 2 gives it, for the
    // capture of the machine (the device mode, the security descriptor, the
    // status and the job counts are left out).
    std::string shareName = "", driver = "", comment = "", location = "", separatorFile = "", printProcessor = "",
                datatype = "", parameters = "";
    DWORD priority = 0, defaultPriority = 0, startTime = 0, untilTime = 0;
};

struct SystemFileReading {
    std::string name;
    DWORD attributes = INVALID_FILE_ATTRIBUTES;  // INVALID_FILE_ATTRIBUTES: not there
};

struct MachineReading {
    SpoolerReading local;
    // The print server named for the run (a name that is not empty), read as
    // its spooler answers; its records stay unread.
    std::string server;
    bool serverIsThisMachine = false;  // the name is this computer's: its spooler is the local one
    SpoolerReading remote;
    DWORD printersError = 0;
    std::vector<PrinterReading> printers;  // the local spooler's printers
    std::string systemDirectory;
    std::vector<SystemFileReading> systemFiles;  // the monitor files of both editions
    bool clientFolderKnown = false;
    std::string clientFolder;
    DWORD clientFolderAttributes = INVALID_FILE_ATTRIBUTES;
    bool autostartSet = false;
    std::string autostart;
};

// Reads the machine, and the spooler of server when it is a name that is not
// empty. The process has its file-system redirection switched off, as the
// installer has, so that the system directory is the native one.
MachineReading ReadMachine(const char* server);

// The attributes of a monitor file in the system directory as it was read;
// INVALID_FILE_ATTRIBUTES when it is not there (or was not looked for).
DWORD SystemFileAttributes(const MachineReading& m, const std::string& name);

// True when a print server's name, after its leading backslashes, is this
// computer's name: the local spooler answers for it.
bool NamesThisMachine(const std::string& server);

// The spooler a run works on: the print server's when one is named, else the local one.
inline bool TargetIsLocal(const MachineReading& m) { return m.server.empty() || m.serverIsThisMachine; }
inline const SpoolerReading& TargetSpooler(const MachineReading& m) { return TargetIsLocal(m) ? m.local : m.remote; }
