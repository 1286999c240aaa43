// Process entry of VormoCheck: the pre-flight check of a distribution.
//
//   VormoCheck [--json] [installer switches] [server]
//
// It takes the installer's switches that change what is read (-a, -r, -i, a
// server name) and accepts the others without effect. It prints what an
// installation from its folder would do on this machine and what in the
// distribution would not come out as written, and ends with 0 (clean), 1
// (warnings only), 2 (errors) or 3 (the check could not run).
#include <cstring>
#include <string>
#include <vector>

#include "check/preflight.h"
#include "platform/process.h"

namespace {

const char kUsage[] =
    "usage: VormoCheck [--json] [-a] [-r] [-iINIFileName] [server]\n"
    "  Checks the distribution in VormoCheck's own folder before Install.exe is deployed from it.\n"
    "  --json  the report as one JSON document\n"
    "  -a      the Enterprise edition        -r  the port sections in the registry\n"
    "  -i      another INI file              server  the print server of the installation\n"
    "  Install.exe's other switches are accepted and change nothing here.\n"
    "Exit codes: 0 clean, 1 warnings only, 2 errors, 3 the check could not run.\n";

void Print(const std::string& text) { platform::WriteConsole(text.data(), text.size()); }

}  // namespace

int main(int argc, char** argv) {
    const int kCouldNotRun = 3;
    if (!platform::AttachProcess()) return kCouldNotRun;
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
