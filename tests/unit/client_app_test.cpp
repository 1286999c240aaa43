// The client application's deployment and removal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client_test_support.h"
#include "support/sample.h"
#include "client/client_app.h"

using namespace client_test;
using testing_support::TempMachine;

namespace {

const char* const kCultures[] = {
    "ar-SA", "bg-BG", "ca-ES", "cs-CZ", "da-DK", "de-DE", "el-GR", "es-ES", "et-EE", "fi-FI",
    "fr-FR", "he-IL", "hr-HR", "hu-HU", "id-ID", "it-IT", "ja-JP", "kk-KZ", "ko-KR", "lt-LT",
    "lv-LV", "ms-MY", "nb-NO", "nl-NL", "pl-PL", "pt-BR", "pt-PT", "ro-RO", "ru-RU", "sk-SK",
    "sl-SI", "sr-Cyrl-RS", "sr-Latn-RS", "sv-SE", "th-TH", "tr-TR", "uk-UA", "zh-CN", "zh-TW",
};

using testing_support::kClientInstallLines;
using testing_support::kClientRemovalLines;

const char kStopper[] = "C:\\Dist\\StopUIClients.exe | StopUIClients.exe";
const char kClientStart[] =
    "C:\\Program Files (x86)\\Oxlen\\Vormo Client\\Client\\Vormo Client.exe | "
    "\"C:\\Program Files (x86)\\Oxlen\\Vormo Client\\Client\\Vormo Client.exe\"";
const char kAutostart[] = "\"C:\\Program Files (x86)\\Oxlen\\Vormo Client\\Client\\Vormo Client.exe\"";

std::string InClient(const std::string& name) { return std::string(kClient) + "\\" + name; }
std::string Resource(const char* culture) { return InClient(std::string(culture) + "\\Vormo Client.resources.dll"); }

std::string Autostart() {
    winsim::RegValue value;
    if (!winsim::reg::GetValue(kHklm, kRun32, "Vormo Client", &value)) return "(none)";
    return winsim::reg::SzText(value);
}

// Which files and folders of the client the machine holds.
void ExpectClientInstalled(const TempMachine& m) {
    for (const char* name : {"Vormo Client.exe", "Interop.SHDocVw.dll", "Microsoft.mshtml.dll"})
        EXPECT_EQ(m.Read(InClient(name)), m.Read(std::string("C:\\Dist\\") + name)) << name;
    for (const char* culture : kCultures)
        EXPECT_EQ(m.Read(Resource(culture)), m.Read(std::string("C:\\Dist\\") + culture + "\\Vormo Client.resources.dll"))
            << culture;
    EXPECT_FALSE(m.Exists(InClient("StopUIClients.exe")));
}

}  // namespace

TEST(ClientApplication, InstallationDeploysStartsAndEntersTheClient) {
    TempMachine m;
    EnterDistribution();
    EXPECT_EQ(Capture(&InstallClientApplication), kClientInstallLines);
    ExpectClientInstalled(m);
    // Stopper first, then the client, started without arguments.
    EXPECT_EQ(StartedProcesses(), (std::vector<std::string>{kStopper, kClientStart}));
    EXPECT_EQ(Autostart(), kAutostart);
    EXPECT_EQ(winsim::OpenHandleCount(), 0u);
}

TEST(ClientApplication, ClientFolderCannotBeMade) {
    struct Row {
        const char* what;
        void (*arrange)();
    };
    const Row rows[] = {
        {"no Program Files folder", [] { SetProgramFilesDir(""); }},
        {"a level denied",
         [] { winsim::AddFault("CreateDirectoryA", "C:\\Program Files (x86)\\Oxlen", ERROR_ACCESS_DENIED); }},
        // 485 characters of Program Files folder give a client folder of 511
        // (it fits 512 bytes) but more than the 503 that folder creation takes.
        {"a path too long to create", [] { SetProgramFilesDir("C:\\" + std::string(482, 'p')); }},
    };
    for (const Row& row : rows) {
        TempMachine m;
        EnterDistribution();
        row.arrange();
        EXPECT_EQ(Capture(&InstallClientApplication),
                  "  - Installing Vormo Client Graphical User Interface\n"
                  "  ERROR - Cannot create directory Oxlen\\Vormo Client\\Client\n")
            << row.what;
        EXPECT_TRUE(StartedProcesses().empty()) << row.what;
        EXPECT_EQ(Autostart(), "(none)") << row.what;
    }
}

