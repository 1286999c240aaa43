// Ports created and configured over the monitor's Xcv channel. (The stand-in
// port monitor that answers there: tests/winsim/spooler_test.cpp.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "port_fixtures.h"
#include "support/sample.h"
#include "portcfg/port_record.h"
#include "portcfg/xcv_transport.h"

using port_fixtures::JournalLines;
using port_fixtures::PortExists;
using port_fixtures::RegisterMonitor;
using port_fixtures::StoredRecord;
using port_fixtures::TextAt;
using port_fixtures::UseIni;
using testing_support::TempMachine;

namespace {

struct Outcome {
    int result = -1;
    int count = -1;
    std::string out;
};

Outcome Configure(bool fromIni = true, const char* server = nullptr,
                  const EditionProfile& edition = kStandardEdition) {
    RunPlan plan = testing_support::TestPlan(edition, fromIni);
    SetPrintServer(&plan, server);
    Outcome o;
    testing_support::BeginCapture();
    o.result = AddPortConfiguration(plan, &o.count) ? 1 : 0;
    o.out = testing_support::EndCapture();
    return o;
}

// Sections 1 to n, each with only its ServerIP.
std::string Sections(int n) {
    std::string text;
    for (int k = 1; k <= n; ++k) text += "[" + std::to_string(k) + "]\nServerIP=10.0.0." + std::to_string(k) + "\n";
    return text;
}

std::string NewLine(int k) { return "    New - IP:10.0.0." + std::to_string(k) + ":9100, Desc:, Queue:, Type:1 \n"; }

// Fault rules as the machine folder holds them.
void UseFaults(const TempMachine& m, const std::string& rules) {
    winsim::WriteFileAtomic(m.dir() + "/faults", rules);
    m.Reopen();
}

using testing_support::kSampleNewPortLines;

}  // namespace

TEST(AddPortConfiguration, SampleIniGivesThreeConfiguredPorts) {
    TempMachine m;
    RegisterMonitor();
    size_t handlesBefore = winsim::OpenHandleCount();
    Outcome o = Configure();
    EXPECT_EQ(o.result, 1);
    EXPECT_EQ(o.count, 3);
    EXPECT_EQ(o.out, kSampleNewPortLines);
    EXPECT_EQ(winsim::OpenHandleCount(), handlesBefore);
    EXPECT_EQ(JournalLines("xcv "),
              "xcv AddPort Vormo001 status 0\nxcv SetPortData Vormo001 status 0\n"
              "xcv AddPort Vormo002 status 0\nxcv SetPortData Vormo002 status 0\n"
              "xcv AddPort Vormo003 status 0\nxcv SetPortData Vormo003 status 0\n");
    std::string first = StoredRecord("Vormo001"), second = StoredRecord("Vormo002");
    ASSERT_EQ(first.size(), 11608u);
    ASSERT_EQ(second.size(), 11608u);
    EXPECT_EQ(TextAt(first, 0), "Head office, first floor");
    EXPECT_EQ(TextAt(first, 1040), "10.1.0.21");
    EXPECT_EQ(port_fixtures::DwordAt(first, 8912), 50u);
    EXPECT_EQ(port_fixtures::DwordAt(first, 8372), 30u);
    EXPECT_EQ(port_fixtures::DwordAt(second, 7312), 1u);   // Encryption
    EXPECT_EQ(port_fixtures::DwordAt(second, 11580), 1u);  // ServerDeliveryMode2
    EXPECT_EQ(TextAt(second, 11588, 10), "Vormo002");
    EXPECT_EQ(TextAt(StoredRecord("Vormo003"), 520), "printsrv3.example.com");
    EXPECT_FALSE(PortExists("Vormo004"));
}

TEST(AddPortConfiguration, ShowDecodesWhatEachPortReceived) {
    TempMachine m;
    RegisterMonitor();
    ASSERT_EQ(Configure().count, 3);
    std::string shown = winsim::ShowMachine();
    for (const char* expected :
         {"  Monitor Vormo (local spooler)\n    Vormo001\n      PortName=Vormo001\n"
          "      Description=Head office, first floor\n      ServerIP=10.1.0.20\n      IPLoadBalancing=50\n"
          "      ServerIP2=10.1.0.21\n      IPLoadBalancing2=50\n      ServerPort=9100\n      LoadBalancing=1\n",
          "    Vormo002\n      PortName=Vormo002\n      Description=Warehouse\n      ServerIP=10.2.0.20\n"
          "      IPLoadBalancing=0\n      ServerPort=9101\n",
          "      AuthText=depot\n", "      Encryption=1\n", "      ServerDeliveryMode2=1\n",
          "    Vormo003\n      PortName=Vormo003\n      Description=\n      ServerIP=printsrv3.example.com\n",
          "      EnvironmentVariableIP=ZaviVodazi_IP_Address\n      ServerDeliveryMode2=0\n"
          "      ServerDeliveryMode3=0\n"})
        EXPECT_NE(shown.find(expected), std::string::npos) << expected << "\nin\n" << shown;
    EXPECT_EQ(shown.find("ServerIP3="), std::string::npos);  // empty list entries are left out
}

