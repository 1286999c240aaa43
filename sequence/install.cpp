// The install sequence: one installation of the monitor, its ports, printer
// bindings, client application and data files, step by step.
#include <initializer_list>

#include "base/output.h"
#include "client/client_app.h"
#include "client/client_files.h"
#include "monitor/monitor_files.h"
#include "platform/handles.h"
#include "platform/win32.h"
#include "portcfg/xcv_transport.h"
#include "printers/printer_bindings.h"
#include "decide/required_files.h"
#include "sequence/sequences.h"
#include "version/version.h"

namespace {

// Tests the distribution's files; a file that is missing or unreadable is
// reported and is an abort point of its own.
bool CheckFiles(const RunPlan& plan, PlatformClass platform) {
    RequiredFile files[kMaxRequiredFiles];
    size_t count = GetRequiredFiles(plan, platform, files);
    for (size_t i = 0; i < count; ++i) {
        if (IsReadable(files[i].path)) continue;
        ReportCheckFailure(files[i].nameInMessage);
        if (!plan.ignoreErrors) return false;
    }
    return true;
}

bool CopyMonitorFiles(const MonitorFileSet& set, bool ignoreErrors) {
    for (const char* name : {set.monitorDll, set.uiDll, set.cairoDll}) {
        if (!name || CopyToSystemDirectory(name)) continue;
        ReportCopyFailure(name);
        if (!ignoreErrors) return false;
    }
    return true;
}

void InstallEventLogResources() {
    if (!CopyToSystemDirectory("VormoEvent.dll")) {
        PrintText("  ERROR - Event Log Resources file was NOT copied!\n");
        return;
    }
    if (RegisterEventLogSource("Application", "VormoPort", "%SystemRoot%\\System32\\VormoEvent.dll", 10))
        PrintText("  - Event Log Resources WAS installed\n");
    else
        PrintText("  ERROR - Event Log Resources was NOT installed!\n");
}

}  // namespace

bool InstallPortMonitor(const RunPlan& plan) {
    const EditionProfile& edition = plan.edition;
    const char* word = edition.productWord;
    bool ignoreErrors = plan.ignoreErrors;

    PrintText("  - Detecting Windows Version\n");
    PlatformClass platform = DetectWindowsVersion();
    if (platform == Unsupported) {
        PrintText("ERROR: Unsupported Operating System Detected.\n");
        if (!ignoreErrors) return false;
    }

    PrintText("  - Checking Files\n");
    if (plan.copyFiles && !CheckFiles(plan, platform)) return false;

    DisconnectPrinters(word);

    PrintFormatted("  - Removing Old %s Print Monitor\n", word);
    MonitorRemoval removal = RemovePrintMonitor(plan.spoolerServer, word);
    PrintMonitorRemoval(removal);
    if (!RemovalLetsRunGoOn(removal) && !ignoreErrors) return false;

    MonitorFileSet files = GetMonitorFileSet(edition, platform);
    if (plan.copyFiles) {
        PrintFormatted("  - Deleting %s Print Monitor Files from System Directory\n", word);
        DeleteMonitorFileSet(files);
        PrintText("  - Copying Files to Windows System Directory \n");
        if (!CopyMonitorFiles(files, ignoreErrors)) return false;
    }

    PrintFormatted("  - Registering %s Print Monitor\n", word);
    MonitorRegistration registration = RegisterPrintMonitor(plan.spoolerServer, edition, platform);
    if (!registration.registered) {
        PrintFormatted("ERROR (%lu) While Registering Print Monitor.\n", static_cast<unsigned long>(registration.error));
        if (!ignoreErrors) return false;
    }

    int portCount = 0;
    PrintText("  - Adding port configuration\n");
    if (!AddPortConfiguration(plan, &portCount)) PrintText("ERROR While adding port configuration\n");

    InstallEventLogResources();

    AssignPrinters(portCount, plan);

    if (edition.shipsClient) InstallClientApplication();

    if (plan.copyFiles) {
        if (!InstallFontFiles(edition)) PrintText("  ERROR - Cannot copy Font Files\n");
        if (!InstallSubnetMappingFile(edition)) PrintText("  ERROR - Cannot copy file server_subnet.csv\n");
    }
    return true;
}
