// The Xcv channel of a monitor and the stand-in port monitor behind it.
//
// OpenPrinterW (and OpenPrinterA) opens ",XcvMonitor NAME" (local spooler) or
// "SERVER\,XcvMonitor NAME" (a print server the machine knows) for a monitor
// registered with that spooler. XcvDataW hands the command to the monitor:
// every monitor but the local one is the stand-in port monitor, which keeps
// its ports where port monitors keep them, one key per port below
// Print\Monitors\NAME\Ports, and the last configuration record of a port in
// its value "Record" (REG_BINARY). Removing the monitor's key therefore
// removes its ports.
//
// The stand-in answers, with exact-case command names:
//   "AddPort"      UTF-16 port name  -> creates the port; 183 when it exists
//   "SetPortData"  11608-byte record -> stores it for the port its PortName
//                                       field names; 2 for an unknown port,
//                                       87 for a record of another size
//   "DeletePort"   UTF-16 port name  -> removes the port; 2 when it is missing
//   anything else                    -> 87
// Faults: "Xcv:AddPort PORT STATUS" (and Xcv:SetPortData, Xcv:DeletePort)
// make the monitor answer STATUS; "XcvDataW COMMAND ERROR" makes the call
// itself fail; "OpenPrinterW NAME ERROR" refuses the open.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "internal.h"
#include "winsim/spooler.h"
#include "wire/port_fields.h"

