#include "client/client_files.h"
#include "client/locations.h"
#include "sequence/client_app.h"

bool GetProgramFilesSubfolder(const char*, char* buffer, DWORD bufferSize) {
    if (buffer && bufferSize) buffer[0] = '\0';
    return false;
}
bool GetWebBrowserFolder(char* buffer, DWORD bufferSize) { return GetProgramFilesSubfolder("", buffer, bufferSize); }
bool GetClientFolder(char* buffer, DWORD bufferSize) { return GetProgramFilesSubfolder("", buffer, bufferSize); }
bool CreateDirectoryPath(const char*) { return false; }
void AppendBackslash(char*, DWORD) {}
void JoinPath(const char*, const char*, char*, DWORD) {}
bool ForEachFile(const char*, const char*, FileStep, void*) { return true; }
bool CopyFiles(const char*, const char*, const char*) { return false; }
bool DeleteFiles(const char*, const char*) { return false; }
bool RemoveWebBrowserFolder() { return false; }
bool InstallFontFiles() { return true; }
bool InstallSubnetMappingFile() { return true; }
bool RemoveSubnetMappingFile() { return true; }
bool RemoveFontFiles() { return true; }
void SetClientAutostart(const char*) {}
void RemoveClientAutostart() {}
void StopClients() {}
void RemoveUserData() {}
void InstallClientApplication() {}
void RemoveClientApplication() {}
