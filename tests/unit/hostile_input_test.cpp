// Hostile input, in-process: registry values of every type and size, INI
// numbers that are not numbers, INI files that are not INI files, printer
// names with "%" and characters outside ASCII, and logs that cannot be
// written. Each case is a row of the "Hostile input" table of the README.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/handles.h"
#include "portcfg/port_settings.h"
#include "portcfg/xcv_transport.h"
#include "printers/printer_bindings.h"
#include "base/edition.h"
#include "base/output.h"
#include "base/dot_net.h"
#include "run/run_driver.h"
#include "support/checks.h"
#include "support/machine.h"
#include "winsim/spooler.h"

using testing_support::ExpectNothingLeftOpen;
using testing_support::TempMachine;
using testing_support::TestPlan;

namespace {

const char kHive[] = "registry/HKLM";

// Stores one value of any type and size as it stands, in the registry view
// of this 32-bit process: a string without its terminator as another writer
// (RegSetValueExW, a .reg file) leaves it, where RegSetValueExA adds one.
void SetValue(const std::string& keyPath, const char* name, DWORD type, const std::string& bytes) {
    std::string path = winsim::reg::ViewPath(kHive, keyPath, 0);
    ASSERT_TRUE(winsim::reg::CreateKey(kHive, path));
    winsim::RegValue value;
    value.type = type;
    value.data = bytes;
    ASSERT_TRUE(winsim::reg::SetValue(kHive, path, name, value));
}

std::string Section1() { return testing_support::SectionKey(1); }

std::string Le32(uint32_t v) {
    std::string b(4, '\0');
    for (int i = 0; i < 4; ++i) b[i] = static_cast<char>(v >> (8 * i));
    return b;
}

// ---- registry values of the wrong type or size ------------------------------

struct StringRow {
    const char* title;
    DWORD type;
    std::string bytes;
    std::string expected;  // what EnvironmentVariableIP (default "ZaviVodazi_IP_Address") holds
};

const std::string kDefaultEnv = "ZaviVodazi_IP_Address";

const StringRow kStringRows[] = {
    {"REG_SZ with its terminator", REG_SZ, std::string("IP\0", 3), "IP"},
    {"REG_SZ without a terminator", REG_SZ, "IP", "IP"},
    {"REG_EXPAND_SZ is not expanded", REG_EXPAND_SZ, std::string("%SystemRoot%\0", 13), "%SystemRoot%"},
    {"REG_MULTI_SZ gives its first string", REG_MULTI_SZ, std::string("a\0b\0\0", 5), "a"},
    {"REG_BINARY is taken as text", REG_BINARY, "\x01\x02", "\x01\x02"},
    {"REG_DWORD is taken as its 4 bytes", REG_DWORD, Le32(0x00323171), "q12"},
    {"an empty value is an empty string", REG_SZ, "", ""},
    {"259 characters and the terminator", REG_SZ, std::string(259, 'a') + '\0', std::string(259, 'a')},
    {"260 characters without a terminator are cut to 259", REG_SZ, std::string(260, 'b'), std::string(259, 'b')},
    {"260 characters and the terminator keep the default", REG_SZ, std::string(260, 'c') + '\0', kDefaultEnv},
    {"10000 bytes keep the default", REG_BINARY, std::string(10000, 'd'), kDefaultEnv},
    {"text with % and outside ASCII as it stands", REG_SZ, std::string("%s%n\xE9\xFC\0", 7), "%s%n\xE9\xFC"},
};

TEST(HostileInput, RegistryStringValueOfEveryTypeAndSize) {
    for (const auto& row : kStringRows) {
        SCOPED_TRACE(row.title);
        TempMachine m;
        SetValue(Section1(), "ServerIP", REG_SZ, std::string("10.0.0.1\0", 9));
        SetValue(Section1(), "EnvironmentVariableIP", row.type, row.bytes);
        PortSettings s;
        ASSERT_TRUE(ReadPortSection(1, TestPlan(kStandardEdition, false), &s));
        EXPECT_EQ(std::string(s.EnvironmentVariableIP), row.expected);
        for (size_t i = row.expected.size(); i < sizeof s.EnvironmentVariableIP; ++i)
            ASSERT_EQ(s.EnvironmentVariableIP[i], '\0') << "zero from the terminator on, at " << i;
        ExpectNothingLeftOpen();
    }
}

struct NumberRow {
    const char* title;
    DWORD type;
    std::string bytes;
    DWORD expected;  // ServerPort, default 9100
};

const NumberRow kNumberRows[] = {
    {"REG_DWORD", REG_DWORD, Le32(9101), 9101},
    {"REG_BINARY of 4 bytes, no type check", REG_BINARY, Le32(7), 7},
    {"REG_DWORD_BIG_ENDIAN is read as its bytes stand", 5 /* REG_DWORD_BIG_ENDIAN */, Le32(0x01000000), 0x01000000},
    {"a string of 4 bytes is taken as its bytes", REG_SZ, std::string("910\0", 4), 0x00303139},
    {"a string of 3 bytes is taken as its bytes, zero-extended", REG_SZ, std::string("91\0", 3), 0x3139},
    {"REG_QWORD keeps the default", 11 /* REG_QWORD */, Le32(5) + Le32(0), 9100},
    {"1 byte is zero-extended", REG_BINARY, std::string("\x05", 1), 5},
    {"2 bytes are zero-extended", REG_DWORD, std::string("\x02\x00", 2), 2},
    {"3 bytes are zero-extended", REG_BINARY, std::string("\x01\x02\x03", 3), 0x030201},
    {"0 bytes keep the default", REG_DWORD, "", 9100},
    {"5 bytes keep the default", REG_BINARY, Le32(5) + "x", 9100},
};

TEST(HostileInput, RegistryNumberValueOfEveryTypeAndSize) {
    for (const auto& row : kNumberRows) {
        SCOPED_TRACE(row.title);
        TempMachine m;
        SetValue(Section1(), "ServerIP", REG_SZ, std::string("10.0.0.1\0", 9));
        SetValue(Section1(), "ServerPort", row.type, row.bytes);
        PortSettings s;
        ASSERT_TRUE(ReadPortSection(1, TestPlan(kStandardEdition, false), &s));
        EXPECT_EQ(s.ServerPort, row.expected);
        ExpectNothingLeftOpen();
    }
}

TEST(HostileInput, RegistryServerIpOfTheWrongSizeEndsTheScan) {
    TempMachine m;
    // A ServerIP too long for its field keeps the empty default: no section.
    SetValue(Section1(), "ServerIP", REG_SZ, std::string(300, 'x') + '\0');
    PortSettings s;
    EXPECT_FALSE(ReadPortSection(1, TestPlan(kStandardEdition, false), &s));
    SetValue(Section1(), "ServerIP", REG_DWORD, Le32(0x31));  // "1" and three zeros
    ASSERT_TRUE(ReadPortSection(1, TestPlan(kStandardEdition, false), &s));
    EXPECT_STREQ(s.ServerIP[0], "1");
}

struct DotNetRow {
    const char* title;
    DWORD type;
    std::string bytes;
    bool installed;
};

const DotNetRow kDotNetRows[] = {
    {"REG_DWORD 1", REG_DWORD, Le32(1), true},
    {"REG_DWORD 2", REG_DWORD, Le32(2), false},
    {"REG_BINARY 01 00 00 00, no type check", REG_BINARY, Le32(1), true},
    {"one byte 01 fills the low byte of a zeroed number", REG_BINARY, "\x01", true},
    {"REG_SZ \"1\" is the number 0x31", REG_SZ, std::string("1\0", 2), false},
    {"REG_QWORD 1 is too large to be read", 11 /* REG_QWORD */, Le32(1) + Le32(0), false},
    {"an empty value", REG_DWORD, "", false},
};

TEST(HostileInput, DotNetInstallValueOfEveryTypeAndSize) {
    const char kNdp[] = "Software\\Microsoft\\NET Framework Setup\\NDP\\v2.0.50727";
    for (const auto& row : kDotNetRows) {
        SCOPED_TRACE(row.title);
        TempMachine m;
        SetValue(kNdp, "Install", row.type, row.bytes);
        EXPECT_EQ(IsDotNet20Installed(), row.installed);
        ExpectNothingLeftOpen();
    }
}

// ---- the INI file ------------------------------------------------------------

struct IniNumberRow {
    const char* text;
    DWORD expected;  // ServerPort
};

const IniNumberRow kIniNumberRows[] = {
    {"ServerPort=abc", 0},         {"ServerPort=12abc", 12},        {"ServerPort=-1", 4294967295u},
    {"ServerPort=0x1F", 31},       {"ServerPort=4294967297", 1},    {"ServerPort=  42  ", 42},
    {"ServerPort=", 9100},         {"ServerPort", 9100},            {"ServerPort=%d", 0},
};

TEST(HostileInput, IniNumbersThatAreNotNumbers) {
    for (const auto& row : kIniNumberRows) {
        SCOPED_TRACE(row.text);
        TempMachine m;
        m.Write("C:\\Dist\\Vormo.ini", std::string("[1]\nServerIP=10.0.0.1\n") + row.text + "\n");
        PortSettings s;
        ASSERT_TRUE(ReadPortSection(1, TestPlan(), &s));
        EXPECT_EQ(s.ServerPort, row.expected);
    }
}

// A port monitor for AddPortConfiguration to talk to.
void RegisterMonitor() {
    winsim::reg::CreateKey(kHive, winsim::PortsKey("Vormo"));
    winsim::reg::SetValue(kHive, winsim::MonitorKey("Vormo"), "Driver", winsim::reg::Sz("VORMOVS64.DLL"));
}

TEST(HostileInput, IniFileThatIsNoIniFileGivesNoPort) {
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 131 + 7) % 256);
    const std::string files[] = {binary, std::string("[1\nServerIP=x\n"), std::string("ServerIP=x\n[]\n=\n[[1]]\n"),
                                 std::string(5000, '[')};
    for (const auto& text : files) {
        TempMachine m;
        RegisterMonitor();
        m.Write("C:\\Dist\\Vormo.ini", text);
        int count = -1;
        testing_support::BeginCapture();
        bool result = AddPortConfiguration(TestPlan(), &count);
        std::string out = testing_support::EndCapture();
        EXPECT_TRUE(result);
        EXPECT_EQ(count, 0);
        EXPECT_EQ(out, "");
        ExpectNothingLeftOpen();
    }
}

