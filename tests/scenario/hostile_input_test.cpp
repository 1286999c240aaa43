// Hostile input seen from outside: the host Install binary given odd command
// lines, long paths and server names, names with "%" and characters outside
// ASCII, damaged distributions and logs it cannot write. Each case is a row
// of the "Hostile input" table of the README.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/machine.h"

using testing_support::RunInstaller;
using testing_support::TempMachine;

namespace {

using testing_support::Crlf;

bool Has(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }
bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

size_t Count(const std::string& s, const std::string& part) {
    size_t n = 0;
    for (size_t at = s.find(part); at != std::string::npos; at = s.find(part, at + 1)) ++n;
    return n;
}

class HostileRun : public ::testing::Test {
protected:
    void TearDown() override { winsim::CloseMachine(); }
    std::string Log(const TempMachine& m, const std::string& path = "C:\\Windows\\VOPortInstall.log") {
        m.Reopen();
        return m.Read(path);
    }
    // Every run ends with every handle and block given back (the host binary
    // says so on standard error otherwise).
    void ExpectClean(const testing_support::RunResult& r) { EXPECT_EQ(r.err, ""); }
};

TEST_F(HostileRun, ServerNameWithPercentAndOutsideAsciiIsPrintedAsItStands) {
    TempMachine m;
    const std::string server = "\\\\srv%s%n%d\xFC";
    auto r = RunInstaller(m.dir(), {"-u", server});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_TRUE(Has(r.out, "\nUninstalling Vormo Port Monitor on server " + server + "...\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "ERROR (1722) While Removing Print Monitor.\n")) << r.out;
    EXPECT_TRUE(EndsWith(r.out, "\n Port Monitor Not Completely UnInstalled!\n")) << r.out;
    EXPECT_EQ(Log(m), Crlf(r.out));
    ExpectClean(r);
}

TEST_F(HostileRun, LongServerNameIsPrintedWholeAndRefusedForTheXcvName) {
    TempMachine m;
    const std::string server = "\\\\" + std::string(5000, 's');
    auto r = RunInstaller(m.dir(), {"-e", server});
    EXPECT_EQ(r.exitCode, 0) << "-e passes over every refusal";
    EXPECT_TRUE(Has(r.out, "\nInstalling Vormo Port Monitor on server " + server + "...\n"));
    EXPECT_TRUE(Has(r.out, "ERROR (1722) While Removing Print Monitor.\n"));
    EXPECT_TRUE(Has(r.out, "ERROR (1722) While Registering Print Monitor.\n"));
    EXPECT_TRUE(Has(r.out, "Cannot open port monitor, server name too long\nERROR While adding port configuration\n"));
    EXPECT_EQ(Log(m), Crlf(r.out));
    ExpectClean(r);
}

TEST_F(HostileRun, EmptyArgumentIsAnEmptyServerNameThatMeansTheLocalSpooler) {
    TempMachine m;
    auto r = RunInstaller(m.dir(), {""});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(Has(r.out, "\nInstalling Vormo Port Monitor on server ...\n")) << r.out;
    EXPECT_EQ(Count(r.out, "    New - IP:"), 3u) << "the sample's three ports, on the local spooler";
    ExpectClean(r);
}

TEST_F(HostileRun, ProgramPathLongerThan259CharactersIsCut) {
    TempMachine m;
    // Cut to 259 characters, the path's last backslash is the one after
    // C:\Dist: the installer still runs from its distribution folder.
    auto r = RunInstaller(m.dir(), {}, "C:\\Dist\\" + std::string(300, 'x') + "\\Install.exe");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_TRUE(EndsWith(r.out, "\nVormo Port Monitor Installed Sucessfully.\n")) << r.out;
    ExpectClean(r);
}

TEST_F(HostileRun, IniPathLongerThan1023CharactersIsCutAndNotFound) {
    TempMachine m;
    auto r = RunInstaller(m.dir(), {"-iC:\\Dist\\" + std::string(2000, 'i') + ".ini"});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_TRUE(Has(r.out, "  - Checking Files\nERROR While Checking 'Vormo.ini'.\n")) << r.out;
    EXPECT_TRUE(EndsWith(r.out, "\nVormo Port Monitor Not Installed!\n"));
    ExpectClean(r);
}

TEST_F(HostileRun, IniFileOfBinaryGarbageGivesNoPorts) {
    TempMachine m;
    std::string garbage;
    for (int i = 0; i < 8192; ++i) garbage += static_cast<char>((i * 197 + 11) % 256);
    m.Write("C:\\Dist\\Vormo.ini", garbage);
    auto r = RunInstaller(m.dir(), {});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(Has(r.out, "  - Adding port configuration\n  - Event Log Resources WAS installed\n")) << r.out;
    ExpectClean(r);
}

TEST_F(HostileRun, LogThatCannotBeWrittenMeansNoOutputAndFailure) {
    struct Row {
        const char* title;
        std::string argument;  // "" for the default log
    };
    const Row rows[] = {
        {"a read-only default log", ""},
        {"a folder", "-lFontFiles"},
        {"a missing folder", "-lC:\\No such folder\\run.log"},
        {"a name too long for the file system", "-l" + std::string(300, 'n') + ".log"},
        {"a drive the machine does not have", "-lQ:\\run.log"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.title);
        TempMachine m;
        m.Write("C:\\Windows\\VOPortInstall.log", "earlier runs\r\n");
        if (row.argument.empty()) {
            ASSERT_TRUE(SetFileAttributesA("C:\\Windows\\VOPortInstall.log", FILE_ATTRIBUTE_READONLY));
        }
        auto r = row.argument.empty() ? RunInstaller(m.dir(), {}) : RunInstaller(m.dir(), {row.argument});
        EXPECT_EQ(r.exitCode, 255);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(Log(m), "earlier runs\r\n");
        EXPECT_FALSE(m.Exists("C:\\Windows\\system32\\VORMOVS64.DLL")) << "nothing was installed";
        ExpectClean(r);
    }
}

TEST_F(HostileRun, LogNameWithPercentAndOutsideAsciiIsUsedAsItStands) {
    TempMachine m;
    const std::string name = "Protokoll %s%n \xFC.log";
    auto r = RunInstaller(m.dir(), {"-l" + name});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(Log(m, "C:\\Dist\\" + name), Crlf(r.out));
    ExpectClean(r);
}

TEST_F(HostileRun, DistributionFileThatIsAFolderFailsItsCheck) {
    TempMachine m;
    m.Remove("C:\\Dist\\VORMOVS64.DLL");
    m.Write("C:\\Dist\\VORMOVS64.DLL\\inside.txt", "a folder where the DLL should be");
    auto r = RunInstaller(m.dir(), {});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_TRUE(Has(r.out, "  - Checking Files\nERROR While Checking 'VORMOVS64.DLL'.\n")) << r.out;
    EXPECT_TRUE(EndsWith(r.out, "\nVormo Port Monitor Not Installed!\n"));
    ExpectClean(r);
}

// A file the run may not read (mode 000; root reads any file, so the programs
// run as another user, who owns the machine) is refused as Windows refuses it:
// the installation stops at the check of its files, and the pre-flight check
// says that it would.
TEST_F(HostileRun, AnIniFileTheRunMayNotReadStopsTheInstallation) {
    TempMachine m;
    m.Write("C:\\Dist\\Closed\\file.txt", "closed");
    for (const char* path : {"C:\\Dist\\Vormo.ini", "C:\\Dist\\Closed"}) ASSERT_EQ(::chmod(m.Host(path).c_str(), 0), 0);
    ASSERT_TRUE(winsim::reg::SetValue("registry/HKLM", "SOFTWARE", "Closed", winsim::reg::Dword(1)));
    ASSERT_EQ(::chmod((m.dir() + "/registry/HKLM/SOFTWARE/values.reg").c_str(), 0), 0);
    const bool root = ::geteuid() == 0;
    const char* wrapper = std::getenv("INSTALL_WRAPPER");
    const std::string saved = wrapper ? wrapper : "";
    if (root) {
        ASSERT_EQ(std::system(("chown -R 65534:65534 '" + m.dir() + "'").c_str()), 0);
        ::setenv("INSTALL_WRAPPER", ("setpriv --reuid=65534 --regid=65534 --clear-groups " + saved).c_str(), 1);
    }
    auto check = testing_support::RunHostProgram(CHECK_BINARY, m.dir(), {}, "C:\\Dist\\VormoCheck.exe");
    auto r = RunInstaller(m.dir(), {});
    if (root && wrapper) ::setenv("INSTALL_WRAPPER", saved.c_str(), 1);
    if (root && !wrapper) ::unsetenv("INSTALL_WRAPPER");
    EXPECT_EQ(check.exitCode, 2) << check.out;
    EXPECT_TRUE(Has(check.out, "ERROR While Checking 'Vormo.ini'.")) << check.out;
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_TRUE(Has(r.out, "  - Checking Files\nERROR While Checking 'Vormo.ini'.\n")) << r.out;
    ExpectClean(r);
    // Each call that reads a file or lists a folder answers 5.
    EXPECT_EXIT(
        {
            if (root && (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0)) std::_Exit(2);
            WIN32_FIND_DATAA data;
            char text[16];
            bool refused = CreateFileA("C:\\Dist\\Vormo.ini", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr) == INVALID_HANDLE_VALUE &&
                           GetLastError() == ERROR_ACCESS_DENIED &&
                           FindFirstFileA("C:\\Dist\\Closed\\*", &data) == INVALID_HANDLE_VALUE &&
                           GetLastError() == ERROR_ACCESS_DENIED &&
                           !CopyFileA("C:\\Dist\\Vormo.ini", "C:\\Dist\\copy.ini", FALSE) &&
                           GetLastError() == ERROR_ACCESS_DENIED &&
                           GetPrivateProfileStringA("1", "ServerIP", "none", text, sizeof text, "C:\\Dist\\Vormo.ini") == 4 &&
                           GetLastError() == ERROR_ACCESS_DENIED;
            DWORD error = 0;
            refused = refused && !winsim::reg::GetValue("registry/HKLM", "SOFTWARE", "Closed", nullptr, &error) &&
                      error == ERROR_ACCESS_DENIED;
            std::_Exit(refused ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// Files copied from a read-only distribution (one copied from a CD, say)
// stay read-only, as CopyFileA keeps the source's attributes. The monitor's
// DLLs are replaced all the same (their deletion clears the attributes), but
// the event message file, the client files and the subnet file cannot be
// overwritten by a second installation, nor deleted by an uninstallation:
// each refusal is reported, none ends the run.
TEST_F(HostileRun, ReadOnlyDistributionInstallsAndInstallsAgain) {
    TempMachine m;
    for (const char* file : {"VORMOVS64.DLL", "VORMO64UI.DLL", "VormoCairoLib64.DLL", "VormoEvent.dll",
                             "Vormo Client.exe", "Interop.SHDocVw.dll", "Microsoft.mshtml.dll", "StopUIClients.exe",
                             "Vormo.ini", "server_subnet.csv"})
        ASSERT_TRUE(SetFileAttributesA((std::string("C:\\Dist\\") + file).c_str(), FILE_ATTRIBUTE_READONLY)) << file;
    auto first = RunInstaller(m.dir(), {});
    EXPECT_EQ(first.exitCode, 0) << first.out;
    EXPECT_FALSE(Has(first.out, "ERROR While")) << first.out;

    auto second = RunInstaller(m.dir(), {});
    EXPECT_EQ(second.exitCode, 0) << second.out;
    EXPECT_TRUE(Has(second.out, "  - Copying Files to Windows System Directory \n  - Registering")) << second.out;
    EXPECT_TRUE(Has(second.out, "  ERROR - Event Log Resources file was NOT copied!\n"));
    EXPECT_TRUE(Has(second.out, "  ERROR - Cannot copy Vormo Client User Interface\n"));
    EXPECT_TRUE(Has(second.out, "ERROR While Copying File 'server_subnet.csv'.\n"));

    auto removal = RunInstaller(m.dir(), {"-u"});
    EXPECT_EQ(removal.exitCode, 0) << removal.out;
    m.Reopen();
    EXPECT_FALSE(m.Exists("C:\\Windows\\system32\\VORMOVS64.DLL"));
    EXPECT_TRUE(m.Exists("C:\\Windows\\system32\\VormoEvent.dll")) << "kept by every uninstallation";
    EXPECT_TRUE(m.Exists("C:\\Program Files (x86)\\Oxlen\\Vormo Client\\Client\\Vormo Client.exe"))
        << "a read-only client file stays, silently";
    EXPECT_TRUE(m.Exists("C:\\Program Files (x86)\\Oxlen\\Vormo Client\\server_subnet.csv"));
    ExpectClean(first);
    ExpectClean(second);
    ExpectClean(removal);
}

}  // namespace

namespace {

// Every path below a host folder with its content, links as links.
void Snapshot(const std::string& root, const std::string& rel, std::vector<std::string>* out) {
    DIR* d = ::opendir((root + rel).c_str());
    if (!d) return;
    while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name, path = rel + "/" + n;
        struct stat st;
        if (n == "." || n == ".." || ::lstat((root + path).c_str(), &st) != 0) continue;
        std::string content;
        if (S_ISREG(st.st_mode)) winsim::ReadWholeFile(root + path, &content);
        out->push_back(path + (S_ISDIR(st.st_mode) ? "/" : "=" + content));
        if (S_ISDIR(st.st_mode)) Snapshot(root, path, out);
    }
    ::closedir(d);
}

}  // namespace

TEST_F(HostileRun, LinksInTheRegistryNeverLeadOutOfTheMachine) {
    TempMachine m;
    ASSERT_EQ(RunInstaller(m.dir(), {}).exitCode, 0);
    char pattern[] = "/tmp/winsim-outside-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    std::string outside = pattern;
    ASSERT_EQ(::mkdir((outside + "/Sub").c_str(), 0755), 0);
    ASSERT_TRUE(winsim::WriteFileAtomic(outside + "/values.reg", "\"LastJobOwner\"=\"kept\"\n\"Other\"=\"kept\"\n"));
    ASSERT_TRUE(winsim::WriteFileAtomic(outside + "/Sub/values.reg", "\"LastLoginName\"=\"kept\"\n"));
    ASSERT_TRUE(winsim::WriteFileAtomic(outside + "/Sub/file.txt", "kept"));
    std::vector<std::string> before;
    Snapshot(outside, "", &before);
    // In place of the per-user data key, and inside a key the uninstallation deletes.
    std::string user = m.dir() + "/registry/HKCU/Volatile Environment/1";
    ASSERT_EQ(::mkdir(user.c_str(), 0755), 0);
    ASSERT_EQ(::symlink(outside.c_str(), (user + "/Oxlen Vormo Client").c_str()), 0);
    std::string port = m.dir() + "/registry/HKLM/SYSTEM/CurrentControlSet/Control/Print/Monitors/Vormo/Ports/Vormo001";
    ASSERT_EQ(::symlink(outside.c_str(), (port + "/Linked").c_str()), 0);
    auto r = RunInstaller(m.dir(), {"-u"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    std::vector<std::string> after;
    Snapshot(outside, "", &after);
    EXPECT_EQ(after, before);
    testing_support::RemoveTree(outside);
    ExpectClean(r);
}

TEST_F(HostileRun, NamesLikeWinsimsBookkeepingAreNamesLikeAnyOther) {
    winsim::NewOptions options = TempMachine::DefaultOptions();
    options.printers.push_back({"Lab.deleted.1", "LPT1:", PRINTER_ATTRIBUTE_LOCAL});
    options.printers.push_back({"Front Desk", "LPT2:", PRINTER_ATTRIBUTE_LOCAL});
    TempMachine m(options);
    std::string ini = m.Read("C:\\Dist\\Vormo.ini");
    auto at = ini.find("AssignPrinter=Office Laser");
    ASSERT_NE(at, std::string::npos);
    m.Write("C:\\Dist\\Vormo.ini", ini.replace(at, 26, "AssignPrinter=Lab.deleted.1"));
    m.Write("C:\\Dist\\FontFiles\\Vormo.tmp.ttf", "font");
    const std::string font = "C:\\Program Files (x86)\\Oxlen\\Vormo Client\\Font\\Vormo.tmp.ttf";
    const std::string printer = std::string(winsim::kPrintersKey) + "\\Lab.deleted.1";
    auto portOf = [&] {
        winsim::RegValue value;
        winsim::reg::GetValue("registry/HKLM", printer, "Port", &value);
        return winsim::reg::SzText(value);
    };
    auto install = RunInstaller(m.dir(), {});
    EXPECT_EQ(install.exitCode, 0) << install.out;
    m.Reopen();
    EXPECT_EQ(m.Read(font), "font");
    EXPECT_TRUE(Has(portOf(), "Vormo001")) << portOf();
    auto uninstall = RunInstaller(m.dir(), {"-u"});
    EXPECT_EQ(uninstall.exitCode, 0) << uninstall.out;
    EXPECT_TRUE(Has(uninstall.out, "Disconnecting Printer 'Lab.deleted.1' from Vormo Port")) << uninstall.out;
    m.Reopen();
    EXPECT_FALSE(m.Exists(font));
    EXPECT_FALSE(Has(portOf(), "Vormo")) << portOf();
    ExpectClean(install);
    ExpectClean(uninstall);
}
