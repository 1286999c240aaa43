// Reading a capture (VormoCheck --capture) into the options of the machine it
// describes, for `winsim new DIR --from CAPTURE`. Nothing of the document is
// taken on trust: every member is checked for its type and bounds, and every
// name and path for what a machine can hold, before anything is made; a
// document that fails is refused whole with the member and the reason.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstring>
#include <set>

#include "internal.h"
#include "winsim/spooler.h"
#include "wire/capture_format.h"

namespace winsim {
namespace {

using nlohmann::json;

// Names of keys, printers, ports and monitors hold at most 255 characters
// (a registry key's name), value names at most 16383; other texts of a
// capture at most 32767, a key's path at most 1000 (as the installer's key
// paths), a withheld value at most 1 MiB.
constexpr size_t kNameSize = 255;
constexpr size_t kValueNameSize = 16383;
constexpr size_t kTextSize = 32767;
constexpr size_t kKeyPathSize = 1000;
constexpr uint64_t kWithheldSize = 1u << 20;
constexpr uint64_t kDword = 0xFFFFFFFFu;

// A port record's text fields hold at most 259 units, its port name 9.
constexpr size_t kRecordTextUnits = kPortStringSize - 1;
constexpr size_t kRecordNameUnits = kPortNameSize - 1;

class CaptureReader {
public:
    explicit CaptureReader(NewOptions* options) : o_(*options) {}
    bool Read(const std::string& text);
    const std::string& error() const { return error_; }

private:
    bool Fail(const std::string& where, const std::string& why) {
        if (error_.empty()) error_ = where + ": " + why;
        return false;
    }
    bool Members(const json& j, const std::string& where, std::initializer_list<const char*> required,
                 std::initializer_list<const char*> optional = {});
    bool Number(const json& j, const std::string& where, uint64_t max, uint64_t* out);
    bool Dword(const json& j, const std::string& where, DWORD* out);
    bool Bool(const json& j, const std::string& where, bool* out);
    // Text as the machine's programs read it: the code page 1252, no zero
    // character, at most max characters.
    bool Text(const json& j, const std::string& where, size_t max, std::string* out);
    // A name that a key of the registry can stand for; printer and port
    // names hold no comma either.
    bool Name(const json& j, const std::string& where, bool noComma, std::string* out);
    bool NameRules(const std::string& name, const std::string& where, bool noComma);
    bool Array(const json& j, const std::string& where);
    bool Windows(const json& j);
    bool Value(const json& j, const std::string& where, RegValue* out);
    bool Record(const json& j, const std::string& where, std::vector<std::pair<std::string, RegValue>>* values);
    bool Monitors(const json& j);
    bool Ports(const json& j);
    bool Printers(const json& j);
    bool Registry(const json& j);
    bool Files(const json& j);
    bool PathParts(const std::string& path, const std::string& where, bool file);
    std::string RootFolder(CaptureRoot root, const std::string& where);

