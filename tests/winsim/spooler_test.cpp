// winsim's spooler on its own: its printers (OpenPrinterA, GetPrinterA,
// SetPrinterA, EnumPrintersA, EnumPortsA, how `winsim new` and `winsim show`
// make and show them) and the stand-in port monitor behind the Xcv channel.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "support/machine.h"
#include "winsim/spooler.h"

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

void ExpectNothingLeftOpen() {
    EXPECT_EQ(winsim::OpenHandleCount(), 0u);
    EXPECT_EQ(winsim::OpenBlockCount(), 0u);
}

// A monitor registered with the spooler as the monitor registration leaves it.
void RegisterMonitor() {
    winsim::reg::CreateKey(kHive, winsim::PortsKey("Vormo"));
    winsim::reg::SetValue(kHive, winsim::MonitorKey("Vormo"), "Driver", winsim::reg::Sz("VORMOVS64.DLL"));
}

bool PortExists(const std::string& port, const std::string& monitor = "Vormo") {
    return winsim::reg::KeyExists(kHive, winsim::PortsKey(monitor) + "\\" + port);
}

// The record a port received; empty when it has none.
std::string StoredRecord(const std::string& port) {
    winsim::RegValue value;
    if (!winsim::reg::GetValue(kHive, winsim::PortsKey("Vormo") + "\\" + port, "Record", &value)) return std::string();
    return value.data;
}

// The lines of the journal that begin with a prefix, in order.
std::string JournalLines(const std::string& prefix) {
    std::string journal = winsim::ReadJournal(), out;
    size_t pos = 0;
    while (pos < journal.size()) {
        size_t end = journal.find('\n', pos);
        if (end == std::string::npos) end = journal.size();
        std::string line = journal.substr(pos, end - pos);
        if (line.rfind(prefix, 0) == 0) out += line + "\n";
        pos = end + 1;
    }
    return out;
}

// A configuration record as the stand-in monitor takes it: 11608 bytes, the
// port's name in UTF-16 at offset 11588.
struct PortRecord {
    BYTE bytes[11588];
    char16_t PortName[10];
};
static_assert(sizeof(PortRecord) == 11608, "the record is 11608 bytes");

// ---- winsim's printers --------------------------------------------------------

struct OpenedPrinter {
    platform::Printer handle;
    explicit OpenedPrinter(const char* name, DWORD access = PRINTER_ALL_ACCESS) {
        PRINTER_DEFAULTSA defaults = {nullptr, nullptr, access};
        HANDLE h = nullptr;
        if (OpenPrinterA(const_cast<LPSTR>(name), &h, &defaults)) handle.reset(h);
    }
};

