// Installations and uninstallations from end to end: the host binary in
// machine folders, with the exact console bytes, the install log, the exit
// code and the machine afterwards.
#include <gtest/gtest.h>

#include <fstream>

#include "run/run_driver.h"
#include "support/machine.h"
#include "support/sample.h"
#include "winsim/spooler.h"

using testing_support::RunInstaller;
using testing_support::RunResult;
using testing_support::TempMachine;

namespace {

using testing_support::Banner;
using testing_support::Crlf;

const char kHklm[] = "registry/HKLM";
const char kSystem32[] = "C:\\Windows\\System32\\";
const char kClientFolder[] = "C:\\Program Files (x86)\\Oxlen\\Vormo Client\\Client";
const char kProductFolder[] = "C:\\Program Files (x86)\\Oxlen\\Vormo Client";


const char kDetect7x64[] = "  - Detecting Windows Version\n    (64-bit Windows 7 Detected)\n";
const std::string kNewPorts = std::string("  - Adding port configuration\n") + testing_support::kSampleNewPortLines;
const char* const kClientInstall = testing_support::kClientInstallLines;
const char kDataFiles[] = "  - Installing Font Files\n  - Installing Subnet Mapping File\n";
const char* const kClientRemoval = testing_support::kClientRemovalLines;

std::string MonitorSteps(const std::string& word = "Vormo", bool found = false) {
    return "  - Removing Old " + word + " Print Monitor\n" + (found ? "" : "    (Print Monitor Not Found)\n") +
           "  - Deleting " + word + " Print Monitor Files from System Directory\n" +
           "  - Copying Files to Windows System Directory \n" + "  - Registering " + word + " Print Monitor\n";
}

winsim::NewOptions WithPrinters() {
    winsim::NewOptions options = TempMachine::DefaultOptions();
    options.printers.push_back({"Office Laser", "LPT1:", PRINTER_ATTRIBUTE_LOCAL});
    options.printers.push_back({"Front Desk", "LPT2:,COM1:", PRINTER_ATTRIBUTE_LOCAL});
    return options;
}

void AddFault(const TempMachine& m, const std::string& rule) {
    std::ofstream faults(m.dir() + "/faults", std::ios::app);
    faults << rule << "\n";
}

class Sequences : public ::testing::Test {
protected:
    void TearDown() override { winsim::CloseMachine(); }

    // Runs the installer and reopens the machine in this process to look at it.
    RunResult Run(const TempMachine& m, const std::vector<std::string>& args) {
        RunResult r = RunInstaller(m.dir(), args);
        EXPECT_EQ(r.err, "") << "handles left open or other complaints";
        m.Reopen();
        return r;
    }
    std::string Port(const std::string& printer) {
        winsim::RegValue v;
        winsim::reg::GetValue(kHklm, winsim::PrinterKey(printer), "Port", &v);
        return winsim::reg::SzText(v);
    }
    bool HasPort(const std::string& monitor, const std::string& port) {
        return winsim::reg::KeyExists(kHklm, winsim::PortsKey(monitor) + "\\" + port);
    }
    std::string Journal() { return winsim::ReadJournal(); }
    size_t Count(const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t pos = 0; (pos = text.find(what, pos)) != std::string::npos; pos += what.size()) ++n;
        return n;
    }
};

