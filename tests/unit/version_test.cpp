// Windows version detection: the classification table row by row, and the
// failures of the version queries and of the WOW64 lookup.
#include <gtest/gtest.h>

#include <string>

#include "base/wow64.h"
#include "version/version.h"
#include "support/machine.h"
#include "winsim/machine.h"

using testing_support::TempMachine;

namespace {

struct VersionRow {
    DWORD platform, major, minor;
    BYTE productType;
    bool is64;
    const char* line;
    PlatformClass result;
};

constexpr BYTE kWs = VER_NT_WORKSTATION;
constexpr BYTE kSrv = VER_NT_SERVER;
constexpr BYTE kDc = VER_NT_DOMAIN_CONTROLLER;

const VersionRow kRows[] = {
    // The 9x family: the minor version names the system, the major is not looked at.
    {1, 4, 0, 0, false, "    (Windows 95 Detected)\n", Unsupported},
    {1, 4, 10, 0, false, "    (Windows 98 Detected)\n", Unsupported},
    {1, 4, 90, 0, false, "    (Windows Me Detected)\n", Unsupported},
    {1, 5, 10, 0, false, "    (Windows 98 Detected)\n", Unsupported},
    {1, 4, 5, 0, false, "    (Unknown Win32 OS Detected ver.4.5)\n", Unsupported},
    {1, 4, 91, 0, true, "    (Unknown Win32 OS Detected ver.4.91)\n", Unsupported},
    // The NT family before XP.
    {2, 3, 51, kWs, false, "    (Windows NT 3.51 Detected)\n", Unsupported},
    {2, 3, 10, kSrv, false, "    (Windows NT 3.51 Detected)\n", Unsupported},
    {2, 4, 0, kWs, false, "    (Windows NT 4.0 Detected)\n", Unsupported},
    {2, 4, 90, kSrv, true, "    (Windows NT 4.0 Detected)\n", Unsupported},
    {2, 5, 0, kWs, false, "    (Windows 2000 Detected)\n", Unsupported},
    {2, 5, 0, kSrv, true, "    (Windows 2000 Detected)\n", Unsupported},
    // XP and 2003: the bitness comes from WOW64; 5.2 is told apart by WOW64 alone.
    {2, 5, 1, kWs, false, "    (Windows XP Detected)\n", Supported32},
    {2, 5, 1, kWs, true, "    (Windows XP Detected)\n", Supported64},
    {2, 5, 2, kWs, true, "    (64-bit Windows XP Detected)\n", Supported64},
    {2, 5, 2, kSrv, true, "    (64-bit Windows XP Detected)\n", Supported64},
    {2, 5, 2, kSrv, false, "    (Windows 2003 Detected)\n", Supported32},
    {2, 5, 2, kWs, false, "    (Windows 2003 Detected)\n", Supported32},
    // Version 6.0 to 6.3, workstations.
    {2, 6, 0, kWs, true, "    (64-bit Windows Vista Detected)\n", Supported64},
    {2, 6, 0, kWs, false, "    (32-bit Windows Vista Detected)\n", Supported32},
    {2, 6, 1, kWs, true, "    (64-bit Windows 7 Detected)\n", Supported64},
    {2, 6, 1, kWs, false, "    (32-bit Windows 7 Detected)\n", Supported32},
    {2, 6, 2, kWs, true, "    (64-bit Windows 8 Detected)\n", Supported64},
    {2, 6, 2, kWs, false, "    (32-bit Windows 8 Detected)\n", Supported32},
    {2, 6, 3, kWs, true, "    (64-bit Windows 8.1 Detected)\n", Supported64},
    {2, 6, 3, kWs, false, "    (32-bit Windows 8.1 Detected)\n", Supported32},
    // Version 6.0 to 6.3, servers (any product type but the workstation's).
    {2, 6, 0, kSrv, true, "    (64-bit Windows 2008 Server Detected)\n", Supported64},
    {2, 6, 0, kSrv, false, "    (32-bit Windows 2008 Server Detected)\n", Supported32},
    {2, 6, 1, kSrv, true, "    (64-bit Windows 2008R2 Server Detected)\n", Supported64},
    {2, 6, 1, kDc, false, "    (32-bit Windows 2008R2 Server Detected)\n", Supported32},
    {2, 6, 2, kDc, true, "    (64-bit Windows 2012 Server Detected)\n", Supported64},
    {2, 6, 2, kSrv, false, "    (32-bit Windows 2012 Server Detected)\n", Supported32},
    {2, 6, 3, kSrv, true, "    (64-bit Windows 2012R2 Server Detected)\n", Supported64},
    {2, 6, 3, kSrv, false, "    (32-bit Windows 2012R2 Server Detected)\n", Supported32},
    // NT versions the table does not know.
    {2, 5, 3, kWs, false, "    (Unknown Win32NT OS Detected ver.5.3)\n", Unsupported},
    {2, 6, 4, kWs, true, "    (Unknown Win32NT OS Detected ver.6.4)\n", Unsupported},
    {2, 6, 4, kSrv, false, "    (Unknown Win32NT OS Detected ver.6.4)\n", Unsupported},
    {2, 10, 0, kWs, true, "    (Unknown Win32NT OS Detected ver.10.0)\n", Unsupported},
    {2, 7, 1, kWs, false, "    (Unknown Win32NT OS Detected ver.7.1)\n", Unsupported},
    {2, 2, 0, kWs, false, "    (Unknown Win32NT OS Detected ver.2.0)\n", Unsupported},
    {2, 0, 0, kWs, false, "    (Unknown Win32NT OS Detected ver.0.0)\n", Unsupported},
    // Neither the 9x nor the NT family: nothing printed.
    {0, 3, 10, 0, false, "", Unsupported},
    {3, 6, 1, kWs, true, "", Unsupported},
};

void SetVersion(DWORD platform, DWORD major, DWORD minor, BYTE productType, bool is64) {
    winsim::MachineConfig& c = winsim::Config();
    c.platform = platform;
    c.major = major;
    c.minor = minor;
    c.productType = productType;
    c.is64 = is64;
}

PlatformClass Detect(std::string* out) {
    testing_support::BeginCapture();
    PlatformClass result = DetectWindowsVersion();
    *out = testing_support::EndCapture();
    return result;
}

// Makes the machine hide IsWow64Process from GetProcAddress.
void HideIsWow64Process(const TempMachine& m) {
    std::string faults = m.dir() + "/faults";
    ASSERT_TRUE(winsim::WriteFileAtomic(faults, "missing kernel32 IsWow64Process\n"));
    m.Reopen();
}

}  // namespace

