// The command line, and the run plan made from it and the machine.
#include "run/command_line.h"

#include <cstdio>
#include <cstring>

#include "platform/win32.h"

namespace {

bool Is(const char* arg, const char* a, const char* b) { return std::strcmp(arg, a) == 0 || std::strcmp(arg, b) == 0; }

bool StartsWith(const char* arg, char c) { return arg[0] == '-' && (arg[1] == c || arg[1] == c - 'a' + 'A'); }

// Argument 0 is taken into 260 bytes: a longer program path is cut to 259
// characters before its folder is taken.
constexpr size_t kProgramPathSize = MAX_PATH;

}  // namespace

void SetInstallerFolderAsCurrent(const char* programName) {
    char folder[kProgramPathSize];
    size_t n = std::strlen(programName);
    if (n > sizeof folder - 1) n = sizeof folder - 1;
    std::memcpy(folder, programName, n);
    folder[n] = '\0';
    char* slash = std::strrchr(folder, '\\');
    if (!slash) return;
    slash[1] = '\0';
    SetCurrentDirectoryA(folder);
}

void ParseCommandLine(int argc, char** argv, RunOptions* o) {
    *o = RunOptions();
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!arg) continue;
        if (Is(arg, "-?", "/?")) o->showUsage = true;
        else if (Is(arg, "-a", "-A")) o->enterprise = true;
        else if (Is(arg, "-u", "-U")) o->uninstall = true;
        else if (Is(arg, "-e", "-E")) o->ignoreErrors = true;
        else if (Is(arg, "-r", "-R")) o->configFromRegistry = true;
        else if (Is(arg, "-c", "-C")) o->copyFiles = false;
        else if (Is(arg, "-s", "-S")) {
        } else if (Is(arg, "-f", "-F")) o->obsoleteClientSwitch = true;
        else if (StartsWith(arg, 'l')) o->logFilePath = arg + 2;
        else if (StartsWith(arg, 'i')) o->iniFilePath = arg + 2;
        else o->serverName = arg;
    }
}

RunPlan MakeRunPlan(const RunOptions& options) {
    RunPlan plan;
    plan.edition = options.enterprise ? kEnterpriseEdition : kStandardEdition;
    plan.sections.fromIniFile = !options.configFromRegistry;
    char folder[MAX_PATH];
    DWORD n = GetCurrentDirectoryA(sizeof folder, folder);
    char path[kConfigFilePathSize];
    if (n == 0 || n >= sizeof folder) {
        // The current directory does not fit its room: name the file
        // relative to it, which still is the installer's folder.
        std::snprintf(path, sizeof path, ".\\%s", plan.edition.iniFileName);
    } else {
        std::snprintf(path, sizeof path, "%s\\%s", folder, plan.edition.iniFileName);
    }
    SetConfigFilePath(&plan.sections, options.iniFilePath && *options.iniFilePath ? options.iniFilePath : path);
    SetPrintServer(&plan, options.serverName);
    plan.ignoreErrors = options.ignoreErrors;
    plan.copyFiles = options.copyFiles;
    plan.uninstall = options.uninstall;
    plan.logFilePath = options.logFilePath;
    return plan;
}