TEST_F(Sequences, InstallationWithoutArgumentsOnAFreshMachine) {
    TempMachine m(WithPrinters());
    RunResult r = Run(m, {});
    std::string expected = Banner() + "\nInstalling Vormo Port Monitor ...\n" + kDetect7x64 + "  - Checking Files\n" +
                           MonitorSteps() + kNewPorts + "  - Event Log Resources WAS installed\n" +
                           "    Printer 'Office Laser' assigned to port Vormo001\n" +
                           "    Printer 'Front Desk' assigned to port Vormo002\n" + kClientInstall + kDataFiles +
                           "\nVormo Port Monitor Installed Sucessfully.\n";
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(m.Read("C:\\Windows\\VOPortInstall.log"), Crlf(expected));

    // Monitor files in the native System32, registration for Windows x64.
    for (const char* f : {"VORMOVS64.DLL", "VORMO64UI.DLL", "VormoCairoLib64.DLL", "VormoEvent.dll"})
        EXPECT_EQ(m.Read(std::string(kSystem32) + f), m.Read(std::string("C:\\Dist\\") + f)) << f;
    EXPECT_FALSE(m.Exists("C:\\Windows\\SysWOW64\\VORMOVS64.DLL"));
    winsim::RegValue v;
    ASSERT_TRUE(winsim::reg::GetValue(kHklm, winsim::MonitorKey("Vormo"), "Driver", &v));
    EXPECT_EQ(winsim::reg::SzText(v), "VORMOVS64.DLL");
    // Three ports with their records; printers moved onto them.
    for (const char* port : {"Vormo001", "Vormo002", "Vormo003"}) {
        ASSERT_TRUE(winsim::reg::GetValue(kHklm, winsim::PortsKey("Vormo") + "\\" + port, "Record", &v)) << port;
        EXPECT_EQ(v.data.size(), 11608u);
    }
    EXPECT_FALSE(HasPort("Vormo", "Vormo004"));
    EXPECT_EQ(Port("Office Laser"), "Vormo001");
    EXPECT_EQ(Port("Front Desk"), "Vormo002");
    // Event-log source, client, autostart, fonts, subnet file.
    ASSERT_TRUE(winsim::reg::GetValue(kHklm, "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\VormoPort",
                                      "CategoryCount", &v));
    EXPECT_EQ(winsim::reg::DwordOf(v), 10u);
    EXPECT_TRUE(m.Exists(std::string(kClientFolder) + "\\Vormo Client.exe"));
    EXPECT_TRUE(m.Exists(std::string(kClientFolder) + "\\zh-TW\\Vormo Client.resources.dll"));
    ASSERT_TRUE(winsim::reg::GetValue(kHklm, "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run",
                                      "Vormo Client", &v));
    EXPECT_EQ(winsim::reg::SzText(v), std::string("\"") + kClientFolder + "\\Vormo Client.exe\"");
    EXPECT_TRUE(m.Exists(std::string(kProductFolder) + "\\Font\\VormoSans.ttf"));
    EXPECT_TRUE(m.Exists(std::string(kProductFolder) + "\\server_subnet.csv"));
    // The journal: the client stopper before the client, the event last.
    std::string j = Journal();
    EXPECT_LT(j.find("StopUIClients.exe"), j.find("Vormo Client.exe\""));
    // The event: identifier 0xC0020001, a success entry (type 0), no category.
    EXPECT_NE(j.find("event source=VormoPort computer=WINSIM type=0 category=0 id=0xC0020001 "
                     "text=\"Port Monitor Installed Sucessfully\"\n"),
              std::string::npos)
        << j;
    EXPECT_EQ(j.find("install_printer.bat"), std::string::npos);
}

