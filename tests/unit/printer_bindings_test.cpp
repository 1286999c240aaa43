// Printer bindings: printers moved onto the new ports and taken off the
// monitor's ports. (winsim's own printers: tests/winsim/spooler_test.cpp.)
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/edition.h"
#include "base/memory.h"
#include "base/output.h"
#include "platform/handles.h"
#include "printers/printer_bindings.h"
#include "support/checks.h"
#include "support/machine.h"
#include "winsim/spooler.h"

using testing_support::ExpectNothingLeftOpen;
using testing_support::TempMachine;

namespace {

const char kHive[] = "registry/HKLM";

struct PrinterSpec {
    std::string name, ports;
    DWORD attributes = PRINTER_ATTRIBUTE_LOCAL;
};

winsim::NewOptions WithPrinters(const std::vector<PrinterSpec>& printers) {
    winsim::NewOptions options = TempMachine::DefaultOptions();
    for (const auto& p : printers) {
        winsim::NewPrinter n;
        n.name = p.name;
        n.ports = p.ports;
        n.attributes = p.attributes;
        options.printers.push_back(n);
    }
    return options;
}

void AddPort(const std::string& monitor, const std::string& port) {
    ASSERT_TRUE(winsim::reg::CreateKey(kHive, winsim::PortsKey(monitor) + "\\" + port));
}

std::string PrinterValue(const std::string& printer, const char* value) {
    winsim::RegValue v;
    if (!winsim::reg::GetValue(kHive, winsim::PrinterKey(printer), value, &v)) return "(missing)";
    return v.type == REG_DWORD ? std::to_string(winsim::reg::DwordOf(v)) : winsim::reg::SzText(v);
}

std::string PortsOf(const std::string& printer) { return PrinterValue(printer, "Port"); }

// True while a fault rule set up by the test has not been used: the call it
// guards never came.
bool FaultUnused(const char* function, const std::string& argument) {
    DWORD error;
    return winsim::TakeFault(function, argument, &error);
}

#define PORT_LINE(port) "  - Port " port " type Vormo will be disconnected\n"
#define DISCONNECT_LINE(printer) "  - Disconnecting Printer '" printer "' from Vormo Port"

// ---- disconnection ----------------------------------------------------------

struct DisconnectRow {
    const char* title;
    std::string before;
    const char* monitorOfVormo001;  // the monitor that owns the port named Vormo001
    std::string after;
    std::string console;
};

const std::string kLong(300, 'x');

const DisconnectRow kDisconnectRows[] = {
    {"only port", "Vormo001", "Vormo", "FILE:", PORT_LINE("Vormo001") DISCONNECT_LINE("P") "\n"},
    {"last of two", "LPT1:,Vormo001", "Vormo", "LPT1:", PORT_LINE("Vormo001") DISCONNECT_LINE("P") "\n"},
    {"first of two", "Vormo001,LPT1:", "Vormo", "LPT1:", PORT_LINE("Vormo001") DISCONNECT_LINE("P") "\n"},
    {"both of two", "Vormo001,Vormo002", "Vormo", "FILE:",
     PORT_LINE("Vormo001") PORT_LINE("Vormo002") DISCONNECT_LINE("P") "\n"},
    {"middle of three", "LPT1:,Vormo001,COM1:", "Vormo", "LPT1:,COM1:",
     PORT_LINE("Vormo001") DISCONNECT_LINE("P") "\n"},
    {"first and last of three", "Vormo001,LPT1:,Vormo002", "Vormo", "LPT1:",
     PORT_LINE("Vormo001") PORT_LINE("Vormo002") DISCONNECT_LINE("P") "\n"},
    {"same port twice", "Vormo001,Vormo001", "Vormo", "FILE:",
     PORT_LINE("Vormo001") PORT_LINE("Vormo001") DISCONNECT_LINE("P") "\n"},
    {"entry in other case", "vormo001", "Vormo", "FILE:", PORT_LINE("vormo001") DISCONNECT_LINE("P") "\n"},
    {"same name, another monitor", "Vormo001", "Other", "Vormo001", ""},
    {"blank after the comma", "LPT1:, Vormo001", "Vormo", "LPT1:, Vormo001", ""},
    {"no port of the monitor", "LPT1:,COM1:", "Vormo", "LPT1:,COM1:", ""},
    // An entry too long for the entry buffer never matches and stays; the
    // spooler then refuses the list, since it knows no such port.
    {"overlong entry", kLong + ",Vormo001", "Vormo", kLong + ",Vormo001",
     PORT_LINE("Vormo001") DISCONNECT_LINE("P") " Error\n"},
    {"overlong entry alone", "Vormo001" + kLong, "Vormo", "Vormo001" + kLong, ""},
};

TEST(PrinterDisconnection, PortListEdits) {
    for (const auto& row : kDisconnectRows) {
        SCOPED_TRACE(row.title);
        TempMachine m(WithPrinters({{"P", row.before}}));
        AddPort(row.monitorOfVormo001, "Vormo001");
        AddPort("Vormo", "Vormo002");
        testing_support::BeginCapture();
        DisconnectPrinters("Vormo");
        EXPECT_EQ(testing_support::EndCapture(), row.console);
        EXPECT_EQ(PortsOf("P"), row.after);
        ExpectNothingLeftOpen();
    }
}

// The edit of a port list alone, without the spooler: "M" stands for a port
// of the monitor.
TEST(PrinterDisconnection, PortListEditAlone) {
    const std::string longEntry(kPortEntrySize, 'M');
    const struct {
        std::string before, after;
        int tests;
    } rows[] = {
        {"M", "", 1},          {"A,M", "A", 2},         {"M,A", "A", 2},  {"A,M,B", "A,B", 3},
        {"M,M", "", 2},        {"A", "A", 1},           {",M,", ",", 3},  {"M,", "", 2},
        {"a, M,M", "a, M", 3}, {longEntry + ",M", longEntry, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.before);
        std::vector<char> list(row.before.begin(), row.before.end());
        list.push_back('\0');
        int tests = 0;
        bool changed = RemovePortEntries(
            list.data(),
            [](const char* entry, void* count) {
                ++*static_cast<int*>(count);
                return std::string(entry) == "M";
            },
            &tests);
        EXPECT_EQ(std::string(list.data()), row.after);
        EXPECT_EQ(changed, row.after != row.before);
        EXPECT_EQ(tests, row.tests);
    }
}

TEST(PrinterDisconnection, AnnouncementReachesTheConsoleOnly) {
    TempMachine m(WithPrinters({{"P", "Vormo001"}}));
    AddPort("Vormo", "Vormo001");
    ASSERT_TRUE(OpenInstallLog("C:\\Dist\\install.log"));
    testing_support::BeginCapture();
    DisconnectPrinters("Vormo");
    std::string out = testing_support::EndCapture();
    CloseInstallLog();
    EXPECT_EQ(out, PORT_LINE("Vormo001") DISCONNECT_LINE("P") "\n");
    EXPECT_EQ(m.Read("C:\\Dist\\install.log"), DISCONNECT_LINE("P") "\r\n");
}

TEST(PrinterDisconnection, RejectedWriteEndsTheLineWithError) {
    TempMachine m(WithPrinters({{"P", "LPT1:,Vormo001"}}));
    AddPort("Vormo", "Vormo001");
    winsim::AddFault("SetPrinterA", "P", ERROR_ACCESS_DENIED);
    ASSERT_TRUE(OpenInstallLog("C:\\Dist\\install.log"));
    testing_support::BeginCapture();
    DisconnectPrinters("Vormo");
    std::string out = testing_support::EndCapture();
    CloseInstallLog();
    EXPECT_EQ(out, PORT_LINE("Vormo001") DISCONNECT_LINE("P") " Error\n");
    EXPECT_EQ(m.Read("C:\\Dist\\install.log"), DISCONNECT_LINE("P") " Error\r\n");
    EXPECT_EQ(PortsOf("P"), "LPT1:,Vormo001");
    ExpectNothingLeftOpen();
}

TEST(PrinterDisconnection, PrintersThatAreLeftAlone) {
    struct Case {
        const char* title;
        std::vector<PrinterSpec> printers;
    } cases[] = {
        {"no printers", {}},
        {"printer without the local attribute", {{"N", "Vormo001", PRINTER_ATTRIBUTE_NETWORK}}},
        {"printer without attributes", {{"N", "Vormo001", 0}}},
        {"printer without the monitor's ports", {{"N", "LPT1:,COM1:"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        TempMachine m(WithPrinters(c.printers));
        AddPort("Vormo", "Vormo001");
        // Rules that the test checks afterwards: still unused means never called.
        bool local = !c.printers.empty() && (c.printers[0].attributes & PRINTER_ATTRIBUTE_LOCAL);
        if (!local) winsim::AddFault("OpenPrinterA", "N", ERROR_ACCESS_DENIED, 1);
        winsim::AddFault("SetPrinterA", "N", ERROR_ACCESS_DENIED, 1);
        testing_support::BeginCapture();
        DisconnectPrinters("Vormo");
        EXPECT_EQ(testing_support::EndCapture(), "");
        if (!c.printers.empty()) {
            EXPECT_EQ(PortsOf("N"), c.printers[0].ports);
            if (!local) {
                EXPECT_TRUE(FaultUnused("OpenPrinterA", "N")) << "a printer that is not local was opened";
            }
            EXPECT_TRUE(FaultUnused("SetPrinterA", "N")) << "a printer without a change was written";
        }
        EXPECT_EQ(winsim::ReadJournal().find("printer "), std::string::npos);
        ExpectNothingLeftOpen();
    }
}

TEST(PrinterDisconnection, EveryPrinterAndEveryMatchIsAnnounced) {
    TempMachine m(WithPrinters({{"A", "Vormo001"}, {"B", "COM1:,Vormo001,Vormo002"}, {"C", "LPT1:"}}));
    AddPort("Vormo", "Vormo001");
    AddPort("Vormo", "Vormo002");
    testing_support::BeginCapture();
    DisconnectPrinters("Vormo");
    EXPECT_EQ(testing_support::EndCapture(), PORT_LINE("Vormo001") DISCONNECT_LINE("A") "\n" PORT_LINE("Vormo001")
                                                 PORT_LINE("Vormo002") DISCONNECT_LINE("B") "\n");
    EXPECT_EQ(PortsOf("A"), "FILE:");
    EXPECT_EQ(PortsOf("B"), "COM1:");
    EXPECT_EQ(PortsOf("C"), "LPT1:");
    std::string journal = winsim::ReadJournal();
    EXPECT_NE(journal.find("printer A port Vormo001 -> FILE:\n"), std::string::npos) << journal;
    EXPECT_NE(journal.find("printer B port COM1:,Vormo001,Vormo002 -> COM1:\n"), std::string::npos) << journal;
}

TEST(PrinterDisconnection, FailuresSkipSilently) {
    struct Case {
        const char* title;
        const char* function;
        const char* argument;
        long count;
        std::string console;
        const char* portsOfA;
    } cases[] = {
        {"printer list refused", "EnumPrintersA", "*", -1, "", "Vormo001"},
        {"printer not to be administered", "OpenPrinterA", "A", -1, PORT_LINE("Vormo001") DISCONNECT_LINE("B") "\n",
         "Vormo001"},
        {"record not readable", "GetPrinterA", "A", -1, PORT_LINE("Vormo001") DISCONNECT_LINE("B") "\n", "Vormo001"},
        {"port table refused", "EnumPortsA", "*", -1, "", "Vormo001"},
        {"no memory for the printer list", "GlobalAlloc", "*", 1, "", "Vormo001"},
        {"no memory at all", "GlobalAlloc", "*", -1, "", "Vormo001"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        TempMachine m(WithPrinters({{"A", "Vormo001"}, {"B", "Vormo001"}}));
        AddPort("Vormo", "Vormo001");
        winsim::AddFault(c.function, c.argument, ERROR_ACCESS_DENIED, c.count);
        testing_support::BeginCapture();
        DisconnectPrinters("Vormo");
        EXPECT_EQ(testing_support::EndCapture(), c.console);
        EXPECT_EQ(PortsOf("A"), c.portsOfA);
        ExpectNothingLeftOpen();
    }
}

TEST(PrinterDisconnection, EnterpriseMonitorTakesOnlyItsOwnPorts) {
    TempMachine m(WithPrinters({{"P", "Vormo001,VormoE001"}}));
    AddPort("Vormo", "Vormo001");
    AddPort("VormoE", "VormoE001");
    testing_support::BeginCapture();
    DisconnectPrinters(kEnterpriseEdition.productWord);
    EXPECT_EQ(testing_support::EndCapture(),
              "  - Port VormoE001 type VormoE will be disconnected\n"
              "  - Disconnecting Printer 'P' from VormoE Port\n");
    EXPECT_EQ(PortsOf("P"), "Vormo001");
}

TEST(PrinterDisconnection, IsMonitorPortNeedsNameAndMonitor) {
    TempMachine m;
    AddPort("Vormo", "Vormo001");
    AddPort("Other", "Other001");
    struct Case {
        const char *port, *monitor;
        bool expected;
    } cases[] = {
        {"Vormo001", "Vormo", true},   {"VORMO001", "vormo", true}, {"Other001", "Vormo", false},
        {"Vormo001", "Other", false},  {"Vormo00", "Vormo", false}, {"Vormo001 ", "Vormo", false},
        {"LPT1:", "Local Port", true}, {"", "Vormo", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.port) + " / " + c.monitor);
        testing_support::BeginCapture();
        EXPECT_EQ(IsMonitorPort(c.port, c.monitor), c.expected);
        // A fact only: the disconnection that asked prints the line.
        EXPECT_EQ(testing_support::EndCapture(), "");
    }
    ExpectNothingLeftOpen();
}

// ---- assignment -------------------------------------------------------------

struct AssignKey {
    int section;
    const char* key;
    std::string value;
};

struct AssignRow {
    const char* title;
    std::vector<AssignKey> keys;
    int count;
    std::string console;
    const char* portsOfP;
    const char* portsOfQ;
};

// Printers P (on LPT1:) and Q (pooled over LPT1: and COM1:); ports Vormo001
// and Vormo002 exist, Vormo003 does not.
const AssignRow kAssignRows[] = {
    {"count 0", {{1, "AssignPrinter", "P"}}, 0, "", "LPT1:", "LPT1:,COM1:"},
    {"negative count", {{1, "AssignPrinter", "P"}}, -1, "", "LPT1:", "LPT1:,COM1:"},
    {"only the tenth key", {{1, "AssignPrinter10", "P"}}, 1, "    Printer 'P' assigned to port Vormo001\n", "Vormo001",
     "LPT1:,COM1:"},
    {"no key with the number 1", {{1, "AssignPrinter1", "P"}}, 1, "", "LPT1:", "LPT1:,COM1:"},
    {"keys in their order",
     {{1, "AssignPrinter3", "P"}, {1, "AssignPrinter", "Q"}},
     1,
     "    Printer 'Q' assigned to port Vormo001\n"
     "    Printer 'P' assigned to port Vormo001\n",
     "Vormo001",
     "Vormo001"},
    {"one printer in two sections",
     {{2, "AssignPrinter5", "P"}, {1, "AssignPrinter", "P"}},
     2,
     "    Printer 'P' assigned to port Vormo001\n"
     "    Printer 'P' assigned to port Vormo002\n",
     "Vormo002",
     "LPT1:,COM1:"},
    {"twice in one section",
     {{1, "AssignPrinter", "P"}, {1, "AssignPrinter2", "P"}},
     1,
     "    Printer 'P' assigned to port Vormo001\n"
     "    Printer 'P' assigned to port Vormo001\n",
     "Vormo001",
     "LPT1:,COM1:"},
    {"pooled printer", {{1, "AssignPrinter", "Q"}}, 1, "    Printer 'Q' assigned to port Vormo001\n", "LPT1:",
     "Vormo001"},
    {"missing printer", {{1, "AssignPrinter", "Nope"}}, 1, "    ERROR - Printer Nope NOT assigned to port Vormo001\n",
     "LPT1:", "LPT1:,COM1:"},
    {"missing port", {{3, "AssignPrinter", "P"}}, 3, "    ERROR - Printer P NOT assigned to port Vormo003\n", "LPT1:",
     "LPT1:,COM1:"},
    {"section beyond the count", {{2, "AssignPrinter", "P"}}, 1, "", "LPT1:", "LPT1:,COM1:"},
    {"name that looks like a format", {{1, "AssignPrinter", "50%s%n"}}, 1,
     "    ERROR - Printer 50%s%n NOT assigned to port Vormo001\n", "LPT1:", "LPT1:,COM1:"},
    {"name in other case", {{1, "AssignPrinter", "p"}}, 1, "    Printer 'p' assigned to port Vormo001\n", "Vormo001",
     "LPT1:,COM1:"},
};

enum class Source { Registry, IniFile };

void WriteSections(const TempMachine& m, Source source, const std::vector<AssignKey>& keys,
                   const EditionProfile& edition = kStandardEdition) {
    if (source == Source::Registry) {
        for (const auto& k : keys) {
            std::string path = winsim::reg::ViewPath(kHive, testing_support::SectionKey(k.section, edition), 0);
            ASSERT_TRUE(winsim::reg::CreateKey(kHive, path));
            ASSERT_TRUE(winsim::reg::SetValue(kHive, path, k.key, winsim::reg::Sz(k.value)));
        }
        return;
    }
    std::string ini = "; port sections\r\n";
    for (int section = 1; section <= 3; ++section) {
        ini += "[" + std::to_string(section) + "]\r\nServerIP=10.0.0." + std::to_string(section) + "\r\n";
        for (const auto& k : keys)
            if (k.section == section) ini += std::string(k.key) + "=" + k.value + "\r\n";
    }
    m.Write("C:\\Dist\\Vormo.ini", ini);
}

RunPlan PlanOf(Source source, const EditionProfile& edition = kStandardEdition) {
    return testing_support::TestPlan(edition, source == Source::IniFile);
}

void RunAssignRows(Source source) {
    for (const auto& row : kAssignRows) {
        SCOPED_TRACE(row.title);
        TempMachine m(WithPrinters({{"P", "LPT1:"}, {"Q", "LPT1:,COM1:"}}));
        AddPort("Vormo", "Vormo001");
        AddPort("Vormo", "Vormo002");
        WriteSections(m, source, row.keys);
        ASSERT_TRUE(OpenInstallLog("C:\\Dist\\install.log"));
        testing_support::BeginCapture();
        AssignPrinters(row.count, PlanOf(source));
        std::string out = testing_support::EndCapture();
        CloseInstallLog();
        EXPECT_EQ(out, row.console);
        std::string log = row.console;
        for (size_t at = log.find('\n'); at != std::string::npos; at = log.find('\n', at + 2)) log.insert(at, "\r");
        EXPECT_EQ(m.Read("C:\\Dist\\install.log"), log);
        EXPECT_EQ(PortsOf("P"), row.portsOfP);
        EXPECT_EQ(PortsOf("Q"), row.portsOfQ);
        ExpectNothingLeftOpen();
    }
}

TEST(PrinterAssignment, FromTheRegistry) { RunAssignRows(Source::Registry); }

TEST(PrinterAssignment, FromTheIniFile) { RunAssignRows(Source::IniFile); }

TEST(PrinterAssignment, OverlongNames) {
    std::string name(300, 'n');
    {
        SCOPED_TRACE("INI file: cut to 259 characters, then not found");
        TempMachine m(WithPrinters({{"P", "LPT1:"}}));
        AddPort("Vormo", "Vormo001");
        WriteSections(m, Source::IniFile, {{1, "AssignPrinter", name}});
        testing_support::BeginCapture();
        AssignPrinters(1, PlanOf(Source::IniFile));
        EXPECT_EQ(testing_support::EndCapture(),
                  "    ERROR - Printer " + name.substr(0, 259) + " NOT assigned to port Vormo001\n");
    }
    {
        SCOPED_TRACE("registry: a value that does not fit names no printer");
        TempMachine m(WithPrinters({{"P", "LPT1:"}}));
        AddPort("Vormo", "Vormo001");
        WriteSections(m, Source::Registry, {{1, "AssignPrinter", name}, {1, "AssignPrinter2", "P"}});
        testing_support::BeginCapture();
        AssignPrinters(1, PlanOf(Source::Registry));
        EXPECT_EQ(testing_support::EndCapture(), "    Printer 'P' assigned to port Vormo001\n");
    }
}

TEST(PrinterAssignment, BareIniFileNameIsReadInTheInstallerFolder) {
    TempMachine m(WithPrinters({{"P", "LPT1:"}}));
    AddPort("Vormo", "Vormo001");
    WriteSections(m, Source::IniFile, {{1, "AssignPrinter", "P"}});
    // A copy in the Windows directory, where a bare name would be looked for.
    m.Write("C:\\Windows\\Vormo.ini", "[1]\r\nServerIP=1.2.3.4\r\nAssignPrinter=Nope\r\n");
    winsim::Process().currentDirectory = "C:\\Dist";
    testing_support::BeginCapture();
    AssignPrinters(1, testing_support::TestPlan(kStandardEdition, true, "Vormo.ini"));
    EXPECT_EQ(testing_support::EndCapture(), "    Printer 'P' assigned to port Vormo001\n");
}

TEST(PrinterAssignment, EnterpriseSectionsAndPorts) {
    TempMachine m(WithPrinters({{"P", "LPT1:"}}));
    AddPort("VormoE", "VormoE001");
    WriteSections(m, Source::Registry, {{1, "AssignPrinter", "Vormo-only"}});
    WriteSections(m, Source::Registry, {{1, "AssignPrinter", "P"}}, kEnterpriseEdition);
    testing_support::BeginCapture();
    AssignPrinters(1, PlanOf(Source::Registry, kEnterpriseEdition));
    EXPECT_EQ(testing_support::EndCapture(), "    Printer 'P' assigned to port VormoE001\n");
    EXPECT_EQ(PortsOf("P"), "VormoE001");
}

TEST(PrinterAssignment, SetPrinterPortChangesOnlyThePort) {
    TempMachine m(WithPrinters({{"P", "LPT1:,COM1:"}}));
    AddPort("Vormo", "Vormo001");
    std::string key = winsim::PrinterKey("P");
    winsim::reg::SetValue(kHive, key, "Share Name", winsim::reg::Sz("share"));
    winsim::reg::SetValue(kHive, key, "Description", winsim::reg::Sz("comment"));
    winsim::reg::SetValue(kHive, key, "Location", winsim::reg::Sz("room 4"));
    winsim::reg::SetValue(kHive, key, "Parameters", winsim::reg::Sz("-x"));
    winsim::reg::SetValue(kHive, key, "Priority", winsim::reg::Dword(7));
    winsim::reg::SetValue(kHive, key, "StartTime", winsim::reg::Dword(60));
    winsim::reg::SetValue(kHive, key, "UntilTime", winsim::reg::Dword(120));
    auto before = winsim::reg::Values(kHive, key);
    EXPECT_TRUE(SetPrinterPort("P", "Vormo001"));
    auto after = winsim::reg::Values(kHive, key);
    ASSERT_EQ(before.size(), after.size());
    for (size_t i = 0; i < before.size(); ++i) {
        SCOPED_TRACE(before[i].first);
        EXPECT_EQ(before[i].first, after[i].first);
        if (before[i].first == "Port") {
            EXPECT_EQ(winsim::reg::SzText(after[i].second), "Vormo001");
        } else {
            EXPECT_EQ(before[i].second.data, after[i].second.data);
        }
    }
    EXPECT_NE(winsim::ReadJournal().find("printer P port LPT1:,COM1: -> Vormo001\n"), std::string::npos);
    ExpectNothingLeftOpen();
}

TEST(PrinterAssignment, SetPrinterPortFailures) {
    struct Case {
        const char* title;
        const char* function;
        long count;
    } cases[] = {
        {"open refused", "OpenPrinterA", -1},
        {"record not readable", "GetPrinterA", -1},
        {"no memory", "GlobalAlloc", -1},
        {"write refused", "SetPrinterA", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        TempMachine m(WithPrinters({{"P", "LPT1:"}}));
        AddPort("Vormo", "Vormo001");
        winsim::AddFault(c.function, std::string(c.function) == "GlobalAlloc" ? "*" : "P", ERROR_ACCESS_DENIED, c.count);
        EXPECT_FALSE(SetPrinterPort("P", "Vormo001"));
        EXPECT_EQ(PortsOf("P"), "LPT1:");
        ExpectNothingLeftOpen();
    }
}

TEST(PrinterAssignment, GlobalAllocZeroedGivesZeros) {
    TempMachine m;
    platform::GlobalBlock block(GlobalAllocZeroed(4096));
    ASSERT_TRUE(block);
    const unsigned char* bytes = static_cast<const unsigned char*>(block.get());
    size_t nonzero = 0;
    for (size_t i = 0; i < 4096; ++i) nonzero += bytes[i] != 0;
    EXPECT_EQ(nonzero, 0u);
    block.reset();
    winsim::AddFault("GlobalAlloc", "*", ERROR_NOT_ENOUGH_MEMORY, 1);
    EXPECT_EQ(GlobalAllocZeroed(16), nullptr);
}

}  // namespace