    NewOptions& o_;
    std::string error_;
};

bool CaptureReader::Members(const json& j, const std::string& where, std::initializer_list<const char*> required,
                            std::initializer_list<const char*> optional) {
    if (!j.is_object()) return Fail(where, "an object expected");
    for (const char* name : required)
        if (!j.contains(name)) return Fail(where, std::string("the member \"") + name + "\" is missing");
    for (const auto& item : j.items()) {
        bool known = false;
        for (const char* name : required) known = known || item.key() == name;
        for (const char* name : optional) known = known || item.key() == name;
        if (!known) return Fail(where, "an unknown member \"" + item.key() + "\"");
    }
    return true;
}

bool CaptureReader::Number(const json& j, const std::string& where, uint64_t max, uint64_t* out) {
    if (!j.is_number_unsigned() || j.get<uint64_t>() > max)
        return Fail(where, "a whole number from 0 to " + std::to_string(max) + " expected");
    *out = j.get<uint64_t>();
    return true;
}

bool CaptureReader::Dword(const json& j, const std::string& where, DWORD* out) {
    uint64_t n = 0;
    if (!Number(j, where, kDword, &n)) return false;
    *out = static_cast<DWORD>(n);
    return true;
}

bool CaptureReader::Bool(const json& j, const std::string& where, bool* out) {
    if (!j.is_boolean()) return Fail(where, "true or false expected");
    *out = j.get<bool>();
    return true;
}

bool CaptureReader::Text(const json& j, const std::string& where, size_t max, std::string* out) {
    if (!j.is_string()) return Fail(where, "a text expected");
    std::u16string wide = Utf8ToUtf16(j.get<std::string>());
    *out = Utf16ToAnsi(wide);
    if (AnsiToUtf16(*out, 1252) != wide) return Fail(where, "a character outside the code page 1252");
    if (out->find('\0') != std::string::npos) return Fail(where, "a zero character");
    if (out->size() > max) return Fail(where, "longer than " + std::to_string(max) + " characters");
    return true;
}

bool CaptureReader::Name(const json& j, const std::string& where, bool noComma, std::string* out) {
    return Text(j, where, kNameSize, out) && NameRules(*out, where, noComma);
}

bool CaptureReader::NameRules(const std::string& name, const std::string& where, bool noComma) {
    if (name.empty()) return Fail(where, "an empty name");
    if (name.size() > kNameSize) return Fail(where, "a name longer than " + std::to_string(kNameSize) + " characters");
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F) return Fail(where, "a control character in a name");
        if (c == '\\') return Fail(where, "a backslash in a name");
        if (c == ',' && noComma) return Fail(where, "a comma in a name");
    }
    return true;
}

bool CaptureReader::Array(const json& j, const std::string& where) {
    return j.is_array() || Fail(where, "an array expected");
}

bool CaptureReader::Windows(const json& j) {
    if (!Members(j, "windows", {"platform", "major", "minor", "build", "productType", "wow64", "codePage"}))
        return false;
    uint64_t productType = 0, codePage = 0;
    if (!Dword(j["platform"], "windows.platform", &o_.platform) || !Dword(j["major"], "windows.major", &o_.major) ||
        !Dword(j["minor"], "windows.minor", &o_.minor) || !Dword(j["build"], "windows.build", &o_.build) ||
        !Number(j["productType"], "windows.productType", 0xFF, &productType) ||
        !Bool(j["wow64"], "windows.wow64", &o_.is64) || !Number(j["codePage"], "windows.codePage", kDword, &codePage))
        return false;
    o_.productType = static_cast<BYTE>(productType);
    if (codePage != 1252) return Fail("windows.codePage", "winsim models the code page 1252 only");
    return true;
}

bool HexBytes(const std::string& hex, std::string* out) {
    if (hex.size() % 2) return false;
    out->clear();
    out->reserve(hex.size() / 2);
    auto digit = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                      : -1;
    };
    for (size_t i = 0; i < hex.size(); i += 2) {
        int high = digit(hex[i]), low = digit(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        *out += static_cast<char>(high * 16 + low);
    }
    return true;
}