TEST(ClientApplication, DistributionWithoutACultureFolder) {
    TempMachine m;
    EnterDistribution();
    m.Remove("C:\\Dist\\ja-JP");
    EXPECT_EQ(Capture(&InstallClientApplication), kClientInstallLines);
    EXPECT_TRUE(IsFolder(InClient("ja-JP")));
    EXPECT_FALSE(m.Exists(Resource("ja-JP")));
    EXPECT_TRUE(m.Exists(Resource("ko-KR")));
}

TEST(ClientApplication, DistributionWithoutTheExecutable) {
    {
        // Nothing to start: the start fails silently, the autostart entry is
        // written all the same.
        TempMachine m;
        EnterDistribution();
        m.Remove("C:\\Dist\\Vormo Client.exe");
        EXPECT_EQ(Capture(&InstallClientApplication),
                  "  - Installing Vormo Client Graphical User Interface\n"
                  "  - Waiting for all Vormo Clients to terminate\n"
                  "  ERROR - Cannot copy Vormo Client User Interface\n"
                  "  - Executing Vormo Client\n");
        EXPECT_EQ(StartedProcesses(), std::vector<std::string>{kStopper});
        EXPECT_EQ(Autostart(), kAutostart);
    }
    {
        // An executable of an earlier installation is started.
        TempMachine m;
        EnterDistribution();
        m.Write(InClient("Vormo Client.exe"), "earlier client");
        m.Remove("C:\\Dist\\Vormo Client.exe");
        m.Remove("C:\\Dist\\Microsoft.mshtml.dll");
        EXPECT_EQ(Capture(&InstallClientApplication),
                  "  - Installing Vormo Client Graphical User Interface\n"
                  "  - Waiting for all Vormo Clients to terminate\n"
                  "  ERROR - Cannot copy Vormo Client User Interface\n"
                  "  ERROR - Cannot copy Vormo Client User Interface DLL\n"
                  "  - Executing Vormo Client\n");
        EXPECT_EQ(m.Read(InClient("Vormo Client.exe")), "earlier client");
        EXPECT_EQ(StartedProcesses(), (std::vector<std::string>{kStopper, kClientStart}));
    }
}

TEST(ClientApplication, SecondInstallationOverAFirst) {
    TempMachine m;
    EnterDistribution();
    Capture(&InstallClientApplication);
    m.Write("C:\\Dist\\Vormo Client.exe", "client, second version");
    m.Write("C:\\Dist\\de-DE\\Vormo Client.resources.dll", "de-DE, second version");
    EXPECT_EQ(Capture(&InstallClientApplication), kClientInstallLines);
    ExpectClientInstalled(m);
    EXPECT_EQ(m.Read(InClient("Vormo Client.exe")), "client, second version");
    EXPECT_EQ(m.Read(Resource("de-DE")), "de-DE, second version");
    // The first installation's client is ended before the second is started.
    EXPECT_EQ(StartedProcesses(), (std::vector<std::string>{kStopper, kClientStart, kStopper, kClientStart}));
    EXPECT_EQ(Autostart(), kAutostart);
    // The clients are stopped before any file is replaced: the stopper's
    // line comes before a failed copy's line.
    winsim::AddFault("CopyFileA", "Vormo Client.exe", ERROR_ACCESS_DENIED, 1);
    std::string out = Capture(&InstallClientApplication);
    EXPECT_LT(out.find("Waiting for all Vormo Clients"), out.find("ERROR - Cannot copy Vormo Client User Interface"));
}

TEST(ClientApplication, StopperProblemsDoNotStopTheInstallation) {
    TempMachine m;
    EnterDistribution();
    winsim::Config().stopperExitCode = 1;
    EXPECT_EQ(Capture(&InstallClientApplication),
              "  - Installing Vormo Client Graphical User Interface\n"
              "  - Waiting for all Vormo Clients to terminate\n"
              "  ERROR - Cannot stop all Vormo Client instances\n"
              "  - Executing Vormo Client\n");
    ExpectClientInstalled(m);
}

