// VormoCheck on crafted distributions: each finding, the exit codes, a
// machine left exactly as it was, and an installation that then does what
// the check announced.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/machine.h"
#include "winsim/machine.h"
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
        dir = NewMachineDir(options);
    }
    ~Machine() { testing_support::RemoveTree(dir); }
    std::string Host(const std::string& winPath) const {
        winsim::OpenMachine(dir);
        std::string host = winsim::MapPath(winPath);
        winsim::CloseMachine();
        return host;
    }
    void Write(const std::string& winPath, const std::string& text) const {
        ASSERT_TRUE(winsim::WriteFileAtomic(Host(winPath), text));
    }
    void Remove(const std::string& winPath) const { ::unlink(Host(winPath).c_str()); }
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

// A finding as the table expects it: severity, section (0: none), key or
// file, and a piece of its message.
struct Expected {
    const char* severity;
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

const Row kRows[] = {
    {"the sample distribution checks clean", "7-x64", true, {}, "", {}, 0, {}},
    {"sections, keys and printers that would not come out as written", "7-x64", true, {},
     "[1]\nServerIP=10.0.0.1\nSeverPort=9100\nServerPort=0x1F\nAssignPrinter1=Office Laser\n"
     "AssignPrinter=Ghost\nAssignPrinter2=Office Laser\nAssignPrinter3=office laser\nDescription=a\n"
     "Description=b\nQueue=" + kLong + "\nNoValue\nLogToFile=\n"
     "[2]\nServerIP=bad host!\nServerPort=70000\nAssignPrinter=Office Laser\n"
     "[2]\nX=1\n"
     "[3]\nServerIP2=10.0.0.3\n"
     "[5]\nServerIP=10.0.0.5\n"
     "[04]\nServerIP=10.0.0.4\n",
     {"VORMO64UI.DLL"}, 2,
     {{"error", 0, "VORMO64UI.DLL", "missing from the distribution"},
      {"warning", 1, "SeverPort", "did you mean ServerPort?"},
      {"warning", 1, "ServerPort", "0x1F is not a plain decimal number: 31 is sent"},
      {"warning", 1, "AssignPrinter1", "never read"},
      {"error", 1, "AssignPrinter", "'Ghost' does not exist"},
      {"warning", 1, "AssignPrinter3", "named twice in section 1"},
      {"warning", 1, "Description", "given twice"},
      {"error", 1, "Queue", "cut to its first 259"},
      {"warning", 1, "NoValue", "not a key of a port section"},
      {"note", 1, "LogToFile", "empty: the default 0 is sent"},
      {"warning", 2, "ServerIP", "no host name or IP address"},
      {"warning", 2, "ServerPort", "70000 is no TCP port"},
      {"warning", 2, "AssignPrinter", "named in sections 1 and 2"},
      {"warning", 2, "", "appears again"},
      {"error", 3, "ServerIP", "has ServerIP2 but no ServerIP"},
      {"error", 5, "", "section 5 is never read: section 3 has no ServerIP"},
      {"warning", 0, "", "[04] is never read"}}},
    {"a gap in the numbering", "7-x64", true, {}, "[1]\nServerIP=a\n[2]\nServerIP=b\n[4]\nServerIP=d\n", {}, 2,
     {{"error", 4, "", "section 4 is never read: section 3 is missing"}}},
    {"warnings only", "7-x64", true, {}, "[1]\nServerIP=10.0.0.1\nServerPort=-1\n", {}, 1,
     {{"warning", 1, "ServerPort", "-1 is not a plain decimal number: 4294967295 is sent"},
      {"warning", 1, "ServerPort", "4294967295 is no TCP port"}}},
    {"the INI file missing", "7-x64", true, {"-iC:\\Dist\\absent.ini"}, "", {}, 2,
     {{"error", 0, "Vormo.ini", "the INI file C:\\Dist\\absent.ini is missing"},
      {"note", 0, "", "no port section"}}},
    {"no .NET Framework 2.0", "7-x64", false, {}, "", {}, 2, {{"error", 0, "", ".NET Framework 2.0"}}},
    {"an unsupported Windows", "2000", true, {}, "", {}, 2,
     {{"error", 0, "", "(Windows 2000) is not supported"}}},
    {"the Enterprise edition: no client files, no .NET Framework, its rule", "7-x64", false, {"-a"},
     "[1]\nServerIP=10.0.0.1\nDisableServerCommunication=1\nEncryption=1\n", {"Vormo Client.exe"}, 0,
     {{"note", 1, "DisableServerCommunication", "Encryption and RefreshIPList are sent as 0"}}},
    {"past the Enterprise edition's last port name", "7-x64", true, {"-a"}, Sections(1000), {}, 2,
     {{"error", 1000, "", "past the edition's last port name"}}},
    {"a bad switch of the check's own", "7-x64", true, {"--colour"}, "", {}, 3, {}},
};

std::string Describe(const json& f) {
    return f["severity"].get<std::string>() + " " + (f["section"].is_null() ? "-" : f["section"].dump()) + " " +
           (f["key"].is_null() ? (f["file"].is_null() ? "-" : f["file"].get<std::string>()) : f["key"].get<std::string>()) +
           ": " + f["message"].get<std::string>();
}

}  // namespace

