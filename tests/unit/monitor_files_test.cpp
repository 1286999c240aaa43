// The monitor's files in the system directory, its registration with the
// spooler, and the event-log source.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/edition.h"
#include "base/wow64.h"
#include "monitor/monitor_files.h"
#include "support/machine.h"
#include "winsim/spooler.h"

using testing_support::TempMachine;

namespace {

const char kHklm[] = "registry/HKLM";
const char kSourceKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\VormoPort";
const char kMessageFile[] = "%SystemRoot%\\System32\\VormoEvent.dll";

winsim::NewOptions Machine(const char* os, std::vector<std::string> servers = {}) {
    winsim::NewOptions options = TempMachine::DefaultOptions();
    options.os = os;
    options.servers = std::move(servers);
    return options;
}

const EditionProfile& EditionOf(bool enterprise) { return enterprise ? kEnterpriseEdition : kStandardEdition; }

// The monitor's removal with the line of its outcome, as the sequences make it.
MonitorRemovalOutcome RemoveMonitor(const char* server, const char* name = "Vormo") {
    MonitorRemoval removal = RemovePrintMonitor(server, name);
    PrintMonitorRemoval(removal);
    return removal.outcome;
}

// The registration's error code: 0 when the spooler took the monitor.
DWORD Register(const char* server, PlatformClass platform, const EditionProfile& edition = kStandardEdition) {
    MonitorRegistration registration = RegisterPrintMonitor(server, edition, platform);
    return registration.registered ? 0 : registration.error;
}

std::string Value(const std::string& key, const char* name, DWORD* type = nullptr) {
    winsim::RegValue v;
    if (!winsim::reg::GetValue(kHklm, key, name, &v)) return "<absent>";
    if (type) *type = v.type;
    return v.data;
}

std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

std::string Dword(DWORD d) {
    char bytes[4];
    std::memcpy(bytes, &d, 4);
    return std::string(bytes, 4);
}

// Registers a monitor as the spooler would keep it, with one port.
void PlaceMonitor(const std::string& hive, const std::string& name, const std::string& port) {
    ASSERT_TRUE(winsim::reg::CreateKey(hive, winsim::PortsKey(name) + "\\" + port));
    ASSERT_TRUE(winsim::reg::SetValue(hive, winsim::MonitorKey(name), "Driver", winsim::reg::Sz("VORMOVS64.DLL")));
}

}  // namespace

// ---- the file set ----------------------------------------------------------

TEST(MonitorFileSet, PerClassAndEdition) {
    TempMachine m;
    struct Row {
        bool enterprise;
        PlatformClass platform;
        const char *monitor, *ui, *cairo, *old;
    } rows[] = {
        {false, Supported32, "VORMOVS.DLL", "VORMOUI.DLL", "VormoCairoLib.DLL", "VORMO.DLL"},
        {false, Supported64, "VORMOVS64.DLL", "VORMO64UI.DLL", "VormoCairoLib64.DLL", "VORMO64.DLL"},
        {true, Supported32, "VORMOE.DLL", "VORMOEUI.DLL", "VormoECairoLib.DLL", nullptr},
        {true, Supported64, "VORMOE64.DLL", "VORMOE64UI.DLL", "VormoECairoLib64.DLL", nullptr},
    };
    auto text = [](const char* s) { return std::string(s ? s : "<none>"); };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << (row.enterprise ? "Enterprise " : "standard ") << row.platform);
        MonitorFileSet set = GetMonitorFileSet(EditionOf(row.enterprise), row.platform);
        EXPECT_EQ(text(set.monitorDll), text(row.monitor));
        EXPECT_EQ(text(set.uiDll), text(row.ui));
        EXPECT_EQ(text(set.cairoDll), text(row.cairo));
        EXPECT_EQ(text(set.oldMonitorDll), text(row.old));
        MonitorFileSet none = GetMonitorFileSet(EditionOf(row.enterprise), Unsupported);
        EXPECT_TRUE(!none.monitorDll && !none.uiDll && !none.cairoDll && !none.oldMonitorDll);
    }
}

// ---- copying and deleting ----------------------------------------------------

