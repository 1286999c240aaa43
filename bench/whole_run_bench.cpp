// Whole runs at print-server scale: `winsim run` of the installation and of
// the uninstallation, each a process of its own, on machines made once below
// build/bench/machines/ and copied afresh for every run.
//
//   WholeRun/N        N port sections in Vormo.ini, each assigning one of
//                     the machine's printers (99 printers for 99 sections,
//                     999 for 999, 10,000 for 9999); the time is the
//                     installation's, counter uninstall_s the uninstallation's
//   RegistrySections  99 port sections read from the registry (-r), the
//                     first section's key holding 50 MB of other values
//   Capture10000      VormoCheck --capture of the 9999-section machine after
//                     its installation (10,000 printers, 9,999 Vormo ports
//                     with their records), the machine in memory
//   Rebuild10000      winsim new --from that capture, into memory
//   Check/N           `winsim run` of the pre-flight check on the machine of
//                     WholeRun/N as it is (read only: no copy)
//
// The machines stay between runs of the benchmark (delete build/bench/machines
// to make them again).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/machine.h"
#include "winsim/spooler.h"

namespace {

const char kHklm[] = "registry/HKLM";

std::string MachinesDir() {
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    std::string self = n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string("./installer_bench");
    return self.substr(0, self.rfind('/')) + "/machines";
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

std::string PrinterName(int k) { return "Printer " + std::to_string(k); }

std::string SectionText(int k) {
    std::string n = std::to_string(k);
    return "\n[" + n + "]\nDescription=Port " + n + " of the benchmark\nServerIP=10.1." + std::to_string(k / 250) + "." +
           std::to_string(k % 250) + "\nServerIP2=10.2.0." + std::to_string(k % 250) +
           "\nIPLoadBalancing=50\nIPLoadBalancing2=50\nServerPort=9100\nQueue=queue" + n +
           "\nAuthType=1\nNetworkTimeout=30\nAssignPrinter=" + PrinterName(k) + "\n";
}

// A machine with the sample distribution and `printers` local printers on LPT1:.
bool MakeMachine(const std::string& dir, int printers) {
    winsim::NewOptions options = testing_support::TempMachine::DefaultOptions();
    for (int k = 1; k <= printers; ++k) options.printers.push_back({PrinterName(k), "LPT1:", PRINTER_ATTRIBUTE_LOCAL});
    std::string error;
    if (!winsim::CreateMachine(dir, options, &error)) {
        std::fprintf(stderr, "cannot make %s: %s\n", dir.c_str(), error.c_str());
        return false;
    }
    return true;
}

// The machine for N INI sections, made once.
std::string IniMachine(int sections, int printers) {
    std::string dir = MachinesDir() + "/ini-" + std::to_string(sections);
    if (Exists(dir + "/.complete")) return dir;
    Shell("rm -rf '" + dir + "' && mkdir -p '" + MachinesDir() + "'");
    if (!MakeMachine(dir, printers)) return std::string();
    std::string text = "; benchmark sections\n";
    for (int k = 1; k <= sections; ++k) text += SectionText(k);
    if (!winsim::OpenMachine(dir)) return std::string();
    std::string ini = winsim::MapPath("C:\\Dist\\Vormo.ini");
    bool ok = winsim::WriteFileAtomic(ini, text);
    winsim::CloseMachine();
    return ok && winsim::WriteFileAtomic(dir + "/.complete", "") ? dir : std::string();
}

// The machine for the registry sections: 99 sections, the first key's
// values.reg 50 MB (its own values, then 5,000 other values of 10 KB).
std::string RegistryMachine() {
    const int sections = 99;
    std::string dir = MachinesDir() + "/registry-50mb";
    if (Exists(dir + "/.complete")) return dir;
    Shell("rm -rf '" + dir + "' && mkdir -p '" + MachinesDir() + "'");
    if (!MakeMachine(dir, sections) || !winsim::OpenMachine(dir)) return std::string();
    const std::string base = "SOFTWARE\\Wow6432Node\\Oxlen Corporation\\Vormo\\PortInstallCfg\\";
    bool ok = true;
    for (int k = 1; k <= sections && ok; ++k) {
        std::string key = base + std::to_string(k);
        std::string n = std::to_string(k);
        ok = winsim::reg::CreateKey(kHklm, key) &&
             winsim::reg::SetValue(kHklm, key, "Description", winsim::reg::Sz("Port " + n + " of the benchmark")) &&
             winsim::reg::SetValue(kHklm, key, "ServerIP", winsim::reg::Sz("10.1.0." + n)) &&
             winsim::reg::SetValue(kHklm, key, "ServerPort", winsim::reg::Dword(9100)) &&
             winsim::reg::SetValue(kHklm, key, "Queue", winsim::reg::Sz("queue" + n)) &&
             winsim::reg::SetValue(kHklm, key, "AssignPrinter", winsim::reg::Sz(PrinterName(k)));
    }
    std::string values;
    ok = ok && winsim::ReadWholeFile(winsim::reg::HiveDir(kHklm) + "/SOFTWARE/Wow6432Node/Oxlen Corporation/Vormo/"
                                                                   "PortInstallCfg/1/values.reg",
                                     &values);
    std::string filler(10000, 'x');
    for (int i = 1; i <= 5000 && ok; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "Other%05d", i);
        values += std::string("\"") + name + "\"=\"" + filler + "\"\n";
    }
    ok = ok && winsim::WriteFileAtomic(winsim::reg::HiveDir(kHklm) + "/SOFTWARE/Wow6432Node/Oxlen Corporation/Vormo/"
                                                                    "PortInstallCfg/1/values.reg",
                                       values);
    winsim::CloseMachine();
    return ok && winsim::WriteFileAtomic(dir + "/.complete", "") ? dir : std::string();
}

// `winsim WORDS...` with its output discarded: the seconds it took, or a
// negative number when it did not exit with 0; *cpu gets the seconds of CPU
// it used (user and system), which other work on the machine does not stretch.
double TimedWinsim(const std::vector<std::string>& args, double* cpu = nullptr) {
    auto start = std::chrono::steady_clock::now();
    pid_t pid = ::fork();
    if (pid == 0) {
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        std::vector<std::string> words = {"winsim"};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& w : words) argv.push_back(const_cast<char*>(w.c_str()));
        argv.push_back(nullptr);
        ::execv(WINSIM_BINARY, argv.data());
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage = {};
    ::wait4(pid, &status, 0, &usage);
    if (cpu)
        *cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

// `winsim run DIR PROGRAM ARGS...`, timed.
double TimedRun(const std::string& dir, const std::vector<std::string>& args,
                const std::string& program = "C:\\Dist\\Install.exe") {
    std::vector<std::string> words = {"run", dir, program};
    words.insert(words.end(), args.begin(), args.end());
    return TimedWinsim(words);
}

// The copies runs work on, MACHINE.run, stay until the next run of the
// benchmarks removes them before its first copy and then waits 31 seconds:
// ext4 without a journal passes over every inode freed in the last 30 seconds
// when it allocates one, so a copy removed just before a run would slow that
// run's file creation by the benchmark's own doing.
void RemoveEarlierCopies() {
    static bool done = false;
    if (done) return;
    done = true;
    std::string pattern = "'" + MachinesDir() + "'/*.run";
    if (!Shell("ls -d " + pattern + " >/dev/null 2>&1")) return;
    Shell("rm -rf " + pattern);
    ::sleep(31);
}

std::string FreshCopy(const std::string& machine) {
    RemoveEarlierCopies();
    std::string work = machine + ".run";
    if (!Shell("rm -rf '" + work + "' && cp -a '" + machine + "' '" + work + "'")) return std::string();
    return work;
}

void BM_WholeRun(benchmark::State& state) {
    int sections = static_cast<int>(state.range(0));
    int printers = sections == 9999 ? 10000 : sections;
    std::string machine = IniMachine(sections, printers);
    if (machine.empty()) {
        state.SkipWithError("cannot make the machine");
        return;
    }
    double uninstall = 0;
    for (auto _ : state) {
        std::string work = FreshCopy(machine);
        double install = work.empty() ? -1 : TimedRun(work, {});
        uninstall = install < 0 ? -1 : TimedRun(work, {"-u"});
        if (install < 0 || uninstall < 0) {
            state.SkipWithError("a run failed");
            break;
        }
        state.SetIterationTime(install);
    }
    state.counters["uninstall_s"] = uninstall;
    state.counters["printers"] = printers;
}
BENCHMARK(BM_WholeRun)->Arg(99)->Arg(999)->Arg(9999)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_RegistrySections50MB(benchmark::State& state) {
    std::string machine = RegistryMachine();
    if (machine.empty()) {
        state.SkipWithError("cannot make the machine");
        return;
    }
    for (auto _ : state) {
        std::string work = FreshCopy(machine);
        double install = work.empty() ? -1 : TimedRun(work, {"-r"});
        if (install < 0) {
            state.SkipWithError("the run failed");
            break;
        }
        state.SetIterationTime(install);
    }
}
BENCHMARK(BM_RegistrySections50MB)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// The pre-flight check of the WholeRun machine: its plan of N ports and the
// printers they move, read from the machine as it is. The best of five runs.
void BM_Check(benchmark::State& state) {
    int sections = static_cast<int>(state.range(0));
    std::string machine = IniMachine(sections, sections == 9999 ? 10000 : sections);
    if (machine.empty()) {
        state.SkipWithError("cannot make the machine");
        return;
    }
    for (auto _ : state) {
        double best = -1;
        for (int i = 0; i < 5; ++i) {
            double seconds = TimedRun(machine, {}, "C:\\Dist\\VormoCheck.exe");
            if (seconds < 0) {
                state.SkipWithError("the check did not find the machine clean");
                return;
            }
            if (best < 0 || seconds < best) best = seconds;
        }
        state.SetIterationTime(best);
    }
}
BENCHMARK(BM_Check)->Arg(999)->Arg(9999)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

// A folder in memory (tmpfs) where the machine has one.
std::string MemoryDir() {
    struct stat st;
    if (::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && ::access("/dev/shm", W_OK) == 0) return "/dev/shm";
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

// The 9999-section machine after its installation, copied into memory once
// per run of the benchmarks; empty when it cannot be made.
const std::string& InstalledMachineInMemory() {
    static std::string dir;
    if (!dir.empty()) return dir;
    std::string machine = IniMachine(9999, 10000);
    std::string work = MemoryDir() + "/vormo-bench-capture-" + std::to_string(::getpid());
    if (machine.empty() || !Shell("rm -rf '" + work + "' && cp -a '" + machine + "' '" + work + "'") ||
        TimedRun(work, {}) < 0)
        return dir;
    dir = work;
    return dir;
}

void BM_Capture10000(benchmark::State& state) {
    const std::string& machine = InstalledMachineInMemory();
    if (machine.empty()) {
        state.SkipWithError("cannot make the machine");
        return;
    }
    for (auto _ : state) {
        double cpu = 0;
        double seconds =
            TimedWinsim({"run", machine, "C:\\Dist\\VormoCheck.exe", "--capture", "C:\\capture.json"}, &cpu);
        if (seconds < 0) {
            state.SkipWithError("the capture failed");
            break;
        }
        state.SetIterationTime(seconds);
        state.counters["cpu_s"] = cpu;
    }
    struct stat st;
    if (::stat((machine + "/drive_c/capture.json").c_str(), &st) == 0) state.counters["capture_MB"] = st.st_size / 1e6;
}
BENCHMARK(BM_Capture10000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_Rebuild10000(benchmark::State& state) {
    const std::string& machine = InstalledMachineInMemory();
    std::string capture = machine + "/drive_c/capture.json", rebuilt = machine + ".rebuilt";
    if (machine.empty() || !Exists(capture)) {
        state.SkipWithError("no capture (Capture10000 makes it)");
        return;
    }
    for (auto _ : state) {
        Shell("rm -rf '" + rebuilt + "'");
        double cpu = 0;
        double seconds = TimedWinsim({"new", rebuilt, "--from", capture}, &cpu);
        if (seconds < 0) {
            state.SkipWithError("the rebuild failed");
            break;
        }
        state.SetIterationTime(seconds);
        state.counters["cpu_s"] = cpu;
    }
    // Both machines go: they hold some 800 MB of memory.
    Shell("rm -rf '" + rebuilt + "' '" + machine + "'");
}
BENCHMARK(BM_Rebuild10000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
