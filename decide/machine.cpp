#include "decide/machine.h"

#include <cstring>

#include "base/edition.h"
#include "client/client_files.h"
#include "client/locations.h"
#include "decide/names.h"
#include "monitor/monitor_files.h"
#include "platform/handles.h"
#include "portcfg/port_record.h"

namespace {

const char kMonitorsKey[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\";
// A computer's name has at most 15 characters (MAX_COMPUTERNAME_LENGTH); a
// DNS name at most 255.
constexpr DWORD kComputerNameSize = 256;

// A spooler enumeration by the two-call protocol into a block of its own:
// *count records, or an error (0 when it answered).
template <class Call>
DWORD Enumerate(Call call, std::vector<BYTE>* block, DWORD* count) {
    *count = 0;
    DWORD needed = 0, returned = 0;
    if (call(nullptr, 0, &needed, &returned)) return 0;  // nothing to list
    DWORD error = GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER) return error;
    block->assign(needed, 0);
    if (!call(block->data(), needed, &needed, &returned)) return GetLastError();
    *count = returned;
    return 0;
}

std::string Text(const char* text) { return text ? text : ""; }

bool IsProductMonitor(const std::string& monitor) {
    return SameName(monitor, kStandardEdition.productWord) || SameName(monitor, kEnterpriseEdition.productWord);
}

void ReadRecord(PortReading* port) {
    port->recordRead = true;
    std::string path = kMonitorsKey + port->monitor + "\\Ports\\" + port->name;
    platform::RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, key.out()) != ERROR_SUCCESS) return;
    std::vector<BYTE> record(kPortRecordSize);
    DWORD size = kPortRecordSize, type = 0;
    LSTATUS status = RegQueryValueExA(key.get(), "Record", nullptr, &type, record.data(), &size);
    if (status == ERROR_MORE_DATA) {
        // A record too large is still kept as it is stored.
        port->recordSize = size;
        record.resize(size);
        status = RegQueryValueExA(key.get(), "Record", nullptr, &type, record.data(), &size);
    }
    if (status != ERROR_SUCCESS || size > record.size()) return;
    port->recordSize = size;
    port->recordFound = true;
    port->recordType = type;
    port->recordBytes.assign(reinterpret_cast<const char*>(record.data()), size);
    // Decoded only when it has the record's size.
    DecodeRecord(record.data(), size, &port->fields);
}

SpoolerReading ReadSpooler(const char* server, bool records) {
    SpoolerReading spooler;
    LPSTR name = const_cast<LPSTR>(server);
    std::vector<BYTE> block;
    DWORD count = 0;
    spooler.error = Enumerate(
        [name](LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
            return EnumPortsA(name, 2, buffer, size, needed, returned);
        },
        &block, &count);
    if (spooler.error) return spooler;
    count = count > block.size() / sizeof(PORT_INFO_2A) ? static_cast<DWORD>(block.size() / sizeof(PORT_INFO_2A)) : count;
    const auto* ports = reinterpret_cast<const PORT_INFO_2A*>(block.data());
    for (DWORD i = 0; i < count; ++i) {
        PortReading port;
        port.name = Text(ports[i].pPortName);
        port.monitor = Text(ports[i].pMonitorName);
        if (records && IsProductMonitor(port.monitor)) ReadRecord(&port);
        spooler.ports.push_back(port);
    }
    if (Enumerate(
            [name](LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
                return EnumMonitorsA(name, 2, buffer, size, needed, returned);
            },
            &block, &count) != 0)
        return spooler;
    count = count > block.size() / sizeof(MONITOR_INFO_2A) ? static_cast<DWORD>(block.size() / sizeof(MONITOR_INFO_2A))
                                                           : count;
    const auto* monitors = reinterpret_cast<const MONITOR_INFO_2A*>(block.data());
    for (DWORD i = 0; i < count; ++i)
        spooler.monitors.push_back({Text(monitors[i].pName), Text(monitors[i].pEnvironment), Text(monitors[i].pDLLName)});
    return spooler;
}

}  // namespace

