// Mutexes, environment, modules and text conversion.
#include <cstring>

#include "check.h"
#include "platform/handles.h"

CONFORMANCE_CASE(SecondCreateOfANamedMutexGives183) {
    platform::KernelHandle first(CreateMutexA(nullptr, TRUE, "WinsimConformanceMutex"));
    CHECK(first.valid());
    CHECK_EQ(GetLastError(), 0u);
    platform::KernelHandle second(CreateMutexA(nullptr, TRUE, "WinsimConformanceMutex"));
    CHECK(second.valid());
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CHECK(ReleaseMutex(first.get()));
}

CONFORMANCE_CASE(EnvironmentVariableSizeProtocol) {
    char small[2];
    DWORD needed = GetEnvironmentVariableA("COMSPEC", small, sizeof small);
    char full[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("COMSPEC", full, sizeof full);
    CHECK(length > 0);
    CHECK_EQ(needed, length + 1);
    CHECK_EQ(GetEnvironmentVariableA("WINSIM_SURELY_NOT_SET", full, sizeof full), 0u);
}

CONFORMANCE_CASE(RunTimeBindingOfKernelAndSpoolerEntries) {
    platform::Library kernel(LoadLibraryA("kernel32.dll"));
    platform::Library spooler(LoadLibraryA("winspool.drv"));
    CHECK(kernel.valid());
    CHECK(spooler.valid());
    CHECK(GetProcAddress(kernel.get(), "MultiByteToWideChar") != nullptr);
    CHECK(GetProcAddress(spooler.get(), "OpenPrinterW") != nullptr);
    CHECK(GetProcAddress(spooler.get(), "XcvDataW") != nullptr);
    CHECK(GetProcAddress(spooler.get(), "NoSuchExport") == nullptr);
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    CHECK(GetModuleHandleA("kernel32") != nullptr);
}

CONFORMANCE_CASE(MultiByteToWideCharInCodePage1252) {
    const char text[] = "Caf\xE9 \x80";  // e acute and the euro sign
    WCHAR wide[16];
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 16);
    CHECK_EQ(n, 7);  // the terminator is converted too
    CHECK_EQ(static_cast<unsigned>(wide[3]), 0xE9u);
    CHECK_EQ(static_cast<unsigned>(wide[5]), 0x20ACu);
    CHECK_EQ(static_cast<unsigned>(wide[6]), 0u);
    WCHAR tiny[3];
    CHECK_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, tiny, 3), 0);
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

CONFORMANCE_CASE(CaseInsensitiveCompareOfAnsiNames) {
    CHECK_EQ(lstrcmpiA("Vormo001", "vormo001"), 0);
    CHECK_EQ(lstrcmpiA("Caf\xC9", "caf\xE9"), 0);
    CHECK(lstrcmpiA("Vormo001", "Vormo002") < 0);
}

CONFORMANCE_CASE(GlobalAllocAndFree) {
    HGLOBAL block = GlobalAlloc(GMEM_FIXED, 64);
    CHECK(block != nullptr);
    CHECK(GlobalFree(block) == nullptr);
}

// GetVersionExA fills either structure by its size field and refuses any
// other size with ERROR_INSUFFICIENT_BUFFER.
CONFORMANCE_CASE(VersionQueryTakesBothStructureSizes) {
    OSVERSIONINFOA basic;
    std::memset(&basic, 0, sizeof basic);
    basic.dwOSVersionInfoSize = sizeof basic;
    CHECK_EQ(sizeof basic, static_cast<size_t>(148));
    CHECK(GetVersionExA(&basic));
    CHECK_EQ(basic.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    OSVERSIONINFOEXA extended;
    std::memset(&extended, 0, sizeof extended);
    extended.dwOSVersionInfoSize = sizeof extended;
    CHECK_EQ(sizeof extended, static_cast<size_t>(156));
    CHECK(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&extended)));
    CHECK_EQ(extended.dwMajorVersion, basic.dwMajorVersion);
    CHECK_EQ(extended.dwMinorVersion, basic.dwMinorVersion);
    CHECK_EQ(extended.dwBuildNumber, basic.dwBuildNumber);
    CHECK(extended.wProductType == VER_NT_WORKSTATION || extended.wProductType == VER_NT_SERVER ||
          extended.wProductType == VER_NT_DOMAIN_CONTROLLER);
    for (DWORD size : {0u, 147u, 149u, 155u, 157u}) {
        std::memset(&extended, 0, sizeof extended);
        extended.dwOSVersionInfoSize = size;
        CHECK(!GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&extended)));
        CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    }
}

// An event source is registered, reports and is released. (Wine keeps no
// event log behind these calls: they succeed and record nothing.)
CONFORMANCE_CASE(EventSourceRegistersReportsAndIsReleased) {
    HANDLE log = RegisterEventSourceA(nullptr, "WinsimConformance");
    CHECK(log != nullptr);
    if (!log) return;
    LPCSTR strings[] = {"Winsim conformance"};
    CHECK(ReportEventA(log, EVENTLOG_INFORMATION_TYPE, 0, 0x40000001u, nullptr, 1, 0, strings, nullptr));
    CHECK(ReportEventA(log, EVENTLOG_ERROR_TYPE, 3, 0xC0020001u, nullptr, 0, 0, nullptr, nullptr));
    CHECK(DeregisterEventSource(log));
}

// UTF-16 to the ANSI code page (Windows-1252), as the pre-flight check shows
// a port's record: every character the code page has comes back as it was.
CONFORMANCE_CASE(WideCharToMultiByteInCodePage1252) {
    const WCHAR text[] = {'C', 'a', 'f', 0xE9, 0x20AC, 0x0178, 0};
    CHECK_EQ(WideCharToMultiByte(CP_ACP, 0, text, 6, nullptr, 0, nullptr, nullptr), 6);
    char out[16];
    std::memset(out, '#', sizeof out);
    CHECK_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, out, sizeof out, nullptr, nullptr), 7);
    CHECK_STR(std::string(out, 7), std::string("Caf\xE9\x80\x9F\0", 7));
    SetLastError(0);
    CHECK_EQ(WideCharToMultiByte(CP_ACP, 0, text, 6, out, 3, nullptr, nullptr), 0);
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

// UTF-16 to UTF-8, as the pre-flight check writes its JSON report.
CONFORMANCE_CASE(WideCharToMultiByteInUtf8) {
    const WCHAR text[] = {'C', 'a', 'f', 0xE9, 0x20AC, 0};
    CHECK_EQ(WideCharToMultiByte(CP_UTF8, 0, text, 5, nullptr, 0, nullptr, nullptr), 8);
    char out[16];
    std::memset(out, '#', sizeof out);
    CHECK_EQ(WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out, nullptr, nullptr), 9);  // the terminator too
    CHECK_STR(std::string(out, 9), std::string("Caf\xC3\xA9\xE2\x82\xAC\0", 9));
    SetLastError(0);
    CHECK_EQ(WideCharToMultiByte(CP_UTF8, 0, text, 5, out, 4, nullptr, nullptr), 0);
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

// The computer's name: its length without the terminator; a buffer without
// room for the terminator gets ERROR_BUFFER_OVERFLOW and the size it needs.
CONFORMANCE_CASE(ComputerNameAndItsSize) {
    char name[64] = {};
    DWORD size = sizeof name;
    CHECK(GetComputerNameA(name, &size));
    CHECK(size >= 1);
    CHECK_EQ(static_cast<size_t>(size), std::strlen(name));
    DWORD small = size;
    char buffer[64] = {};
    CHECK(!GetComputerNameA(buffer, &small));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
    CHECK_EQ(small, size + 1);
}
