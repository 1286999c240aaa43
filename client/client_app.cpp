// The client application's files: the executable, its two interop assemblies
// and one resource assembly per culture, deployed into the client folder and
// removed from it.
#include "client/client_app.h"

#include <cstdio>
#include <cstring>

#include "base/output.h"
#include "client/client_files.h"
#include "client/locations.h"
#include "platform/child_process.h"

namespace {

const char kClientExe[] = "Vormo Client.exe";
const char kResources[] = "Vormo Client.resources.dll";

struct ClientFile {
    const char* name;
    const char* copyError;
};

const ClientFile kClientFiles[] = {
    {"Vormo Client.exe", "  ERROR - Cannot copy Vormo Client User Interface\n"},
    {"Interop.SHDocVw.dll", "  ERROR - Cannot copy Vormo Client User Interface DLL\n"},
    {"Microsoft.mshtml.dll", "  ERROR - Cannot copy Vormo Client User Interface DLL\n"},
};

}  // namespace

const char* const kClientFilesChecked[4] = {"Vormo Client.exe", "Interop.SHDocVw.dll", "Microsoft.mshtml.dll",
                                            "StopUIClients.exe"};

namespace {

const char* const kCultures[] = {
    "ar-SA", "bg-BG", "ca-ES", "cs-CZ", "da-DK", "de-DE", "el-GR", "es-ES", "et-EE", "fi-FI",
    "fr-FR", "he-IL", "hr-HR", "hu-HU", "id-ID", "it-IT", "ja-JP", "kk-KZ", "ko-KR", "lt-LT",
    "lv-LV", "ms-MY", "nb-NO", "nl-NL", "pl-PL", "pt-BR", "pt-PT", "ro-RO", "ru-RU", "sk-SK",
    "sl-SI", "sr-Cyrl-RS", "sr-Latn-RS", "sv-SE", "th-TH", "tr-TR", "uk-UA", "zh-CN", "zh-TW",
};
static_assert(sizeof kCultures / sizeof kCultures[0] == 39, "the client ships 39 cultures");

// Paths below the client folder, as in the folder walks.
const size_t kPathSize = kWalkPathSize;

// "a\b" into out; false (out empty) when it does not fit.
bool Combine(const char* folder, const char* name, char (&out)[kPathSize]) {
    int n = std::snprintf(out, sizeof out, "%s\\%s", folder, name);
    if (n < 0 || static_cast<size_t>(n) >= sizeof out) {
        out[0] = '\0';
        return false;
    }
    return true;
}

// Starts the client as a process of its own, without waiting for it.
void StartClient(const char* clientFolder) {
    char application[kPathSize] = {};
    if (!Combine(clientFolder, kClientExe, application)) return;
    // Its command line is its own path, quoted because it holds blanks.
    char commandLine[kPathSize + 2] = {};
    int n = std::snprintf(commandLine, sizeof commandLine, "\"%s\"", application);
    if (n < 0 || static_cast<size_t>(n) >= sizeof commandLine) return;
    platform::StartProcess(application, commandLine, nullptr);
}

}  // namespace

void InstallClientApplication() {
    PrintText("  - Installing Vormo Client Graphical User Interface\n");
    char clientFolder[kClientFolderInstallSize] = {};
    if (!GetClientFolder(clientFolder, sizeof clientFolder) || !CreateDirectoryPath(clientFolder)) {
        PrintText("  ERROR - Cannot create directory Oxlen\\Vormo Client\\Client\n");
        return;
    }
    // Running clients hold their files: end them before replacing anything.
    StopClients();
    for (const ClientFile& file : kClientFiles) {
        char target[kPathSize] = {};
        if (!Combine(clientFolder, file.name, target) || !CopyFileA(file.name, target, FALSE))
            PrintText(file.copyError);
    }
    for (const char* culture : kCultures) {
        char folder[kPathSize] = {};
        char source[kPathSize] = {};
        char target[kPathSize] = {};
        if (!Combine(clientFolder, culture, folder)) continue;
        CreateDirectoryPath(folder);
        if (Combine(culture, kResources, source) && Combine(folder, kResources, target))
            CopyFileA(source, target, FALSE);
    }
    PrintText("  - Executing Vormo Client\n");
    StartClient(clientFolder);
    char autostart[kPathSize] = {};
    int n = std::snprintf(autostart, sizeof autostart, "\"%s\\%s\"", clientFolder, kClientExe);
    if (n >= 0 && static_cast<size_t>(n) < sizeof autostart) SetClientAutostart(autostart);
}

void RemoveClientApplication() {
    PrintText("  - Uninstalling Vormo Client Graphical User Interface\n");
    char clientFolder[kClientFolderRemovalSize] = {};
    bool known = GetClientFolder(clientFolder, sizeof clientFolder);
    StopClients();
    PrintText("  - Removing Vormo Client\n");
    // Without the client folder there is nothing this step may touch: every
    // path below would name a place outside it.
    if (!known) return;
    // Nothing behind a link is entered: a link in the client folder's place
    // goes as a link at the end, and a folder behind a link stays whole.
    const int level = PathLevels(kClientFolderPath);
    const int link = FirstLinkLevel(clientFolder, kClientFolderPath);
    const bool enter = MayEnterLevel(link, level);
    if (enter) {
        for (const ClientFile& file : kClientFiles) {
            char path[kPathSize] = {};
            if (Combine(clientFolder, file.name, path)) DeleteFileA(path);
        }
    }
    RemoveClientAutostart();
    if (enter) {
        for (const char* culture : kCultures) {
            char folder[kPathSize] = {};
            char path[kPathSize] = {};
            if (!Combine(clientFolder, culture, folder)) continue;
            if (Combine(folder, kResources, path)) DeleteFileA(path);
            // Only an empty folder goes; other files keep it.
            RemoveDirectoryA(folder);
        }
    }
    RemoveWebBrowserFolder();
    RemoveLevel(clientFolder, link, level);
}