TEST(MonitorFiles, CopyReplacesAnOlderFile) {
    TempMachine m;
    DisableFsRedirection();
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\Dist"));
    m.Write("C:\\Windows\\System32\\VORMOVS64.DLL", "an older monitor");
    EXPECT_TRUE(CopyToSystemDirectory("VORMOVS64.DLL"));
    EXPECT_EQ(m.Read("C:\\Windows\\System32\\VORMOVS64.DLL"), m.Read("C:\\Dist\\VORMOVS64.DLL"));
    EXPECT_NE(m.Read("C:\\Dist\\VORMOVS64.DLL"), "an older monitor");
}

TEST(MonitorFiles, CopyRefusedByWindowsIsFalse) {
    TempMachine m;
    DisableFsRedirection();
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\Dist"));
    EXPECT_FALSE(CopyToSystemDirectory("NOSUCH.DLL"));
    // A read-only target is not replaced.
    m.Write("C:\\Windows\\System32\\VORMOUI.DLL", "old");
    ASSERT_TRUE(SetFileAttributesA("C:\\Windows\\System32\\VORMOUI.DLL", FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(CopyToSystemDirectory("VORMOUI.DLL"));
    EXPECT_EQ(m.Read("C:\\Windows\\System32\\VORMOUI.DLL"), "old");
    // A name too long for the target path is refused, not cut.
    EXPECT_FALSE(CopyToSystemDirectory(std::string(300, 'x').c_str()));
}

TEST(MonitorFiles, SixtyFourBitFilesLandInTheNativeSystemDirectory) {
    TempMachine m;  // 64-bit Windows 7
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\Dist"));
    // Before redirection is switched off, the 32-bit process reaches SysWOW64.
    EXPECT_TRUE(CopyToSystemDirectory("VORMO64UI.DLL"));
    EXPECT_TRUE(m.Exists("C:\\Windows\\SysWOW64\\VORMO64UI.DLL"));
    EXPECT_FALSE(m.Exists("C:\\Windows\\System32\\VORMO64UI.DLL"));
    m.Remove("C:\\Windows\\SysWOW64\\VORMO64UI.DLL");

    DisableFsRedirection();
    for (const char* name : {"VORMOVS64.DLL", "VORMO64UI.DLL", "VormoCairoLib64.DLL"}) {
        EXPECT_TRUE(CopyToSystemDirectory(name)) << name;
        EXPECT_TRUE(m.Exists(std::string("C:\\Windows\\System32\\") + name)) << name;
        EXPECT_FALSE(m.Exists(std::string("C:\\Windows\\SysWOW64\\") + name)) << name;
    }
    DeleteFromSystemDirectory("VORMOVS64.DLL");
    EXPECT_FALSE(m.Exists("C:\\Windows\\System32\\VORMOVS64.DLL"));
}

TEST(MonitorFiles, DeleteClearsReadOnlyHiddenAndSystem) {
    TempMachine m;
    DisableFsRedirection();
    const char* path = "C:\\Windows\\System32\\VORMOVS64.DLL";
    m.Write(path, "monitor");
    ASSERT_TRUE(SetFileAttributesA(path, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    ASSERT_FALSE(DeleteFileA(path));  // Windows refuses a read-only file
    testing_support::BeginCapture();
    DeleteFromSystemDirectory("VORMOVS64.DLL");
    DeleteFromSystemDirectory("VORMOVS64.DLL");  // absent now: no error, no output
    EXPECT_EQ(testing_support::EndCapture(), "");
    EXPECT_FALSE(m.Exists(path));
}

TEST(MonitorFiles, DeletePathIsHeldIn1000Characters) {
    TempMachine m;
    DisableFsRedirection();
    char systemDir[MAX_PATH];
    UINT systemLength = GetSystemDirectoryA(systemDir, sizeof systemDir);
    ASSERT_GT(systemLength, 0u);
    // The longest name that fits: directory, backslash and name in 998 characters.
    size_t longest = 997 - systemLength;
    const char* probe = "C:\\Dist\\server_subnet.csv";

    // A name one longer is refused before Windows is asked: the pending
    // failure is still there for the next deletion.
    winsim::AddFault("DeleteFileA", "*", ERROR_ACCESS_DENIED, 1);
    DeleteFromSystemDirectory(std::string(longest + 1, 'n').c_str());
    DeleteFromSystemDirectory(std::string(5000, 'n').c_str());
    EXPECT_FALSE(DeleteFileA(probe));
    EXPECT_TRUE(m.Exists(probe));

    // The longest name reaches DeleteFileA, which uses the failure up.
    winsim::AddFault("DeleteFileA", "*", ERROR_ACCESS_DENIED, 1);
    DeleteFromSystemDirectory(std::string(longest, 'n').c_str());
    EXPECT_TRUE(DeleteFileA(probe));
}

// ---- removing the monitor ----------------------------------------------------

TEST(RemovePrintMonitor, EachOutcomeWithItsLine) {
    struct Row {
        const char* what;
        DWORD injected;     // 0: none
        bool registered;    // the monitor is there
        bool printerOnPort;
        MonitorRemovalOutcome outcome;
        const char* line;
    } rows[] = {
        {"registered", 0, true, false, MonitorRemoved, ""},
        {"absent", 0, false, false, MonitorNotFound, "    (Print Monitor Not Found)\n"},
        {"busy", ERROR_BUSY, true, false, MonitorBusy, "ERROR Print Monitor Is Used By Spooler.\n"},
        {"not supported", ERROR_CALL_NOT_IMPLEMENTED, true, false, MonitorNotSupported,
         "ERROR This function is not supported on this system.\n"},
        {"access denied", ERROR_ACCESS_DENIED, true, false, MonitorRemovalFailed,
         "ERROR (5) While Removing Print Monitor.\n"},
        {"port in use", 0, true, true, MonitorRemovalFailed, "ERROR (3008) While Removing Print Monitor.\n"},
        {"large code", 0xC0000005u, false, false, MonitorRemovalFailed,
         "ERROR (3221225477) While Removing Print Monitor.\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempMachine m;
        if (row.registered) PlaceMonitor(kHklm, "Vormo", "Vormo001");
        if (row.printerOnPort) {
            std::string key = winsim::PrinterKey("Office");
            ASSERT_TRUE(winsim::reg::CreateKey(kHklm, key));
            ASSERT_TRUE(winsim::reg::SetValue(kHklm, key, "Port", winsim::reg::Sz("LPT1:, vormo001")));
        }
        if (row.injected) winsim::AddFault("DeleteMonitorA", "Vormo", row.injected);
        testing_support::BeginCapture();
        MonitorRemovalOutcome outcome = RemoveMonitor(nullptr);
        EXPECT_EQ(testing_support::EndCapture(), row.line);
        EXPECT_EQ(outcome, row.outcome);
        // Only a removal takes the key away, ports included.
        EXPECT_EQ(winsim::reg::KeyExists(kHklm, winsim::MonitorKey("Vormo")),
                  row.registered && outcome != MonitorRemoved);
    }
}

TEST(RemovePrintMonitor, NamedServers) {
    TempMachine m(Machine("7-x64", {"\\\\PRINTSRV"}));
    std::string serverHive;
    DWORD error = 0;
    ASSERT_TRUE(winsim::SpoolerHive("\\\\PRINTSRV", &serverHive, &error));
    PlaceMonitor(serverHive, "Vormo", "Vormo001");
    PlaceMonitor(kHklm, "Vormo", "Vormo001");

    testing_support::BeginCapture();
    EXPECT_EQ(RemoveMonitor("\\\\printsrv"), MonitorRemoved);
    EXPECT_EQ(RemoveMonitor("\\\\PRINTSRV"), MonitorNotFound);
    EXPECT_EQ(RemoveMonitor("\\\\ELSEWHERE"), MonitorRemovalFailed);
    EXPECT_EQ(testing_support::EndCapture(),
              "    (Print Monitor Not Found)\nERROR (1722) While Removing Print Monitor.\n");
    EXPECT_FALSE(winsim::reg::KeyExists(serverHive, winsim::MonitorKey("Vormo")));
    EXPECT_TRUE(winsim::reg::KeyExists(kHklm, winsim::MonitorKey("Vormo")));
}

TEST(RemovePrintMonitor, EnterpriseRemovesItsOwnMonitor) {
    TempMachine m;
    PlaceMonitor(kHklm, "Vormo", "Vormo001");
    PlaceMonitor(kHklm, "VormoE", "VormoE001");
    testing_support::BeginCapture();
    EXPECT_EQ(RemoveMonitor(nullptr, kEnterpriseEdition.productWord), MonitorRemoved);
    EXPECT_EQ(testing_support::EndCapture(), "");
    EXPECT_FALSE(winsim::reg::KeyExists(kHklm, winsim::MonitorKey("VormoE")));
    EXPECT_TRUE(winsim::reg::KeyExists(kHklm, winsim::MonitorKey("Vormo")));
}

// ---- registering the monitor -------------------------------------------------

TEST(RegisterPrintMonitor, RecordOfEachClassAsTheSpoolerKeepsIt) {
    struct Row {
        const char* os;
        bool enterprise;
        PlatformClass platform;
        const char* dllFolder;  // where the DLL is placed (native view)
        const char *name, *driver, *environment;
    } rows[] = {
        {"7-x64", false, Supported64, "System32", "Vormo", "VORMOVS64.DLL", "Windows x64"},
        {"7-x64", true, Supported64, "System32", "VormoE", "VORMOE64.DLL", "Windows x64"},
        {"7-x86", false, Supported32, "System32", "Vormo", "VORMOVS.DLL", "Windows NT x86"},
        {"xp", true, Supported32, "System32", "VormoE", "VORMOE.DLL", "Windows NT x86"},
        // A 32-bit monitor on 64-bit Windows: the spooler's own environment.
        {"2003-x64", false, Supported32, "System32", "Vormo", "VORMOVS.DLL", "Windows x64"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.os << " " << row.name);
        TempMachine m(Machine(row.os));
        m.Write(std::string("C:\\Windows\\") + row.dllFolder + "\\" + row.driver, "monitor");
        testing_support::BeginCapture();
        EXPECT_EQ(Register(nullptr, row.platform, EditionOf(row.enterprise)), 0u);
        EXPECT_EQ(testing_support::EndCapture(), "");
        std::string key = winsim::MonitorKey(row.name);
        EXPECT_EQ(Value(key, "Driver"), Sz(row.driver));
        EXPECT_EQ(Value(key, "Environment"), Sz(row.environment));
        EXPECT_NE(winsim::ReadJournal().find(std::string("monitor added ") + row.name), std::string::npos);
    }
}

TEST(RegisterPrintMonitor, RefusalsCarryTheSpoolersErrorCode) {
    struct Row {
        const char* what;
        PlatformClass platform;
        bool dllPresent, alreadyRegistered;
        const char* server;
        DWORD error;
    } rows[] = {
        {"empty record of Unsupported", Unsupported, true, false, nullptr, 87},
        {"DLL missing", Supported64, false, false, nullptr, 87},
        {"registered already", Supported64, true, true, nullptr, 3006},
        {"unknown server", Supported64, true, false, "\\\\NOWHERE", 1722},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempMachine m;
        if (row.dllPresent) m.Write("C:\\Windows\\System32\\VORMOVS64.DLL", "monitor");
        if (row.alreadyRegistered) PlaceMonitor(kHklm, "Vormo", "Vormo001");
        EXPECT_EQ(Register(row.server, row.platform), row.error);
        EXPECT_EQ(winsim::ReadJournal().find("monitor added"), std::string::npos);
    }
}

TEST(RegisterPrintMonitor, SixtyFourBitDllMustBeInTheNativeSystemDirectory) {
    TempMachine m;
    // In SysWOW64 only, the spooler of 64-bit Windows does not find it.
    m.Write("C:\\Windows\\SysWOW64\\VORMOVS64.DLL", "monitor");
    EXPECT_EQ(Register(nullptr, Supported64), 87u);
    m.Write("C:\\Windows\\System32\\VORMOVS64.DLL", "monitor");
    EXPECT_EQ(Register(nullptr, Supported64), 0u);
}

TEST(RegisterPrintMonitor, OnANamedServer) {
    TempMachine m(Machine("7-x64", {"\\\\PRINTSRV"}));
    m.Write("C:\\Windows\\System32\\VORMOVS64.DLL", "monitor");
    std::string serverHive;
    DWORD error = 0;
    ASSERT_TRUE(winsim::SpoolerHive("\\\\PRINTSRV", &serverHive, &error));
    EXPECT_EQ(Register("\\\\PRINTSRV", Supported64), 0u);
    winsim::RegValue driver;
    EXPECT_TRUE(winsim::reg::GetValue(serverHive, winsim::MonitorKey("Vormo"), "Driver", &driver));
    EXPECT_FALSE(winsim::reg::KeyExists(kHklm, winsim::MonitorKey("Vormo")));
}

TEST(RegisterPrintMonitor, InjectedRefusal) {
    TempMachine m;
    m.Write("C:\\Windows\\System32\\VORMOVS64.DLL", "monitor");
    winsim::AddFault("AddMonitorA", "Vormo", ERROR_ACCESS_DENIED, 1);
    EXPECT_EQ(Register(nullptr, Supported64), 5u);
    EXPECT_EQ(Register(nullptr, Supported64), 0u);
    // A DLL in which the spooler finds no monitor's entry: 127.
    ASSERT_TRUE(DeleteMonitorA(nullptr, nullptr, const_cast<LPSTR>("Vormo")));
    ASSERT_TRUE(winsim::WriteFileAtomic(m.dir() + "/faults", "missing VORMOVS64.DLL InitializePrintMonitor2\n"));
    m.Reopen();
    EXPECT_EQ(Register(nullptr, Supported64), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
}

// ---- the event-log source ----------------------------------------------------

TEST(EventLogSource, WrittenTwiceWithItsFourValues) {
    TempMachine m;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "first" : "second");
        EXPECT_TRUE(RegisterEventLogSource("Application", "VormoPort", kMessageFile, 10));
        EXPECT_EQ(winsim::OpenHandleCount(), 0u);
        DWORD type = 0;
        EXPECT_EQ(Value(kSourceKey, "EventMessageFile", &type), Sz(kMessageFile));
        EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
        EXPECT_EQ(Value(kSourceKey, "TypesSupported", &type), Dword(7));
        EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(Value(kSourceKey, "CategoryMessageFile", &type), Sz(kMessageFile));
        EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
        EXPECT_EQ(Value(kSourceKey, "CategoryCount", &type), Dword(10));
        EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    }
    // A second registration replaces the values.
    EXPECT_TRUE(RegisterEventLogSource("Application", "VormoPort", "C:\\Other.dll", 3));
    EXPECT_EQ(Value(kSourceKey, "CategoryMessageFile"), Sz("C:\\Other.dll"));
    EXPECT_EQ(Value(kSourceKey, "CategoryCount"), Dword(3));
}

TEST(EventLogSource, FirstFailedWriteStopsTheRest) {
    const char* order[] = {"EventMessageFile", "TypesSupported", "CategoryMessageFile", "CategoryCount"};
    for (int failing = 0; failing < 4; ++failing) {
        SCOPED_TRACE(order[failing]);
        TempMachine m;
        winsim::AddFault("RegSetValueExA", order[failing], ERROR_ACCESS_DENIED);
        EXPECT_FALSE(RegisterEventLogSource("Application", "VormoPort", kMessageFile, 10));
        EXPECT_EQ(winsim::OpenHandleCount(), 0u);  // the key is closed on this path too
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(Value(kSourceKey, order[i]) != "<absent>", i < failing) << order[i];
    }
}

TEST(EventLogSource, KeyThatCannotBeCreated) {
    TempMachine m;
    winsim::AddFault("RegCreateKeyExA", kSourceKey, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(RegisterEventLogSource("Application", "VormoPort", kMessageFile, 10));
    EXPECT_FALSE(winsim::reg::KeyExists(kHklm, kSourceKey));
    EXPECT_EQ(winsim::OpenHandleCount(), 0u);
    // A key path that does not fit is refused, not cut.
    EXPECT_FALSE(RegisterEventLogSource("Application", std::string(400, 's').c_str(), kMessageFile, 10));
}
