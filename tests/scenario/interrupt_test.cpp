// An installation killed at any point leaves a machine from which a second
// installation completes and ends in the state of a clean installation.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <thread>

#include "support/machine.h"

namespace {

winsim::NewOptions Options() {
    winsim::NewOptions options = testing_support::TempMachine::DefaultOptions();
    options.printers.push_back({"Office Laser", "LPT1:", PRINTER_ATTRIBUTE_LOCAL});
    options.printers.push_back({"Front Desk", "LPT2:,COM1:", PRINTER_ATTRIBUTE_LOCAL});
    return options;
}

// Leftovers of a killed process that Windows would not show either: files
// being written under a temporary name, keys being deleted.
bool Transient(const std::string& name) {
    return name.find(".tmp.") != std::string::npos || name.find(".deleted.") != std::string::npos;
}

void Walk(const std::string& root, const std::string& rel, std::map<std::string, std::string>* state) {
    DIR* d = ::opendir((root + rel).c_str());
    if (!d) return;
    while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == ".." || Transient(n)) continue;
        std::string child = rel + "/" + n;
        struct stat st;
        if (::stat((root + child).c_str(), &st) != 0) continue;
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

// Files and registry of a machine, without the run's own traces (log,
// journal) that differ from run to run.
std::map<std::string, std::string> State(const std::string& dir) {
    std::map<std::string, std::string> state;
    Walk(dir, "/drive_c", &state);
    Walk(dir, "/registry", &state);
    state.erase("/drive_c/windows/voportinstall.log");
    std::string attributes;
    winsim::ReadWholeFile(dir + "/attributes", &attributes);
    state["attributes"] = attributes;
    return state;
}

pid_t Start(const std::string& dir) {
    pid_t pid = ::fork();
    if (pid == 0) {
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::setenv("WINSIM_MACHINE", dir.c_str(), 1);
        char program[] = "C:\\Dist\\Install.exe";
        char* argv[] = {program, nullptr};
        ::execv(INSTALL_BINARY, argv);
        ::_exit(127);
    }
    return pid;
}

TEST(Interrupted, ASecondInstallationAfterAKillEndsLikeACleanOne) {
    std::string reference = testing_support::NewMachineDir(Options());
    auto begin = std::chrono::steady_clock::now();
    auto first = testing_support::RunInstaller(reference, {});
    auto duration = std::chrono::steady_clock::now() - begin;
    ASSERT_EQ(first.exitCode, 0) << first.out;
    auto expected = State(reference);

    const int kPoints = 16;
    for (int i = 0; i < kPoints; ++i) {
        std::string dir = testing_support::NewMachineDir(Options());
        pid_t pid = Start(dir);
        std::this_thread::sleep_for(duration * i / kPoints);
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        auto second = testing_support::RunInstaller(dir, {});
        EXPECT_EQ(second.exitCode, 0) << "killed at point " << i << "\n" << second.out;
        auto state = State(dir);
        for (const auto& kv : expected) {
            auto it = state.find(kv.first);
            if (it == state.end()) ADD_FAILURE() << "point " << i << ": missing " << kv.first;
            else EXPECT_EQ(it->second, kv.second) << "point " << i << ": " << kv.first;
        }
        for (const auto& kv : state)
            if (!expected.count(kv.first)) ADD_FAILURE() << "point " << i << ": extra " << kv.first;
        testing_support::RemoveTree(dir);
    }
    testing_support::RemoveTree(reference);
}

}  // namespace
