// The capture as its JSON document. Every list is in a fixed order and every
// object's members in a fixed order, so that the same machine gives the same
// bytes. Texts of the ANSI code page become UTF-8 through UTF-16, as Windows
// converts them; a value whose bytes would not come back so is written as
// its bytes.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "check/capture_report.h"

namespace {

using nlohmann::ordered_json;

const char kAuthText[] = "AuthText";

// UTF-16 to UTF-8; false for a lone surrogate, which UTF-8 cannot hold.
bool Utf16ToUtf8(const std::u16string& wide, std::string* out) {
    out->clear();
    for (size_t i = 0; i < wide.size(); ++i) {
        uint32_t code = wide[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF)
            code = 0x10000 + ((code - 0xD800) << 10) + (wide[++i] - 0xDC00);
        else if (code >= 0xD800 && code <= 0xDFFF)
            return false;
        if (code < 0x80) {
            *out += static_cast<char>(code);
        } else if (code < 0x800) {
            *out += static_cast<char>(0xC0 | (code >> 6));
            *out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            *out += static_cast<char>(0xE0 | (code >> 12));
            *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            *out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            *out += static_cast<char>(0xF0 | (code >> 18));
            *out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            *out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return true;
}

// ANSI text as UTF-8; false when a byte is no character of the code page or
// the text holds a zero byte. *out then holds the text with U+FFFD in place of
// what could not be read.
bool AnsiToUtf8(const std::string& ansi, std::string* out) {
    out->clear();
    if (ansi.empty()) return true;
    bool whole = ansi.find('\0') == std::string::npos;
    std::vector<WCHAR> wide(ansi.size());
    int units = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data(), static_cast<int>(ansi.size()),
                                    wide.data(), static_cast<int>(wide.size()));
    if (units <= 0) {
        whole = false;
        units = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(),
                                    static_cast<int>(wide.size()));
    }
    std::u16string text;
    for (int i = 0; i < units; ++i) text += static_cast<char16_t>(wide[static_cast<size_t>(i)]);
    if (!Utf16ToUtf8(text, out)) {
        whole = false;
        out->clear();
        for (char16_t& u : text)
            if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
        Utf16ToUtf8(text, out);
    }
    return whole;
}

std::string Text(const std::string& ansi) {
    std::string utf8;
    AnsiToUtf8(ansi, &utf8);
    return utf8;
}

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out(bytes.size() * 2, '0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        out[2 * i] = kDigits[b >> 4];
        out[2 * i + 1] = kDigits[b & 15];
    }
    return out;
}

bool IsAuthText(const std::string& name) { return lstrcmpiA(name.c_str(), kAuthText) == 0; }

ordered_json RawValue(DWORD type, const std::string& hex) { return {{"type", type}, {"hex", hex}}; }

// A registry value in its shortest form that gives back its type and bytes.
ordered_json ValueJson(const CapturedValue& v, bool secrets) {
    if (!secrets && IsAuthText(v.name)) return {{"type", v.type}, {"withheld", v.data.size()}};
    if ((v.type == REG_SZ || v.type == REG_EXPAND_SZ) && !v.data.empty() && v.data.back() == '\0') {
        std::string utf8;
        if (AnsiToUtf8(v.data.substr(0, v.data.size() - 1), &utf8))
            return {{v.type == REG_SZ ? "sz" : "expandSz", utf8}};
    }
    if (v.type == REG_DWORD && v.data.size() == 4) {
        uint32_t number;
        std::memcpy(&number, v.data.data(), 4);
        return {{"dword", number}};
    }
    return RawValue(v.type, Hex(v.data));
}

// The text of a record's string field: false when it does not end within the
// field, is followed by anything but zeros, or is no well-formed UTF-16.
bool FieldText(const std::string& record, size_t offset, size_t units, std::u16string* text) {
    text->clear();
    size_t i = 0;
    for (; i < units; ++i) {
        char16_t u = static_cast<char16_t>(static_cast<unsigned char>(record[offset + 2 * i]) |
                                           (static_cast<unsigned char>(record[offset + 2 * i + 1]) << 8));
        if (u == 0) break;
        *text += u;
    }
    if (i == units) return false;
    for (size_t j = offset + 2 * i; j < offset + 2 * units; ++j)
        if (record[j] != '\0') return false;
    std::string ignored;
    return Utf16ToUtf8(*text, &ignored);
}

// A record that its fields tell whole (the bytes are nothing but the
// fields): PortName and the fields the reading found to differ from their
// defaults. Null when the bytes hold more than that.
ordered_json RecordFieldsJson(const PortReading& port, bool secrets) {
    const std::string& record = port.recordBytes;
    if (port.recordType != REG_BINARY || record.size() != kPortRecordSize) return nullptr;
    std::u16string text;
    std::string utf8;
    for (const PortField& field : kPortFields)
        if (field.kind == PortFieldKind::Text && !FieldText(record, field.recordOffset, kPortStringSize, &text))
            return nullptr;
    if (!FieldText(record, offsetof(PortRecord, PortName), kPortNameSize, &text)) return nullptr;
    ordered_json fields = ordered_json::object();
    Utf16ToUtf8(text, &utf8);
    fields["PortName"] = utf8;
    for (const FieldValue& value : port.fields) {
        const PortField& field = kPortFields[value.field];
        if (field.kind == PortFieldKind::Number) {
            fields[field.key] = value.number;
            continue;
        }
        text.assign(value.text.begin(), value.text.end());
        Utf16ToUtf8(text, &utf8);
        if (!secrets && std::strcmp(field.key, kAuthText) == 0)
            fields[field.key] = {{"withheld", text.size()}};
        else
            fields[field.key] = utf8;
    }
    return fields;
}