TEST_F(Sequences, SecondInstallationOverTheFirst) {
    TempMachine m(WithPrinters());
    ASSERT_EQ(Run(m, {}).exitCode, 0);
    m.Write(std::string(kClientFolder) + "\\Vormo Client.exe", "an older client\n");
    m.Write(std::string(kSystem32) + "VORMOVS64.DLL", "an older monitor\n");
    RunResult r = Run(m, {});
    std::string expected =
        Banner() + "\nInstalling Vormo Port Monitor ...\n" + kDetect7x64 + "  - Checking Files\n" +
        "  - Port Vormo002 type Vormo will be disconnected\n" +
        "  - Disconnecting Printer 'Front Desk' from Vormo Port\n" +
        "  - Port Vormo001 type Vormo will be disconnected\n" +
        "  - Disconnecting Printer 'Office Laser' from Vormo Port\n" + MonitorSteps("Vormo", true) + kNewPorts +
        "  - Event Log Resources WAS installed\n" + "    Printer 'Office Laser' assigned to port Vormo001\n" +
        "    Printer 'Front Desk' assigned to port Vormo002\n" + kClientInstall + kDataFiles +
        "\nVormo Port Monitor Installed Sucessfully.\n";
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.exitCode, 0);
    // The console-only lines are not in the log.
    std::string log = m.Read("C:\\Windows\\VOPortInstall.log");
    EXPECT_EQ(log.find("will be disconnected"), std::string::npos);
    EXPECT_NE(log.find("  - Disconnecting Printer 'Front Desk' from Vormo Port\r\n"), std::string::npos);
    // Files replaced, printers back on their ports, the old registration gone first.
    EXPECT_EQ(m.Read(std::string(kClientFolder) + "\\Vormo Client.exe"), m.Read("C:\\Dist\\Vormo Client.exe"));
    EXPECT_EQ(m.Read(std::string(kSystem32) + "VORMOVS64.DLL"), m.Read("C:\\Dist\\VORMOVS64.DLL"));
    EXPECT_EQ(Port("Office Laser"), "Vormo001");
    EXPECT_EQ(Port("Front Desk"), "Vormo002");
    std::string j = Journal();
    size_t second = j.find("printer Front Desk port Vormo002 -> FILE:");
    ASSERT_NE(second, std::string::npos);
    EXPECT_LT(second, j.find("monitor deleted Vormo"));
    EXPECT_LT(j.find("monitor deleted Vormo"), j.rfind("monitor added Vormo"));
    EXPECT_LT(j.rfind("StopUIClients.exe"), j.rfind("Vormo Client.exe\""));
}

TEST_F(Sequences, IgnoreErrorsListsEveryMissingFileInOrderAndGoesOn) {
    TempMachine m;
    for (const char* f : {"Vormo.ini", "VORMO64UI.DLL", "Interop.SHDocVw.dll", "StopUIClients.exe"})
        m.Remove(std::string("C:\\Dist\\") + f);
    RunResult r = Run(m, {"-e"});
    std::string expected = Banner() + "\nInstalling Vormo Port Monitor...\n[IGNORE ERRORS Switch is Enabled!]\n" +
                           kDetect7x64 + "  - Checking Files\n" + "ERROR While Checking 'Vormo.ini'.\n" +
                           "ERROR While Checking 'VORMO64UI.DLL'.\n" +
                           "ERROR While Checking 'Interop.SHDocVw.dll'.\n" +
                           "ERROR While Checking 'StopUIClients.exe'.\n" + "  - Removing Old Vormo Print Monitor\n" +
                           "    (Print Monitor Not Found)\n" +
                           "  - Deleting Vormo Print Monitor Files from System Directory\n" +
                           "  - Copying Files to Windows System Directory \n" +
                           "ERROR While Copying File 'VORMO64UI.DLL'.\n" + "  - Registering Vormo Print Monitor\n" +
                           "  - Adding port configuration\n" + "  - Event Log Resources WAS installed\n" +
                           "  - Installing Vormo Client Graphical User Interface\n" +
                           "  - Waiting for all Vormo Clients to terminate\n" +
                           "  ERROR - Cannot stop all Vormo Client instances\n" +
                           "  ERROR - Cannot copy Vormo Client User Interface DLL\n" + "  - Executing Vormo Client\n" +
                           kDataFiles + "\nVormo Port Monitor Installed Sucessfully.\n";
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.exitCode, 0);
}