TEST(WinsimPrinters, OpenPrinterA) {
    TempMachine m(WithPrinters({{"Office Printer", "LPT1:"}}));
    struct Case {
        const char* name;
        DWORD error;  // 0: opens
    } cases[] = {
        {"Office Printer", 0},        {"office printer", 0},
        {"Nope", ERROR_INVALID_PRINTER_NAME}, {"", ERROR_INVALID_PRINTER_NAME},
        {"Office Printer\\..", ERROR_INVALID_PRINTER_NAME}, {"Office Printer,LPT1:", ERROR_INVALID_PRINTER_NAME},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HANDLE h = nullptr;
        BOOL ok = OpenPrinterA(const_cast<LPSTR>(c.name), &h, nullptr);
        EXPECT_EQ(ok != FALSE, c.error == 0);
        if (ok) {
            EXPECT_TRUE(ClosePrinter(h));
        } else {
            EXPECT_EQ(GetLastError(), c.error);
        }
    }
    winsim::AddFault("OpenPrinterA", "Office Printer", ERROR_ACCESS_DENIED);
    HANDLE h = nullptr;
    EXPECT_FALSE(OpenPrinterA(const_cast<LPSTR>("Office Printer"), &h, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ExpectNothingLeftOpen();
}

TEST(WinsimPrinters, GetPrinterAPacksTheRecordIntoTheCallersBlock) {
    TempMachine m(WithPrinters({{"P", "LPT1:,COM1:"}}));
    winsim::reg::SetValue(kHive, winsim::PrinterKey("P"), "Description", winsim::reg::Sz("first floor"));
    OpenedPrinter p("P");
    ASSERT_TRUE(p.handle);
    DWORD needed = 0;
    EXPECT_FALSE(GetPrinterA(p.handle.get(), 2, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_GT(needed, sizeof(PRINTER_INFO_2A));
    std::vector<BYTE> block(needed + 16, 0xEE);
    DWORD again = 0;
    EXPECT_FALSE(GetPrinterA(p.handle.get(), 2, block.data(), needed - 1, &again));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(again, needed);
    ASSERT_TRUE(GetPrinterA(p.handle.get(), 2, block.data(), needed, &again));
    for (size_t i = needed; i < block.size(); ++i) ASSERT_EQ(block[i], 0xEE) << "written past the block at " << i;
    const auto* info = reinterpret_cast<const PRINTER_INFO_2A*>(block.data());
    const char* begin = reinterpret_cast<const char*>(block.data()) + sizeof(PRINTER_INFO_2A);
    const char* end = reinterpret_cast<const char*>(block.data()) + needed;
    for (const char* s : {info->pPrinterName, info->pShareName, info->pPortName, info->pDriverName, info->pComment,
                          info->pLocation, info->pSepFile, info->pPrintProcessor, info->pDatatype, info->pParameters}) {
        ASSERT_NE(s, nullptr);
        EXPECT_TRUE(s >= begin && s + std::strlen(s) < end);
    }
    EXPECT_STREQ(info->pPrinterName, "P");
    EXPECT_STREQ(info->pPortName, "LPT1:,COM1:");
    EXPECT_STREQ(info->pComment, "first floor");
    EXPECT_STREQ(info->pDriverName, "Generic / Text Only");
    EXPECT_EQ(info->pServerName, nullptr);
    EXPECT_EQ(info->Attributes, static_cast<DWORD>(PRINTER_ATTRIBUTE_LOCAL));
    EXPECT_FALSE(GetPrinterA(p.handle.get(), 3, block.data(), needed, &again));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
}

TEST(WinsimPrinters, SetPrinterAChecksAndKeeps) {
    TempMachine m(WithPrinters({{"P", "LPT1:"}}));
    AddPort("Vormo", "Vormo001");
    struct Case {
        const char* title;
        const char* ports;  // null: the field is left null
        const char* comment;
        DWORD access;
        DWORD error;  // 0: accepted
        const char* portsAfter;
        const char* commentAfter;
    } cases[] = {
        {"known ports", "COM1:,vormo001", nullptr, PRINTER_ALL_ACCESS, 0, "COM1:,vormo001", ""},
        {"unknown port", "LPT1:,Vormo002", "x", PRINTER_ALL_ACCESS, ERROR_UNKNOWN_PORT, "COM1:,vormo001", ""},
        {"empty list", "", nullptr, PRINTER_ALL_ACCESS, ERROR_UNKNOWN_PORT, "COM1:,vormo001", ""},
        {"empty entry", "LPT1:,", nullptr, PRINTER_ALL_ACCESS, ERROR_UNKNOWN_PORT, "COM1:,vormo001", ""},
        {"blank before an entry", "LPT1:, COM1:", nullptr, PRINTER_ALL_ACCESS, ERROR_UNKNOWN_PORT, "COM1:,vormo001",
         ""},
        {"entry reaching below the key", "Vormo001\\x", nullptr, PRINTER_ALL_ACCESS, ERROR_UNKNOWN_PORT,
         "COM1:,vormo001", ""},
        {"null port keeps the port", nullptr, "upstairs", PRINTER_ALL_ACCESS, 0, "COM1:,vormo001", "upstairs"},
        {"opened for use only", "FILE:", nullptr, 0x8, ERROR_ACCESS_DENIED, "COM1:,vormo001", "upstairs"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        OpenedPrinter p("P", c.access);
        ASSERT_TRUE(p.handle);
        PRINTER_INFO_2A info = {};
        info.pPortName = const_cast<LPSTR>(c.ports);
        info.pComment = const_cast<LPSTR>(c.comment);
        info.Priority = 1;
        BOOL ok = SetPrinterA(p.handle.get(), 2, reinterpret_cast<LPBYTE>(&info), 0);
        EXPECT_EQ(ok != FALSE, c.error == 0);
        if (!ok) {
            EXPECT_EQ(GetLastError(), c.error);
        }
        EXPECT_EQ(PortsOf("P"), c.portsAfter);
        EXPECT_EQ(PrinterValue("P", "Description"), c.commentAfter);
        EXPECT_EQ(PrinterValue("P", "Attributes"), std::to_string(PRINTER_ATTRIBUTE_LOCAL));
    }
    OpenedPrinter p("P");
    PRINTER_INFO_2A rename = {};
    rename.pPrinterName = const_cast<LPSTR>("Q");
    EXPECT_FALSE(SetPrinterA(p.handle.get(), 2, reinterpret_cast<LPBYTE>(&rename), 0));
}

TEST(WinsimPrinters, EnumPrintersALevel4) {
    {
        TempMachine m;
        DWORD needed = 7, returned = 7;
        EXPECT_TRUE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 4, nullptr, 0, &needed, &returned));
        EXPECT_EQ(needed, 0u);
        EXPECT_EQ(returned, 0u);
    }
    TempMachine m(WithPrinters({{"b", "LPT1:"}, {"A", "COM1:", PRINTER_ATTRIBUTE_NETWORK}}));
    DWORD needed = 0, returned = 0;
    EXPECT_FALSE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 4, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, 2 * sizeof(PRINTER_INFO_4A) + 2 * 2);
    std::vector<BYTE> block(needed);
    EXPECT_FALSE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 4, block.data(), needed - 1, &needed, &returned));
    ASSERT_TRUE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 4, block.data(), needed, &needed, &returned));
    ASSERT_EQ(returned, 2u);
    const auto* infos = reinterpret_cast<const PRINTER_INFO_4A*>(block.data());
    EXPECT_STREQ(infos[0].pPrinterName, "A");
    EXPECT_EQ(infos[0].Attributes, static_cast<DWORD>(PRINTER_ATTRIBUTE_NETWORK));
    EXPECT_STREQ(infos[1].pPrinterName, "b");
    EXPECT_EQ(infos[1].Attributes, static_cast<DWORD>(PRINTER_ATTRIBUTE_LOCAL));
    EXPECT_FALSE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 3, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
}

