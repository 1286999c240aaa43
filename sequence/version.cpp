#include "sequence/version.h"

PlatformClass DetectWindowsVersion() { return Unsupported; }
