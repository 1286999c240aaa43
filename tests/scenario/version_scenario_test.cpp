// Every Windows that `winsim new --os` offers prints its detection line
// through the installer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include "support/machine.h"
#include "winsim/machine.h"

namespace {

struct Expected {
    const char* line;
    bool supported;
};

// The line each Windows shows to a program whose manifest stops at 8.1.
const std::map<std::string, Expected> kExpected = {
    {"95", {"    (Windows 95 Detected)\n", false}},
    {"98", {"    (Windows 98 Detected)\n", false}},
    {"me", {"    (Windows Me Detected)\n", false}},
    {"nt351", {"    (Windows NT 3.51 Detected)\n", false}},
    {"nt4", {"    (Windows NT 4.0 Detected)\n", false}},
    {"2000", {"    (Windows 2000 Detected)\n", false}},
    {"xp", {"    (Windows XP Detected)\n", true}},
    {"2003", {"    (Windows 2003 Detected)\n", true}},
    {"xp-x64", {"    (64-bit Windows XP Detected)\n", true}},
    {"2003-x64", {"    (64-bit Windows XP Detected)\n", true}},
    {"vista-x86", {"    (32-bit Windows Vista Detected)\n", true}},
    {"vista-x64", {"    (64-bit Windows Vista Detected)\n", true}},
    {"7-x86", {"    (32-bit Windows 7 Detected)\n", true}},
    {"7-x64", {"    (64-bit Windows 7 Detected)\n", true}},
    {"8-x86", {"    (32-bit Windows 8 Detected)\n", true}},
    {"8-x64", {"    (64-bit Windows 8 Detected)\n", true}},
    {"8.1-x86", {"    (32-bit Windows 8.1 Detected)\n", true}},
    {"8.1-x64", {"    (64-bit Windows 8.1 Detected)\n", true}},
    {"2008-x86", {"    (32-bit Windows 2008 Server Detected)\n", true}},
    {"2008-x64", {"    (64-bit Windows 2008 Server Detected)\n", true}},
    {"2008r2-x86", {"    (32-bit Windows 2008R2 Server Detected)\n", true}},
    {"2008r2-x64", {"    (64-bit Windows 2008R2 Server Detected)\n", true}},
    {"2012-x86", {"    (32-bit Windows 2012 Server Detected)\n", true}},
    {"2012-x64", {"    (64-bit Windows 2012 Server Detected)\n", true}},
    {"2012r2-x86", {"    (32-bit Windows 2012R2 Server Detected)\n", true}},
    {"2012r2-x64", {"    (64-bit Windows 2012R2 Server Detected)\n", true}},
    {"10-x86", {"    (32-bit Windows 8.1 Detected)\n", true}},
    {"10-x64", {"    (64-bit Windows 8.1 Detected)\n", true}},
    {"2016-x64", {"    (64-bit Windows 2012R2 Server Detected)\n", true}},
};

}  // namespace

TEST(VersionScenario, EveryOsPrintsItsDetectionLine) {
    std::vector<std::string> offered;
    for (const auto& entry : winsim::OsNames()) offered.push_back(entry.substr(0, entry.find(' ')));
    EXPECT_EQ(offered.size(), kExpected.size());
    for (const auto& os : offered) {
        SCOPED_TRACE(os);
        auto expected = kExpected.find(os);
        ASSERT_NE(expected, kExpected.end()) << "no expected line for --os " << os;
        winsim::NewOptions options = testing_support::TempMachine::DefaultOptions();
        options.os = os;
        std::string dir = testing_support::NewMachineDir(options);
        // The Enterprise uninstallation: no .NET check before the detection.
        testing_support::RunResult run = testing_support::RunInstaller(dir, {"-a", "-u"});
        std::string heading = "  - Detecting Windows Version\n";
        std::string want = heading + expected->second.line;
        if (!expected->second.supported) want += "ERROR: Unsupported Operating System Detected.\n";
        EXPECT_NE(run.out.find(want), std::string::npos) << run.out;
        if (!expected->second.supported) {
            EXPECT_EQ(run.exitCode, 255);
        }
        if (!std::getenv("KEEP_MACHINES")) testing_support::RemoveTree(dir);
    }
}

TEST(VersionScenario, FaultsOfTheVersionQueriesFromTheMachineFolder) {
    struct Row {
        const char* os;
        const char* faults;
        const char* expected;
    } rows[] = {
        {"7-x64", "GetVersionExA * 5 1\n", "  - Detecting Windows Version\n    (64-bit Windows 7 Detected)\n"},
        {"7-x64", "GetVersionExA * 5\n",
         "  - Detecting Windows Version\nERROR Unable to Detect Windows Version.\n"
         "ERROR: Unsupported Operating System Detected.\n"},
        {"7-x64", "missing kernel32 IsWow64Process\n",
         "  - Detecting Windows Version\n    (32-bit Windows 7 Detected)\n"},
        // Without the extended record a server counts as a workstation.
        {"2008r2-x64", "GetVersionExA:ex * 5\n", "  - Detecting Windows Version\n    (64-bit Windows 7 Detected)\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.faults);
        winsim::NewOptions options = testing_support::TempMachine::DefaultOptions();
        options.os = row.os;
        std::string dir = testing_support::NewMachineDir(options);
        ASSERT_TRUE(winsim::WriteFileAtomic(dir + "/faults", row.faults));
        testing_support::RunResult run = testing_support::RunInstaller(dir, {"-a", "-u"});
        EXPECT_NE(run.out.find(row.expected), std::string::npos) << run.out;
        if (!std::getenv("KEEP_MACHINES")) testing_support::RemoveTree(dir);
    }
}