TEST_F(Sequences, WithoutIgnoreErrorsTheFirstMissingFileEndsTheInstallation) {
    TempMachine m;
    m.Remove("C:\\Dist\\VormoCairoLib64.DLL");
    m.Remove("C:\\Dist\\VORMOVS64.DLL");
    RunResult r = Run(m, {});
    EXPECT_EQ(r.out, Banner() + "\nInstalling Vormo Port Monitor ...\n" + kDetect7x64 + "  - Checking Files\n" +
                         "ERROR While Checking 'VormoCairoLib64.DLL'.\n" + "\nVormo Port Monitor Not Installed!\n");
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_FALSE(winsim::reg::KeyExists(kHklm, winsim::MonitorKey("Vormo")));
}

TEST_F(Sequences, NoCopyChecksNothingCopiesNoMonitorFilesButDeploysTheClient) {
    TempMachine m;
    m.Remove("C:\\Dist\\VORMOVS64.DLL");  // not tested, not copied
    m.Write(std::string(kSystem32) + "VORMOVS64.DLL", "already in place\n");
    RunResult r = Run(m, {"-c"});
    std::string expected = Banner() + "\nInstalling Vormo Port Monitor...\n  No files will be copied\n" + kDetect7x64 +
                           "  - Checking Files\n" + "  - Removing Old Vormo Print Monitor\n" +
                           "    (Print Monitor Not Found)\n" + "  - Registering Vormo Print Monitor\n" + kNewPorts +
                           "  - Event Log Resources WAS installed\n" +
                           "    ERROR - Printer Office Laser NOT assigned to port Vormo001\n" +
                           "    ERROR - Printer Front Desk NOT assigned to port Vormo002\n" + kClientInstall +
                           "\nVormo Port Monitor Installed Sucessfully.\n";
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(m.Read(std::string(kSystem32) + "VORMOVS64.DLL"), "already in place\n");
    EXPECT_TRUE(m.Exists(std::string(kSystem32) + "VormoEvent.dll"));
    EXPECT_TRUE(m.Exists(std::string(kClientFolder) + "\\Vormo Client.exe"));
    EXPECT_FALSE(m.Exists(std::string(kProductFolder) + "\\Font"));
    EXPECT_FALSE(m.Exists(std::string(kProductFolder) + "\\server_subnet.csv"));
}

TEST_F(Sequences, RegistryPortSectionsWithoutAnIniFile) {
    TempMachine m(WithPrinters());
    m.Remove("C:\\Dist\\Vormo.ini");
    const std::string key = "SOFTWARE\\Wow6432Node\\Oxlen Corporation\\Vormo\\PortInstallCfg";
    ASSERT_TRUE(winsim::reg::CreateKey(kHklm, key + "\\1"));
    winsim::reg::SetValue(kHklm, key + "\\1", "ServerIP", winsim::reg::Sz("192.0.2.7"));
    winsim::reg::SetValue(kHklm, key + "\\1", "ServerPort", winsim::reg::Dword(515));
    winsim::reg::SetValue(kHklm, key + "\\1", "AssignPrinter3", winsim::reg::Sz("Front Desk"));
    RunResult r = Run(m, {"-r"});
    std::string expected = Banner() + "\nInstalling Vormo Port Monitor...\n  (config will be read from registry)\n" +
                           kDetect7x64 + "  - Checking Files\n" + MonitorSteps() + "  - Adding port configuration\n" +
                           "    New - IP:192.0.2.7:515, Desc:, Queue:, Type:1 \n" +
                           "  - Event Log Resources WAS installed\n" +
                           "    Printer 'Front Desk' assigned to port Vormo001\n" + kClientInstall + kDataFiles +
                           "\nVormo Port Monitor Installed Sucessfully.\n";
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(Port("Front Desk"), "Vormo001");
    EXPECT_EQ(Port("Office Laser"), "LPT1:");
}