TEST(HostileInput, IniValuesWithNullBytesEndAtTheFirst) {
    TempMachine m;
    RegisterMonitor();
    const char ini[] = "[1]\nServerIP=10.0.0.1\0hidden\nDescription=a\0b\n";
    m.Write("C:\\Dist\\Vormo.ini", std::string(ini, sizeof ini - 1));
    PortSettings s;
    ASSERT_TRUE(ReadPortSection(1, TestPlan(), &s));
    EXPECT_STREQ(s.ServerIP[0], "10.0.0.1");
    EXPECT_STREQ(s.Description, "a");
    for (size_t i = 2; i < sizeof s.Description; ++i) ASSERT_EQ(s.Description[i], '\0');
}

// ---- long paths ----------------------------------------------------------------

TEST(HostileInput, CurrentDirectoryTooLongForItsRoomNamesTheIniFileRelativeToIt) {
    TempMachine m;
    const std::string deep = "C:\\" + std::string(100, 'a') + "\\" + std::string(100, 'b') + "\\" + std::string(100, 'c');
    m.Write(deep + "\\Vormo.ini", "[1]\nServerIP=found in the deep folder\n");
    winsim::Process().currentDirectory = deep;
    RunOptions options;
    RunPlan plan = MakeRunPlan(options);
    EXPECT_STREQ(plan.sections.configFilePath, ".\\Vormo.ini");
    PortSettings s;
    ASSERT_TRUE(ReadPortSection(1, plan, &s));
    EXPECT_STREQ(s.ServerIP[0], "found in the deep folder");
    ExpectNothingLeftOpen();
}