namespace winsim {
namespace {

const DWORD kRecordSize = kPortRecordSize;
const size_t kRecordNameOffset = offsetof(PortRecord, PortName);
const size_t kRecordNameUnits = kPortNameSize;

// The text of a UTF-16 string of at most maxUnits units (terminator
// included); false when no terminator comes within them.
bool WideText(const BYTE* data, size_t maxUnits, std::string* text) {
    std::u16string wide;
    for (size_t i = 0; i < maxUnits; ++i) {
        char16_t unit = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
        if (unit == 0) {
            *text = Utf16ToAnsi(wide);
            return true;
        }
        wide += unit;
    }
    return false;
}

std::string WideArgument(LPCWSTR text) {
    std::u16string wide;
    if (text)
        for (const WCHAR* p = text; *p; ++p) wide += static_cast<char16_t>(*p);
    return Utf16ToAnsi(wide);
}

// The registered monitor of that name in a spooler's hive, spelled as it is
// registered; empty when there is none.
std::string RegisteredMonitor(const std::string& hive, const std::string& name) {
    if (name.empty() || name.find('\\') != std::string::npos) return std::string();
    for (const auto& monitor : reg::Subkeys(hive, kMonitorsKey))
        if (EqualNoCase(monitor, name)) return monitor;
    return std::string();
}

bool ValidPortName(const std::string& name) { return !name.empty() && name.find('\\') == std::string::npos; }

DWORD AddPort(const PrinterObject& xcv, const std::string& port) {
    std::string key = PortsKey(xcv.monitor) + "\\" + port;
    if (reg::KeyExists(xcv.hive, key)) return ERROR_ALREADY_EXISTS;
    return reg::CreateKey(xcv.hive, key) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

DWORD SetPortData(const PrinterObject& xcv, const std::string& port, const BYTE* record) {
    std::string key = PortsKey(xcv.monitor) + "\\" + port;
    if (!reg::KeyExists(xcv.hive, key)) return ERROR_FILE_NOT_FOUND;
    RegValue value;
    value.type = REG_BINARY;
    value.data.assign(reinterpret_cast<const char*>(record), kRecordSize);
    return reg::SetValue(xcv.hive, key, "Record", value) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

DWORD DeletePort(const PrinterObject& xcv, const std::string& port) {
    std::string key = PortsKey(xcv.monitor) + "\\" + port;
    if (!reg::KeyExists(xcv.hive, key)) return ERROR_FILE_NOT_FOUND;
    return reg::DeleteTree(xcv.hive, key) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// The stand-in monitor's answer to one command; *port gets the port it concerns.
DWORD Answer(const PrinterObject& xcv, const std::string& command, const BYTE* input, DWORD inputSize,
              std::string* port) {
    bool changes = command == "AddPort" || command == "SetPortData" || command == "DeletePort";
    if (!changes || EqualNoCase(xcv.monitor, kLocalMonitor)) return ERROR_INVALID_PARAMETER;
    if (command == "SetPortData") {
        if (!input || inputSize != kRecordSize) return ERROR_INVALID_PARAMETER;
        if (!WideText(input + kRecordNameOffset, kRecordNameUnits, port) || !ValidPortName(*port))
            return ERROR_INVALID_PARAMETER;
    } else {
        if (!input || !WideText(input, inputSize / 2, port) || port->empty()) return ERROR_INVALID_PARAMETER;
        if (!ValidPortName(*port)) return ERROR_INVALID_NAME;
    }
    DWORD status;
    if (TakeFault("Xcv:" + command, *port, &status)) return status;
    if (!(xcv.access & SERVER_ACCESS_ADMINISTER)) return ERROR_ACCESS_DENIED;
    if (command == "AddPort") return AddPort(xcv, *port);
    if (command == "SetPortData") return SetPortData(xcv, *port, input);
    return DeletePort(xcv, *port);
}

// ---- showing the ports and their records ------------------------------------

std::string Utf8Of(const BYTE* data, size_t units) {
    std::u16string text;
    for (size_t i = 0; i < units; ++i) {
        char16_t u = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
        if (u == 0) break;
        text += u;
    }
    return Utf16ToUtf8(text);
}

DWORD NumberAt(const BYTE* data, size_t offset) {
    return static_cast<DWORD>(data[offset]) | (static_cast<DWORD>(data[offset + 1]) << 8) |
           (static_cast<DWORD>(data[offset + 2]) << 16) | (static_cast<DWORD>(data[offset + 3]) << 24);
}

void DecodeRecord(const std::string& bytes, std::string* out) {
    if (bytes.size() != kRecordSize) {
        *out += "      (a record of " + std::to_string(bytes.size()) + " bytes, not " +
                std::to_string(kRecordSize) + ")\n";
        return;
    }
    const BYTE* data = reinterpret_cast<const BYTE*>(bytes.data());
    auto line = [out](const std::string& name, const std::string& value) {
        *out += "      " + name + "=" + value + "\n";
    };
    auto value = [data](const PortField& field) {
        return field.kind == PortFieldKind::Text ? Utf8Of(data + field.recordOffset, kPortStringSize)
                                                 : std::to_string(NumberAt(data, field.recordOffset));
    };
    line("PortName", Utf8Of(data + kRecordNameOffset, kRecordNameUnits));
    // The fields in the record's order, except that each ServerIP entry is
    // followed by its IPLoadBalancing entry (the next field of the table);
    // entries 2 to 10 only where they hold something.
    std::vector<const PortField*> fields;
    for (const PortField& field : kPortFields)
        if (!(field.listEntry && field.kind == PortFieldKind::Number)) fields.push_back(&field);
    std::stable_sort(fields.begin(), fields.end(),
                     [](const PortField* a, const PortField* b) { return a->recordOffset < b->recordOffset; });
    for (const PortField* field : fields) {
        if (!field->listEntry) {
            line(field->key, value(*field));
            continue;
        }
        const PortField& weight = field[1];
        std::string ip = value(*field), load = value(weight);
        if (field->listEntry > 1 && ip.empty() && load == "0") continue;
        line(field->key, ip);
        line(weight.key, load);
    }
}

void ShowSpooler(const std::string& hive, const std::string& label, std::string* out) {
    for (const auto& monitor : reg::Subkeys(hive, kMonitorsKey)) {
        if (EqualNoCase(monitor, kLocalMonitor)) continue;
        *out += "  Monitor " + monitor + " (" + label + ")\n";
        auto ports = reg::Subkeys(hive, PortsKey(monitor));
        if (ports.empty()) *out += "    (no ports)\n";
        for (const auto& port : ports) {
            *out += "    " + port + "\n";
            RegValue record;
            if (reg::GetValue(hive, PortsKey(monitor) + "\\" + port, "Record", &record)) DecodeRecord(record.data, out);
            else *out += "      (no configuration)\n";
        }
    }
}

}  // namespace

void ShowPorts(std::string* out) {
    *out += "\nPorts of the port monitors:\n";
    std::string before = *out;
    ShowSpooler("registry/HKLM", "local spooler", out);
    for (const auto& server : Config().servers) {
        std::string hive;
        DWORD error = 0;
        if (SpoolerHive(server.c_str(), &hive, &error)) ShowSpooler(hive, "server " + server, out);
    }
    if (*out == before) *out += "  (none)\n";
}

const char* const kXcvMonitorPrefix = ",XcvMonitor ";

BOOL OpenXcv(const std::string& text, DWORD access, LPHANDLE printer) {
    size_t at = text.find(kXcvMonitorPrefix);
    if (at == std::string::npos) return Fail(ERROR_INVALID_PRINTER_NAME);
    // The server name, when there is one, ends in the backslash before the comma.
    std::string server = text.substr(0, at);
    if (!server.empty()) {
        if (server.back() != '\\') return Fail(ERROR_INVALID_PRINTER_NAME);
        server.pop_back();
    }
    std::string hive;
    DWORD error = 0;
    if (!SpoolerHive(server.empty() ? nullptr : server.c_str(), &hive, &error)) return Fail(error);
    std::string monitor = RegisteredMonitor(hive, text.substr(at + std::strlen(kXcvMonitorPrefix)));
    if (monitor.empty()) return Fail(ERROR_UNKNOWN_PORT);
    auto object = std::make_unique<PrinterObject>();
    object->hive = hive;
    object->xcv = true;
    object->monitor = monitor;
    object->access = access;
    *printer = NewHandle(std::move(object));
    return TRUE;
}

}  // namespace winsim

using namespace winsim;

extern "C" {

BOOL WINAPI OpenPrinterW(LPWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults) {
    if (!printer) return Fail(ERROR_INVALID_PARAMETER);
    *printer = nullptr;
    std::string text = WideArgument(name);
    DWORD error;
    if (TakeFault("OpenPrinterW", text, &error)) return Fail(error);
    if (!name) return Fail(ERROR_INVALID_PRINTER_NAME);
    return OpenXcv(text, defaults ? defaults->DesiredAccess : 0, printer);
}

BOOL WINAPI XcvDataW(HANDLE xcv, LPCWSTR dataName, PBYTE input, DWORD inputSize, PBYTE output, DWORD outputSize,
                     PDWORD needed, PDWORD status) {
    auto* object = Lookup<PrinterObject>(xcv);
    if (!object || !object->xcv) return Fail(ERROR_INVALID_HANDLE);
    // The size pointer is looked at first; then what the call would carry.
    if (!needed) return Fail(ERROR_INVALID_PARAMETER);
    if (!dataName || !status || (!output && outputSize)) return Fail(RPC_X_NULL_REF_POINTER);
    std::string command = WideArgument(dataName);
    DWORD error;
    if (TakeFault("XcvDataW", command, &error)) return Fail(error);
    *needed = 0;
    std::string port;
    *status = Answer(*object, command, input, inputSize, &port);
    Journal("xcv " + command + (port.empty() ? std::string() : " " + port) + " status " + std::to_string(*status));
    return TRUE;
}

}  // extern "C"