// A value of one of the capture's forms: {"sz": TEXT}, {"expandSz": TEXT},
// {"dword": N}, {"type": T, "hex": BYTES} or {"type": T, "withheld": SIZE}.
bool CaptureReader::Value(const json& j, const std::string& where, RegValue* out) {
    if (!j.is_object() || !(j.contains("sz") || j.contains("expandSz") || j.contains("dword") || j.contains("type")))
        return Fail(where,
                    "a value of one of the capture's forms expected (sz, expandSz, dword, type with hex or "
                    "withheld)");
    if (j.contains("sz") || j.contains("expandSz")) {
        bool sz = j.contains("sz");
        std::string text;
        if (!Members(j, where, {sz ? "sz" : "expandSz"}) || !Text(j[sz ? "sz" : "expandSz"], where, kTextSize, &text))
            return false;
        *out = reg::Sz(text);
        out->type = sz ? REG_SZ : REG_EXPAND_SZ;
        return true;
    }
    if (j.contains("dword")) {
        DWORD number = 0;
        if (!Members(j, where, {"dword"}) || !Dword(j["dword"], where + ".dword", &number)) return false;
        *out = reg::Dword(number);
        return true;
    }
    if (j.contains("withheld")) {
        uint64_t size = 0;
        if (!Members(j, where, {"type", "withheld"}) || !Dword(j["type"], where + ".type", &out->type) ||
            !Number(j["withheld"], where + ".withheld", kWithheldSize, &size))
            return false;
        // A placeholder of the size: a string keeps its terminator.
        bool text = out->type == REG_SZ || out->type == REG_EXPAND_SZ || out->type == REG_MULTI_SZ;
        out->data.assign(size, '*');
        if (text && size) out->data.back() = '\0';
        return true;
    }
    if (!Members(j, where, {"type", "hex"}, {"authTextWithheld"}) || !Dword(j["type"], where + ".type", &out->type))
        return false;
    if (!j["hex"].is_string() || !HexBytes(j["hex"].get<std::string>(), &out->data))
        return Fail(where + ".hex", "pairs of hex digits expected");
    if (j.contains("authTextWithheld") && !j["authTextWithheld"].is_boolean())
        return Fail(where + ".authTextWithheld", "true or false expected");
    return true;
}

// A port record: null (none), its fields, or its bytes as a value.
bool CaptureReader::Record(const json& j, const std::string& where,
                           std::vector<std::pair<std::string, RegValue>>* values) {
    if (j.is_null()) return true;
    RegValue record;
    if (!j.is_object() || !j.contains("fields")) {
        if (!Value(j, where, &record)) return false;
        values->emplace_back("Record", record);
        return true;
    }
    if (!Members(j, where, {"fields"})) return false;
    const json& fields = j["fields"];
    // PortName, and any field of the table beside it.
    if (!fields.is_object()) return Fail(where + ".fields", "an object expected");
    if (!fields.contains("PortName")) return Fail(where + ".fields", "the member \"PortName\" is missing");
    PortRecord r;
    std::memset(&r, 0, sizeof r);
    auto put = [&](char16_t* field, size_t units, const json& value, const std::string& at) {
        if (!value.is_string()) return Fail(at, "a text expected");
        std::u16string wide = Utf8ToUtf16(value.get<std::string>());
        if (wide.find(u'\0') != std::u16string::npos) return Fail(at, "a zero character");
        if (wide.size() > units) return Fail(at, "longer than " + std::to_string(units) + " characters");
        std::memcpy(field, wide.data(), wide.size() * sizeof(char16_t));
        return true;
    };
    for (const auto& item : fields.items()) {
        std::string at = where + ".fields." + item.key();
        if (item.key() == "PortName") {
            if (!put(r.PortName, kRecordNameUnits, item.value(), at)) return false;
            continue;
        }
        const PortField* field = nullptr;
        for (const PortField& f : kPortFields)
            if (item.key() == f.key) field = &f;
        if (!field) return Fail(at, "no field of a port record");
        if (field->kind == PortFieldKind::Number) {
            if (!Dword(item.value(), at, NumberIn(&r, *field))) return false;
            continue;
        }
        if (item.value().is_object() && std::strcmp(field->key, "AuthText") == 0) {
            uint64_t length = 0;
            if (!Members(item.value(), at, {"withheld"}) ||
                !Number(item.value()["withheld"], at + ".withheld", kRecordTextUnits, &length))
                return false;
            std::u16string stars(length, u'*');
            std::memcpy(TextIn(&r, *field), stars.data(), stars.size() * sizeof(char16_t));
            continue;
        }
        if (!put(TextIn(&r, *field), kRecordTextUnits, item.value(), at)) return false;
    }
    // A field the capture leaves out holds its default.
    for (const PortField& field : kPortFields) {
        if (fields.contains(field.key)) continue;
        if (field.kind == PortFieldKind::Number) {
            *NumberIn(&r, field) = field.numberDefault;
        } else {
            for (size_t i = 0; field.textDefault[i]; ++i)
                TextIn(&r, field)[i] = static_cast<char16_t>(static_cast<unsigned char>(field.textDefault[i]));
        }
    }
    // The host is little-endian, as the record's integers and text are.
    record.type = REG_BINARY;
    record.data.assign(reinterpret_cast<const char*>(&r), kPortRecordSize);
    values->emplace_back("Record", record);
    return true;
}