TEST(VersionDetection, ClassificationTableRowByRow) {
    TempMachine m;
    for (const auto& row : kRows) {
        SCOPED_TRACE(testing::Message() << "platform " << row.platform << ", version " << row.major << "."
                                        << row.minor << ", product type " << int(row.productType)
                                        << (row.is64 ? ", WOW64" : ""));
        SetVersion(row.platform, row.major, row.minor, row.productType, row.is64);
        std::string out;
        EXPECT_EQ(Detect(&out), row.result);
        EXPECT_EQ(out, row.line);
    }
}

TEST(VersionDetection, IsWow64FollowsTheMachine) {
    TempMachine m;
    winsim::Config().is64 = true;
    EXPECT_TRUE(IsWow64());
    winsim::Config().is64 = false;
    EXPECT_FALSE(IsWow64());
}

TEST(VersionDetection, OneFailedBasicQueryIsRetried) {
    TempMachine m;
    SetVersion(2, 6, 1, kWs, true);
    winsim::AddFault("GetVersionExA", "*", ERROR_INVALID_PARAMETER, 1);
    std::string out;
    EXPECT_EQ(Detect(&out), Supported64);
    EXPECT_EQ(out, "    (64-bit Windows 7 Detected)\n");
}

TEST(VersionDetection, TwoFailedBasicQueriesGiveTheErrorLineAndUnsupported) {
    TempMachine m;
    SetVersion(2, 6, 1, kWs, true);
    winsim::AddFault("GetVersionExA", "*", ERROR_INVALID_PARAMETER, 2);
    std::string out;
    EXPECT_EQ(Detect(&out), Unsupported);
    EXPECT_EQ(out, "ERROR Unable to Detect Windows Version.\n");
    // The rule is used up: the next detection reads the version again.
    EXPECT_EQ(Detect(&out), Supported64);
    EXPECT_EQ(out, "    (64-bit Windows 7 Detected)\n");
}

TEST(VersionDetection, FailedExtendedQueryCountsAsWorkstation) {
    TempMachine m;
    SetVersion(2, 6, 3, kSrv, true);
    winsim::AddFault("GetVersionExA:ex", "*", ERROR_INVALID_PARAMETER);
    std::string out;
    EXPECT_EQ(Detect(&out), Supported64);
    EXPECT_EQ(out, "    (64-bit Windows 8.1 Detected)\n");
}

TEST(VersionDetection, MissingIsWow64ProcessMeansNotWow64) {
    TempMachine m;
    HideIsWow64Process(m);
    struct {
        DWORD major, minor;
        BYTE productType;
        const char* line;
        PlatformClass result;
    } cases[] = {
        {6, 1, kWs, "    (32-bit Windows 7 Detected)\n", Supported32},
        {6, 2, kSrv, "    (32-bit Windows 2012 Server Detected)\n", Supported32},
        {5, 2, kSrv, "    (Windows 2003 Detected)\n", Supported32},
        {5, 1, kWs, "    (Windows XP Detected)\n", Supported32},
    };
    for (const auto& c : cases) {
        SetVersion(2, c.major, c.minor, c.productType, true);  // a 64-bit machine all the same
        EXPECT_FALSE(IsWow64());
        std::string out;
        EXPECT_EQ(Detect(&out), c.result);
        EXPECT_EQ(out, c.line);
    }
}
