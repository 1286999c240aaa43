#include "run/run_driver.h"

#include <cstdio>
#include <cstring>

#include "base/dot_net.h"
#include "base/event_report.h"
#include "base/output.h"
#include "base/product.h"
#include "base/wow64.h"
#include "platform/child_process.h"
#include "platform/handles.h"
#include "platform/win32.h"
#include "sequence/sequences.h"

namespace {

const char kMutexName[] = "Global\\VormoClientInstallMutex";
const char kBatchFile[] = "install_printer.bat";

const char kUsage[] =
    "\n\n"
    "For installation use 'Install.exe (server)'\n"
    "For uninstallation use 'Install.exe -u'\n"
    "For un/installation of Enterprise version use switch '-a'\n"
    "For read configuration from registry use switch '-r'\n"
    "For do not copy files use switch '-c'\n"
    "For silent installation use switch '-s'\n"
    "For specification of install log use switch '-lLogFileName'\n"
    "For specification of INI file use switch '-iINIFileName'\n"
    "For Install and Ignore Errors use 'Install.exe -e' (NOT RECOMMENDED!)\n";

void PrintServerPart(const char* serverName) {
    if (serverName) {
        PrintText(" on server ");
        PrintText(serverName);
    }
    PrintText("...\n");
}

void RunBatchFile() {
    if (GetFileAttributesA(kBatchFile) == INVALID_FILE_ATTRIBUTES) return;
    CloseInstallLog();
    // The interpreter named by COMSPEC when it fits 259 characters, else cmd.exe.
    char interpreter[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("COMSPEC", interpreter, sizeof interpreter);
    if (n == 0 || n >= sizeof interpreter) std::snprintf(interpreter, sizeof interpreter, "%s", "cmd.exe");
    char commandLine[sizeof "\"\" /c " + sizeof interpreter + sizeof kBatchFile];
    std::snprintf(commandLine, sizeof commandLine, "\"%s\" /c %s", interpreter, kBatchFile);
    DWORD exitCode;
    platform::RunProcess(nullptr, commandLine, &exitCode);  // its exit status is not looked at
}

bool FinishInstall(bool result, const char* word) {
    if (!result) {
        PrintFormatted("\n%s Port Monitor Not Installed!\n", word);
        return false;
    }
    PrintFormatted("\n%s Port Monitor Installed Sucessfully.\n", word);
    ReportSuccessEvent("Port Monitor Installed Sucessfully");
    return true;
}

}  // namespace

const char* GetBuildYear() {
    // __DATE__ is "Mmm dd yyyy".
    static const char year[] = {__DATE__[7], __DATE__[8], __DATE__[9], __DATE__[10], '\0'};
    return year;
}

bool AcquireInstallMutex(RunResources* resources) {
    resources->mutex = CreateMutexA(nullptr, TRUE, kMutexName);
    if (!resources->mutex) {
        PrintFormatted("ERROR: Installation mutex cannot be created. Error number %i\n",
                       static_cast<int>(GetLastError()));
        return false;
    }
    if (GetLastError() != 0) {
        PrintText("ERROR: Another (un)installation already running.");
        return false;
    }
    return true;
}

void ReleaseRunResources(RunResources* resources) {
    CloseInstallLog();
    if (resources->mutex) {
        ReleaseMutex(resources->mutex);
        CloseHandle(resources->mutex);
        resources->mutex = nullptr;
    }
}

int ExitCodeFor(bool result) { return result ? 0 : -1; }

bool RunInstaller(int argc, char** argv, RunResources* resources) {
    DisableFsRedirection();
    if (argc != 0 && argv && argv[0]) SetInstallerFolderAsCurrent(argv[0]);

    RunOptions options;
    ParseCommandLine(argc, argv, &options);
    const RunPlan plan = MakeRunPlan(options);

    if (!OpenInstallLog(options.logFilePath)) return false;
    if (!AcquireInstallMutex(resources)) return false;

    const char* word = plan.edition.productWord;
    PrintFormatted("%s Port Monitor Installer, version %s\n", word, kProductVersion);
    PrintFormatted("Copyright (c) %s Oxlen Corporation. All rights reserved.\n", GetBuildYear());

    if (options.showUsage) {
        PrintText(kUsage);
        return false;
    }
    if (options.obsoleteClientSwitch)
        PrintText("NOTE: The -f switch is obsolete, the client application is un/installed automaticaly\n");
    if (plan.edition.needsDotNet && !IsDotNet20Installed()) {
        PrintText("ERROR: The .NET Framework 2.0 is not installed\n");
        return false;
    }

    if (argc <= 1) {
        // Without arguments the plan is the default one: the local spooler,
        // the INI file, files copied, errors not ignored.
        PrintFormatted("\nInstalling %s Port Monitor ...\n", word);
        return FinishInstall(InstallPortMonitor(plan), word);
    }
    if (options.uninstall) {
        PrintFormatted("\nUninstalling %s Port Monitor", word);
        PrintServerPart(options.serverName);
        if (UninstallPortMonitor(plan)) {
            PrintFormatted("\n%s Port Monitor UnInstalled Sucessfully.\n", word);
            return true;
        }
        PrintText("\n Port Monitor Not Completely UnInstalled!\n");
        return false;
    }
    PrintFormatted("\nInstalling %s Port Monitor", word);
    PrintServerPart(options.serverName);
    if (options.ignoreErrors) PrintText("[IGNORE ERRORS Switch is Enabled!]\n");
    if (options.configFromRegistry) PrintText("  (config will be read from registry)\n");
    if (!options.copyFiles) PrintText("  No files will be copied\n");
    if (!FinishInstall(InstallPortMonitor(plan), word)) return false;
    RunBatchFile();
    return true;
}
