// Which Windows the installer runs on.
#pragma once

enum PlatformClass {
    Supported32 = 5,  // supported 32-bit Windows: the 32-bit file set
    Supported64 = 6,  // supported 64-bit Windows: the 64-bit file set
    Unsupported = 7,
};

// Classifies the system and prints its detection line.
PlatformClass DetectWindowsVersion();
