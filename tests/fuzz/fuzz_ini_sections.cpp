// An INI file read into port settings and built into records: the input is
// the INI file (a first line "E" selects the Enterprise edition). Sections
// 1, 2, 3 ... are read until the first without ServerIP; each must come out
// terminated and zero-padded, named within its field, and built into a
// record that holds exactly its values. Then the printers named in those
// sections are assigned, and the console must show one line per name read,
// the name exactly as it stands (a "%" in it included).
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "fuzz/port_fields.h"
#include "printers/printer_bindings.h"
#include "support/machine.h"
#include "winsim/spooler.h"

using fuzz_support::PortName;
using fuzz_support::Check;

namespace {

const char kIni[] = "C:\\Dist\\Vormo.ini";

void Prepare() {
    // Ports for the first sections, so that assignments can succeed.
    for (const char* port : {"Vormo001", "Vormo002", "Vormo003", "VormoE001"})
        winsim::reg::CreateKey("registry/HKLM", winsim::PortsKey("Vormo") + "\\" + port);
}

winsim::NewOptions Options() {
    winsim::NewOptions options = fuzz_support::DefaultOptions();
    options.printers.push_back({"Office Laser", "LPT1:", PRINTER_ATTRIBUTE_LOCAL});
    options.printers.push_back({"100% Toner", "LPT1:", PRINTER_ATTRIBUTE_LOCAL});
    options.printers.push_back({"B\xFCro", "LPT1:", PRINTER_ATTRIBUTE_LOCAL});
    return options;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 16384) return 0;
    fuzz_support::StartMachine(Options(), Prepare);
    std::string text(reinterpret_cast<const char*>(data), size);
    bool enterprise = text.compare(0, 2, "E\n") == 0;

    fuzz_support::BeginInput();
    const EditionProfile& edition = enterprise ? kEnterpriseEdition : kStandardEdition;
    const RunPlan plan = testing_support::TestPlan(edition, true, kIni);
    fuzz_support::WriteMachineFile(kIni, text);

    int count = 0;
    const int last = enterprise ? 999 : 9999;
    for (int n = 1;; ++n) {
        PortSettings s;
        std::memset(&s, 0x5A, sizeof s);  // the reader must clear it
        bool exists = ReadPortSection(n, plan, &s);
        port_fields::CheckSettings(s);
        Check(exists == (s.ServerIP[0][0] != '\0'), "a section exists when its ServerIP is set");
        if (!exists) break;
        if (enterprise && s.DisableServerCommunication)
            Check(s.Encryption == 0 && s.RefreshIPList == 0, "the Enterprise rule");
        bool named = FormatPortName(edition, n, s.PortName);
        Check(named == (n <= last), "port names up to the naming bound");
        if (!named) break;
        Check(PortName(edition, n) == s.PortName, "the port name of the section");
        PortRecord r;
        BuildPortRecord(&s, &r, MultiByteToWideChar);
        port_fields::CheckRecord(s, r);
        count = n;
    }

    // The names the assignment will read, as the platform hands them out.
    std::vector<std::pair<std::string, std::string>> named;  // printer, port
    for (int n = 1; n <= count; ++n) {
        for (int k = 1; k <= 10; ++k) {
            char name[260];
            GetPrivateProfileStringA(std::to_string(n).c_str(), port_fields::Numbered("AssignPrinter", k).c_str(), "",
                                     name, sizeof name, kIni);
            if (name[0]) named.emplace_back(name, PortName(edition, n));
        }
    }
    std::string expected = fuzz_support::AssignmentLines(named);
    AssignPrinters(count, plan);
    std::string out = fuzz_support::EndInput();

    Check(out == expected, "one assignment line per printer named, the name as it stands", out.substr(0, 600));
    return 0;
}