bool CaptureReader::Monitors(const json& j) {
    if (!Array(j, "monitors")) return false;
    std::set<std::string> names;
    for (size_t i = 0; i < j.size(); ++i) {
        std::string where = "monitors[" + std::to_string(i) + "]";
        const json& m = j[i];
        NewMonitor monitor;
        if (!Members(m, where, {"name", "environment", "dll"}) ||
            !Name(m["name"], where + ".name", false, &monitor.name) ||
            !Text(m["environment"], where + ".environment", kTextSize, &monitor.environment) ||
            !Text(m["dll"], where + ".dll", kTextSize, &monitor.driver))
            return false;
        if (!names.insert(Lower(monitor.name)).second) return Fail(where + ".name", "a monitor named twice");
        o_.monitors.push_back(std::move(monitor));
    }
    return true;
}

bool CaptureReader::Ports(const json& j) {
    if (!Array(j, "ports")) return false;
    std::set<std::string> names;
    for (size_t i = 0; i < j.size(); ++i) {
        std::string where = "ports[" + std::to_string(i) + "]";
        const json& p = j[i];
        NewRegistryKey port;
        std::string owner;
        if (!Members(p, where, {"name", "monitor"}, {"record"}) ||
            !Name(p["name"], where + ".name", true, &port.path) ||
            !Name(p["monitor"], where + ".monitor", false, &owner) ||
            (p.contains("record") && !Record(p["record"], where + ".record", &port.values)))
            return false;
        if (!names.insert(Lower(port.path)).second) return Fail(where + ".name", "a port named twice");
        // A port is kept below its monitor's key; a monitor that the spooler
        // does not list has the key only.
        auto monitor = std::find_if(o_.monitors.begin(), o_.monitors.end(),
                                    [&](const NewMonitor& m) { return EqualNoCase(m.name, owner); });
        if (monitor == o_.monitors.end()) {
            o_.monitors.push_back(NewMonitor());
            monitor = o_.monitors.end() - 1;
            monitor->name = owner;
            monitor->registered = false;
        }
        monitor->ports.push_back(std::move(port));
    }
    return true;
}

bool CaptureReader::Printers(const json& j) {
    if (!Array(j, "printers")) return false;
    std::set<std::string> names;
    for (size_t i = 0; i < j.size(); ++i) {
        std::string where = "printers[" + std::to_string(i) + "]";
        const json& p = j[i];
        NewPrinter printer;
        if (!Members(p, where,
                     {"name", "ports", "driver", "attributes", "shareName", "comment", "location", "separatorFile",
                      "printProcessor", "datatype", "parameters", "priority", "defaultPriority", "startTime",
                      "untilTime"}) ||
            !Name(p["name"], where + ".name", true, &printer.name))
            return false;
        if (!names.insert(Lower(printer.name)).second) return Fail(where + ".name", "a printer named twice");
        const std::pair<const char*, std::string*> texts[] = {
            {"ports", &printer.ports},
            {"driver", &printer.driver},
            {"shareName", &printer.shareName},
            {"comment", &printer.comment},
            {"location", &printer.location},
            {"separatorFile", &printer.separatorFile},
            {"printProcessor", &printer.printProcessor},
            {"datatype", &printer.datatype},
            {"parameters", &printer.parameters},
        };
        for (const auto& t : texts)
            if (!Text(p[t.first], where + "." + t.first, kTextSize, t.second)) return false;
        const std::pair<const char*, DWORD*> numbers[] = {
            {"attributes", &printer.attributes},
            {"priority", &printer.priority},
            {"defaultPriority", &printer.defaultPriority},
            {"startTime", &printer.startTime},
            {"untilTime", &printer.untilTime},
        };
        for (const auto& n : numbers)
            if (!Dword(p[n.first], where + "." + n.first, n.second)) return false;
        o_.printers.push_back(std::move(printer));
    }
    return true;
}