// ---- printer names -------------------------------------------------------------

winsim::NewOptions WithPrinters(const std::vector<std::string>& names) {
    winsim::NewOptions options = TempMachine::DefaultOptions();
    for (const auto& name : names) options.printers.push_back({name, "LPT1:", PRINTER_ATTRIBUTE_LOCAL});
    return options;
}

TEST(HostileInput, PrinterNamesWithPercentAndOutsideAsciiAreAssignedAndPrintedAsTheyStand) {
    const std::string percent = "100% Toner %s%n", umlaut = "B\xFCro Drucker";
    TempMachine m(WithPrinters({percent, umlaut}));
    winsim::reg::CreateKey(kHive, winsim::PortsKey("Vormo") + "\\Vormo001");
    m.Write("C:\\Dist\\Vormo.ini", "[1]\nServerIP=10.0.0.1\nAssignPrinter=" + percent + "\nAssignPrinter2=" + umlaut +
                                       "\nAssignPrinter3=%s%s%s%s%n\n");
    ASSERT_TRUE(OpenInstallLog(nullptr));
    testing_support::BeginCapture();
    AssignPrinters(1, TestPlan());
    std::string out = testing_support::EndCapture();
    CloseInstallLog();
    const std::string expected = "    Printer '" + percent + "' assigned to port Vormo001\n" + "    Printer '" + umlaut +
                                 "' assigned to port Vormo001\n" +
                                 "    ERROR - Printer %s%s%s%s%n NOT assigned to port Vormo001\n";
    EXPECT_EQ(out, expected);
    std::string crlf;
    for (char c : expected) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(m.Read("C:\\Windows\\VOPortInstall.log"), crlf);
    ExpectNothingLeftOpen();
}

