// Fonts, the subnet mapping file, and the services around the client.
#pragma once

bool InstallFontFiles();
bool InstallSubnetMappingFile();
bool RemoveSubnetMappingFile();
bool RemoveFontFiles();

void SetClientAutostart(const char* commandLine);
void RemoveClientAutostart();
void StopClients();
void RemoveUserData();
