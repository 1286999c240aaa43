// Process entry of VormoCheck: the pre-flight check of a distribution.
//
//   VormoCheck [--json] [installer switches] [server]
//   VormoCheck --capture FILE [--secrets]
//
// It takes Install.exe's switches and arguments as Install.exe takes them
// (-a, -u, -e, -r, -c, -s, -f, -lFILE, -iFILE, a server name) and tells what
// a run of Install.exe with them from its folder would do on this machine as
// it is, and what in the distribution or on the machine would not come out as
// written. It ends with 0 (clean), 1 (warnings only), 2 (errors) or 3 (the
// check could not run). With --capture it writes the capture of this
// machine's print state into FILE instead (README, "Capturing a machine and
// rehearsing on it"), and ends with 0, or 3 when the capture could not be
// read or written.
#include <cstring>
#include <string>
#include <vector>

#include "base/wow64.h"
#include "check/capture_report.h"
#include "check/preflight.h"
#include "platform/process.h"

namespace {

const char kUsage[] =
    "usage: VormoCheck [--json] [Install.exe's switches] [server]\n"
    "       VormoCheck --capture FILE [--secrets]\n"
    "  Tells what Install.exe, started from VormoCheck's own folder with the same switches, would do on this\n"
    "  machine as it is, and what would not come out as written. It changes nothing.\n"
    "  --json  the report as one JSON document\n"
    "  -a the Enterprise edition   -u uninstall          -e ignore errors        -r port sections in the registry\n"
    "  -c copy no files            -lFILE the install log  -iFILE another INI file  server  the print server\n"
    "  --capture FILE  writes this machine's print state into FILE (JSON) instead of checking, changing\n"
    "                  nothing else; --secrets  with the ports' AuthText in clear\n"
    "Exit codes: 0 clean, 1 warnings only, 2 errors, 3 the check could not run.\n";

void Print(const std::string& text) { platform::WriteConsole(text.data(), text.size()); }

std::string Count(size_t n, const char* word) { return std::to_string(n) + " " + word + (n == 1 ? "" : "s"); }

// Captures this machine into the file; the exit code.
int Capture(const std::string& file, bool secrets) {
    const int kCouldNotRun = 3;
    MachineCapture capture = ReadMachineCapture();
    if (!capture.failure.empty()) {
        Print("VormoCheck: the capture could not be made: " + capture.failure + "\n");
        return kCouldNotRun;
    }
    std::string document = CaptureJson(capture, secrets);
    if (!platform::WriteWholeFile(file.c_str(), document.data(), document.size())) {
        Print("VormoCheck: cannot write the capture to " + file + "\n");
        return kCouldNotRun;
    }
    size_t folders = 0;
    for (const CapturedFile& f : capture.files) folders += f.kind == CapturedKind::Folder;
    Print("VormoCheck: captured this machine into " + file + ": " + Count(capture.reading.printers.size(), "printer") +
          ", " + Count(capture.reading.local.ports.size(), "port") + ", " +
          Count(capture.reading.local.monitors.size(), "monitor") + ", " +
          Count(capture.registry.size(), "registry key") + ", " + Count(capture.files.size() - folders, "file") +
          ", " + Count(folders, "folder") + " (AuthText " + (secrets ? "in clear" : "withheld") + ")\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int kCouldNotRun = 3;
    if (!platform::AttachProcess()) return kCouldNotRun;
    // The system directory as the installer sees it: the native one.
    DisableFsRedirection();
    if (argc > 0 && argv && argv[0]) SetInstallerFolderAsCurrent(argv[0]);
    // The check's own switches come out before the installer's are parsed.
    bool json = false, usage = false, capture = false, secrets = false;
    std::string captureFile;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i] ? argv[i] : "";
        if (i > 0 && arg == "--json") {
            json = true;
        } else if (i > 0 && arg == "--capture") {
            if (i + 1 < argc && argv[i + 1] && *argv[i + 1]) {
                capture = true;
                captureFile = argv[++i];
            } else {
                Print("VormoCheck: --capture needs a file name\n");
                usage = true;
            }
        } else if (i > 0 && arg == "--secrets") {
            secrets = true;
        } else if (i > 0 && arg.compare(0, 2, "--") == 0) {
            Print("VormoCheck: unknown switch " + arg + "\n");
            usage = true;
        } else {
            args.push_back(argv[i]);
        }
    }
    RunOptions options;
    ParseCommandLine(static_cast<int>(args.size()), args.data(), &options);
    if (usage || options.showUsage || (secrets && !capture) || (capture && json)) {
        Print(kUsage);
        platform::DetachProcess();
        return kCouldNotRun;
    }
    if (capture) {
        int code = Capture(captureFile, secrets);
        platform::DetachProcess();
        return code;
    }
    const RunPlan plan = MakeRunPlan(options);
    PreflightReport report = RunPreflight(options, plan);
    Print(json ? JsonReport(report) : TextReport(report));
    int code = ExitCodeOf(report);
    platform::DetachProcess();
    return code;
}
