// Process entry of VormoCheck: the pre-flight check of a distribution.
//
//   VormoCheck [--json] [installer switches] [server]
//
// It takes Install.exe's switches and arguments as Install.exe takes them
// (-a, -u, -e, -r, -c, -s, -f, -lFILE, -iFILE, a server name) and tells what
// a run of Install.exe with them from its folder would do on this machine as
// it is, and what in the distribution or on the machine would not come out as
// written. It ends with 0 (clean), 1 (warnings only), 2 (errors) or 3 (the
// check could not run).
#include <cstring>
#include <string>
#include <vector>

#include "base/wow64.h"
#include "check/preflight.h"
#include "platform/process.h"

namespace {

const char kUsage[] =
    "usage: VormoCheck [--json] [Install.exe's switches] [server]\n"
    "  Tells what Install.exe, started from VormoCheck's own folder with the same switches, would do on this\n"
    "  machine as it is, and what would not come out as written. It changes nothing.\n"
    "  --json  the report as one JSON document\n"
    "  -a the Enterprise edition   -u uninstall          -e ignore errors        -r port sections in the registry\n"
    "  -c copy no files            -lFILE the install log  -iFILE another INI file  server  the print server\n"
    "Exit codes: 0 clean, 1 warnings only, 2 errors, 3 the check could not run.\n";

void Print(const std::string& text) { platform::WriteConsole(text.data(), text.size()); }

}  // namespace

int main(int argc, char** argv) {
    const int kCouldNotRun = 3;
    if (!platform::AttachProcess()) return kCouldNotRun;
    // The system directory as the installer sees it: the native one.
    DisableFsRedirection();
    if (argc > 0 && argv && argv[0]) SetInstallerFolderAsCurrent(argv[0]);
    // The check's own switches come out before the installer's are parsed.
    bool json = false, usage = false;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i] ? argv[i] : "";
        if (i > 0 && arg == "--json") {
            json = true;
        } else if (i > 0 && arg.compare(0, 2, "--") == 0) {
            Print("VormoCheck: unknown switch " + arg + "\n");
            usage = true;
        } else {
            args.push_back(argv[i]);
        }
    }
    RunOptions options;
    ParseCommandLine(static_cast<int>(args.size()), args.data(), &options);
    if (usage || options.showUsage) {
        Print(kUsage);
        platform::DetachProcess();
        return kCouldNotRun;
    }
    const RunPlan plan = MakeRunPlan(options);
    PreflightReport report = RunPreflight(options, plan);
    Print(json ? JsonReport(report) : TextReport(report));
    int code = ExitCodeOf(report);
    platform::DetachProcess();
    return code;
}