TEST_F(Sequences, EnterpriseEditionUsesItsNamesEverywhere) {
    TempMachine m(WithPrinters());
    m.Write(std::string(kSystem32) + "VORMO64.DLL", "old monitor\n");
    RunResult r = Run(m, {"-a"});
    std::string expected = Banner("VormoE") + "\nInstalling VormoE Port Monitor...\n" + kDetect7x64 +
                           "  - Checking Files\n" + MonitorSteps("VormoE") + "  - Adding port configuration\n" +
                           "    New - IP:10.1.0.20:9100, Desc:Head office, first floor, Queue:office, Type:1 \n" +
                           "    New - IP:10.2.0.20:9101, Desc:Warehouse, Queue:warehouse, Type:2 depot\n" +
                           "    New - IP:printsrv3.example.com:9100, Desc:, Queue:, Type:1 \n" +
                           "  - Event Log Resources WAS installed\n" +
                           "    Printer 'Office Laser' assigned to port VormoE001\n" +
                           "    Printer 'Front Desk' assigned to port VormoE002\n" +
                           "  - Installing Font Files\n  - Installing Subnet Mapping File\n" +
                           "\nVormoE Port Monitor Installed Sucessfully.\n";
    EXPECT_EQ(r.out, expected);
    EXPECT_TRUE(m.Exists(std::string(kSystem32) + "VORMOE64.DLL"));
    EXPECT_TRUE(m.Exists(std::string(kSystem32) + "VORMO64.DLL")) << "the old monitor DLL stays";
    EXPECT_TRUE(HasPort("VormoE", "VormoE003"));
    EXPECT_FALSE(m.Exists(kClientFolder));
    EXPECT_TRUE(m.Exists("C:\\Program Files (x86)\\Oxlen\\Vormo Client Enterprise\\Font\\VormoSans.ttf"));
    EXPECT_TRUE(m.Exists("C:\\Program Files (x86)\\Oxlen\\Vormo Client Enterprise\\server_subnet.csv"));
}

TEST_F(Sequences, UnsupportedWindowsChangesNothingWithoutIgnoreErrors) {
    winsim::NewOptions options = TempMachine::DefaultOptions();
    options.os = "2000";
    TempMachine m(options);
    RunResult r = Run(m, {});
    EXPECT_EQ(r.out, Banner() + "\nInstalling Vormo Port Monitor ...\n" +
                         "  - Detecting Windows Version\n    (Windows 2000 Detected)\n" +
                         "ERROR: Unsupported Operating System Detected.\n" + "\nVormo Port Monitor Not Installed!\n");
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_FALSE(m.Exists("C:\\Windows\\System32\\VormoEvent.dll"));
    EXPECT_FALSE(m.Exists("C:\\Program Files\\Oxlen"));
}

TEST_F(Sequences, UnsupportedWindowsWithIgnoreErrorsRunsEveryStep) {
    winsim::NewOptions options = TempMachine::DefaultOptions();
    options.os = "2000";
    TempMachine m(options);
    m.Remove("C:\\Dist\\Microsoft.mshtml.dll");
    RunResult r = Run(m, {"-e"});
    std::string expected =
        Banner() + "\nInstalling Vormo Port Monitor...\n[IGNORE ERRORS Switch is Enabled!]\n" +
        "  - Detecting Windows Version\n    (Windows 2000 Detected)\n" +
        "ERROR: Unsupported Operating System Detected.\n" + "  - Checking Files\n" +
        "ERROR While Checking 'Microsoft.mshtml.dll'.\n" + "  - Removing Old Vormo Print Monitor\n" +
        "    (Print Monitor Not Found)\n" + "  - Deleting Vormo Print Monitor Files from System Directory\n" +
        "  - Copying Files to Windows System Directory \n" + "  - Registering Vormo Print Monitor\n" +
        "ERROR (87) While Registering Print Monitor.\n" + "  - Adding port configuration\n" +
        "Cannot open port monitor, error code: 1796\n" + "ERROR While adding port configuration\n" +
        "  - Event Log Resources WAS installed\n" + "  - Installing Vormo Client Graphical User Interface\n" +
        "  - Waiting for all Vormo Clients to terminate\n" +
        "  ERROR - Cannot copy Vormo Client User Interface DLL\n" + "  - Executing Vormo Client\n" + kDataFiles +
        "\nVormo Port Monitor Installed Sucessfully.\n";
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_FALSE(m.Exists("C:\\Windows\\System32\\VORMOVS.DLL"));
    EXPECT_FALSE(m.Exists("C:\\Windows\\System32\\VormoCairoLib.DLL"));
}

