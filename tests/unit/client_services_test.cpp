// The client's autostart entry, the client stopper and the per-user data.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/client_files.h"
#include "client_test_support.h"

using namespace client_test;
using testing_support::TempMachine;

namespace {

const char kCommand[] = "\"C:\\Program Files (x86)\\Oxlen\\Vormo Client\\Client\\Vormo Client.exe\"";
const char kVolatile[] = "Volatile Environment";

bool RunValue(const char* key, winsim::RegValue* value) {
    return winsim::reg::GetValue(kHklm, key, "Vormo Client", value);
}

void AddClientData(const std::string& session) {
    std::string key = std::string(kVolatile) + "\\" + session + "\\Oxlen Vormo Client";
    ASSERT_TRUE(winsim::reg::CreateKey(kHkcu, key));
    winsim::reg::SetValue(kHkcu, key, "LastJobOwner", winsim::reg::Sz("alice"));
    winsim::reg::SetValue(kHkcu, key, "LastLoginName", winsim::reg::Sz("alice@corp"));
}

}  // namespace

TEST(ClientServices, AutostartSetTwiceAndRemovedTwice) {
    TempMachine m;
    testing_support::BeginCapture();
    SetClientAutostart(kCommand);
    SetClientAutostart(kCommand);
    std::string out = testing_support::EndCapture();
    EXPECT_EQ(out, "");
    winsim::RegValue value;
    // A 32-bit installer writes the 32-bit view of the Run key.
    ASSERT_TRUE(RunValue(kRun32, &value));
    EXPECT_FALSE(RunValue(kRun64, nullptr));
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(value.data, std::string(kCommand) + std::string(1, '\0'));  // with its terminator
    EXPECT_EQ(winsim::reg::Values(kHklm, kRun32).size(), 1u);

    testing_support::BeginCapture();
    RemoveClientAutostart();
    RemoveClientAutostart();
    EXPECT_EQ(testing_support::EndCapture(), "");
    EXPECT_FALSE(RunValue(kRun32, nullptr));
    EXPECT_EQ(winsim::OpenHandleCount(), 0u);
}

TEST(ClientServices, AutostartOn32BitWindowsAndWithoutTheRunKey) {
    {
        TempMachine m(ThirtyTwoBitMachine());
        SetClientAutostart("\"C:\\x.exe\"");
        winsim::RegValue value;
        ASSERT_TRUE(RunValue(kRun64, &value));
        EXPECT_EQ(winsim::reg::SzText(value), "\"C:\\x.exe\"");
    }
    {
        // A missing key is not made; removal finds nothing; both are silent.
        TempMachine m;
        winsim::reg::DeleteTree(kHklm, kRun32);
        testing_support::BeginCapture();
        SetClientAutostart(kCommand);
        RemoveClientAutostart();
        SetClientAutostart(nullptr);
        EXPECT_EQ(testing_support::EndCapture(), "");
        EXPECT_FALSE(winsim::reg::KeyExists(kHklm, kRun32));
        EXPECT_EQ(winsim::OpenHandleCount(), 0u);
    }
}

TEST(ClientServices, StopperOutcomes) {
    struct Row {
        const char* what;
        DWORD exitCode;
        bool present;
        const char* expected;
    };
    const Row rows[] = {
        {"all clients ended", 0, true, "  - Waiting for all Vormo Clients to terminate\n"},
        {"clients still running", 3, true,
         "  - Waiting for all Vormo Clients to terminate\n  ERROR - Cannot stop all Vormo Client instances\n"},
        {"stopper missing", 0, false,
         "  - Waiting for all Vormo Clients to terminate\n  ERROR - Cannot stop all Vormo Client instances\n"},
    };
    for (const Row& row : rows) {
        TempMachine m;
        EnterDistribution();
        winsim::Config().stopperExitCode = row.exitCode;
        if (!row.present) m.Remove("C:\\Dist\\StopUIClients.exe");
        testing_support::BeginCapture();
        StopClients();
        EXPECT_EQ(testing_support::EndCapture(), row.expected) << row.what;
        std::vector<std::string> started = StartedProcesses();
        if (row.present)
            EXPECT_EQ(started, std::vector<std::string>{"C:\\Dist\\StopUIClients.exe | StopUIClients.exe"}) << row.what;
        else
            EXPECT_TRUE(started.empty()) << row.what;
        EXPECT_EQ(winsim::OpenHandleCount(), 0u) << row.what;
    }
}

