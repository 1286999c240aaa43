// winsim: make, run and show simulated Windows machines.
//
//   winsim new DIR [--os NAME] [--no-dotnet] [--no-dist] [--dist HOSTDIR]
//                  [--printer NAME=PORTS] [--network-printer NAME=PORTS] [--server \\NAME]
//   winsim run DIR 'C:\Dist\Install.exe' [ARGS...]   (or VormoCheck.exe)
//   winsim show DIR
//   winsim fault DIR 'FUNCTION ARGUMENT ERROR [COUNT]'   (or 'missing MODULE EXPORT',
//                                                        'delay CreateMutexA MS [COUNT]')
//   winsim os
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "winsim/machine.h"

#ifndef WINSIM_DIST_DIR
#define WINSIM_DIST_DIR ""
#endif

namespace {

// ERROR_BAD_EXE_FORMAT: a file that is no program winsim can run.
const int kBadExeFormat = 193;

int Usage() {
    std::fprintf(stderr,
                 "usage: winsim new DIR [--os NAME] [--no-dotnet] [--no-dist] [--dist HOSTDIR]\n"
                 "                      [--printer NAME=PORTS] [--network-printer NAME=PORTS] [--server \\\\NAME]\n"
                 "       winsim run DIR 'C:\\Dist\\Install.exe' [ARGS...]\n"
                 "       winsim show DIR\n"
                 "       winsim fault DIR 'FUNCTION ARGUMENT ERROR [COUNT]'\n"
                 "                        (or 'missing MODULE EXPORT', 'delay CreateMutexA MS [COUNT]')\n"
                 "       winsim os\n");
    return 2;
}

std::string SelfDir() {
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return ".";
    buffer[n] = '\0';
    std::string path = buffer;
    return path.substr(0, path.rfind('/'));
}

bool ParsePrinter(const std::string& text, DWORD attributes, winsim::NewPrinter* p) {
    auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    p->name = text.substr(0, eq);
    p->ports = text.substr(eq + 1);
    p->attributes = attributes;
    return true;
}

int New(int argc, char** argv) {
    if (argc < 3) return Usage();
    winsim::NewOptions options;
    options.distSource = WINSIM_DIST_DIR;
    for (int i = 3; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (a == "--os") {
            const char* v = next();
            if (!v) return Usage();
            options.os = v;
        } else if (a == "--no-dotnet") {
            options.dotNet = false;
        } else if (a == "--no-dist") {
            options.distSource.clear();
        } else if (a == "--dist") {
            const char* v = next();
            if (!v) return Usage();
            options.distSource = v;
        } else if (a == "--printer" || a == "--network-printer") {
            const char* v = next();
            winsim::NewPrinter p;
            DWORD attributes = a == "--printer" ? PRINTER_ATTRIBUTE_LOCAL : PRINTER_ATTRIBUTE_NETWORK;
            if (!v || !ParsePrinter(v, attributes, &p)) return Usage();
            options.printers.push_back(p);
        } else if (a == "--server") {
            const char* v = next();
            if (!v) return Usage();
            options.servers.push_back(v);
        } else {
            std::fprintf(stderr, "winsim: unknown option %s\n", a.c_str());
            return Usage();
        }
    }
    std::string error;
    if (!winsim::CreateMachine(argv[2], options, &error)) {
        std::fprintf(stderr, "winsim: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

// The host programs that the machine's files of our programs stand for.
std::string HostProgram(const std::string& baseName) {
    const char* installer = std::getenv("WINSIM_INSTALL");
    if (baseName == "install.exe") return installer && *installer ? installer : SelfDir() + "/Install";
    if (baseName == "vormocheck.exe") return SelfDir() + "/VormoCheck";
    return std::string();
}

// Runs the program a Windows path on the machine names, as Windows would
// start it: a path that names no file fails with "file not found"; a file
// that stands for one of our programs runs its host build (the stand-ins of
// the client stopper and the client answer as winsim's processes do); any
// other file is no program winsim can run.
int Run(int argc, char** argv) {
    if (argc < 4) return Usage();
    // The machine must open as the program will open it: a machine.conf or
    // faults line that does not parse stops the run here, named.
    std::string error;
    if (!winsim::OpenMachine(argv[2], &error)) {
        std::fprintf(stderr, "winsim: %s\n", error.c_str());
        return 1;
    }
    const char* cwd = std::getenv("WINSIM_CURRENT_DIRECTORY");
    if (cwd && *cwd) SetCurrentDirectoryA(cwd);
    std::string path = argv[3];
    std::string host = winsim::MapPath(path);
    DWORD stopperExitCode = winsim::Config().stopperExitCode;
    winsim::CloseMachine();
    struct stat st;
    if (host.empty() || ::stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fprintf(stderr, "winsim: cannot run %s: the system cannot find the file specified (error %ld)\n",
                     path.c_str(), static_cast<long>(ERROR_FILE_NOT_FOUND));
        return static_cast<int>(ERROR_FILE_NOT_FOUND);
    }
    std::string base = winsim::Lower(path.substr(path.find_last_of("\\/") == std::string::npos
                                                     ? 0
                                                     : path.find_last_of("\\/") + 1));
    if (base == "stopuiclients.exe") return static_cast<int>(stopperExitCode);
    if (base == "vormo client.exe") return 0;
    std::string program = HostProgram(base);
    if (program.empty()) {
        std::fprintf(stderr,
                     "winsim: cannot run %s: winsim runs Install.exe, VormoCheck.exe, StopUIClients.exe and "
                     "Vormo Client.exe only\n",
                     path.c_str());
        return kBadExeFormat;
    }
    ::setenv("WINSIM_MACHINE", argv[2], 1);
    std::vector<char*> args;
    for (int i = 3; i < argc; ++i) args.push_back(argv[i]);
    args.push_back(nullptr);
    ::execv(program.c_str(), args.data());
    std::fprintf(stderr, "winsim: cannot start %s for %s\n", program.c_str(), path.c_str());
    return 1;
}

int Show(int argc, char** argv) {
    if (argc != 3) return Usage();
    std::string error;
    if (!winsim::OpenMachine(argv[2], &error)) {
        std::fprintf(stderr, "winsim: %s\n", error.c_str());
        return 1;
    }
    // A registry file that does not parse is named, not shown as if whole.
    std::vector<std::string> damaged = winsim::reg::DamagedValueFiles();
    if (!damaged.empty()) {
        for (const auto& problem : damaged) std::fprintf(stderr, "winsim: %s\n", problem.c_str());
        std::fprintf(stderr, "winsim: %s: the registry holds values that do not parse; mend the file%s named above\n",
                     argv[2], damaged.size() == 1 ? "" : "s");
        winsim::CloseMachine();
        return 1;
    }
    std::string text = winsim::ShowMachine();
    std::fwrite(text.data(), 1, text.size(), stdout);
    winsim::CloseMachine();
    return 0;
}

int Fault(int argc, char** argv) {
    if (argc != 4) return Usage();
    winsim::MachineConfig config;
    std::string error;
    if (!winsim::LoadConfig(argv[2], &config, &error)) {
        std::fprintf(stderr, "winsim: %s\n", error.c_str());
        return 1;
    }
    std::vector<winsim::FaultRule> rules;
    std::vector<std::pair<std::string, std::string>> missing;
    if (!winsim::ParseFaultLine(argv[3], &rules, &missing, &error) || (rules.empty() && missing.empty())) {
        std::fprintf(stderr, "winsim: not a fault rule: %s%s%s\n", argv[3], error.empty() ? "" : ": ", error.c_str());
        return 2;
    }
    std::string path = std::string(argv[2]) + "/faults";
    std::string line = std::string(argv[3]) + "\n";
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    bool written = fd >= 0 && ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    if (fd >= 0 && ::close(fd) != 0) written = false;
    if (!written) {
        std::fprintf(stderr, "winsim: cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    std::string command = argv[1];
    if (command == "new") return New(argc, argv);
    if (command == "run") return Run(argc, argv);
    if (command == "show") return Show(argc, argv);
    if (command == "fault") return Fault(argc, argv);
    if (command == "os") {
        for (const auto& name : winsim::OsNames()) std::printf("%s\n", name.c_str());
        return 0;
    }
    return Usage();
}