ordered_json RecordJson(const PortReading& port, bool secrets) {
    if (!port.recordFound) return nullptr;
    ordered_json fields = RecordFieldsJson(port, secrets);
    if (!fields.is_null()) return {{"fields", fields}};
    std::string bytes = port.recordBytes;
    const size_t authText = offsetof(PortRecord, AuthText), authTextBytes = 2 * kPortStringSize;
    if (secrets || bytes.size() <= authText) return RawValue(port.recordType, Hex(bytes));
    size_t end = std::min(bytes.size(), authText + authTextBytes);
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(authText), bytes.begin() + static_cast<std::ptrdiff_t>(end),
              '\0');
    ordered_json raw = RawValue(port.recordType, Hex(bytes));
    raw["authTextWithheld"] = true;
    return raw;
}

const char* RootName(CaptureRoot root) {
    for (const CaptureRootName& r : kCaptureRoots)
        if (r.root == root) return r.name;
    return "";
}

}  // namespace

std::string CaptureJson(const MachineCapture& c, bool secrets) {
    ordered_json doc;
    doc["format"] = kCaptureFormat;
    doc["secrets"] = secrets;
    doc["windows"] = {{"platform", c.platform},       {"major", c.major}, {"minor", c.minor},      {"build", c.build},
                      {"productType", c.productType}, {"wow64", c.wow64}, {"codePage", c.codePage}};
    // The monitors and ports in the order of their names' bytes, as no
    // spooler promises an order of its own.
    const SpoolerReading& spooler = c.reading.local;
    std::vector<const MonitorReading*> monitorList;
    for (const MonitorReading& m : spooler.monitors) monitorList.push_back(&m);
    std::sort(monitorList.begin(), monitorList.end(),
              [](const MonitorReading* a, const MonitorReading* b) { return a->name < b->name; });
    ordered_json monitors = ordered_json::array();
    for (const MonitorReading* m : monitorList)
        monitors.push_back({{"name", Text(m->name)}, {"environment", Text(m->environment)}, {"dll", Text(m->dll)}});
    doc["monitors"] = monitors;
    std::vector<const PortReading*> portList;
    for (const PortReading& p : spooler.ports) portList.push_back(&p);
    std::sort(portList.begin(), portList.end(), [](const PortReading* a, const PortReading* b) {
        return a->monitor != b->monitor ? a->monitor < b->monitor : a->name < b->name;
    });
    ordered_json ports = ordered_json::array();
    for (const PortReading* p : portList) {
        ordered_json port = {{"name", Text(p->name)}, {"monitor", Text(p->monitor)}};
        if (p->recordRead) port["record"] = RecordJson(*p, secrets);
        ports.push_back(port);
    }
    doc["ports"] = ports;
    std::vector<const PrinterReading*> printerList;
    for (const PrinterReading& p : c.reading.printers) printerList.push_back(&p);
    std::sort(printerList.begin(), printerList.end(),
              [](const PrinterReading* a, const PrinterReading* b) { return a->name < b->name; });
    ordered_json printers = ordered_json::array();
    for (const PrinterReading* p : printerList) {
        printers.push_back({{"name", Text(p->name)},
                            {"ports", Text(p->ports)},
                            {"driver", Text(p->driver)},
                            {"attributes", p->attributes},
                            {"shareName", Text(p->shareName)},
                            {"comment", Text(p->comment)},
                            {"location", Text(p->location)},
                            {"separatorFile", Text(p->separatorFile)},
                            {"printProcessor", Text(p->printProcessor)},
                            {"datatype", Text(p->datatype)},
                            {"parameters", Text(p->parameters)},
                            {"priority", p->priority},
                            {"defaultPriority", p->defaultPriority},
                            {"startTime", p->startTime},
                            {"untilTime", p->untilTime}});
    }
    doc["printers"] = printers;
    ordered_json registry = ordered_json::array();
    for (const CapturedKey& key : c.registry) {
        ordered_json values = ordered_json::object();
        for (const CapturedValue& v : key.values) values[Text(v.name)] = ValueJson(v, secrets);
        registry.push_back({{"key", Text(key.path)}, {"values", values}});
    }
    doc["registry"] = registry;
    ordered_json files = ordered_json::array();
    for (const CapturedFile& f : c.files) {
        ordered_json file = {{"root", RootName(f.root)}, {"path", Text(f.path)}};
        file["kind"] = f.kind == CapturedKind::File ? "file" : f.kind == CapturedKind::Folder ? "folder" : "link";
        if (f.kind == CapturedKind::File) {
            file["size"] = f.size;
            file["readOnly"] = f.readOnly;
        }
        files.push_back(file);
    }
    doc["files"] = files;
    return doc.dump(2) + "\n";
}