TEST(ClientServices, StopperIsTakenFromTheInstallerFolderOnly) {
    TempMachine m;
    EnterDistribution();
    // A stopper elsewhere on the search path is not used.
    winsim::Process().redirectionDisabled = true;
    m.Write("C:\\Windows\\System32\\StopUIClients.exe", "elsewhere");
    m.Remove("C:\\Dist\\StopUIClients.exe");
    testing_support::BeginCapture();
    StopClients();
    EXPECT_EQ(testing_support::EndCapture(),
              "  - Waiting for all Vormo Clients to terminate\n  ERROR - Cannot stop all Vormo Client instances\n");
    // From a drive root the path has no doubled backslash.
    m.Write("C:\\StopUIClients.exe", "root");
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
    testing_support::BeginCapture();
    StopClients();
    EXPECT_EQ(testing_support::EndCapture(), "  - Waiting for all Vormo Clients to terminate\n");
    EXPECT_EQ(StartedProcesses(), std::vector<std::string>{"C:\\StopUIClients.exe | StopUIClients.exe"});
}

TEST(ClientServices, UserDataOfEverySessionIsRemoved) {
    TempMachine m;
    AddClientData("1");
    AddClientData("2");
    // A session without client data, and one whose data key has a subkey.
    ASSERT_TRUE(winsim::reg::CreateKey(kHkcu, std::string(kVolatile) + "\\3"));
    winsim::reg::SetValue(kHkcu, std::string(kVolatile) + "\\3", "USERDOMAIN", winsim::reg::Sz("CORP"));
    AddClientData("4");
    ASSERT_TRUE(winsim::reg::CreateKey(kHkcu, std::string(kVolatile) + "\\4\\Oxlen Vormo Client\\Cache"));
    testing_support::BeginCapture();
    RemoveUserData();
    EXPECT_EQ(testing_support::EndCapture(), "");
    EXPECT_FALSE(winsim::reg::KeyExists(kHkcu, std::string(kVolatile) + "\\1\\Oxlen Vormo Client"));
    EXPECT_FALSE(winsim::reg::KeyExists(kHkcu, std::string(kVolatile) + "\\2\\Oxlen Vormo Client"));
    // The session keys themselves stay.
    for (const char* session : {"1", "2", "3", "4"})
        EXPECT_TRUE(winsim::reg::KeyExists(kHkcu, std::string(kVolatile) + "\\" + session)) << session;
    EXPECT_EQ(winsim::reg::Values(kHkcu, std::string(kVolatile) + "\\3").size(), 1u);
    // The data key with a subkey keeps its subkey but loses its two values.
    std::string kept = std::string(kVolatile) + "\\4\\Oxlen Vormo Client";
    EXPECT_TRUE(winsim::reg::KeyExists(kHkcu, kept));
    EXPECT_TRUE(winsim::reg::Values(kHkcu, kept).empty());
    EXPECT_TRUE(winsim::reg::KeyExists(kHkcu, kept + "\\Cache"));
    EXPECT_EQ(winsim::OpenHandleCount(), 0u);
}

TEST(ClientServices, UserDataWithoutVolatileEnvironment) {
    TempMachine m;
    winsim::reg::DeleteTree(kHkcu, kVolatile);
    testing_support::BeginCapture();
    RemoveUserData();
    EXPECT_EQ(testing_support::EndCapture(), "");
    EXPECT_FALSE(winsim::reg::KeyExists(kHkcu, kVolatile));
}

TEST(ClientServices, UserDataBehindARegistryLinkOrInItsPlaceStays) {
    // A registry link is a key holding "SymbolicLinkValue" of type REG_LINK;
    // winsim never follows one, so the keys below it stand for what lies
    // behind it on Windows.
    const std::u16string target = u"\\Registry\\Machine\\SOFTWARE\\Elsewhere";
    const winsim::RegValue link{REG_LINK, std::string(reinterpret_cast<const char*>(target.data()), 2 * target.size())};
    for (const std::string& at : {std::string(kVolatile), std::string(kVolatile) + "\\1",
                                 std::string(kVolatile) + "\\1\\Oxlen Vormo Client"}) {
        SCOPED_TRACE(at);
        TempMachine m;
        AddClientData("1");
        ASSERT_TRUE(winsim::reg::SetValue(kHkcu, at, "SymbolicLinkValue", link));
        const std::string before = winsim::reg::Export(kHkcu, kVolatile, "HKCU");
        RemoveUserData();
        EXPECT_EQ(winsim::reg::Export(kHkcu, kVolatile, "HKCU"), before);
        EXPECT_EQ(winsim::OpenHandleCount(), 0u);
    }
}