TEST(AddPortConfiguration, FromTheRegistry) {
    TempMachine m;
    RegisterMonitor();
    port_fixtures::SetRegistryString(1, "ServerIP", "10.5.0.1");
    port_fixtures::SetRegistryString(1, "Description", "reg");
    port_fixtures::SetRegistryDword(1, "ServerPort", 9200);
    port_fixtures::SetRegistryString(2, "ServerIP", "10.5.0.2");
    port_fixtures::SetRegistryString(4, "ServerIP", "10.5.0.4");  // after a gap: never reached
    Outcome o = Configure(false);
    EXPECT_EQ(o.result, 1);
    EXPECT_EQ(o.count, 2);
    EXPECT_EQ(o.out,
              "    New - IP:10.5.0.1:9200, Desc:reg, Queue:, Type:1 \n"
              "    New - IP:10.5.0.2:9100, Desc:, Queue:, Type:1 \n");
    EXPECT_TRUE(PortExists("Vormo002"));
    EXPECT_FALSE(PortExists("Vormo004"));
}

TEST(AddPortConfiguration, GapInTheIniNumberingEndsTheScan) {
    TempMachine m;
    RegisterMonitor();
    UseIni(m, "[1]\nServerIP=10.0.0.1\n[2]\nServerIP=10.0.0.2\n[4]\nServerIP=10.0.0.4\n");
    Outcome o = Configure();
    EXPECT_EQ(o.result, 1);
    EXPECT_EQ(o.count, 2);
    EXPECT_EQ(o.out, NewLine(1) + NewLine(2));
    EXPECT_FALSE(PortExists("Vormo003"));
    EXPECT_FALSE(PortExists("Vormo004"));
}

struct FailureCase {
    const char* name;
    bool registerMonitor;
    std::string faults;  // rules of the machine folder
    int sections;
    std::string out;
    int result, count;
    std::string journal;  // the Xcv commands that reached the monitor
};

