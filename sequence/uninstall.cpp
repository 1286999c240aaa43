// The uninstall sequence: takes away what an installation put on the machine.
#include "base/event_report.h"
#include "base/output.h"
#include "client/client_app.h"
#include "client/client_files.h"
#include "monitor/monitor_files.h"
#include "printers/printer_bindings.h"
#include "sequence/sequences.h"
#include "version/version.h"

bool UninstallPortMonitor(const RunPlan& plan) {
    const EditionProfile& edition = plan.edition;
    const char* word = edition.productWord;

    PrintText("  - Detecting Windows Version\n");
    PlatformClass platform = DetectWindowsVersion();
    if (platform == Unsupported) {
        PrintText("ERROR: Unsupported Operating System Detected.\n");
        return false;
    }

    if (edition.shipsClient) RemoveClientApplication();

    DisconnectPrinters(word);

    PrintFormatted("  - Removing Old %s Print Monitor\n", word);
    MonitorRemoval removal = RemovePrintMonitor(plan.spoolerServer, word);
    PrintMonitorRemoval(removal);
    if (!RemovalLetsRunGoOn(removal)) return false;
    if (removal.outcome == MonitorRemoved) ReportSuccessEvent("Port Monitor Uninstalled Sucessfully");

    PrintText("  - Removing user data\n");
    RemoveUserData();

    if (!plan.copyFiles) return true;

    PrintFormatted("  - Deleting %s Print Monitor Files from System Directory\n", word);
    DeleteMonitorFileSet(GetMonitorFileSet(edition, platform));

    RemoveSubnetMappingFile(edition);
    RemoveFontFiles(edition);
    return true;
}
