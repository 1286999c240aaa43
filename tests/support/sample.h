// What the sample distribution makes the installer print, shared by the tests
// that run it.
#pragma once

namespace testing_support {

// The New-port lines of the three sections of dist/Vormo.ini.
inline const char kSampleNewPortLines[] =
    "    New - IP:10.1.0.20:9100, Desc:Head office, first floor, Queue:office, Type:1 \n"
    "    New - IP:10.2.0.20:9101, Desc:Warehouse, Queue:warehouse, Type:2 depot\n"
    "    New - IP:printsrv3.example.com:9100, Desc:, Queue:, Type:1 \n";

// The client application's lines of an installation and of a removal.
inline const char kClientInstallLines[] =
    "  - Installing Vormo Client Graphical User Interface\n"
    "  - Waiting for all Vormo Clients to terminate\n"
    "  - Executing Vormo Client\n";
inline const char kClientRemovalLines[] =
    "  - Uninstalling Vormo Client Graphical User Interface\n"
    "  - Waiting for all Vormo Clients to terminate\n"
    "  - Removing Vormo Client\n";

}  // namespace testing_support
