// An installation or an uninstallation killed at any point leaves a machine
// from which an installation and an uninstallation complete and end in the
// state of a clean machine after the same two runs: no file, key, folder or
// bookkeeping of winsim's left anywhere in the machine folder.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <string>
#include <utility>

#include "support/machine.h"

namespace {

winsim::NewOptions Options() {
    winsim::NewOptions options = testing_support::TempMachine::DefaultOptions();
    options.printers.push_back({"Office Laser", "LPT1:", PRINTER_ATTRIBUTE_LOCAL});
    options.printers.push_back({"Front Desk", "LPT2:,COM1:", PRINTER_ATTRIBUTE_LOCAL});
    return options;
}

void Walk(const std::string& root, const std::string& rel, std::map<std::string, std::string>* state) {
    DIR* d = ::opendir((root + rel).c_str());
    if (!d) return;
    while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        std::string child = rel + "/" + n;
        struct stat st;
        if (::lstat((root + child).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            (*state)[winsim::Lower(child) + "/"] = "";
            Walk(root, child, state);
        } else {
            std::string content;
            winsim::ReadWholeFile(root + child, &content);
            (*state)[winsim::Lower(child)] = content;
        }
    }
    ::closedir(d);
}

using MachineState = std::map<std::string, std::string>;

// The whole machine folder, without the runs' own traces (install log,
// journal) and the count of changes made, which differ from run to run.
MachineState State(const std::string& dir) {
    MachineState state;
    Walk(dir, "", &state);
    state.erase("/drive_c/windows/voportinstall.log");
    state.erase("/journal.log");
    state.erase("/changes");
    return state;
}

// Runs the installer (or, with -u, the uninstaller) until winsim kills it
// at its killAt-th kill point, in the middle of a change of the store.
bool RunKilled(const std::string& dir, bool uninstall, int killAt) {
    pid_t pid = ::fork();
    if (pid == 0) {
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::setenv("WINSIM_MACHINE", dir.c_str(), 1);
        ::setenv("WINSIM_KILL_AT", std::to_string(killAt).c_str(), 1);
        char program[] = "C:\\Dist\\Install.exe";
        char u[] = "-u";
        char* argv[] = {program, uninstall ? u : nullptr, nullptr};
        ::execv(INSTALL_BINARY, argv);
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// An installation, then an uninstallation, both successful; the machine
// folder after each.
std::pair<MachineState, MachineState> InstallAndUninstall(const std::string& dir, const std::string& what) {
    auto install = testing_support::RunInstaller(dir, {});
    EXPECT_EQ(install.exitCode, 0) << what << "\n" << install.out;
    MachineState installed = State(dir);
    auto uninstall = testing_support::RunInstaller(dir, {"-u"});
    EXPECT_EQ(uninstall.exitCode, 0) << what << "\n" << uninstall.out;
    return {installed, State(dir)};
}

void ExpectSame(const MachineState& state, const MachineState& expected, const std::string& what) {
    for (const auto& kv : expected) {
        auto it = state.find(kv.first);
        if (it == state.end()) ADD_FAILURE() << what << ": missing " << kv.first;
        else EXPECT_EQ(it->second, kv.second) << what << ": " << kv.first;
    }
    for (const auto& kv : state)
        if (!expected.count(kv.first)) ADD_FAILURE() << what << ": extra " << kv.first;
}

TEST(Interrupted, AKilledRunLeavesNothingThatAnInstallationAndAnUninstallationDoNotClear) {
    std::string reference = testing_support::NewMachineDir(Options());
    auto expected = InstallAndUninstall(reference, "clean machine");

    // Kill points spread over each run: an installation passes about 65, an
    // uninstallation 3.
    const struct Point {
        bool uninstall;
        int killAt;
    } points[] = {{false, 1}, {false, 5}, {false, 15}, {false, 30}, {false, 45}, {false, 60},
                  {true, 1},  {true, 2},  {true, 3}};
    for (const auto& point : points) {
        std::string what = std::string(point.uninstall ? "uninstallation" : "installation") + " killed at point " +
                           std::to_string(point.killAt);
        std::string dir = testing_support::NewMachineDir(Options());
        if (point.uninstall) {
            EXPECT_EQ(testing_support::RunInstaller(dir, {}).exitCode, 0) << what;
        }
        EXPECT_TRUE(RunKilled(dir, point.uninstall, point.killAt)) << what << ": the run was not killed";
        auto states = InstallAndUninstall(dir, what);
        ExpectSame(states.first, expected.first, what + ", then installed");
        ExpectSame(states.second, expected.second, what + ", then installed and uninstalled");
        testing_support::RemoveTree(dir);
    }
    testing_support::RemoveTree(reference);
}

}  // namespace