TEST(AddPortConfiguration, FailurePaths) {
    const std::string ok1 = "xcv AddPort Vormo001 status 0\nxcv SetPortData Vormo001 status 0\n";
    const FailureCase cases[] = {
        {"spooler library missing", true, "LoadLibraryA winspool 126\n", 1, "", 0, 0, ""},
        {"kernel library missing", true, "LoadLibraryA kernel32 126\n", 1, "", 0, 0, ""},
        {"OpenPrinterW missing", true, "missing winspool OpenPrinterW\n", 1, "", 0, 0, ""},
        {"XcvDataW missing", true, "missing winspool.drv XcvDataW\n", 1, "", 0, 0, ""},
        {"MultiByteToWideChar missing", true, "missing kernel32.dll MultiByteToWideChar\n", 1, "", 0, 0, ""},
        {"entry missing, no section", true, "missing winspool OpenPrinterW\n", 0, "", 1, 0, ""},
        {"open refused", true, "OpenPrinterW * 5\n", 2, "Cannot open port monitor, error code: 5\n", 0, 0, ""},
        {"open refused, no section", true, "OpenPrinterW * 5\n", 0, "Cannot open port monitor, error code: 5\n", 1, 0,
         ""},
        {"monitor not registered", false, "", 1, "Cannot open port monitor, error code: 1796\n", 0, 0, ""},
        {"no section", true, "", 0, "", 1, 0, ""},
        {"AddPort refused at section 2", true, "Xcv:AddPort Vormo002 5\n", 3,
         NewLine(1) + "Cannot write configuration, error code: 5\n", 0, 1, ok1 + "xcv AddPort Vormo002 status 5\n"},
        {"SetPortData refused at section 1", true, "Xcv:SetPortData Vormo001 13\n", 2,
         "Cannot write configuration, error code: 13\n", 0, 0,
         "xcv AddPort Vormo001 status 0\nxcv SetPortData Vormo001 status 13\nxcv DeletePort Vormo001 status 0\n"},
        {"SetPortData refused, DeletePort refused too", true,
         "Xcv:SetPortData Vormo001 13\nXcv:DeletePort Vormo001 5\n", 1, "Cannot write configuration, error code: 13\n",
         0, 0,
         "xcv AddPort Vormo001 status 0\nxcv SetPortData Vormo001 status 13\nxcv DeletePort Vormo001 status 5\n"},
        {"AddPort call fails", true, "XcvDataW AddPort 1722\n", 1, "Cannot write configuration, error code: 1722\n", 0,
         0, ""},
        {"SetPortData call fails", true, "XcvDataW SetPortData 6 1\n", 2,
         "Cannot write configuration, error code: 6\n", 0, 0,
         "xcv AddPort Vormo001 status 0\nxcv DeletePort Vormo001 status 0\n"},
        {"failed call without a last error", true, "XcvDataW SetPortData 0\n", 1,
         "Cannot write configuration, error code: 1\n", 0, 0,
         "xcv AddPort Vormo001 status 0\nxcv DeletePort Vormo001 status 0\n"},
    };
    for (const auto& c : cases) {
        TempMachine m;
        if (c.registerMonitor) RegisterMonitor();
        UseIni(m, Sections(c.sections));
        UseFaults(m, c.faults);
        size_t handlesBefore = winsim::OpenHandleCount();
        Outcome o = Configure();
        EXPECT_EQ(o.out, c.out) << c.name;
        EXPECT_EQ(o.result, c.result) << c.name;
        EXPECT_EQ(o.count, c.count) << c.name;
        EXPECT_EQ(JournalLines("xcv "), c.journal) << c.name;
        EXPECT_EQ(winsim::OpenHandleCount(), handlesBefore) << c.name;
        // The ports written are exactly those of sections 1 to count; a
        // half-made port is gone unless its deletion was refused.
        for (int k = 1; k <= c.sections; ++k) {
            char name[kPortNameSize];
            FormatPortName(kStandardEdition, k, name);
            bool undeleted = c.faults.find("DeletePort") != std::string::npos && k == 1;
            EXPECT_EQ(PortExists(name), k <= o.count || undeleted) << c.name << " " << name;
            EXPECT_EQ(StoredRecord(name).size(), k <= o.count ? 11608u : 0u) << c.name << " " << name;
        }
    }
}

TEST(AddPortConfiguration, SetPortDataRefusedOnSecondSectionKeepsTheFirstPort) {
    TempMachine m;
    RegisterMonitor();
    UseIni(m, Sections(3));
    winsim::AddFault("Xcv:SetPortData", "Vormo002", 1450);
    Outcome o = Configure();
    EXPECT_EQ(o.out, NewLine(1) + "Cannot write configuration, error code: 1450\n");
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.count, 1);
    EXPECT_TRUE(PortExists("Vormo001"));
    EXPECT_FALSE(PortExists("Vormo002"));
    EXPECT_FALSE(PortExists("Vormo003"));
}

TEST(AddPortConfiguration, ExistingPortEndsTheScan) {
    TempMachine m;
    RegisterMonitor();
    UseIni(m, Sections(2));
    winsim::reg::CreateKey(port_fixtures::kHklm, winsim::PortsKey("Vormo") + "\\Vormo001");
    Outcome o = Configure();
    EXPECT_EQ(o.out, "Cannot write configuration, error code: 183\n");
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.count, 0);
    EXPECT_TRUE(PortExists("Vormo001"));  // not the installer's to delete
    EXPECT_FALSE(PortExists("Vormo002"));
}

TEST(AddPortConfiguration, XcvNameForms) {
    winsim::NewOptions options = TempMachine::DefaultOptions();
    options.servers = {"\\\\PRINTSRV"};
    const std::string server = "servers/printsrv/registry/HKLM";
    const struct {
        const char* server;  // as on the command line
        const char* xcvName;
    } forms[] = {
        {nullptr, ",XcvMonitor Vormo"},
        {"", ",XcvMonitor Vormo"},
        {"\\\\PRINTSRV", "\\\\PRINTSRV\\,XcvMonitor Vormo"},
    };
    for (const auto& f : forms) {
        TempMachine m(options);
        RegisterMonitor();
        RegisterMonitor("Vormo", server);
        UseIni(m, Sections(1));
        // The open is refused exactly for the name expected.
        winsim::AddFault("OpenPrinterW", f.xcvName, 5, 1);
        EXPECT_EQ(Configure(true, f.server).out, "Cannot open port monitor, error code: 5\n") << f.xcvName;
        Outcome o = Configure(true, f.server);
        EXPECT_EQ(o.out, NewLine(1)) << f.xcvName;
        bool remote = f.server && *f.server;
        EXPECT_EQ(PortExists("Vormo001", "Vormo", server), remote) << f.xcvName;
        EXPECT_EQ(PortExists("Vormo001"), !remote) << f.xcvName;
    }
}

