// The pre-flight check against what then happens: generated distributions
// and machines (first installations and re-installations over one or both
// editions, INI files and registry sections, every switch, printer names
// with characters beyond ASCII and invisible ones, hostile files), each
// checked with --json and then installed or uninstalled on winsim. The plan
// the check announced is held against the machine afterwards: every port of
// both monitors on the local spooler and on the print server with every
// field of its record, every printer's port list, and Install.exe's exit
// code. PLAN_CASES and PLAN_SEED choose another number of cases and seed;
// PLAN_SHOW_ALL shows every disagreement (else the first three of a shard).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "wire/port_fields.h"
#include "support/machine.h"
#include "winsim/machine.h"
#include "winsim/spooler.h"

using nlohmann::json;

namespace {

#if defined(__SANITIZE_ADDRESS__)
const int kDefaultCases = 160;  // every run is slower under the sanitizers
#else
const int kDefaultCases = 480;
#endif
const int kShards = 4;

class Rng {
public:
    explicit Rng(unsigned seed) : engine_(seed) {}
    int Int(int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine_); }
    bool Chance(int percent) { return Int(1, 100) <= percent; }
    std::string Pick(const std::vector<std::string>& from) { return from[static_cast<size_t>(Int(0, int(from.size()) - 1))]; }

private:
    std::mt19937 engine_;
};

// Printers of the machines, and the names the sections use for them: other
// case, sharp s and ligatures written out, invisible characters left out.
const std::vector<std::string> kPrinters = {"Desk", "Lab", "Front Desk", "Stra\xDF" "e", "Caf\xE9", "\xC6r\xF8",
                                            "Soft\xADHyphen", "Nbsp\xA0Name", "100% Mono", "\xFFvette"};
const std::vector<std::string> kPrinterNames = {
    "Desk", "DESK", "lab", "Front Desk", "Stra\xDF" "e", "STRASSE", "STRA\xDF" "E", "CAF\xC9", "caf\xE9",
    "\xE6r\xD8", "Aero", "SoftHyphen", "Soft\xADHyphen", "Nbsp Name", "nbsp\xA0name", "100% mono", "\x9Fvette",
    "Ghost"};
const std::vector<std::string> kLocalPorts = {"LPT1:", "LPT2:", "COM1:", "FILE:"};

std::string Long(char c) { return std::string(300, c); }

// Key and value pairs of one port section, in the order they are written.
using Entries = std::vector<std::pair<std::string, std::string>>;

Entries SectionEntries(Rng& r, int n, bool withServer) {
    Entries e;
    std::string ip = r.Pick({"10.0.0." + std::to_string(n), "printsrv" + std::to_string(n) + ".example.com",
                             "10.9.9." + std::to_string(n), "bad host!"});
    if (withServer) e.push_back({r.Chance(10) ? "serverip" : "ServerIP", ip});
    else if (r.Chance(50)) e.push_back({"ServerIP2", ip});
    int extra = r.Int(0, 5);
    for (int i = 0; i < extra; ++i) {
        switch (r.Int(0, 13)) {
            case 0: e.push_back({"ServerPort", r.Pick({"515", "9101", "12abc", "0x1F", "-1", "", "70000"})}); break;
            case 1: e.push_back({"Description", r.Pick({"Port " + std::to_string(n), "Caf\xE9 %s", "", Long('d')})}); break;
            case 2: e.push_back({"Queue", r.Pick({"q" + std::to_string(n), "\"quoted\"", Long('q')})}); break;
            case 3: e.push_back({"AuthText", r.Pick({"secret", "Gr\xFC\xDF" "e"})}); break;
            case 4:
                e.push_back({"DisableServerCommunication", "1"});
                e.push_back({"Encryption", "1"});
                e.push_back({"RefreshIPList", r.Pick({"1", "0"})});
                break;
            case 5: e.push_back({r.Pick({"Server\xADPort", "SeverPort", "Colour"}), "515"}); break;
            case 6: e.push_back({"ServerIP" + std::to_string(r.Int(2, 10)), "10.1.0." + std::to_string(n)}); break;
            case 7: e.push_back({r.Pick({"ParserDPI", "NetworkTimeout", "IPLoadBalancing3"}), r.Pick({"300", "0x12C", ""})}); break;
            case 8: e.push_back({"EnvironmentVariableIP", r.Pick({"", "MY_IP"})}); break;
            case 9: e.push_back({"Description", "again"}); break;
            case 10: e.push_back({r.Pick({"ServerIP", "SERVERIP"}), "10.7.7." + std::to_string(n)}); break;
            default: {
                int k = r.Int(1, 10);
                std::string key = k == 1 ? r.Pick({"AssignPrinter", "AssignPrinter", "AssignPrinter1", "assignprinter"})
                                         : "AssignPrinter" + std::to_string(k);
                e.push_back({key, r.Chance(5) ? Long('p') : r.Pick(kPrinterNames)});
            }
        }
    }
    return e;
}