TEST(HostileInput, DisconnectLineNamesAPrinterWithPercentAsItStands) {
    const std::string name = "50% %s Drucker \xFC";
    winsim::NewOptions options = TempMachine::DefaultOptions();
    options.printers.push_back({name, "Vormo001", PRINTER_ATTRIBUTE_LOCAL});
    TempMachine m(options);
    winsim::reg::CreateKey(kHive, winsim::PortsKey("Vormo") + "\\Vormo001");
    testing_support::BeginCapture();
    DisconnectPrinters("Vormo");
    std::string out = testing_support::EndCapture();
    EXPECT_EQ(out, "  - Port Vormo001 type Vormo will be disconnected\n"
                   "  - Disconnecting Printer '" + name + "' from Vormo Port\n");
    ExpectNothingLeftOpen();
}

// ---- the install log -------------------------------------------------------------

TEST(HostileInput, LogThatCannotBeWrittenIsNotOpened) {
    TempMachine m;
    m.Write("C:\\Dist\\readonly.log", "earlier runs\r\n");
    ASSERT_TRUE(SetFileAttributesA("C:\\Dist\\readonly.log", FILE_ATTRIBUTE_READONLY));
    const std::string paths[] = {
        "C:\\Dist\\readonly.log",                       // a read-only file
        "C:\\Dist\\FontFiles",                          // a folder
        "C:\\No such folder\\run.log",                  // a missing folder
        "C:\\Dist\\" + std::string(300, 'n') + ".log",  // a name too long for the file system
        "D:\\run.log",                                  // a drive the machine does not have
    };
    for (const auto& path : paths) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(OpenInstallLog(path.c_str()));
        EXPECT_FALSE(IsInstallLogOpen());
    }
    EXPECT_EQ(m.Read("C:\\Dist\\readonly.log"), "earlier runs\r\n");
}

}  // namespace