bool CaptureReader::Registry(const json& j) {
    if (!Array(j, "registry")) return false;
    std::set<std::string> paths;
    for (size_t i = 0; i < j.size(); ++i) {
        std::string where = "registry[" + std::to_string(i) + "]";
        const json& k = j[i];
        std::string path;
        if (!Members(k, where, {"key", "values"}) || !Text(k["key"], where + ".key", kKeyPathSize, &path)) return false;
        NewRegistryKey key;
        if (path.compare(0, 5, "HKLM\\") == 0)
            key.hive = "registry/HKLM";
        else if (path.compare(0, 5, "HKCU\\") == 0)
            key.hive = "registry/HKCU";
        else
            return Fail(where + ".key", "a key below HKLM\\ or HKCU\\ expected");
        key.path = path.substr(5);
        size_t start = 0;
        while (true) {
            size_t end = key.path.find('\\', start);
            std::string part = key.path.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (!NameRules(part, where + ".key", false)) return false;
            if (end == std::string::npos) break;
            start = end + 1;
        }
        if (!paths.insert(Lower(path)).second) return Fail(where + ".key", "a key named twice");
        if (!k["values"].is_object()) return Fail(where + ".values", "an object expected");
        for (const auto& item : k["values"].items()) {
            std::string at = where + ".values." + item.key(), name;
            if (!Text(json(item.key()), at, kValueNameSize, &name)) return false;
            for (unsigned char c : name)
                if (c < 0x20 || c == 0x7F) return Fail(at, "a control character in a value name");
            RegValue value;
            if (!Value(item.value(), at, &value)) return false;
            key.values.emplace_back(name, value);
        }
        o_.keys.push_back(std::move(key));
    }
    return true;
}

// Each part of a path below a root: a name a file can have on Windows.
bool CaptureReader::PathParts(const std::string& path, const std::string& where, bool single) {
    if (path.empty()) return Fail(where, "an empty path");
    size_t start = 0;
    while (true) {
        size_t end = path.find('\\', start);
        std::string part = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part.empty() || part == "." || part == "..") return Fail(where, "a path of names, without . or .. or \\\\");
        if (part.size() > kNameSize)
            return Fail(where, "a name longer than " + std::to_string(kNameSize) + " characters");
        for (unsigned char c : part)
            if (c < 0x20 || c == 0x7F || std::strchr("<>:\"/|?*", c))
                return Fail(where, "a character that no file name holds");
        if (end == std::string::npos) break;
        if (single) return Fail(where, "a file name without a folder expected below this root");
        start = end + 1;
    }
    return true;
}

// The Windows path of a root on the rebuilt machine; empty (with the reason)
// when the capture gives it no place on drive C:.
std::string CaptureReader::RootFolder(CaptureRoot root, const std::string& where) {
    switch (root) {
        case CaptureRoot::Windows:
            return "C:\\Windows";
        case CaptureRoot::System:
            return "C:\\Windows\\System32";
        case CaptureRoot::SystemWow64:
            if (o_.is64) return "C:\\Windows\\SysWOW64";
            Fail(where, "SysWOW64 on a 32-bit Windows");
            return std::string();
        case CaptureRoot::ProgramFiles:
        case CaptureRoot::ProgramFilesX86:
            break;
    }
    bool x86 = root == CaptureRoot::ProgramFilesX86;
    if (x86 && !o_.is64) {
        Fail(where, "a 32-bit Program Files folder on a 32-bit Windows");
        return std::string();
    }
    std::string key = x86 ? "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion"
                          : "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    for (const auto& k : o_.keys) {
        if (k.hive != "registry/HKLM" || !EqualNoCase(k.path, key)) continue;
        for (const auto& v : k.values) {
            if (!EqualNoCase(v.first, "ProgramFilesDir")) continue;
            std::string folder = reg::SzText(v.second);
            if (folder.size() >= 4 && EqualNoCase(folder.substr(0, 3), "C:\\") &&
                PathParts(folder.substr(3), where + " (ProgramFilesDir " + folder + ")", false))
                return folder;
            Fail(where, "the capture's ProgramFilesDir is no folder on drive C:");
            return std::string();
        }
    }
    Fail(where, "files below a Program Files folder that the capture's ProgramFilesDir does not name");
    return std::string();
}