// Port sections 1 to count (a gap, a section without ServerIP now and then).
std::vector<std::pair<std::string, Entries>> Sections(Rng& r, int count) {
    std::vector<std::pair<std::string, Entries>> sections;
    for (int n = 1; n <= count; ++n) {
        if (r.Chance(6)) continue;  // a gap
        std::string name = r.Chance(4) ? "0" + std::to_string(n) : std::to_string(n);
        sections.push_back({name, SectionEntries(r, n, !r.Chance(8))});
    }
    return sections;
}

std::string IniText(Rng& r, const std::vector<std::pair<std::string, Entries>>& sections) {
    std::string text = r.Chance(50) ? "; port sections\r\n" : "";
    for (const auto& s : sections) {
        text += (r.Chance(4) ? "[" + s.first : "[" + s.first + "]") + (r.Chance(20) ? "\r\n" : "\n");
        for (const auto& kv : s.second) text += kv.first + (r.Chance(5) ? " = " : "=") + kv.second + "\n";
        if (r.Chance(3)) text += "NoValueHere\n";
    }
    return text;
}

const char* const kHives[] = {"registry/HKLM", "servers/printsrv/registry/HKLM"};
const char* const kMonitors[] = {"Vormo", "VormoE"};

// The machine as the test reads it from winsim's store, apart from the
// product's own readers: the ports of both monitors on both spoolers with
// their records, field by field, and each printer's port list (UTF-8).
struct Observed {
    std::map<std::string, std::map<std::string, std::string>> ports;  // "hive|monitor|port" -> field -> value
    std::map<std::string, std::string> printers;
    bool operator==(const Observed& o) const { return ports == o.ports && printers == o.printers; }
};

std::string PortKey(const std::string& hive, const std::string& monitor, const std::string& port) {
    return hive + "|" + monitor + "|" + winsim::Lower(port);
}

std::map<std::string, std::string> Defaults() {
    std::map<std::string, std::string> fields;
    for (const PortField& f : kPortFields)
        fields[f.key] = f.kind == PortFieldKind::Text ? f.textDefault : std::to_string(f.numberDefault);
    return fields;
}

std::map<std::string, std::string> Decode(const std::string& bytes) {
    std::map<std::string, std::string> fields;
    if (bytes.size() != sizeof(PortRecord)) return {{"(record)", std::to_string(bytes.size()) + " bytes"}};
    const auto* record = reinterpret_cast<const PortRecord*>(bytes.data());
    for (const PortField& f : kPortFields) {
        if (f.kind == PortFieldKind::Number) {
            fields[f.key] = std::to_string(NumberOf(record, f));
            continue;
        }
        std::u16string wide;
        for (const WCHAR* p = TextOf(record, f); *p; ++p) wide += *p;
        fields[f.key] = winsim::Utf16ToUtf8(wide);
    }
    return fields;
}

Observed Observe(const std::string& dir) {
    Observed o;
    winsim::OpenMachine(dir);
    for (const char* hive : kHives) {
        for (const char* monitor : kMonitors) {
            for (const std::string& port : winsim::reg::Subkeys(hive, winsim::PortsKey(monitor))) {
                winsim::RegValue record;
                bool has = winsim::reg::GetValue(hive, winsim::PortsKey(monitor) + "\\" + port, "Record", &record);
                o.ports[PortKey(hive, monitor, port)] =
                    has ? Decode(record.data) : std::map<std::string, std::string>{{"(record)", "none"}};
            }
        }
    }
    for (const std::string& name : winsim::reg::Subkeys("registry/HKLM", winsim::kPrintersKey)) {
        winsim::RegValue ports;
        winsim::reg::GetValue("registry/HKLM", winsim::PrinterKey(name), "Port", &ports);
        o.printers[winsim::AnsiToUtf8(name)] = winsim::AnsiToUtf8(winsim::reg::SzText(ports));
    }
    winsim::CloseMachine();
    return o;
}

// One generated case: a machine prepared as the seed says, and the command line.
struct Case {
    std::string dir, title;
    std::vector<std::string> args;
    bool uninstall = false, enterprise = false;
    std::string targetHive = "registry/HKLM";  // empty: a server no spooler answers for
};

