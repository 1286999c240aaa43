// VormoCheck on crafted distributions: each finding, the exit codes, a
// machine left exactly as it was, and an installation that then does what
// the check announced.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <set>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "check/catalogue.h"
#include "check/preflight.h"
#include "support/machine.h"
#include "winsim/machine.h"
#include "winsim/spooler.h"
#include "wire/port_fields.h"

using nlohmann::json;
using testing_support::NewMachineDir;
using testing_support::RunResult;

namespace {

// Every file below a folder with its bytes: the whole machine, to compare.
void Snapshot(const std::string& dir, const std::string& rel, std::map<std::string, std::string>* files) {
    DIR* d = ::opendir((dir + rel).c_str());
    if (!d) return;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        std::string path = rel + "/" + name;
        struct stat st;
        if (::lstat((dir + path).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            (*files)[path + "/"] = "";
            Snapshot(dir, path, files);
        } else {
            winsim::ReadWholeFile(dir + path, &(*files)[path]);
        }
    }
    ::closedir(d);
}

std::map<std::string, std::string> Snapshot(const std::string& dir) {
    std::map<std::string, std::string> files;
    Snapshot(dir, "", &files);
    return files;
}

struct Machine {
    explicit Machine(const std::string& os = "7-x64", bool dotNet = true) {
        winsim::NewOptions options = testing_support::TempMachine::DefaultOptions();
        options.os = os;
        options.dotNet = dotNet;
        options.printers.push_back({"Office Laser", "LPT1:", PRINTER_ATTRIBUTE_LOCAL});
        options.printers.push_back({"Front Desk", "LPT2:", PRINTER_ATTRIBUTE_LOCAL});
        options.printers.push_back({"Caf\xE9", "LPT1:", PRINTER_ATTRIBUTE_LOCAL});
        options.servers = {"\\\\PRINTSRV"};
        dir = NewMachineDir(options);
    }
    ~Machine() { testing_support::RemoveTree(dir); }
    // The host path of a Windows path as the installer reaches it (the native system directory).
    std::string Host(const std::string& winPath) const {
        winsim::OpenMachine(dir);
        winsim::Process().redirectionDisabled = true;
        std::string host = winsim::MapPath(winPath);
        winsim::CloseMachine();
        return host;
    }
    void Write(const std::string& winPath, const std::string& text) const {
        ASSERT_TRUE(winsim::WriteFileAtomic(Host(winPath), text));
    }
    void Remove(const std::string& winPath) const { testing_support::RemoveTree(Host(winPath)); }
    void Folder(const std::string& winPath) const {
        std::string host = Host(winPath);
        ASSERT_EQ(std::system(("rm -f '" + host + "' && mkdir -p '" + host + "'").c_str()), 0);
    }
    // An installation with the sample distribution, before the check.
    void Install(const std::vector<std::string>& args = {"-s"}) const {
        ASSERT_EQ(testing_support::RunInstaller(dir, args).exitCode, 0);
    }
    void SetPorts(const std::string& printer, const std::string& ports, DWORD attributes = 0) const {
        winsim::OpenMachine(dir);
        winsim::reg::SetValue("registry/HKLM", winsim::PrinterKey(printer), "Port", winsim::reg::Sz(ports));
        if (attributes)
            winsim::reg::SetValue("registry/HKLM", winsim::PrinterKey(printer), "Attributes", winsim::reg::Dword(attributes));
        winsim::CloseMachine();
    }
    void SetSectionValue(int n, const std::string& name, const winsim::RegValue& value) const {
        winsim::OpenMachine(dir);
        std::string key = "SOFTWARE\\Wow6432Node\\Oxlen Corporation\\Vormo\\PortInstallCfg\\" + std::to_string(n);
        winsim::reg::CreateKey("registry/HKLM", key);
        winsim::reg::SetValue("registry/HKLM", key, name, value);
        winsim::CloseMachine();
    }
    // The check as winsim runs it, its report read as JSON.
    json Check(const std::vector<std::string>& args, int* exitCode) const {
        std::vector<std::string> all = args;
        all.insert(all.begin(), "--json");
        RunResult r = testing_support::RunHostProgram(CHECK_BINARY, dir, all, "C:\\Dist\\VormoCheck.exe");
        *exitCode = r.exitCode;
        return json::parse(r.out);
    }
    std::string dir;
};

// A finding as the table expects it: its identifier, section (0: none), key
// or file, and a piece of its message (followed by " Fix: " and its fix).
struct Expected {
    const char* id;
    int section;
    const char* where;
    const char* says;
};

struct Row {
    const char* title;
    const char* os;
    bool dotNet;
    std::vector<std::string> args;
    std::string ini;  // empty: the sample's
    std::vector<std::string> removed;
    void (*prepare)(const Machine&);  // what else the machine holds; null: nothing
    int exitCode;
    std::vector<Expected> findings;  // every finding, in any order
};

const std::string kLong(300, 'q');

// Sections 1 to count, each with its ServerIP.
std::string Sections(int count) {
    std::string text;
    for (int n = 1; n <= count; ++n) text += "[" + std::to_string(n) + "]\nServerIP=10.0.0.1\n";
    return text;
}

// The sample distribution installed, then printers bound to its ports by
// hand: Office Laser on Vormo001 (which the sample assigns), Front Desk on
// Vormo002 and LPT2: (a pooled printer).
void Installed(const Machine& m) {
    m.Install();
    m.SetPorts("Front Desk", "Vormo002,LPT2:");
}

const Row kRows[] = {
    {"the sample distribution checks clean", "7-x64", true, {}, "", {}, nullptr, 0, {}},
    {"sections, keys and printers that would not come out as written", "7-x64", true, {},
     "[1]\nServerIP=10.0.0.1\nSeverPort=9100\nServerPort=0x1F\nAssignPrinter1=Office Laser\n"
     "AssignPrinter=Ghost\nAssignPrinter2=Office Laser\nAssignPrinter3=office laser\nDescription=a\n"
     "Description=b\nAssignPrinter4=Caf\xE9\nQueue=" + kLong + "\nNoValue\nLogToFile=\nServer\xADPort=515\nComPort\n"
     "[2]\nServerIP=bad host!\nServerPort=70000\nAssignPrinter=Office Laser\nAssignPrinter2=Office La\xADser\n"
     "IPLoadBalancing3=5\n"
     "[2]\nX=1\n"
     "[3]\nServerIP=10.0.0.3\nAssignPrinter=OFFICE LASER\nAssignPrinter2=CAF\xC9\n[4\nQueue=x\n"
     "[4]\nServerIP2=10.0.0.3\n"
     "[6]\nServerIP=10.0.0.5\n"
     "[04]\nServerIP=10.0.0.4\n",
     {"VORMO64UI.DLL", "VormoEvent.dll"}, nullptr, 2,
     {{"file-missing", 0, "VORMO64UI.DLL", "missing from the distribution"},
      {"event-dll-missing", 0, "VormoEvent.dll", "event-log source"},
      {"key-unknown", 1, "SeverPort", "did you mean ServerPort?"},
      {"key-unknown", 1, "Server\xADPort", "invisible character <U+00AD>); did you mean ServerPort?"},
      {"number-not-decimal", 1, "ServerPort", "0x1F is not a plain decimal number: 31 is sent"},
      {"assignprinter1", 1, "AssignPrinter1", "never read"},
      {"printer-missing", 1, "AssignPrinter", "'Ghost' does not exist"},
      {"printer-named-twice", 1, "AssignPrinter3", "named twice in section 1"},
      {"key-repeated", 1, "Description", "given twice"},
      {"value-cut", 1, "Queue", "cut to its first 259"},
      {"key-unknown", 1, "NoValue", "not a key of a port section"},
      {"key-no-value", 1, "ComPort", "no '='"},
      {"number-empty", 1, "LogToFile", "empty: the default 0 is sent"},
      {"serverip-unusable", 2, "ServerIP", "no host name or IP address"},
      {"serverport-range", 2, "ServerPort", "70000 is no TCP port"},
      {"printer-missing", 2, "AssignPrinter2", "(the spooler's printer 'Office Laser' is another name to it)"},
      {"weight-without-server", 2, "IPLoadBalancing3", "empty ServerIP3"},
      {"section-repeated", 2, "", "appears again"},
      {"header-unclosed", 3, "[4", "read as keys of section 3"},
      {"printer-in-sections", 3, "AssignPrinter", "sections 1, 2 and 3: it ends on Vormo003"},
      {"printer-in-sections", 3, "AssignPrinter2", "'Caf\xE9' is named in sections 1 and 3: it ends on Vormo003"},
      {"section-without-serverip", 4, "ServerIP", "has ServerIP2 but no ServerIP"},
      {"section-after-gap", 6, "", "section 6 is never read: section 4 has no ServerIP"},
      {"section-name", 0, "", "[04] is never read"}}},
    {"a gap in the numbering, a section without ServerIP", "7-x64", true, {},
     "[1]\nServerIP=a\n[2]\nServerIP=b\n[4]\nServerIP=d\n", {}, nullptr, 2,
     {{"section-after-gap", 4, "", "section 4 is never read: section 3 is missing"}}},
    {"warnings only", "7-x64", true, {}, "[1]\nServerIP=10.0.0.1\nServerPort=-1\n[2]\nQueue=x\n", {}, nullptr, 1,
     {{"number-not-decimal", 1, "ServerPort", "-1 is not a plain decimal number: 4294967295 is sent"},
      {"serverport-range", 1, "ServerPort", "4294967295 is no TCP port"},
      {"section-no-serverip", 2, "ServerIP", "no ServerIP"}}},
    {"the INI file named with -i is missing", "7-x64", true, {"-iC:\\Dist\\absent.ini"}, "", {}, nullptr, 2,
     {{"ini-missing", 0, "Vormo.ini", "absent.ini is missing or unreadable: the installation would stop (\"ERROR While Checking 'Vormo.ini'.\") Fix: Correct the path given with -i"},
      {"no-sections", 0, "", "no port section"}}},
    {"no .NET Framework 2.0", "7-x64", false, {}, "", {}, nullptr, 2, {{"dotnet-missing", 0, "", ".NET Framework 2.0"}}},
    {"an unsupported Windows", "2000", true, {}, "", {}, nullptr, 2,
     {{"windows-unsupported", 0, "", "(Windows 2000) is not supported"}}},
    {"a Windows version that cannot be read", "7-x64", true, {}, "", {},
     [](const Machine& m) { winsim::WriteFileAtomic(m.dir + "/faults", "GetVersionExA * 5\nGetVersionExA:ex * 5\n"); }, 2,
     {{"windows-unreadable", 0, "", "cannot be read"}, {"windows-unsupported", 0, "", "is not supported"}}},
    {"the Enterprise edition: no client files, no .NET Framework, its rule", "7-x64", false, {"-a"},
     "[1]\nServerIP=10.0.0.1\nDisableServerCommunication=1\nEncryption=1\nRefreshIPList=12abc\n", {"Vormo Client.exe"},
     nullptr, 1,
     {{"enterprise-rule", 1, "DisableServerCommunication", "Encryption and RefreshIPList are sent as 0"},
      {"number-not-decimal", 1, "RefreshIPList", "12abc is not a plain decimal number: 0 is sent"}}},
    {"past the Enterprise edition's last port name", "7-x64", true, {"-a"}, Sections(1000), {}, nullptr, 2,
     {{"section-past-bound", 1000, "", "past the edition's last port name"}}},
    {"registry sections", "7-x64", true, {"-r"}, "", {},
     [](const Machine& m) {
         m.SetSectionValue(1, "ServerIP", winsim::reg::Sz("10.0.0.1"));
         m.SetSectionValue(1, "ServerPort", winsim::reg::Sz("12"));
         m.SetSectionValue(1, "ParserDPI", winsim::RegValue{REG_BINARY, std::string(8, '\1')});
         m.SetSectionValue(1, "Queue", winsim::reg::Sz(std::string(300, 'q')));
         m.SetSectionValue(1, "Severport", winsim::reg::Dword(1));
         m.SetSectionValue(2, "ServerIP", winsim::reg::Sz(std::string(300, 'i')));
         m.SetSectionValue(3, "ServerIP", winsim::reg::Sz("10.0.0.3"));
     },
     2,
     {{"value-too-long", 1, "Queue", "301 bytes, more than its 260-byte field: the default (\"\") is sent instead"},
      {"registry-type", 1, "ServerPort", "registry type 1: its bytes are read as the number 12849"},
      {"registry-size", 1, "ParserDPI", "8 bytes: a number is read from 1 to 4, so the default 72 is sent"},
      {"key-unknown", 1, "Severport", "did you mean ServerPort?"},
      {"serverip-too-long", 2, "ServerIP", "301 bytes"},
      {"section-after-gap", 3, "", "section 3 is never read: section 2 has no ServerIP"}}},
    {"the install log cannot be opened", "7-x64", true, {}, "", {},
     [](const Machine& m) { m.Folder("C:\\Windows\\VOPortInstall.log"); }, 2,
     {{"log-unwritable", 0, "", "a folder stands there"}}},
    {"a mistyped switch taken as a print server", "7-x64", true, {"/s"}, "", {}, nullptr, 2,
     {{"server-unreachable", 0, "", "'/s' is no switch of Install.exe: it is taken as a print server's name, and the print "
                                    "server /s does not answer (error 1722): the installation would stop when it removes "
                                    "the old monitor Fix: Write the switch as Install.exe knows it"}}},
    {"a print server: the monitor DLL there, printers here", "7-x64", true, {"\\\\PRINTSRV"}, "", {}, nullptr, 1,
     {{"dll-unseen", 0, "VORMOVS64.DLL", "cannot look into"},
      {"printer-port-elsewhere", 1, "AssignPrinter", "'Office Laser' cannot be moved onto Vormo001"},
      {"printer-port-elsewhere", 2, "AssignPrinter", "'Front Desk' cannot be moved onto Vormo002"}}},
    {"-c where the monitor files are not installed", "7-x64", true, {"-c"}, "", {"Vormo Client.exe"}, nullptr, 2,
     {{"dll-missing", 0, "VORMOVS64.DLL", "the registration would fail (error 87)"},
      {"client-file-missing", 0, "Vormo Client.exe", "installed without it"}}},
    {"-c over an earlier installation: the distribution's monitor files are not needed", "7-x64", true, {"-c"}, "",
     {"VORMOVS64.DLL", "VormoCairoLib64.DLL"}, [](const Machine& m) { m.Install(); }, 0, {}},
    {"a folder where a monitor DLL is copied", "7-x64", true, {}, "", {},
     [](const Machine& m) { m.Folder("C:\\Windows\\System32\\VORMOVS64.DLL"); }, 2,
     {{"copy-fails", 0, "VORMOVS64.DLL", "a folder of that name stands there"}}},
    {"a file where the maker's folder belongs", "7-x64", true, {}, "", {},
     [](const Machine& m) { m.Write("C:\\Program Files (x86)\\Oxlen", "in the way\n"); }, 2,
     {{"folder-blocked", 0, "", "the client application, the fonts and the subnet file"}}},
    {"a re-installation that stops printing", "7-x64", true, {}, "[1]\nServerIP=10.0.0.9\n", {}, &Installed, 2,
     {{"printer-to-file", 0, "", "'Office Laser' is on Vormo001 today and would end on FILE:"},
      {"printer-loses-port", 0, "", "'Front Desk' loses Vormo002: it is on Vormo002,LPT2: today and keeps LPT2:"}}},
    {"an old monitor that cannot be removed, errors ignored", "7-x64", true, {"-e"}, "", {},
     [](const Machine& m) {
         m.Install();
         m.SetPorts("Front Desk", "LPT1:, Vormo002");
     },
     2,
     {{"monitor-in-use", 0, "", "'Front Desk' still uses Vormo002 (its port list writes it ' Vormo002'"},
      {"printer-to-file", 0, "", "'Office Laser' is on Vormo001 today"},
      {"registration-fails", 0, "", "error 3006"},
      {"port-exists", 1, "", "port Vormo001 exists already"}}},
    {"an uninstallation", "7-x64", true, {"-u"}, "", {}, &Installed, 1,
     {{"uninstall-printer-to-file", 0, "", "'Office Laser' is on Vormo001 today"}}},
    {"the Enterprise edition without fonts: nothing makes the product folder", "7-x64", true, {"-a"}, "", {"FontFiles"},
     nullptr, 1, {{"subnet-no-folder", 0, "server_subnet.csv", "does not exist and nothing makes it"}}},
    {"no Program Files folder", "7-x86", true, {}, "", {},
     [](const Machine& m) {
         winsim::OpenMachine(m.dir);
         winsim::reg::DeleteValue("registry/HKLM", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir");
         winsim::CloseMachine();
     },
     1, {{"no-program-files", 0, "", "cannot be found"}}},
    {"a bad switch of the check's own", "7-x64", true, {"--colour"}, "", {}, nullptr, 3, {}},
};

std::string Describe(const json& f) {
    return f["id"].get<std::string>() + " " + (f["section"].is_null() ? "-" : f["section"].dump()) + " " +
           (f["key"].is_null() ? (f["file"].is_null() ? "-" : f["file"].get<std::string>()) : f["key"].get<std::string>()) +
           ": " + f["message"].get<std::string>();
}

}  // namespace

// Every finding of the catalogue, each from a crafted case, with its severity
// and the check's exit code; the machine exactly as it was afterwards.
TEST(Preflight, FindingsAndExitCodes) {
    std::set<std::string> produced;
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.title);
        Machine m(row.os, row.dotNet);
        if (row.prepare) row.prepare(m);
        if (!row.ini.empty()) m.Write("C:\\Dist\\Vormo.ini", row.ini);
        for (const auto& file : row.removed) m.Remove("C:\\Dist\\" + file);
        auto before = Snapshot(m.dir);
        int exitCode = -1;
        if (row.exitCode == 3) {
            RunResult r = testing_support::RunHostProgram(CHECK_BINARY, m.dir, row.args, "C:\\Dist\\VormoCheck.exe");
            EXPECT_EQ(r.exitCode, 3);
            EXPECT_NE(r.out.find("usage: VormoCheck"), std::string::npos);
            continue;
        }
        json report = m.Check(row.args, &exitCode);
        EXPECT_EQ(exitCode, row.exitCode);
        EXPECT_EQ(report["exitCode"], row.exitCode);
        EXPECT_EQ(report["format"], kReportFormat);
        // The machine is exactly as it was: no file, key or journal line changed.
        EXPECT_TRUE(Snapshot(m.dir) == before) << "the check changed the machine";
        std::vector<std::string> found;
        for (const auto& f : report["findings"]) {
            found.push_back(Describe(f));
            produced.insert(f["id"].get<std::string>());
            EXPECT_EQ(f["severity"], SeverityWord(KindOf(f["id"].get<std::string>().c_str()).severity));
        }
        EXPECT_EQ(found.size(), row.findings.size()) << ::testing::PrintToString(found);
        for (const Expected& e : row.findings) {
            bool seen = false;
            for (const auto& f : report["findings"]) {
                std::string where = f["key"].is_null() ? (f["file"].is_null() ? "" : f["file"].get<std::string>())
                                                       : f["key"].get<std::string>();
                seen = seen || (f["id"] == e.id && (f["section"].is_null() ? 0 : f["section"].get<int>()) == e.section &&
                                where == winsim::AnsiToUtf8(e.where) &&
                                (f["message"].get<std::string>() + " Fix: " + f["fix"].get<std::string>())
                                        .find(winsim::AnsiToUtf8(e.says)) != std::string::npos);
            }
            EXPECT_TRUE(seen) << e.id << " " << e.section << " " << e.where << ": " << e.says << "\nin\n"
                              << ::testing::PrintToString(found);
        }
    }
    for (size_t i = 0; i < kFindingKindCount; ++i)
        EXPECT_TRUE(produced.count(kFindingKinds[i].id)) << kFindingKinds[i].id << " is produced by no row";
}