TEST(AddPortConfiguration, UnknownServer) {
    TempMachine m;
    RegisterMonitor();
    UseIni(m, Sections(1));
    Outcome o = Configure(true, "\\\\NOWHERE");
    EXPECT_EQ(o.out, "Cannot open port monitor, error code: 1722\n");
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.count, 0);
}

TEST(AddPortConfiguration, ServerNameTooLongForTheXcvName) {
    TempMachine m;
    RegisterMonitor();
    UseIni(m, Sections(1));
    // "\\" + name + "\,XcvMonitor Vormo" in 259 characters: a name of 239.
    std::string fits = "\\\\" + std::string(239, 'S');
    EXPECT_EQ(Configure(true, fits.c_str()).out, "Cannot open port monitor, error code: 1722\n");
    std::string tooLong = "\\\\" + std::string(240, 'S');
    Outcome o = Configure(true, tooLong.c_str());
    EXPECT_EQ(o.out, "Cannot open port monitor, server name too long\n");
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.count, 0);
    EXPECT_FALSE(PortExists("Vormo001"));
    EXPECT_EQ(JournalLines("xcv "), "");
}

TEST(AddPortConfiguration, EnterpriseEditionUsesItsMonitorAndPortNames) {
    TempMachine m;
    RegisterMonitor("Vormo");  // the standard monitor is not the one
    UseIni(m, Sections(2));
    EXPECT_EQ(Configure(true, nullptr, kEnterpriseEdition).out, "Cannot open port monitor, error code: 1796\n");
    RegisterMonitor("VormoE");
    Outcome o = Configure(true, nullptr, kEnterpriseEdition);
    EXPECT_EQ(o.out, NewLine(1) + NewLine(2));
    EXPECT_EQ(o.count, 2);
    EXPECT_TRUE(PortExists("VormoE001", "VormoE"));
    EXPECT_TRUE(PortExists("VormoE002", "VormoE"));
    EXPECT_EQ(TextAt(StoredRecord("VormoE002", "VormoE"), 11588, 10), "VormoE002");
}

TEST(AddPortConfiguration, NewPortLineIsBoundedAndKeepsItsLineBreak) {
    TempMachine m;
    RegisterMonitor();
    std::string ip(259, 'i'), desc(259, 'd'), queue(259, 'q'), auth(259, 'a');
    UseIni(m, "[1]\nServerIP=" + ip + "\nDescription=" + desc + "\nQueue=" + queue + "\nAuthText=" + auth +
                  "\nServerPort=-1\nAuthType=-2\n");
    Outcome o = Configure();
    ASSERT_EQ(o.result, 1);
    std::string head = "    New - IP:" + ip + ":-1, Desc:" + desc + ", Queue:" + queue + ", Type:-2 ";
    ASSERT_EQ(o.out.size(), 1023u);
    EXPECT_EQ(o.out, head + auth.substr(0, 1022 - head.size()) + "\n");
    EXPECT_EQ(TextAt(StoredRecord("Vormo001"), 6256), auth);  // the port gets all of it
}

TEST(AddPortConfiguration, ValuesAreNeverReadAsFormats) {
    TempMachine m;
    RegisterMonitor();
    UseIni(m, "[1]\nServerIP=%s%n\nDescription=%d%%\nQueue=%x\nAuthText=%p\n");
    EXPECT_EQ(Configure().out, "    New - IP:%s%n:9100, Desc:%d%%, Queue:%x, Type:1 %p\n");
}

TEST(AddPortConfiguration, SectionsPastThePortNameBoundEndTheScan) {
    TempMachine m;
    RegisterMonitor("VormoE");
    UseIni(m, Sections(1000));
    Outcome o = Configure(true, nullptr, kEnterpriseEdition);
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.count, 999);
    std::string tail = NewLine(999) + "Cannot write configuration, error code: 123\n";
    ASSERT_GE(o.out.size(), tail.size());
    EXPECT_EQ(o.out.substr(o.out.size() - tail.size()), tail);
    EXPECT_TRUE(PortExists("VormoE999", "VormoE"));
}