void SetPrinterPorts(const std::string& name, const std::string& ports, DWORD attributes) {
    winsim::reg::SetValue("registry/HKLM", winsim::PrinterKey(name), "Port", winsim::reg::Sz(ports));
    if (attributes) winsim::reg::SetValue("registry/HKLM", winsim::PrinterKey(name), "Attributes", winsim::reg::Dword(attributes));
}

Case MakeCase(unsigned seed) {
    Rng r(seed);
    Case c;
    winsim::NewOptions options = testing_support::TempMachine::DefaultOptions();
    options.os = r.Pick({"7-x64", "7-x64", "7-x64", "7-x86", "xp", "8.1-x64", "2012r2-x64", "2008-x86"});
    if (r.Chance(3)) options.os = "2000";
    options.dotNet = !r.Chance(4);
    options.servers = {"\\\\PRINTSRV"};
    std::vector<std::string> printers;
    for (int i = r.Int(0, 6); i > 0; --i) {
        std::string name = r.Pick(kPrinters);
        bool taken = false;
        for (const auto& p : printers) taken = taken || winsim::EqualNoCase(p, name);
        if (taken) continue;
        printers.push_back(name);
        std::string ports = r.Pick(kLocalPorts);
        if (r.Chance(25)) ports += "," + r.Pick(kLocalPorts);
        options.printers.push_back({name, ports, r.Chance(90) ? DWORD(PRINTER_ATTRIBUTE_LOCAL) : DWORD(PRINTER_ATTRIBUTE_NETWORK)});
    }
    c.dir = testing_support::NewMachineDir(options);
    c.title = "seed " + std::to_string(seed) + ", " + options.os + (options.dotNet ? "" : " without .NET");
    auto write = [&](const std::string& winPath, const std::string& text) {
        winsim::OpenMachine(c.dir);
        std::string host = winsim::MapPath(winPath);
        winsim::CloseMachine();
        winsim::WriteFileAtomic(host, text);
    };
    auto remove = [&](const std::string& winPath) {
        winsim::OpenMachine(c.dir);
        std::string host = winsim::MapPath(winPath);
        winsim::CloseMachine();
        testing_support::RemoveTree(host);
    };

    // An earlier installation of one edition or both, then printers bound by
    // hand to the monitor's ports in every spelling.
    int earlier = r.Int(0, 9);  // 0-3 none, 4-7 standard, 8 Enterprise, 9 both
    for (bool enterprise : {false, true}) {
        if (earlier < 4 || (enterprise ? earlier < 8 : earlier == 8)) continue;
        write("C:\\Dist\\Vormo.ini", IniText(r, Sections(r, r.Int(1, 4))));
        std::vector<std::string> args = {enterprise ? "-a" : "-s"};
        if (r.Chance(15)) args.push_back("\\\\PRINTSRV");
        testing_support::RunInstaller(c.dir, args);
        c.title += enterprise ? ", over Enterprise" : ", over standard";
    }
    if (earlier >= 4 && !printers.empty() && r.Chance(50)) {
        winsim::OpenMachine(c.dir);
        std::string word = earlier == 8 ? "VormoE" : "Vormo";
        std::string list = r.Pick({"LPT1:, " + word + "001", word + "001,LPT2:", "lpt1:," + word + "002",
                                   word + "001," + word + "002", word + "099", word + "003 ",
                                   word + "001," + word + "099", word + "002,,LPT1:", word + "\xAD" "001"});
        SetPrinterPorts(r.Pick(printers), list, r.Chance(30) ? PRINTER_ATTRIBUTE_NETWORK : 0);
        winsim::CloseMachine();
        c.title += ", a printer on " + list;
    }

    // The distribution: its INI file or registry sections, files missing,
    // files and folders in the way.
    c.enterprise = r.Chance(25);
    bool registry = r.Chance(15);
    auto sections = Sections(r, r.Int(0, 5));
    write("C:\\Dist\\Vormo.ini", IniText(r, sections));
    if (registry) {
        winsim::OpenMachine(c.dir);
        std::string base = std::string("SOFTWARE\\Oxlen Corporation\\") + (c.enterprise ? "VormoE" : "Vormo") +
                           "\\PortInstallCfg\\";
        for (const auto& s : sections) {
            std::string key = winsim::reg::ViewPath("registry/HKLM", base + s.first, 0);
            winsim::reg::CreateKey("registry/HKLM", key);
            for (const auto& kv : s.second) {
                bool number = false;
                for (const PortField& f : kPortFields)
                    number = number || (winsim::EqualNoCase(f.key, kv.first) && f.kind == PortFieldKind::Number);
                winsim::RegValue value = number && !r.Chance(15) ? winsim::reg::Dword(std::strtoul(kv.second.c_str(), nullptr, 0))
                                                                 : winsim::reg::Sz(r.Chance(4) ? Long('i') : kv.second);
                winsim::reg::SetValue("registry/HKLM", key, kv.first, value);
            }
        }
        winsim::CloseMachine();
        c.args.push_back("-r");
    }
    // A monitor DLL this machine will not have (see the server below).
    bool dllAtRisk = false;
    if (r.Chance(6)) {
        std::string file = r.Pick({"Vormo.ini", "VORMOVS64.DLL", "VORMOVS.DLL", "VORMOE64.DLL", "Vormo Client.exe",
                                   "VormoCairoLib64.DLL", "StopUIClients.exe"});
        remove("C:\\Dist\\" + file);
        dllAtRisk = file.find("VS") != std::string::npos || file == "VORMOE64.DLL";
    }
    if (r.Chance(5)) {
        write("C:\\Dist\\other.ini", IniText(r, Sections(r, r.Int(1, 3))));
        c.args.push_back(r.Pick({"-iother.ini", "-iC:\\Dist\\other.ini", "-iC:\\Dist\\absent.ini"}));
    }
    if (r.Chance(4)) {
        winsim::OpenMachine(c.dir);
        std::string host = winsim::MapPath("C:\\Windows\\VOPortInstall.log");
        winsim::CloseMachine();
        std::system(("rm -f '" + host + "' && mkdir -p '" + host + "'").c_str());
        c.title += ", the log a folder";
    }
    if (r.Chance(3)) {
        winsim::OpenMachine(c.dir);
        winsim::Process().redirectionDisabled = true;  // the native system directory, as the installer has it
        std::string host = winsim::MapPath("C:\\Windows\\System32\\" + r.Pick({"VORMOVS64.DLL", "VORMOVS.DLL", "VORMOE64.DLL"}));
        winsim::CloseMachine();
        std::system(("rm -f '" + host + "' && mkdir -p '" + host + "'").c_str());
        c.title += ", a folder as a monitor DLL";
        dllAtRisk = true;
    }
    if (r.Chance(4)) {
        write(options.os.find("x64") != std::string::npos ? "C:\\Program Files (x86)\\Oxlen" : "C:\\Program Files\\Oxlen",
              "a file in the way\n");
        c.title += ", a file as the maker's folder";
    }

    // The command line: every switch, and server names good and bad.
    if (c.enterprise) c.args.push_back("-a");
    c.uninstall = r.Chance(25);
    if (c.uninstall) c.args.push_back(r.Pick({"-u", "-U"}));
    for (const char* s : {"-e", "-c", "-s", "-f"})
        if (r.Chance(s[1] == 's' ? 30 : 12)) c.args.push_back(s);
    if (r.Chance(6)) c.args.push_back(r.Pick({"-l", "-lother.log", "-lC:\\Missing\\x.log"}));
    if (r.Chance(25)) {
        std::string server = r.Pick({"\\\\PRINTSRV", "\\\\PRINTSRV", "\\\\GHOST", "/s", "-x", "/silent", "", "\\\\WINSIM"});
        // winsim looks for a print server's monitor DLL on this machine's
        // drive, where only a copy (no -c) from a whole distribution to a
        // free place is sure to put it; on Windows the server's own system
        // directory counts, which the check cannot see and says so
        // (dll-unseen). Where this machine may lack the DLL, the run stays here.
        bool noCopy = std::find(c.args.begin(), c.args.end(), "-c") != c.args.end();
        if (server == "\\\\PRINTSRV" && (noCopy || dllAtRisk)) server = "\\\\WINSIM";
        c.args.push_back(server);
        c.targetHive = server == "\\\\PRINTSRV" ? kHives[1] : server.empty() || server == "\\\\WINSIM" ? kHives[0] : "";
    }
    for (size_t i = c.args.size(); i > 1; --i) std::swap(c.args[i - 1], c.args[static_cast<size_t>(r.Int(0, int(i) - 1))]);
    for (const auto& a : c.args) c.title += " " + (a.empty() ? std::string("\"\"") : a);
    return c;
}