TEST(ClientApplication, RemovalTakesEverythingAway) {
    TempMachine m;
    EnterDistribution();
    Capture(&InstallClientApplication);
    m.Write(std::string(kWebBrowser) + "\\cache\\page.html", "x");
    EXPECT_EQ(Capture(&RemoveClientApplication), kClientRemovalLines);
    EXPECT_FALSE(m.Exists(kClient));
    EXPECT_FALSE(m.Exists(kWebBrowser));
    EXPECT_EQ(Autostart(), "(none)");
    // The product folder belongs to the font removal.
    EXPECT_TRUE(IsFolder(kProduct));
    std::vector<std::string> started = StartedProcesses();
    ASSERT_EQ(started.size(), 4u);
    EXPECT_EQ(started[2], kStopper);
    EXPECT_EQ(started[3].substr(0, 31), "C:\\Windows\\system32\\cmd.exe | \"");
    EXPECT_EQ(winsim::OpenHandleCount(), 0u);
    // Twice: nothing left, nothing said beyond the headings.
    EXPECT_EQ(Capture(&RemoveClientApplication), kClientRemovalLines);
}

TEST(ClientApplication, RemovalLeavesUserFilesAndTheirFolders) {
    TempMachine m;
    EnterDistribution();
    Capture(&InstallClientApplication);
    m.Write(InClient("fr-FR\\notes.txt"), "mine");
    m.Write(InClient("settings.xml"), "mine");
    EXPECT_EQ(Capture(&RemoveClientApplication), kClientRemovalLines);
    EXPECT_FALSE(m.Exists(InClient("Vormo Client.exe")));
    EXPECT_FALSE(m.Exists(InClient("Interop.SHDocVw.dll")));
    EXPECT_FALSE(m.Exists(Resource("fr-FR")));
    EXPECT_EQ(m.Read(InClient("fr-FR\\notes.txt")), "mine");
    EXPECT_EQ(m.Read(InClient("settings.xml")), "mine");
    EXPECT_FALSE(m.Exists(InClient("de-DE")));
    EXPECT_EQ(Autostart(), "(none)");
}

TEST(ClientApplication, RemovalWithoutAClientFolderTouchesNothing) {
    TempMachine m;
    EnterDistribution();
    Capture(&InstallClientApplication);
    // Files where paths built from an empty folder would point: the root of
    // the current drive and the current directory.
    m.Write("C:\\Vormo Client.exe", "root");
    m.Write("C:\\ar-SA\\Vormo Client.resources.dll", "root");
    ASSERT_TRUE(CreateDirectoryA("C:\\zh-TW", nullptr));
    SetProgramFilesDir("");
    EXPECT_EQ(Capture(&RemoveClientApplication), kClientRemovalLines);
    EXPECT_TRUE(m.Exists("C:\\Vormo Client.exe"));
    EXPECT_TRUE(m.Exists("C:\\ar-SA\\Vormo Client.resources.dll"));
    EXPECT_TRUE(IsFolder("C:\\zh-TW"));
    EXPECT_TRUE(m.Exists("C:\\Dist\\Vormo Client.exe"));
    EXPECT_TRUE(m.Exists("C:\\Dist\\ja-JP\\Vormo Client.resources.dll"));
    ExpectClientInstalled(m);
    EXPECT_EQ(Autostart(), kAutostart);
    // The stopper still ran; no command interpreter did.
    EXPECT_EQ(StartedProcesses().back(), kStopper);
}

TEST(ClientApplication, RemovalGoesOnWithoutTheStopper) {
    TempMachine m;
    EnterDistribution();
    Capture(&InstallClientApplication);
    m.Remove("C:\\Dist\\StopUIClients.exe");
    EXPECT_EQ(Capture(&RemoveClientApplication),
              "  - Uninstalling Vormo Client Graphical User Interface\n"
              "  - Waiting for all Vormo Clients to terminate\n"
              "  ERROR - Cannot stop all Vormo Client instances\n"
              "  - Removing Vormo Client\n");
    EXPECT_FALSE(m.Exists(kClient));
}
