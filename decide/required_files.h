// The files an installation tests in the distribution before it changes
// anything, and the test itself.
#pragma once

#include <cstddef>

#include "base/run_plan.h"
#include "version/version.h"

struct RequiredFile {
    const char* path;           // as the installation opens it, relative to the installer's folder
    const char* nameInMessage;  // as "ERROR While Checking '%s'." names it
};

// At most: the INI file, the Cairo library, the monitor and UI DLLs and the
// client's four files.
constexpr size_t kMaxRequiredFiles = 8;

// The files in the order they are tested: the INI file (unless the sections
// come from the registry), the Cairo library of the platform class (of the
// 32-bit set unless Supported64), the monitor and UI DLLs of a supported
// class, and the client's files where the edition ships the client.
// Returns how many it wrote into files.
size_t GetRequiredFiles(const RunPlan& plan, PlatformClass platform, RequiredFile (&files)[kMaxRequiredFiles]);

// Present and readable: the file can be opened for reading.
bool IsReadable(const char* path);