// What the check announced, as the machine afterwards and Install.exe's exit code.
struct Expectation {
    Observed machine;
    int exitCode = 0;
};

// The plan of the report: the run's exit code, the ports of the monitor
// added, removed or written again with their records (defaults elsewhere)
// on the spooler the run works on, and each printer whose port list changes.
Expectation Announced(const json& report, const Case& c, const Observed& before) {
    Expectation e;
    e.machine = before;
    const json& plan = report["plan"];
    e.exitCode = plan["exitCode"].get<int>() == 0 ? 0 : 255;
    const std::string monitor = c.enterprise ? "VormoE" : "Vormo";
    for (const auto& port : plan["ports"]) {
        std::string key = PortKey(c.targetHive, monitor, port["port"]);
        if (port["change"] == "removed") {
            e.machine.ports.erase(key);
            continue;
        }
        auto fields = Defaults();
        for (auto& kv : port["values"].items()) fields[kv.key()] = kv.value().get<std::string>();
        e.machine.ports[key] = fields;
    }
    for (const auto& p : plan["printers"]) {
        auto it = e.machine.printers.find(p["printer"].get<std::string>());
        if (it != e.machine.printers.end()) it->second = p["after"];
        else e.machine.printers["(unknown) " + p["printer"].get<std::string>()] = p["after"];
    }
    return e;
}

