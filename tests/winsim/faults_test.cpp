// Fault rules and machine descriptions that winsim could never apply are
// refused where they are given, named, so that no test passes without
// testing anything.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/machine.h"

using testing_support::TempMachine;

namespace {

struct Outcome {
    int exitCode;
    std::string output;  // standard output and error
};

Outcome RunWinsim(const std::string& arguments) {
    Outcome o{-1, ""};
    FILE* pipe = ::popen((std::string(WINSIM_BINARY) + " " + arguments + " 2>&1").c_str(), "r");
    if (!pipe) return o;
    char buffer[512];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) o.output.append(buffer, n);
    int status = ::pclose(pipe);
    o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return o;
}

}  // namespace

TEST(WinsimFaults, EachRuleParsesOrIsRefusedWithItsReason) {
    const struct Row {
        const char* line;
        const char* refusal;  // "" when the rule is taken
    } rows[] = {
        {"DeleteMonitorA Vormo 170", ""},
        {"SetPrinterA \"Office Laser\" 5 1", ""},
        {"XcvDataW SetPortData 0", ""},
        {"GetVersionExA:ex * 0x5", ""},
        {"delay:CreateMutexA * 1500 1", ""},
        {"delay CreateMutexA 1500", ""},
        {"missing winspool.drv XcvDataW", ""},
        {"missing VORMOVS.DLL InitializePrintMonitor2", ""},
        {"# a comment", ""},
        {"DeleteMonitor Vormo 170", "unknown function DeleteMonitor (DeleteMonitorA?)"},
        {"deletemonitora Vormo 170", "unknown function deletemonitora (DeleteMonitorA?)"},
        {"DeleteMonitorA Vormo 170 x", "not a count of at least 1: x"},
        {"DeleteMonitorA Vormo 170 -3", "not a count of at least 1: -3"},
        {"DeleteMonitorA Vormo 170 0", "not a count of at least 1: 0"},
        {"DeleteMonitorA Vormo abc", "not an error code: abc"},
        {"DeleteMonitorA Vormo 4294967296", "not an error code: 4294967296"},
        {"DeleteMonitorA Vormo", "expected: FUNCTION ARGUMENT ERROR [COUNT]"},
        {"delay CreateMutexA soon", "not a number of milliseconds: soon"},
        {"delay CreateProcessA 100", "only CreateMutexA can be delayed, not CreateProcessA"},
        {"missing kernel32 IsWow64", "no export IsWow64 that GetProcAddress gives out"},
        {"missing user32 IsWow64Process", "unknown module user32"},
        {"SetPrinterA \"Office Laser 5", "a quote without its end: SetPrinterA \"Office Laser 5"},
        {"DeleteMonitorA\tVormo\t170\r", ""},
        {"DeleteMonitorA \"Vormo\nDeleteMonitor\" 170", "a control character (0x0A) in the rule: a rule is one line of text"},
        {"DeleteMonitorA Vormo 170\n", "a control character (0x0A) in the rule: a rule is one line of text"},
        {"DeleteMonitorA Vor\rmo 170", "a control character (0x0D) in the rule: a rule is one line of text"},
        {"DeleteMonitorA \"Vor\x01mo\" 170", "a control character (0x01) in the rule: a rule is one line of text"},
        {"DeleteMonitorA Vormo\x7F 170", "a control character (0x7F) in the rule: a rule is one line of text"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        std::vector<winsim::FaultRule> rules;
        std::vector<std::pair<std::string, std::string>> missing;
        std::string error;
        EXPECT_EQ(winsim::ParseFaultLine(row.line, &rules, &missing, &error), !*row.refusal);
        EXPECT_EQ(error, row.refusal);
    }
    // The documented delay form is the rule the mutex consults.
    std::vector<winsim::FaultRule> rules;
    std::vector<std::pair<std::string, std::string>> missing;
    std::string error;
    ASSERT_TRUE(winsim::ParseFaultLine("delay CreateMutexA 1500 1", &rules, &missing, &error));
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(rules[0].function, "delay:CreateMutexA");
    EXPECT_EQ(rules[0].argument, "*");
    EXPECT_EQ(rules[0].error, 1500u);
    EXPECT_EQ(rules[0].remaining, 1);
}

TEST(WinsimFaults, MachineWithALineThatDoesNotParseDoesNotOpen) {
    const struct Row {
        const char* file;
        const char* text;
        const char* error;  // what the refusal ends with
    } rows[] = {
        {"faults", "DeleteMonitorA Vormo 170\nDeleteMonitor Vormo 170\n",
         "/faults:2: unknown function DeleteMonitor (DeleteMonitorA?)"},
        {"machine.conf", "os=7-x64\n64bit=banana\n", "/machine.conf:2: 64bit=banana: not 0 or 1"},
        {"machine.conf", "codepage=xyz\n", "/machine.conf:1: codepage=xyz: not a number of at most 4294967295"},
        {"machine.conf", "codepage=1250\n", "/machine.conf:1: codepage=1250: winsim models code page 1252 only"},
        {"machine.conf", "major=six\n", "/machine.conf:1: major=six: not a number of at most 4294967295"},
        {"machine.conf", "64-bit=1\n", "/machine.conf:1: 64-bit=1: unknown key"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        TempMachine m;
        ASSERT_TRUE(winsim::WriteFileAtomic(m.dir() + "/" + row.file, row.text));
        std::string error;
        EXPECT_FALSE(winsim::OpenMachine(m.dir(), &error));
        EXPECT_EQ(error, m.dir() + row.error);
    }
}

TEST(WinsimFaults, CommandLineRefusesWhatCouldNeverApply) {
    TempMachine m;
    Outcome unknown = RunWinsim("fault " + m.dir() + " 'DeleteMonitor Vormo 170'");
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.output.find("unknown function DeleteMonitor"), std::string::npos) << unknown.output;
    // A line break would leave a line that is no rule in the faults file,
    // and no program could open the machine any more.
    Outcome broken = RunWinsim("fault " + m.dir() + " 'DeleteMonitorA \"Vormo\nDeleteMonitor\" 170'");
    EXPECT_EQ(broken.exitCode, 2);
    EXPECT_NE(broken.output.find("a control character (0x0A) in the rule"), std::string::npos) << broken.output;
    Outcome taken = RunWinsim("fault " + m.dir() + " 'DeleteMonitorA Vormo 170'");
    EXPECT_EQ(taken.exitCode, 0) << taken.output;
    EXPECT_EQ(RunWinsim("show " + m.dir() + " >/dev/null").exitCode, 0);
    Outcome noMachine = RunWinsim("fault " + m.dir() + "/drive_c 'DeleteMonitorA Vormo 170'");
    EXPECT_EQ(noMachine.exitCode, 1);
    EXPECT_EQ(noMachine.output, "winsim: no machine in " + m.dir() + "/drive_c\n");
}

TEST(WinsimFaultsDeathTest, AddFaultEndsTheProcessForARuleThatCouldNeverApply) {
    TempMachine m;
    EXPECT_DEATH(winsim::AddFault("DeleteMonitor", "Vormo", 170), "unknown function DeleteMonitor");
    EXPECT_DEATH(winsim::AddFault("DeleteMonitorA", "Vormo", 170, 0), "a count must be at least 1");
}