// The README's table of findings is the catalogue: every identifier with its severity.
TEST(Preflight, TheReadmeListsEveryFindingOfTheCatalogue) {
    std::string readme;
    ASSERT_TRUE(winsim::ReadWholeFile(std::string(SOURCE_DIR) + "/README.md", &readme));
    readme = "\n" + readme;
    // The rows of the table "| Finding | Severity | Meaning |", up to the blank line after it.
    size_t at = readme.find("\n| Finding | Severity | Meaning |\n");
    ASSERT_NE(at, std::string::npos);
    std::string table = readme.substr(at, readme.find("\n\n", at) - at);
    std::map<std::string, std::string> listed;
    at = 0;
    while ((at = table.find("\n| `", at)) != std::string::npos) {
        size_t close = table.find("` | ", at + 4);
        size_t end = table.find(" |", close + 4);
        if (close == std::string::npos || end == std::string::npos) break;
        listed[table.substr(at + 4, close - at - 4)] = table.substr(close + 4, end - close - 4);
        at = end;
    }
    std::map<std::string, std::string> catalogue;
    for (size_t i = 0; i < kFindingKindCount; ++i)
        catalogue[kFindingKinds[i].id] = SeverityWord(kFindingKinds[i].severity);
    EXPECT_EQ(listed, catalogue);
}

