// The uninstall sequence: takes away what an installation put on the machine.
#include <initializer_list>

#include "client/client_files.h"
#include "printers/printer_bindings.h"
#include "run/edition.h"
#include "run/event_report.h"
#include "run/output.h"
#include "sequence/client_app.h"
#include "sequence/monitor_files.h"
#include "sequence/sequences.h"
#include "sequence/version.h"

bool UninstallPortMonitor(const char* serverName, bool copyFiles) {
    const char* word = Edition().productWord;

    PrintText("  - Detecting Windows Version\n");
    PlatformClass platform = DetectWindowsVersion();
    if (platform == Unsupported) {
        PrintText("ERROR: Unsupported Operating System Detected.\n");
        return false;
    }

    if (!enterpriseEdition) RemoveClientApplication();

    DisconnectPrinters(word);

    PrintFormatted("  - Removing Old %s Print Monitor\n", word);
    switch (RemovePrintMonitor(serverName)) {
        case MonitorRemoved:
            ReportSuccessEvent("Port Monitor Uninstalled Sucessfully");
            break;
        case MonitorNotFound:
            break;
        default:
            return false;
    }

    PrintText("  - Removing user data\n");
    RemoveUserData();

    if (!copyFiles) return true;

    PrintFormatted("  - Deleting %s Print Monitor Files from System Directory\n", word);
    DeleteMonitorFileSet(GetMonitorFileSet(platform));

    RemoveSubnetMappingFile();
    RemoveFontFiles();
    return true;
}