TEST(Preflight, FindingsAndExitCodes) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.title);
        Machine m(row.os, row.dotNet);
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
        // The machine is exactly as it was: no file, key or journal line changed.
        EXPECT_TRUE(Snapshot(m.dir) == before) << "the check changed the machine";
        std::vector<std::string> found;
        for (const auto& f : report["findings"]) found.push_back(Describe(f));
        EXPECT_EQ(found.size(), row.findings.size()) << ::testing::PrintToString(found);
        for (const Expected& e : row.findings) {
            bool seen = false;
            for (const auto& f : report["findings"]) {
                std::string where = f["key"].is_null() ? (f["file"].is_null() ? "" : f["file"].get<std::string>())
                                                       : f["key"].get<std::string>();
                seen = seen || (f["severity"] == e.severity && (f["section"].is_null() ? 0 : f["section"].get<int>()) ==
                                                                   e.section &&
                                where == e.where && f["message"].get<std::string>().find(e.says) != std::string::npos);
            }
            EXPECT_TRUE(seen) << e.severity << " " << e.section << " " << e.where << ": " << e.says << "\nin\n"
                              << ::testing::PrintToString(found);
        }
    }
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

TEST(Preflight, RegistrySections) {
    Machine m;
    winsim::OpenMachine(m.dir);
    const std::string key = "SOFTWARE\\Wow6432Node\\Oxlen Corporation\\Vormo\\PortInstallCfg\\";
    winsim::reg::CreateKey("registry/HKLM", key + "1");
    winsim::reg::SetValue("registry/HKLM", key + "1", "ServerIP", winsim::reg::Sz("10.0.0.1"));
    winsim::reg::SetValue("registry/HKLM", key + "1", "ServerPort", winsim::reg::Sz("12"));
    winsim::reg::SetValue("registry/HKLM", key + "1", "Queue", winsim::reg::Sz(std::string(300, 'q')));
    winsim::reg::SetValue("registry/HKLM", key + "1", "Severport", winsim::reg::Dword(1));
    winsim::reg::CreateKey("registry/HKLM", key + "3");
    winsim::reg::SetValue("registry/HKLM", key + "3", "ServerIP", winsim::reg::Sz("10.0.0.3"));
    winsim::CloseMachine();
    int exitCode = -1;
    json report = m.Check({"-r"}, &exitCode);
    EXPECT_EQ(exitCode, 2);
    std::vector<std::string> found;
    for (const auto& f : report["findings"]) found.push_back(Describe(f));
    EXPECT_EQ(found, (std::vector<std::string>{
                         "error 1 Queue: Queue holds 301 bytes, more than its 260-byte field: the default (\"\") is "
                         "sent instead",
                         "error 3 -: section 3 is never read: section 2 is missing",
                         "warning 1 ServerPort: ServerPort is stored as registry type 1: its bytes are read as the "
                         "number 12849",
                         "warning 1 Severport: Severport is not a key of a port section: it is not read; did you mean "
                         "ServerPort?"}));
    EXPECT_EQ(report["ports"][0]["values"]["ServerPort"], "12849");
}