// For every port the check announces, the installation then creates that
// port with that record: the announced values, the defaults elsewhere.
TEST(Preflight, TheInstallationDoesWhatTheCheckAnnounced) {
    Machine m;
    m.Write("C:\\Dist\\Vormo.ini",
            "[1]\nServerIP=10.9.0.1\nServerPort=515\nAuthText=x\nServerIP3=backup\n"
            "[2]\nServerIP=10.9.0.2\nServerPort=12abc\nParserDPI=0x12C\nEnvironmentVariableIP=\nAssignPrinter=Front Desk\n");
    int exitCode = -1;
    json report = m.Check({}, &exitCode);
    ASSERT_EQ(report["ports"].size(), 2u);
    RunResult install = testing_support::RunInstaller(m.dir, {"-s"});
    ASSERT_EQ(install.exitCode, 0) << install.out;
    winsim::OpenMachine(m.dir);
    for (const auto& port : report["ports"]) {
        std::string name = port["name"];
        SCOPED_TRACE(name);
        winsim::RegValue stored;
        ASSERT_TRUE(winsim::reg::GetValue("registry/HKLM", "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Vormo\\Ports\\" + name,
                                          "Record", &stored));
        ASSERT_EQ(stored.data.size(), sizeof(PortRecord));
        const auto* record = reinterpret_cast<const PortRecord*>(stored.data.data());
        for (const PortField& field : kPortFields) {
            bool announced = port["values"].contains(field.key);
            std::string sent;
            if (field.kind == PortFieldKind::Text) {
                std::u16string wide;
                for (const WCHAR* p = TextOf(record, field); *p; ++p) wide += static_cast<char16_t>(*p);
                sent = winsim::Utf16ToUtf8(wide);
                EXPECT_EQ(sent, announced ? port["values"][field.key].get<std::string>() : field.textDefault) << field.key;
            } else {
                sent = std::to_string(NumberOf(record, field));
                EXPECT_EQ(sent, announced ? port["values"][field.key].get<std::string>()
                                          : std::to_string(field.numberDefault))
                    << field.key;
            }
        }
    }
    winsim::CloseMachine();
    EXPECT_EQ(report["printers"][0]["printer"], "Front Desk");
    EXPECT_NE(install.out.find("    Printer 'Front Desk' assigned to port Vormo002\n"), std::string::npos);
}