bool DecodeRecord(const BYTE* data, size_t size, RecordFields* fields) {
    fields->clear();
    if (!data || size != kPortRecordSize) return false;
    for (size_t i = 0; i < kPortFieldCount; ++i) {
        const PortField& field = kPortFields[i];
        FieldValue value;
        value.field = i;
        if (field.kind == PortFieldKind::Number) {
            std::memcpy(&value.number, data + field.recordOffset, sizeof value.number);
            if (value.number != field.numberDefault) fields->push_back(value);
            continue;
        }
        for (size_t unit = 0; unit + 1 < kPortStringSize; ++unit) {
            WCHAR c;
            std::memcpy(&c, data + field.recordOffset + unit * sizeof(WCHAR), sizeof c);
            if (c == 0) break;
            value.text += c;
        }
        if (!(value == FieldIn(RecordFields(), i))) fields->push_back(value);
    }
    return true;
}

RecordFields RecordFieldsOf(const PortSettings& settings) {
    PortRecord record;
    BuildPortRecord(&settings, &record, &MultiByteToWideChar);
    RecordFields fields;
    DecodeRecord(reinterpret_cast<const BYTE*>(&record), sizeof record, &fields);
    return fields;
}

FieldValue FieldIn(const RecordFields& fields, size_t i) {
    for (const FieldValue& value : fields)
        if (value.field == i) return value;
    FieldValue value;
    value.field = i;
    const PortField& field = kPortFields[i];
    if (field.kind == PortFieldKind::Number) value.number = field.numberDefault;
    else
        for (const char* c = field.textDefault; *c; ++c) value.text += static_cast<WCHAR>(static_cast<unsigned char>(*c));
    return value;
}

DWORD SystemFileAttributes(const MachineReading& m, const std::string& name) {
    for (const SystemFileReading& file : m.systemFiles)
        if (SameName(file.name, name)) return file.attributes;
    return INVALID_FILE_ATTRIBUTES;
}

bool NamesThisMachine(const std::string& server) {
    char name[kComputerNameSize] = {};
    DWORD size = sizeof name;
    if (!GetComputerNameA(name, &size)) return false;
    size_t start = server.find_first_not_of('\\');
    return start != std::string::npos && SameName(server.substr(start), name);
}

MachineReading ReadMachine(const char* server) {
    MachineReading m;
    m.local = ReadSpooler(nullptr, true);
    if (server && *server) {
        m.server = server;
        m.serverIsThisMachine = NamesThisMachine(server);
        if (!m.serverIsThisMachine) m.remote = ReadSpooler(server, false);
    }

    std::vector<BYTE> block;
    DWORD count = 0;
    m.printersError = Enumerate(
        [](LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
            return EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, buffer, size, needed, returned);
        },
        &block, &count);
    count = count > block.size() / sizeof(PRINTER_INFO_2A) ? static_cast<DWORD>(block.size() / sizeof(PRINTER_INFO_2A))
                                                           : count;
    const auto* printers = reinterpret_cast<const PRINTER_INFO_2A*>(block.data());
    m.printers.reserve(count);
    for (DWORD i = 0; i < count; ++i) {
        const PRINTER_INFO_2A& p = printers[i];
        m.printers.push_back({Text(p.pPrinterName), Text(p.pPortName), p.Attributes, Text(p.pShareName),
                              Text(p.pDriverName), Text(p.pComment), Text(p.pLocation), Text(p.pSepFile),
                              Text(p.pPrintProcessor), Text(p.pDatatype), Text(p.pParameters), p.Priority,
                              p.DefaultPriority, p.StartTime, p.UntilTime});
    }

    char directory[kSystemCopyPathSize] = {};
    UINT length = GetSystemDirectoryA(directory, sizeof directory);
    if (length > 0 && length < sizeof directory) m.systemDirectory = directory;
    for (const EditionProfile* edition : {&kStandardEdition, &kEnterpriseEdition}) {
        for (PlatformClass platform : {Supported32, Supported64}) {
            MonitorFileSet set = GetMonitorFileSet(*edition, platform);
            for (const char* name : {set.monitorDll, set.uiDll, set.cairoDll, set.oldMonitorDll}) {
                if (!name) continue;
                SystemFileReading file{name, INVALID_FILE_ATTRIBUTES};
                if (!m.systemDirectory.empty())
                    file.attributes = GetFileAttributesA((m.systemDirectory + "\\" + name).c_str());
                m.systemFiles.push_back(file);
            }
        }
    }

    char folder[kClientFolderInstallSize] = {};
    m.clientFolderKnown = GetClientFolder(folder, sizeof folder);
    if (m.clientFolderKnown) {
        m.clientFolder = folder;
        m.clientFolderAttributes = GetFileAttributesA(folder);
    }
    char autostart[kWalkPathSize] = {};
    m.autostartSet = ReadClientAutostart(autostart, sizeof autostart);
    m.autostart = autostart;
    return m;
}