std::string Differences(const Expectation& want, const Observed& got, int exitCode) {
    std::string out;
    if (want.exitCode != exitCode)
        out += "  exit code " + std::to_string(exitCode) + ", announced " + std::to_string(want.exitCode) + "\n";
    for (const auto& p : want.machine.ports) {
        auto it = got.ports.find(p.first);
        if (it == got.ports.end()) {
            out += "  port " + p.first + " announced, missing\n";
            continue;
        }
        for (const auto& f : p.second) {
            if (f.first == "(name)") continue;
            auto g = it->second.find(f.first);
            std::string value = g == it->second.end() ? "(none)" : g->second;
            if (value != f.second) out += "  port " + p.first + " " + f.first + "=" + value + ", announced " + f.second + "\n";
        }
    }
    for (const auto& p : got.ports)
        if (!want.machine.ports.count(p.first)) out += "  port " + p.first + " not announced\n";
    for (const auto& p : got.printers) {
        auto it = want.machine.printers.find(p.first);
        std::string announced = it == want.machine.printers.end() ? "(none)" : it->second;
        if (announced != p.second) out += "  printer '" + p.first + "' on " + p.second + ", announced " + announced + "\n";
    }
    return out;
}

class PlanDifferential : public ::testing::TestWithParam<int> {};

TEST_P(PlanDifferential, TheInstallationDoesWhatTheCheckAnnounced) {
    const char* casesText = std::getenv("PLAN_CASES");
    const char* seedText = std::getenv("PLAN_SEED");
    int cases = casesText ? std::atoi(casesText) : kDefaultCases;
    unsigned seed = seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10)) : 22u;
    int shard = GetParam(), disagreements = 0, clean = 0, cleanDisagreements = 0, shown = 0;
    for (int i = shard; i < cases; i += kShards) {
        Case c = MakeCase(seed * 100003u + static_cast<unsigned>(i));
        std::vector<std::string> checkArgs = c.args;
        checkArgs.insert(checkArgs.begin(), "--json");
        testing_support::RunResult check =
            testing_support::RunHostProgram(CHECK_BINARY, c.dir, checkArgs, "C:\\Dist\\VormoCheck.exe");
        Observed before = Observe(c.dir);
        testing_support::RunResult run = testing_support::RunInstaller(c.dir, c.args);
        Observed after = Observe(c.dir);
        std::string differences;
        json report = json::parse(check.out, nullptr, false);
        if (report.is_discarded() || !report.contains("exitCode")) {
            differences = "  no report (exit code " + std::to_string(check.exitCode) + ")\n" + check.out + check.err;
        } else {
            differences = Differences(Announced(report, c, before), after, run.exitCode);
            if (check.exitCode == 0) ++clean;
        }
        if (!differences.empty()) {
            ++disagreements;
            if (check.exitCode == 0) ++cleanDisagreements;
            if (shown++ < 3 || std::getenv("PLAN_SHOW_ALL"))
                std::printf("case %d (%s):\n%s", i, c.title.c_str(), differences.c_str());
        }
        testing_support::RemoveTree(c.dir);
    }
    std::printf("shard %d: %d disagreements in %d cases; %d called clean, %d of them disagreeing\n", shard,
                disagreements, (cases - shard + kShards - 1) / kShards, clean, cleanDisagreements);
    EXPECT_EQ(disagreements, 0);
}

INSTANTIATE_TEST_SUITE_P(Shards, PlanDifferential, ::testing::Range(0, kShards));

}  // namespace