bool CaptureReader::Files(const json& j) {
    if (!Array(j, "files")) return false;
    std::set<std::string> paths;
    for (size_t i = 0; i < j.size(); ++i) {
        std::string where = "files[" + std::to_string(i) + "]";
        const json& f = j[i];
        if (!f.is_object() || !f.contains("kind") || !f["kind"].is_string())
            return Fail(where + ".kind", "\"file\", \"folder\" or \"link\" expected");
        std::string kind = f["kind"].get<std::string>();
        if (kind != "file" && kind != "folder" && kind != "link")
            return Fail(where + ".kind", "\"file\", \"folder\" or \"link\" expected");
        NewFile file;
        file.folder = kind != "file";
        std::string rootName, path;
        if (kind == "file" ? !Members(f, where, {"root", "path", "kind", "size", "readOnly"})
                           : !Members(f, where, {"root", "path", "kind"}))
            return false;
        if (!f["root"].is_string()) return Fail(where + ".root", "a root's name expected");
        const CaptureRootName* root = nullptr;
        for (const CaptureRootName& r : kCaptureRoots)
            if (f["root"].get<std::string>() == r.name) root = &r;
        if (!root) return Fail(where + ".root", "no root of a capture: \"" + f["root"].get<std::string>() + "\"");
        bool single = root->root == CaptureRoot::Windows || root->root == CaptureRoot::System ||
                      root->root == CaptureRoot::SystemWow64;
        if (!Text(f["path"], where + ".path", kCaptureMaxPath, &path) || !PathParts(path, where + ".path", single))
            return false;
        std::string folder = RootFolder(root->root, where + ".root");
        if (folder.empty()) return false;
        file.path = folder + "\\" + path;
        if (file.path.size() > kCaptureMaxPath)
            return Fail(where + ".path",
                        "longer than " + std::to_string(kCaptureMaxPath) + " characters with its root");
        if (kind == "file" && (!Number(f["size"], where + ".size", kCaptureMaxFileSize, &file.size) ||
                               !Bool(f["readOnly"], where + ".readOnly", &file.readOnly)))
            return false;
        if (!paths.insert(Lower(file.path)).second) return Fail(where + ".path", "a file or folder named twice");
        o_.files.push_back(file);
    }
    return true;
}

bool CaptureReader::Read(const std::string& text) {
    json doc = json::parse(text, nullptr, false);
    if (doc.is_discarded()) return Fail("the document", "no JSON document (malformed)");
    if (!doc.is_object() || !doc.contains("format")) return Fail("the document", "no capture: it has no format number");
    if (!doc["format"].is_number_integer() || doc["format"].get<int64_t>() != kCaptureFormat)
        return Fail("format", "format " + doc["format"].dump() + " is not the capture format " +
                                  std::to_string(kCaptureFormat) + " this winsim reads");
    bool secrets = false;
    if (!Members(doc, "the document",
                 {"format", "secrets", "windows", "monitors", "ports", "printers", "registry", "files"}) ||
        !Bool(doc["secrets"], "secrets", &secrets) || !Windows(doc["windows"]) || !Monitors(doc["monitors"]) ||
        !Ports(doc["ports"]) || !Printers(doc["printers"]) || !Registry(doc["registry"]) || !Files(doc["files"]))
        return false;
    o_.captured = true;
    o_.dotNet = false;
    return true;
}

}  // namespace

bool ReadCapture(const std::string& text, NewOptions* options, std::string* error) {
    CaptureReader reader(options);
    if (reader.Read(text)) return true;
    *error = reader.error();
    return false;
}

}  // namespace winsim
