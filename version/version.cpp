// Windows version detection: the version records, WOW64, and the table that
// turns them into a detection line and a platform class.
#include "version/version.h"

#include <cstdio>
#include <cstring>

#include "base/output.h"
#include "base/wow64.h"
#include "platform/win32.h"

namespace {

static_assert(sizeof(OSVERSIONINFOA) == 148, "the basic version record is 148 bytes");
static_assert(sizeof(OSVERSIONINFOEXA) == 156, "the extended version record is 156 bytes");

// Classes used while classifying, before the final mapping to PlatformClass.
enum PreliminaryClass {
    kNt4 = 0,
    kWin9xOrOther = 1,
    kWin2000 = 2,
    kXpOr2003 = 3,  // bitness still open
    kXp64 = 4,
    kSupported32 = 5,
    kSupported64 = 6,
    kUnsupported = 7,
};

// The lines of the version 6.0 to 6.3 systems: [minor][server][wow64].
const char* const kVersion6Lines[4][2][2] = {
    {{"    (32-bit Windows Vista Detected)\n", "    (64-bit Windows Vista Detected)\n"},
     {"    (32-bit Windows 2008 Server Detected)\n", "    (64-bit Windows 2008 Server Detected)\n"}},
    {{"    (32-bit Windows 7 Detected)\n", "    (64-bit Windows 7 Detected)\n"},
     {"    (32-bit Windows 2008R2 Server Detected)\n", "    (64-bit Windows 2008R2 Server Detected)\n"}},
    {{"    (32-bit Windows 8 Detected)\n", "    (64-bit Windows 8 Detected)\n"},
     {"    (32-bit Windows 2012 Server Detected)\n", "    (64-bit Windows 2012 Server Detected)\n"}},
    {{"    (32-bit Windows 8.1 Detected)\n", "    (64-bit Windows 8.1 Detected)\n"},
     {"    (32-bit Windows 2012R2 Server Detected)\n", "    (64-bit Windows 2012R2 Server Detected)\n"}},
};

void Say(char (&line)[kDetectionLineSize], const char* text) { std::snprintf(line, sizeof line, "%s", text); }

void SayUnknown(char (&line)[kDetectionLineSize], const char* family, DWORD major, DWORD minor) {
    std::snprintf(line, sizeof line, "    (Unknown %s OS Detected ver.%d.%d)\n", family, static_cast<int>(major),
                  static_cast<int>(minor));
}

PreliminaryClass ClassifyWin9x(DWORD major, DWORD minor, char (&line)[kDetectionLineSize]) {
    switch (minor) {
        case 0:
            Say(line, "    (Windows 95 Detected)\n");
            return kWin9xOrOther;
        case 10:
            Say(line, "    (Windows 98 Detected)\n");
            return kWin9xOrOther;
        case 90:
            Say(line, "    (Windows Me Detected)\n");
            return kWin9xOrOther;
        default:
            SayUnknown(line, "Win32", major, minor);
            return kUnsupported;
    }
}

PreliminaryClass ClassifyNt(DWORD major, DWORD minor, bool server, bool wow64, char (&line)[kDetectionLineSize]) {
    if (major == 3) {
        Say(line, "    (Windows NT 3.51 Detected)\n");
        return kUnsupported;
    }
    if (major == 4) {
        Say(line, "    (Windows NT 4.0 Detected)\n");
        return kNt4;
    }
    if (major == 5 && minor == 0) {
        Say(line, "    (Windows 2000 Detected)\n");
        return kWin2000;
    }
    if (major == 5 && minor == 1) {
        Say(line, "    (Windows XP Detected)\n");
        return kXpOr2003;
    }
    if (major == 5 && minor == 2) {
        // Told apart by WOW64 alone: 64-bit Server 2003 is reported as 64-bit XP.
        if (wow64) {
            Say(line, "    (64-bit Windows XP Detected)\n");
            return kXp64;
        }
        Say(line, "    (Windows 2003 Detected)\n");
        return kXpOr2003;
    }
    if (major == 6 && minor <= 3) {
        // These rows ask again at the moment they name the system.
        bool wow64Now = IsWow64();
        Say(line, kVersion6Lines[minor][server ? 1 : 0][wow64Now ? 1 : 0]);
        return wow64Now ? kSupported64 : kSupported32;
    }
    SayUnknown(line, "Win32NT", major, minor);
    return kUnsupported;
}

PlatformClass MapClass(PreliminaryClass preliminary, bool wow64) {
    switch (preliminary) {
        case kXpOr2003:
            return wow64 ? Supported64 : Supported32;
        case kXp64:
        case kSupported64:
            return Supported64;
        case kSupported32:
            return Supported32;
        case kNt4:
        case kWin9xOrOther:
        case kWin2000:
        case kUnsupported:
            break;
    }
    return Unsupported;
}

}  // namespace

WindowsVersion ReadWindowsVersion() {
    WindowsVersion found = {Unsupported, false, {}};
    OSVERSIONINFOA basic;
    std::memset(&basic, 0, sizeof basic);
    basic.dwOSVersionInfoSize = sizeof basic;
    if (!GetVersionExA(&basic)) {
        std::memset(&basic, 0, sizeof basic);
        basic.dwOSVersionInfoSize = sizeof basic;
        if (!GetVersionExA(&basic)) {
            found.queryFailed = true;
            // Go on with a zeroed record: platform 0 is classified as unsupported.
            std::memset(&basic, 0, sizeof basic);
        }
    }

    OSVERSIONINFOEXA extended;
    std::memset(&extended, 0, sizeof extended);
    extended.dwOSVersionInfoSize = sizeof extended;
    bool server = GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&extended)) &&
                  extended.wProductType != VER_NT_WORKSTATION;

    bool wow64 = IsWow64();

    PreliminaryClass preliminary = kWin9xOrOther;  // neither the 9x nor the NT family: no line
    if (basic.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
        preliminary = ClassifyWin9x(basic.dwMajorVersion, basic.dwMinorVersion, found.line);
    else if (basic.dwPlatformId == VER_PLATFORM_WIN32_NT)
        preliminary = ClassifyNt(basic.dwMajorVersion, basic.dwMinorVersion, server, wow64, found.line);
    found.platform = MapClass(preliminary, wow64);
    return found;
}

PlatformClass DetectWindowsVersion() {
    WindowsVersion found = ReadWindowsVersion();
    if (found.queryFailed) PrintText("ERROR Unable to Detect Windows Version.\n");
    if (found.line[0]) PrintText(found.line);
    return found.platform;
}
