// Port sections held in the registry, with values of every type and size.
// The input is a list of values, each five bytes of header and its data:
//   section (1 to 4), key (an index into the section's keys), type (REG_NONE
//   to REG_QWORD), size (16 bits, up to 699 bytes), then the data.
// The values are written below the edition's PortInstallCfg key (a first
// byte 'E' selects the Enterprise edition), then the sections are read and
// held against the rules: a string is taken when its value fits the
// 260-byte field (cut at its first zero and at 259 characters), otherwise
// the default stays; a number is taken from a value of 1 to 4 bytes,
// zero-extended, whatever its type. The shared reader is also called with buffers of
// exact sizes around the limits, and the printers named are assigned.
#include <map>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "fuzz/port_fields.h"
#include "base/registry_read.h"
#include "printers/printer_bindings.h"
#include "support/machine.h"
#include "winsim/spooler.h"

using fuzz_support::PortName;
using fuzz_support::Check;

namespace {

struct Value {
    DWORD type = REG_NONE;
    std::string data;
};
using Section = std::map<std::string, Value>;  // key name -> value

std::vector<std::string> KeyNames() {
    std::vector<std::string> names;
    for (const PortField& field : kPortFields) names.push_back(field.key);
    for (int k = 1; k <= 10; ++k) names.push_back(port_fields::Numbered("AssignPrinter", k));
    return names;
}

// What a string key yields: the value when it fits the field, cut at its
// first zero and at size - 1 characters; else the default, cut the same way.
std::string StringOf(const Section& section, const std::string& name, const std::string& fallback,
                     size_t size = kPortStringSize) {
    auto it = section.find(name);
    std::string text = fallback;
    if (it != section.end() && it->second.data.size() <= size) text = it->second.data;
    text = text.substr(0, text.find('\0'));
    return text.substr(0, size - 1);
}

DWORD IntOf(const Section& section, const std::string& name, DWORD fallback) {
    auto it = section.find(name);
    if (it == section.end() || it->second.data.empty() || it->second.data.size() > 4) return fallback;
    DWORD value = 0;
    for (size_t i = 0; i < it->second.data.size(); ++i)
        value |= static_cast<DWORD>(static_cast<unsigned char>(it->second.data[i])) << (8 * i);
    return value;
}

void Prepare() {
    for (const char* port : {"Vormo001", "Vormo002", "VormoE001"})
        winsim::reg::CreateKey("registry/HKLM", winsim::PortsKey("Vormo") + "\\" + port);
}

winsim::NewOptions Options() {
    winsim::NewOptions options = fuzz_support::DefaultOptions();
    options.printers.push_back({"Office Laser", "LPT1:", PRINTER_ATTRIBUTE_LOCAL});
    options.printers.push_back({"100% Toner", "LPT1:", PRINTER_ATTRIBUTE_LOCAL});
    return options;
}

std::string SectionKey(const EditionProfile& edition, int n) {
    return std::string(edition.portInstallCfgKey) + "\\" + std::to_string(n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 16384) return 0;
    fuzz_support::StartMachine(Options(), Prepare);
    static const std::vector<std::string> kNames = KeyNames();

    fuzz_support::BeginInput();
    size_t at = 0;
    bool enterprise = size > 0 && data[0] == 'E';
    if (enterprise) at = 1;
    const EditionProfile& edition = enterprise ? kEnterpriseEdition : kStandardEdition;
    const RunPlan plan = testing_support::TestPlan(edition, false);
    std::map<int, Section> sections;
    struct Written {
        int section;
        std::string name;
    };
    std::vector<Written> written;
    while (at + 5 <= size) {
        int n = data[at] % 4 + 1;
        const std::string& name = kNames[data[at + 1] % kNames.size()];
        DWORD type = data[at + 2] % 12;
        size_t length = (data[at + 3] | data[at + 4] << 8) % 700;
        at += 5;
        if (length > size - at) length = size - at;
        Value value;
        value.type = type;
        value.data.assign(reinterpret_cast<const char*>(data + at), length);
        at += length;
        // Stored as it stands, in the 32-bit view: a string without its
        // terminator as RegSetValueExW or a .reg file leaves it (the ANSI
        // call would add one).
        const std::string hive = "registry/HKLM", path = winsim::reg::ViewPath(hive, SectionKey(edition, n), 0);
        Check(winsim::reg::CreateKey(hive, path), "section key created");
        winsim::RegValue stored;
        stored.type = type;
        stored.data = value.data;
        Check(winsim::reg::SetValue(hive, path, name, stored), "value written");
        sections[n][name] = value;
        written.push_back({n, name});
    }

    // The shared reader with buffers of exact sizes: ASan sees every byte
    // written outside them.
    const size_t kSizes[] = {1, 2, 3, 4, 5, 258, 259, 260, 261, 512};
    for (size_t i = 0; i < written.size() && i < 8; ++i) {
        const Section& section = sections[written[i].section];
        for (size_t bufferSize : kSizes) {
            std::vector<char> exact(bufferSize, '\x7F');  // a block of exactly bufferSize bytes
            GetHklmSubkeyString(std::to_string(written[i].section).c_str(), written[i].name.c_str(), "fallback",
                                exact.data(), static_cast<DWORD>(bufferSize), edition.portInstallCfgKey, 0);
            Check(std::memchr(exact.data(), '\0', bufferSize) != nullptr, "the reader terminates its buffer");
            Check(std::string(exact.data()) == StringOf(section, written[i].name, "fallback", bufferSize),
                  "a value that fits is read, one that does not keeps the default", written[i].name);
        }
        DWORD number = GetHklmSubkeyDword(std::to_string(written[i].section).c_str(), written[i].name.c_str(), 77,
                                          edition.portInstallCfgKey);
        Check(number == IntOf(section, written[i].name, 77), "a number comes from 1 to 4 bytes", written[i].name);
    }

    int count = 0;
    const int last = enterprise ? 999 : 9999;
    for (int n = 1;; ++n) {
        PortSettings s;
        std::memset(&s, 0x5A, sizeof s);
        bool exists = ReadPortSection(n, plan, &s);
        port_fields::CheckSettings(s);
        const Section& section = sections[n];
        Check(exists == !StringOf(section, "ServerIP", "").empty(), "a section exists when its ServerIP is set");
        if (!exists) break;
        bool rule = enterprise && IntOf(section, "DisableServerCommunication", 0) != 0;
        for (const PortField& field : kPortFields) {
            if (field.kind == PortFieldKind::Text) {
                Check(TextOf(&s, field) == StringOf(section, field.key, field.textDefault), "string key read",
                      field.key);
                continue;
            }
            DWORD expected = IntOf(section, field.key, field.numberDefault);
            if (rule && (field.settingsOffset == offsetof(PortSettings, Encryption) ||
                         field.settingsOffset == offsetof(PortSettings, RefreshIPList)))
                expected = 0;
            Check(NumberOf(&s, field) == expected, "integer key read", field.key);
        }
        bool named = FormatPortName(edition, n, s.PortName);
        Check(named == (n <= last), "port names up to the naming bound");
        PortRecord r;
        BuildPortRecord(&s, &r, MultiByteToWideChar);
        port_fields::CheckRecord(s, r);
        count = n;
    }

    std::vector<std::pair<std::string, std::string>> named;
    for (int n = 1; n <= count; ++n)
        for (int k = 1; k <= 10; ++k) {
            std::string printer = StringOf(sections[n], port_fields::Numbered("AssignPrinter", k), "");
            if (!printer.empty()) named.emplace_back(printer, PortName(edition, n));
        }
    std::string expected = fuzz_support::AssignmentLines(named);
    AssignPrinters(count, plan);
    std::string out = fuzz_support::EndInput();

    Check(out == expected, "one assignment line per printer named, the name as it stands", out.substr(0, 600));
    return 0;
}