TEST(WinsimPrinters, EnumPortsALevel2) {
    TempMachine m;
    AddPort("Vormo", "Vormo001");
    DWORD needed = 0, returned = 0;
    EXPECT_FALSE(EnumPortsA(nullptr, 2, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    std::vector<BYTE> block(needed);
    ASSERT_TRUE(EnumPortsA(nullptr, 2, block.data(), needed, &needed, &returned));
    const auto* ports = reinterpret_cast<const PORT_INFO_2A*>(block.data());
    std::string table;
    for (DWORD i = 0; i < returned; ++i) table += std::string(ports[i].pPortName) + "=" + ports[i].pMonitorName + ";";
    EXPECT_NE(table.find("LPT1:=Local Port;"), std::string::npos) << table;
    EXPECT_NE(table.find("FILE:=Local Port;"), std::string::npos) << table;
    EXPECT_NE(table.find("Vormo001=Vormo;"), std::string::npos) << table;
    EXPECT_FALSE(EnumPortsA(const_cast<LPSTR>("\\\\NOWHERE"), 2, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
}

TEST(WinsimPrinters, NewMachineShowsItsPrinters) {
    TempMachine m(WithPrinters({{"Office", "LPT1:,COM1:"}, {"Remote", "LPT2:", PRINTER_ATTRIBUTE_NETWORK}}));
    for (const char* value : {"Share Name", "Description", "Location", "Separator File", "Parameters",
                              "Default Priority", "StartTime", "UntilTime", "Status"})
        EXPECT_NE(PrinterValue("Office", value), "(missing)") << value;
    std::string shown = winsim::ShowMachine();
    EXPECT_NE(shown.find("\nPrinters:\n"
                         "  'Office' on LPT1:,COM1:, attributes 0x00000040 (local)\n"
                         "  'Remote' on LPT2:, attributes 0x00000010 (network)\n"),
              std::string::npos)
        << shown;
}

}  // namespace

// ---- the stand-in port monitor --------------------------------------------

namespace {

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

struct Answer {
    BOOL called;
    DWORD status, error;
};

Answer Send(HANDLE xcv, const char* command, const void* input, DWORD size) {
    std::u16string name = Wide(command);
    DWORD needed = 99, status = 99;
    BYTE scratch[4];
    SetLastError(0);
    BOOL called = XcvDataW(xcv, name.c_str(), static_cast<PBYTE>(const_cast<void*>(input)), size, scratch, 0, &needed,
                           &status);
    return {called, status, GetLastError()};
}

Answer SendName(HANDLE xcv, const char* command, const std::string& port) {
    std::u16string name = Wide(port);
    return Send(xcv, command, name.c_str(), static_cast<DWORD>((name.size() + 1) * 2));
}

HANDLE Open(const std::string& name, DWORD access = SERVER_ACCESS_ADMINISTER) {
    std::u16string wide = Wide(name);
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, access};
    HANDLE h = nullptr;
    SetLastError(0);
    if (!OpenPrinterW(const_cast<LPWSTR>(wide.c_str()), &h, &defaults)) return nullptr;
    return h;
}

}  // namespace

TEST(StandInMonitor, OpenNames) {
    TempMachine m;
    RegisterMonitor();
    const struct {
        const char* name;
        DWORD error;  // 0: opens
    } names[] = {
        {",XcvMonitor Vormo", 0},
        {",XcvMonitor vormo", 0},
        {"WINSIM\\,XcvMonitor Vormo", 0},  // the machine's own name
        {"\\\\WINSIM\\,XcvMonitor Vormo", 0},
        {",XcvMonitor Local Port", 0},
        {",XcvMonitor Nobody", ERROR_UNKNOWN_PORT},
        {",XcvMonitor Vormo\\Ports", ERROR_UNKNOWN_PORT},
        {",XcvMonitor ", ERROR_UNKNOWN_PORT},
        {"\\\\NOWHERE\\,XcvMonitor Vormo", RPC_S_SERVER_UNAVAILABLE},
        {"XcvMonitor Vormo", ERROR_INVALID_PRINTER_NAME},
        {"\\\\WINSIM,XcvMonitor Vormo", ERROR_INVALID_PRINTER_NAME},
        {"Office Laser", ERROR_INVALID_PRINTER_NAME},
    };
    for (const auto& n : names) {
        platform::Printer h(Open(n.name));
        EXPECT_EQ(h.valid(), n.error == 0) << n.name;
        if (n.error) {
            EXPECT_EQ(GetLastError(), n.error) << n.name;
        }
    }
    EXPECT_EQ(winsim::OpenHandleCount(), 0u);
}

TEST(StandInMonitor, CommandsAndTheirAnswers) {
    TempMachine m;
    RegisterMonitor();
    platform::Printer xcv(Open(",XcvMonitor Vormo"));
    ASSERT_TRUE(xcv.valid());
    PortRecord record;
    std::memset(&record, 0, sizeof record);
    const char16_t p1[] = u"P1", p2[] = u"P2";
    std::memcpy(record.PortName, p1, sizeof p1);

    Answer a = SendName(xcv.get(), "AddPort", "P1");
    EXPECT_TRUE(a.called);
    EXPECT_EQ(a.status, 0u);
    EXPECT_EQ(SendName(xcv.get(), "AddPort", "p1").status, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(SendName(xcv.get(), "addport", "P3").status, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(SendName(xcv.get(), "AddPort", "").status, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(SendName(xcv.get(), "AddPort", "a\\b").status, static_cast<DWORD>(ERROR_INVALID_NAME));
    const char16_t unterminated[] = {u'Q', u'Q'};
    EXPECT_EQ(Send(xcv.get(), "AddPort", unterminated, sizeof unterminated).status,
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Send(xcv.get(), "SetPortData", &record, 11607).status, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Send(xcv.get(), "SetPortData", &record, sizeof record).status, 0u);
    std::memcpy(record.PortName, p2, sizeof p2);
    EXPECT_EQ(Send(xcv.get(), "SetPortData", &record, sizeof record).status, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(StoredRecord("P1").size(), 11608u);
    EXPECT_EQ(SendName(xcv.get(), "Frobnicate", "P1").status, static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    // The spooler lists the monitor's ports under its name.
    bool listed = false;
    for (const auto& port : winsim::ListPorts(kHive))
        if (port.name == "P1" && port.monitor == "Vormo") listed = true;
    EXPECT_TRUE(listed);

    EXPECT_EQ(SendName(xcv.get(), "DeletePort", "P1").status, 0u);
    EXPECT_EQ(SendName(xcv.get(), "DeletePort", "P1").status, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(JournalLines("xcv "),
              "xcv AddPort P1 status 0\nxcv AddPort p1 status 183\nxcv addport status 87\nxcv AddPort status 87\n"
              "xcv AddPort a\\b status 123\nxcv AddPort status 87\nxcv SetPortData status 87\n"
              "xcv SetPortData P1 status 0\nxcv SetPortData P2 status 2\nxcv Frobnicate status 87\n"
              "xcv DeletePort P1 status 0\nxcv DeletePort P1 status 2\n");
}

TEST(StandInMonitor, RefusalsAccessAndFailedCalls) {
    TempMachine m;
    RegisterMonitor();
    {
        platform::Printer reader(Open(",XcvMonitor Vormo", 0));
        ASSERT_TRUE(reader.valid());
        EXPECT_EQ(SendName(reader.get(), "AddPort", "P1").status, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    platform::Printer xcv(Open(",XcvMonitor Vormo"));
    winsim::AddFault("Xcv:AddPort", "P2", 1450, 1);
    EXPECT_EQ(SendName(xcv.get(), "AddPort", "P2").status, 1450u);
    EXPECT_EQ(SendName(xcv.get(), "AddPort", "P2").status, 0u);  // once only
    winsim::AddFault("XcvDataW", "DeletePort", 1722);
    Answer failed = SendName(xcv.get(), "DeletePort", "P2");
    EXPECT_FALSE(failed.called);
    EXPECT_EQ(failed.error, static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    EXPECT_EQ(failed.status, 99u);  // untouched
    EXPECT_TRUE(PortExists("P2"));
    EXPECT_FALSE(Send(nullptr, "AddPort", u"P3", 6).called);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    platform::Printer local(Open(",XcvMonitor Local Port"));
    EXPECT_EQ(SendName(local.get(), "AddPort", "P9").status, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(PortExists("P9", winsim::kLocalMonitor));
}

TEST(StandInMonitor, RemovingTheMonitorRemovesItsPorts) {
    TempMachine m;
    RegisterMonitor();
    {
        platform::Printer xcv(Open(",XcvMonitor Vormo"));
        ASSERT_EQ(SendName(xcv.get(), "AddPort", "P1").status, 0u);
    }
    ASSERT_TRUE(winsim::reg::DeleteTree(kHive, winsim::MonitorKey("Vormo")));
    for (const auto& port : winsim::ListPorts(kHive)) EXPECT_NE(port.name, "P1");
    EXPECT_FALSE(Open(",XcvMonitor Vormo"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PORT));
}
