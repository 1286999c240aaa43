// The client application's files: deployment and removal.
#pragma once

void InstallClientApplication();
void RemoveClientApplication();