TEST_F(Sequences, PortFailureAfterTwoPortsStillAssignsTheirPrinters) {
    TempMachine m(WithPrinters());
    m.Write("C:\\Dist\\Vormo.ini",
            "[1]\nServerIP=10.0.0.1\nAssignPrinter=Office Laser\n[2]\nServerIP=10.0.0.2\n"
            "AssignPrinter=Front Desk\n[3]\nServerIP=10.0.0.3\nAssignPrinter=Office Laser\n");
    AddFault(m, "Xcv:AddPort Vormo003 5");
    RunResult r = Run(m, {});
    std::string expected = Banner() + "\nInstalling Vormo Port Monitor ...\n" + kDetect7x64 + "  - Checking Files\n" +
                           MonitorSteps() + "  - Adding port configuration\n" +
                           "    New - IP:10.0.0.1:9100, Desc:, Queue:, Type:1 \n" +
                           "    New - IP:10.0.0.2:9100, Desc:, Queue:, Type:1 \n" +
                           "Cannot write configuration, error code: 5\n" + "ERROR While adding port configuration\n" +
                           "  - Event Log Resources WAS installed\n" +
                           "    Printer 'Office Laser' assigned to port Vormo001\n" +
                           "    Printer 'Front Desk' assigned to port Vormo002\n" + kClientInstall + kDataFiles +
                           "\nVormo Port Monitor Installed Sucessfully.\n";
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(HasPort("Vormo", "Vormo002"));
    EXPECT_FALSE(HasPort("Vormo", "Vormo003"));
    EXPECT_EQ(Port("Office Laser"), "Vormo001");
}

TEST_F(Sequences, BusyMonitorEndsTheInstallationUnlessErrorsAreIgnored) {
    TempMachine m;
    ASSERT_EQ(Run(m, {}).exitCode, 0);
    AddFault(m, "DeleteMonitorA Vormo 170");
    RunResult r = Run(m, {});
    EXPECT_EQ(r.out, Banner() + "\nInstalling Vormo Port Monitor ...\n" + kDetect7x64 + "  - Checking Files\n" +
                         "  - Removing Old Vormo Print Monitor\n" + "ERROR Print Monitor Is Used By Spooler.\n" +
                         "\nVormo Port Monitor Not Installed!\n");
    EXPECT_EQ(r.exitCode, 255);
}

// ---- uninstallation ---------------------------------------------------------

std::string UninstallHead(const std::string& word = "Vormo") {
    return Banner(word) + "\nUninstalling " + word + " Port Monitor...\n" + kDetect7x64;
}

TEST_F(Sequences, UninstallationOfARegisteredMonitorNotInUse) {
    TempMachine m(WithPrinters());
    ASSERT_EQ(Run(m, {}).exitCode, 0);
    RunResult r = Run(m, {"-u"});
    std::string expected = UninstallHead() + kClientRemoval + "  - Port Vormo002 type Vormo will be disconnected\n" +
                           "  - Disconnecting Printer 'Front Desk' from Vormo Port\n" +
                           "  - Port Vormo001 type Vormo will be disconnected\n" +
                           "  - Disconnecting Printer 'Office Laser' from Vormo Port\n" +
                           "  - Removing Old Vormo Print Monitor\n" + "  - Removing user data\n" +
                           "  - Deleting Vormo Print Monitor Files from System Directory\n" +
                           "\nVormo Port Monitor UnInstalled Sucessfully.\n";
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(Journal().find("event source=VormoPort computer=WINSIM type=0 category=0 id=0xC0020001 "
                             "text=\"Port Monitor Uninstalled Sucessfully\"\n"),
              std::string::npos)
        << Journal();
    EXPECT_EQ(Port("Office Laser"), "FILE:");
    EXPECT_EQ(Port("Front Desk"), "FILE:");
    EXPECT_FALSE(winsim::reg::KeyExists(kHklm, winsim::MonitorKey("Vormo")));
    EXPECT_FALSE(m.Exists(std::string(kSystem32) + "VORMOVS64.DLL"));
    EXPECT_TRUE(m.Exists(std::string(kSystem32) + "VormoEvent.dll")) << "the event-log resources stay";
    EXPECT_TRUE(winsim::reg::KeyExists(kHklm, "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\VormoPort"));
    EXPECT_FALSE(m.Exists("C:\\Program Files (x86)\\Oxlen"));
}

