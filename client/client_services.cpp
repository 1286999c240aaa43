// Services around the client application: its autostart entry, stopping
// running clients through the client stopper, and its per-user data.
#include <cstdio>
#include <cstring>

#include "base/output.h"
#include "client/client_files.h"
#include "client/locations.h"
#include "platform/child_process.h"
#include "platform/handles.h"

namespace {

const char kStopperName[] = "StopUIClients.exe";

// Runs the client stopper from the installer folder (the current directory),
// by its full path and without any search, and waits for it. False when it
// cannot be started or reports that clients are still running.
bool RunClientStopper() {
    char folder[kCurrentDirectorySize] = {};
    DWORD n = GetCurrentDirectoryA(sizeof folder, folder);
    if (n == 0 || n >= sizeof folder) return false;
    AppendBackslash(folder, sizeof folder);
    char application[kCurrentDirectorySize + sizeof kStopperName] = {};
    if (!JoinPath(folder, kStopperName, application, sizeof application)) return false;
    // The command line is the program name alone; CreateProcessA may write to it.
    char commandLine[sizeof kStopperName] = {};
    std::memcpy(commandLine, kStopperName, sizeof kStopperName);
    DWORD exitCode = 1;
    return platform::RunProcess(application, commandLine, &exitCode) && exitCode == 0;
}

// True when a key is a registry link (a key whose "SymbolicLinkValue" is of
// type REG_LINK), looked at in its own place without following it.
bool IsRegistryLink(HKEY parent, const char* name) {
    platform::RegKey key;
    if (RegOpenKeyExA(parent, name, REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE, key.out()) != ERROR_SUCCESS) return false;
    DWORD type = REG_NONE;
    return RegQueryValueExA(key.get(), "SymbolicLinkValue", nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
           type == REG_LINK;
}

}  // namespace

void SetClientAutostart(const char* commandLine) {
    if (!commandLine) return;
    platform::RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.out()) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key.get(), kAutostartValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(commandLine),
                   static_cast<DWORD>(std::strlen(commandLine) + 1));
}

bool ReadClientAutostart(char* buffer, DWORD bufferSize) {
    if (!buffer || bufferSize == 0) return false;
    buffer[0] = '\0';
    platform::RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_QUERY_VALUE, key.out()) != ERROR_SUCCESS) return false;
    DWORD size = bufferSize;
    LSTATUS status = RegQueryValueExA(key.get(), kAutostartValue, nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size);
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return false;
    if (status == ERROR_MORE_DATA) buffer[0] = '\0';
    else if (size < bufferSize) buffer[size] = '\0';
    buffer[bufferSize - 1] = '\0';
    return true;
}

void RemoveClientAutostart() {
    platform::RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.out()) != ERROR_SUCCESS)
        return;
    RegDeleteValueA(key.get(), kAutostartValue);
}

void StopClients() {
    PrintText("  - Waiting for all Vormo Clients to terminate\n");
    if (!RunClientStopper()) PrintText("  ERROR - Cannot stop all Vormo Client instances\n");
}

void RemoveUserData() {
    // No registry link on the way to a data key is followed: a data key in
    // the place of one, or behind one, stays with its values (a link opened
    // without REG_OPTION_OPEN_LINK, and a deletion through it, would reach
    // the key it leads to).
    if (IsRegistryLink(HKEY_CURRENT_USER, kVolatileEnvironment)) return;
    platform::RegKey environment;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kVolatileEnvironment, 0, KEY_ALL_ACCESS, environment.out()) != ERROR_SUCCESS)
        return;
    // The enumerated subkeys themselves stay, so the indexes stay valid.
    for (DWORD index = 0;; ++index) {
        char name[kVolatileSubkeyNameSize] = {};
        DWORD size = sizeof name;
        if (RegEnumKeyExA(environment.get(), index, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        if (IsRegistryLink(environment.get(), name)) continue;
        size_t length = std::strlen(name);
        int n = std::snprintf(name + length, sizeof name - length, "\\%s", kUserDataKey);
        if (n < 0 || static_cast<size_t>(n) >= sizeof name - length) continue;  // no such key can exist
        if (IsRegistryLink(environment.get(), name)) continue;
        platform::RegKey data;
        if (RegOpenKeyExA(environment.get(), name, 0, KEY_ALL_ACCESS, data.out()) != ERROR_SUCCESS) continue;
        RegDeleteValueA(data.get(), "LastJobOwner");
        RegDeleteValueA(data.get(), "LastLoginName");
        // A data key with subkeys of its own stays.
        RegDeleteKeyA(environment.get(), name);
    }
}
