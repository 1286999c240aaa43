// Which Windows the installer runs on.
#pragma once

#include <cstddef>

enum PlatformClass {
    Supported32 = 5,  // supported 32-bit Windows: the 32-bit file set
    Supported64 = 6,  // supported 64-bit Windows: the 64-bit file set
    Unsupported = 7,
};

// A detection line holds at most 127 characters.
constexpr size_t kDetectionLineSize = 128;

// What the version query found.
struct WindowsVersion {
    PlatformClass platform;
    bool queryFailed;                // neither basic version query succeeded
    char line[kDetectionLineSize];  // the detection line, "    (... Detected)\n"; empty when none
};
// Classifies the system without printing.
WindowsVersion ReadWindowsVersion();
// Classifies the system and prints what it found: the error line when the
// version could not be read, then the detection line.
PlatformClass DetectWindowsVersion();
