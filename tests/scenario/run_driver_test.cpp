// The run driver seen from outside: the host Install binary in machine folders.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include "run/run_driver.h"
#include "support/machine.h"

using testing_support::RunInstaller;
using testing_support::TempMachine;

namespace {

using testing_support::Banner;
using testing_support::Crlf;



bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }
bool EndsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

class RunDriver : public ::testing::Test {
protected:
    void TearDown() override { winsim::CloseMachine(); }
    std::string Log(const TempMachine& m, const char* path = "C:\\Windows\\VOPortInstall.log") {
        m.Reopen();
        return m.Read(path);
    }
};

TEST_F(RunDriver, UsageIsPrintedAndLoggedWithCrlfAndTheRunFails) {
    TempMachine m;
    auto r = RunInstaller(m.dir(), {"-?", "-u"});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out, Banner() + testing_support::kUsageText);
    EXPECT_EQ(Log(m), Crlf(Banner() + testing_support::kUsageText));
    r = RunInstaller(m.dir(), {"/?"});
    EXPECT_EQ(r.out, Banner() + testing_support::kUsageText);
    EXPECT_EQ(Log(m), Crlf(Banner() + testing_support::kUsageText) + Crlf(Banner() + testing_support::kUsageText)) << "runs append";
}

// Each row: arguments, and the heading that the dispatch prints after the banner.
struct HeadingCase {
    std::vector<std::string> args;
    std::string heading;
    std::string closing;
};

void PrintTo(const HeadingCase& c, std::ostream* os) {
    *os << "arguments:";
    for (const auto& a : c.args) *os << " " << a;
}

class Headings : public RunDriver, public ::testing::WithParamInterface<HeadingCase> {};

TEST_P(Headings, DispatchPrintsItsHeadingAndClosingLine) {
    TempMachine m;
    const auto& c = GetParam();
    auto r = RunInstaller(m.dir(), c.args);
    EXPECT_TRUE(StartsWith(r.out, Banner(c.heading.find("VormoE") != std::string::npos ? "VormoE" : "Vormo") +
                                      c.heading))
        << r.out;
    EXPECT_TRUE(EndsWith(r.out, c.closing)) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Headings,
    ::testing::Values(
        HeadingCase{{}, "\nInstalling Vormo Port Monitor ...\n", "\nVormo Port Monitor Installed Sucessfully.\n"},
        HeadingCase{{"-lrun.log"}, "\nInstalling Vormo Port Monitor...\n", "Installed Sucessfully.\n"},
        HeadingCase{{"-u", "printsrv"}, "\nUninstalling Vormo Port Monitor on server printsrv...\n", ""},
        HeadingCase{{"srv1", "srv2"}, "\nInstalling Vormo Port Monitor on server srv2...\n", ""},
        HeadingCase{{"-x"}, "\nInstalling Vormo Port Monitor on server -x...\n", ""},
        HeadingCase{{"/u"}, "\nInstalling Vormo Port Monitor on server /u...\n", ""},
        HeadingCase{{"-uninstall"}, "\nInstalling Vormo Port Monitor on server -uninstall...\n", ""},
        HeadingCase{{"-l", "mylog.txt"}, "\nInstalling Vormo Port Monitor on server mylog.txt...\n", ""},
        HeadingCase{{"-e", "-r", "-c"},
                    "\nInstalling Vormo Port Monitor...\n[IGNORE ERRORS Switch is Enabled!]\n"
                    "  (config will be read from registry)\n  No files will be copied\n",
                    ""},
        HeadingCase{{"-u", "-e", "-c"}, "\nUninstalling Vormo Port Monitor...\n  - Detecting", ""},
        HeadingCase{{"-f"},
                    "NOTE: The -f switch is obsolete, the client application is un/installed automaticaly\n"
                    "\nInstalling Vormo Port Monitor...\n",
                    ""},
        HeadingCase{{"-a"}, "\nInstalling VormoE Port Monitor...\n", ""},
        HeadingCase{{"-S"}, "\nInstalling Vormo Port Monitor...\n", ""},
        HeadingCase{{"s%sd%n"}, "\nInstalling Vormo Port Monitor on server s%sd%n...\n", ""}),
    [](const ::testing::TestParamInfo<HeadingCase>& info) { return "Row" + std::to_string(info.index); });

TEST_F(RunDriver, SilentSwitchChangesNothing) {
    TempMachine m;
    auto plain = RunInstaller(m.dir(), {"-lone.log"});
    TempMachine m2;
    auto silent = RunInstaller(m2.dir(), {"-lone.log", "-s"});
    EXPECT_EQ(plain.out, silent.out);
    EXPECT_EQ(plain.exitCode, silent.exitCode);
}