TEST_F(Sequences, UninstallationOfAMonitorNeverInstalled) {
    TempMachine m;
    m.Write(std::string(kSystem32) + "VORMO64.DLL", "old monitor\n");
    RunResult r = Run(m, {"-u"});
    EXPECT_EQ(r.out, UninstallHead() + kClientRemoval + "  - Removing Old Vormo Print Monitor\n" +
                         "    (Print Monitor Not Found)\n" + "  - Removing user data\n" +
                         "  - Deleting Vormo Print Monitor Files from System Directory\n" +
                         "\nVormo Port Monitor UnInstalled Sucessfully.\n");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_FALSE(m.Exists(std::string(kSystem32) + "VORMO64.DLL"));
    EXPECT_EQ(Journal().find("Uninstalled Sucessfully"), std::string::npos);
}

TEST_F(Sequences, UninstallationOfABusyMonitorStopsBeforeUserData) {
    TempMachine m;
    ASSERT_EQ(Run(m, {}).exitCode, 0);
    AddFault(m, "DeleteMonitorA Vormo 170");
    RunResult r = Run(m, {"-u"});
    EXPECT_EQ(r.out, UninstallHead() + kClientRemoval + "  - Removing Old Vormo Print Monitor\n" +
                         "ERROR Print Monitor Is Used By Spooler.\n" + "\n Port Monitor Not Completely UnInstalled!\n");
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_FALSE(m.Exists(std::string(kClientFolder) + "\\Vormo Client.exe")) << "the client is already gone";
    EXPECT_TRUE(m.Exists(std::string(kSystem32) + "VORMOVS64.DLL")) << "System32 untouched";
}

TEST_F(Sequences, UninstallationWhileAPrinterStillUsesAPort) {
    TempMachine m(WithPrinters());
    ASSERT_EQ(Run(m, {}).exitCode, 0);
    AddFault(m, "SetPrinterA \"Office Laser\" 5");
    RunResult r = Run(m, {"-u"});
    EXPECT_EQ(r.out, UninstallHead() + kClientRemoval + "  - Port Vormo002 type Vormo will be disconnected\n" +
                         "  - Disconnecting Printer 'Front Desk' from Vormo Port\n" +
                         "  - Port Vormo001 type Vormo will be disconnected\n" +
                         "  - Disconnecting Printer 'Office Laser' from Vormo Port Error\n" +
                         "  - Removing Old Vormo Print Monitor\n" + "ERROR (3008) While Removing Print Monitor.\n" +
                         "\n Port Monitor Not Completely UnInstalled!\n");
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(Port("Office Laser"), "Vormo001");
}

