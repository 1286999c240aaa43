// The client application's files: deployment and removal.
#pragma once

// The client's files that an installation of the standard edition tests in
// the distribution before it changes anything, in this order.
extern const char* const kClientFilesChecked[4];

void InstallClientApplication();
void RemoveClientApplication();