TEST_F(RunDriver, LogSwitchesChooseTheFile) {
    TempMachine m;
    auto r = RunInstaller(m.dir(), {"-lrun.log", "-?"});
    EXPECT_EQ(Log(m, "C:\\Dist\\run.log"), Crlf(r.out)) << "relative to the installer's folder";
    EXPECT_FALSE(m.Exists("C:\\Windows\\VOPortInstall.log"));
    r = RunInstaller(m.dir(), {"-l", "-?"});
    EXPECT_EQ(Log(m), Crlf(r.out)) << "-l alone means the default log";
}

TEST_F(RunDriver, LogInAMissingFolderMeansNoOutputAndFailure) {
    TempMachine m;
    auto r = RunInstaller(m.dir(), {"-lC:\\NoSuchFolder\\run.log"});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out, "");
}

TEST_F(RunDriver, WithoutDotNetStandardRunsFailAndEnterpriseRunsGoOn) {
    winsim::NewOptions options = TempMachine::DefaultOptions();
    options.dotNet = false;
    TempMachine m(options);
    auto r = RunInstaller(m.dir(), {"-u"});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out, Banner() + "ERROR: The .NET Framework 2.0 is not installed\n");
    r = RunInstaller(m.dir(), {"-a", "-u"});
    EXPECT_TRUE(StartsWith(r.out, Banner("VormoE") + "\nUninstalling VormoE Port Monitor...\n")) << r.out;
}

TEST_F(RunDriver, ASecondRunIsRefusedWhileTheMutexIsHeld) {
    TempMachine m;
    std::string lockFile = m.dir() + "/mutex/global_vormoclientinstallmutex";
    ASSERT_EQ(::system(("mkdir -p '" + m.dir() + "/mutex'").c_str()), 0);
    int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    auto r = RunInstaller(m.dir(), {"-u"});
    ::close(fd);
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out, "ERROR: Another (un)installation already running.");
    EXPECT_EQ(Log(m), "ERROR: Another (un)installation already running.");
}

TEST_F(RunDriver, MutexCreationFailureNamesTheError) {
    TempMachine m;
    ASSERT_EQ(::system(("echo 'CreateMutexA * 5' >> '" + m.dir() + "/faults'").c_str()), 0);
    auto r = RunInstaller(m.dir(), {"-u"});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out, "ERROR: Installation mutex cannot be created. Error number 5\n");
}

TEST_F(RunDriver, IniSwitchSetsTheConfigurationPath) {
    // -i alone keeps the INI file beside the installer; -isets.ini names one
    // relative to the installer's folder. Both are seen through the file check
    // of an installation without .NET checks (Enterprise).
    TempMachine m;
    m.Remove("C:\\Dist\\Vormo.ini");
    auto r = RunInstaller(m.dir(), {"-a", "-i"});
    EXPECT_NE(r.out.find("ERROR While Checking 'Vormo.ini'.\n"), std::string::npos) << r.out;
    m.Write("C:\\Dist\\sets.ini", "[1]\n");
    r = RunInstaller(m.dir(), {"-a", "-isets.ini"});
    EXPECT_EQ(r.out.find("ERROR While Checking 'Vormo.ini'.\n"), std::string::npos) << r.out;
}

TEST_F(RunDriver, BatchFileRunsOnlyOnTheInstallationWithArguments) {
    TempMachine m;
    m.Write("C:\\Dist\\install_printer.bat", "echo hello\r\n");
    RunInstaller(m.dir(), {});
    m.Reopen();
    EXPECT_EQ(winsim::ReadJournal().find("install_printer.bat"), std::string::npos);
    auto r = RunInstaller(m.dir(), {"-lrun.log"});
    m.Reopen();
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const std::string journal = winsim::ReadJournal(),
                      batch = "| \"C:\\Windows\\system32\\cmd.exe\" /c install_printer.bat\n";
    size_t at = journal.find(batch);
    ASSERT_NE(at, std::string::npos) << journal;
    // The log is held open while the installation runs its programs, and
    // closed before the batch file runs: its last line is written, and the
    // batch file may move it or write to it.
    EXPECT_NE(journal.find("  held open: C:\\Dist\\run.log\n"), std::string::npos) << journal;
    EXPECT_NE(journal.compare(at + batch.size(), 13, "  held open: "), 0) << journal;
    EXPECT_TRUE(EndsWith(m.Read("C:\\Dist\\run.log"), "\r\nVormo Port Monitor Installed Sucessfully.\r\n"));
}

}  // namespace
