// Several installers started at once in one machine: the named mutex lets
// exactly one work; the others are refused, and the shared log stays whole.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "support/machine.h"

namespace {

using testing_support::Crlf;

const char kRefused[] = "ERROR: Another (un)installation already running.";

TEST(Concurrency, EightInstallersAtOnceExactlyOneWorks) {
    testing_support::TempMachine m;
    {
        std::ofstream faults(m.dir() + "/faults", std::ios::app);
        faults << "delay:CreateMutexA * 1500 1\n";  // the first owner holds the mutex a while
    }
    const int kRuns = 8;
    pid_t pids[kRuns];
    for (int i = 0; i < kRuns; ++i) {
        pids[i] = ::fork();
        if (pids[i] == 0) {
            std::string out = m.dir() + "/.out" + std::to_string(i);
            int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(fd, 1);
            ::setenv("WINSIM_MACHINE", m.dir().c_str(), 1);
            char program[] = "C:\\Dist\\Install.exe";
            char* argv[] = {program, nullptr};
            ::execv(INSTALL_BINARY, argv);
            ::_exit(127);
        }
    }
    int worked = 0, refused = 0;
    std::string workingOutput;
    for (int i = 0; i < kRuns; ++i) {
        int status = 0;
        ::waitpid(pids[i], &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        std::string out;
        winsim::ReadWholeFile(m.dir() + "/.out" + std::to_string(i), &out);
        if (WEXITSTATUS(status) == 0) {
            ++worked;
            workingOutput = out;
        } else {
            EXPECT_EQ(WEXITSTATUS(status), 255);
            EXPECT_EQ(out, kRefused);
            ++refused;
        }
    }
    EXPECT_EQ(worked, 1);
    EXPECT_EQ(refused, kRuns - 1);

    // Every run's text is in the log; taking out the refused runs' lines
    // leaves the working run's output, each of its lines whole.
    std::string log = m.Read("C:\\Windows\\VOPortInstall.log");
    int found = 0;
    for (size_t pos; (pos = log.find(kRefused)) != std::string::npos; ++found) log.erase(pos, sizeof kRefused - 1);
    EXPECT_EQ(found, kRuns - 1);
    EXPECT_EQ(log, Crlf(workingOutput));
}

}  // namespace