TEST_F(Sequences, UninstallationWithoutCopyKeepsTheFiles) {
    TempMachine m;
    ASSERT_EQ(Run(m, {}).exitCode, 0);
    RunResult r = Run(m, {"-u", "-c"});
    EXPECT_EQ(r.out, UninstallHead() + kClientRemoval + "  - Removing Old Vormo Print Monitor\n" +
                         "  - Removing user data\n" + "\nVormo Port Monitor UnInstalled Sucessfully.\n");
    EXPECT_TRUE(m.Exists(std::string(kSystem32) + "VORMOVS64.DLL"));
    EXPECT_TRUE(m.Exists(std::string(kProductFolder) + "\\server_subnet.csv"));
    EXPECT_TRUE(m.Exists(std::string(kProductFolder) + "\\Font\\VormoSans.ttf"));
}

TEST_F(Sequences, EnterpriseUninstallation) {
    TempMachine m;
    ASSERT_EQ(Run(m, {"-a"}).exitCode, 0);
    m.Write(std::string(kSystem32) + "VORMO64.DLL", "old monitor\n");
    RunResult r = Run(m, {"-u", "-a"});
    EXPECT_EQ(r.out, UninstallHead("VormoE") + "  - Removing Old VormoE Print Monitor\n" + "  - Removing user data\n" +
                         "  - Deleting VormoE Print Monitor Files from System Directory\n" +
                         "\nVormoE Port Monitor UnInstalled Sucessfully.\n");
    EXPECT_FALSE(m.Exists(std::string(kSystem32) + "VORMOE64.DLL"));
    EXPECT_TRUE(m.Exists(std::string(kSystem32) + "VORMO64.DLL"));
    EXPECT_FALSE(m.Exists("C:\\Program Files (x86)\\Oxlen\\Vormo Client Enterprise"));
}

TEST_F(Sequences, UnsupportedWindowsEndsAnUninstallationEvenWithIgnoreErrors) {
    winsim::NewOptions options = TempMachine::DefaultOptions();
    options.os = "nt4";
    TempMachine m(options);
    RunResult r = Run(m, {"-u", "-e"});
    EXPECT_EQ(r.out, Banner() + "\nUninstalling Vormo Port Monitor...\n" +
                         "  - Detecting Windows Version\n    (Windows NT 4.0 Detected)\n" +
                         "ERROR: Unsupported Operating System Detected.\n" +
                         "\n Port Monitor Not Completely UnInstalled!\n");
    EXPECT_EQ(r.exitCode, 255);
}

// ---- print servers ----------------------------------------------------------

TEST_F(Sequences, InstallationOnADeclaredPrintServer) {
    winsim::NewOptions options = TempMachine::DefaultOptions();
    options.servers.push_back("\\\\PRINTSRV");
    TempMachine m(options);
    RunResult r = Run(m, {"\\\\PRINTSRV"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("\nInstalling Vormo Port Monitor on server \\\\PRINTSRV...\n"), std::string::npos);
    const std::string server = "servers/printsrv/registry/HKLM";
    EXPECT_TRUE(winsim::reg::KeyExists(server, winsim::PortsKey("Vormo") + "\\Vormo003"));
    EXPECT_FALSE(winsim::reg::KeyExists(kHklm, winsim::MonitorKey("Vormo")));
    EXPECT_NE(Journal().find("event source=VormoPort computer=WINSIM"), std::string::npos)
        << "the local event log";
    RunResult u = Run(m, {"-u", "\\\\PRINTSRV"});
    EXPECT_EQ(u.exitCode, 0) << u.out;
    EXPECT_FALSE(winsim::reg::KeyExists(server, winsim::MonitorKey("Vormo")));
}

TEST_F(Sequences, InstallationOnAnUnknownPrintServer) {
    TempMachine m;
    RunResult r = Run(m, {"\\\\NOWHERE"});
    EXPECT_EQ(r.out, Banner() + "\nInstalling Vormo Port Monitor on server \\\\NOWHERE...\n" + kDetect7x64 +
                         "  - Checking Files\n" + "  - Removing Old Vormo Print Monitor\n" +
                         "ERROR (1722) While Removing Print Monitor.\n" + "\nVormo Port Monitor Not Installed!\n");
    EXPECT_EQ(r.exitCode, 255);
}

}  // namespace
