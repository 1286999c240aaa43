// Fonts, the subnet mapping file, and the services around the client.
#pragma once

#include <cstddef>

#include "base/edition.h"
#include "platform/win32.h"

// The fonts go to the edition's font folder, the subnet mapping file to its
// product folder, both below the Program Files folder.
bool InstallFontFiles(const EditionProfile& edition);
bool InstallSubnetMappingFile(const EditionProfile& edition);
// True when the installer runs from that folder (the current directory,
// compared as the system compares text of the ANSI code page: lstrcmpiA):
// started from the product folder, the subnet mapping file is in place.
bool RunsFromFolder(const char* folder);
bool RemoveSubnetMappingFile(const EditionProfile& edition);
bool RemoveFontFiles(const EditionProfile& edition);

// Where the client's registry entries stand: its autostart value in the Run
// key (HKEY_LOCAL_MACHINE), and its per-user data key below each session's
// subkey of "Volatile Environment" (HKEY_CURRENT_USER).
constexpr char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kAutostartValue[] = "Vormo Client";
constexpr char kVolatileEnvironment[] = "Volatile Environment";
constexpr char kUserDataKey[] = "Oxlen Vormo Client";

// A subkey name of "Volatile Environment" is read into 512 bytes, which also
// take the "\Oxlen Vormo Client" suffix; a name without room for it is skipped.
constexpr size_t kVolatileSubkeyNameSize = 512;

void SetClientAutostart(const char* commandLine);
// The client's autostart entry as it stands, into buffer (terminated, cut to
// fit); false when there is none.
bool ReadClientAutostart(char* buffer, DWORD bufferSize);
void RemoveClientAutostart();
void StopClients();
void RemoveUserData();
