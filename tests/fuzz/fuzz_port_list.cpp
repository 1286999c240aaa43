// A printer's port list through the disconnection edit: the input (up to its
// first zero byte) becomes the port list of the printer "P", which is then
// taken off the monitor's ports with DisconnectPrinter. The machine's
// monitor "Vormo" has the ports Vormo001, Vormo002 and a 200-character one;
// another monitor has a port named Vormo003. The outcome is held against the
// rule: every entry that names a port of the monitor (compared as the
// platform compares names, entries of at most 259 characters) leaves the
// list, the others stay in order with single commas between them, an empty
// list becomes "FILE:"; the console shows one announcement per entry taken
// out and the disconnect line; the spooler takes the new list exactly when
// each of its entries names a port it knows, and the printer keeps its old
// list (" Error") otherwise.
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "printers/printer_bindings.h"
#include "winsim/spooler.h"

using fuzz_support::Check;

namespace {

const char kHive[] = "registry/HKLM";
const std::string kLongPort = "Vormo" + std::string(195, 'y');

std::vector<std::string> MonitorPorts() { return {"Vormo001", "Vormo002", kLongPort}; }

void Prepare() {
    for (const auto& port : MonitorPorts()) winsim::reg::CreateKey(kHive, winsim::PortsKey("Vormo") + "\\" + port);
    winsim::reg::CreateKey(kHive, winsim::PortsKey("Other") + "\\Vormo003");
}

winsim::NewOptions Options() {
    winsim::NewOptions options = fuzz_support::DefaultOptions();
    options.printers.push_back({"P", "LPT1:", PRINTER_ATTRIBUTE_LOCAL});
    return options;
}

bool OfTheMonitor(const std::string& entry) {
    if (entry.size() > 259) return false;
    for (const auto& port : MonitorPorts())
        if (lstrcmpiA(port.c_str(), entry.c_str()) == 0) return true;
    return false;
}

std::string PortList() {
    winsim::RegValue value;
    if (!winsim::reg::GetValue(kHive, winsim::PrinterKey("P"), "Port", &value)) return "(none)";
    return winsim::reg::SzText(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 2048) return 0;
    fuzz_support::StartMachine(Options(), Prepare);
    std::string list(reinterpret_cast<const char*>(data), size);
    list = list.substr(0, list.find('\0'));

    // The expected edit.
    std::vector<std::string> kept;
    std::string announced;
    bool changed = false;
    if (!list.empty()) {
        size_t start = 0;
        while (true) {
            size_t comma = list.find(',', start);
            std::string entry = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            if (OfTheMonitor(entry)) {
                changed = true;
                announced += "  - Port " + entry + " type Vormo will be disconnected\n";
            } else {
                kept.push_back(entry);
            }
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
    }
    std::string expected;
    for (size_t i = 0; i < kept.size(); ++i) expected += (i ? "," : "") + kept[i];
    if (expected.empty()) expected = "FILE:";
    // The spooler takes a list whose every entry names a port it knows
    // ("FILE:" among them).
    bool accepted = true;
    for (size_t start = 0;;) {
        size_t comma = expected.find(',', start);
        std::string entry = expected.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        accepted = accepted && !entry.empty() && entry.find('\\') == std::string::npos &&
                   !winsim::PortMonitor(kHive, entry).empty();
        if (comma == std::string::npos) break;
        start = comma + 1;
    }

    fuzz_support::BeginInput();
    winsim::reg::SetValue(kHive, winsim::PrinterKey("P"), "Port", winsim::reg::Sz(list));
    DisconnectPrinter("P", "Vormo");
    std::string after = PortList();
    std::string out = fuzz_support::EndInput();

    if (!changed) {
        Check(out.empty() && after == list, "a list without the monitor's ports is left alone", out);
        return 0;
    }
    std::string line = announced + "  - Disconnecting Printer 'P' from Vormo Port" + (accepted ? "\n" : " Error\n");
    Check(out == line, "announcements and the disconnect line", out.substr(0, 400) + " (expected: " + line.substr(0, 400) + ")");
    Check(after == (accepted ? expected : list), "the edited list, or the old one when the spooler refuses it", after);
    return 0;
}
