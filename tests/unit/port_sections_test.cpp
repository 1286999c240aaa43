// Port sections from the INI file and from the registry: keys, defaults, the
// end of the list, the Enterprise rule, the port name.
#include <gtest/gtest.h>

#include <string>

#include "port_fixtures.h"
#include "portcfg/port_settings.h"

using port_fixtures::Sections;
using port_fixtures::SetRegistryDword;
using port_fixtures::SetRegistryString;
using port_fixtures::UseIni;
using testing_support::TempMachine;

namespace {

// One section written to the chosen source: string values as "Key=text",
// integer values as "Key=#number" (a plain INI line either way).
// The INI file holds that one section.
void WriteSection(const TempMachine& m, bool fromIni, int n, const std::vector<std::string>& lines,
                  const EditionProfile& edition = kStandardEdition) {
    if (fromIni) {
        std::string text = "[" + std::to_string(n) + "]\n";
        for (const auto& line : lines) {
            std::string copy = line;
            size_t hash = copy.find("=#");
            if (hash != std::string::npos) copy.erase(hash + 1, 1);
            text += copy + "\n";
        }
        UseIni(m, text);
        return;
    }
    for (const auto& line : lines) {
        size_t eq = line.find('=');
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (!value.empty() && value[0] == '#') SetRegistryDword(n, key.c_str(), std::stoul(value.substr(1)), edition);
        else SetRegistryString(n, key.c_str(), value, 0, edition);
    }
}

class BothSources : public ::testing::TestWithParam<bool> {
protected:
    bool fromIni() const { return GetParam(); }
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(PortSections, BothSources, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Ini" : "Registry"; });

TEST_P(BothSources, SectionWithOnlyServerIpTakesEveryDefault) {
    TempMachine m;
    WriteSection(m, fromIni(), 1, {"ServerIP=192.168.1.5"});
    PortSettings s;
    ASSERT_TRUE(ReadPortSection(1, Sections(fromIni()), &s));
    EXPECT_STREQ(s.ServerIP[0], "192.168.1.5");
    const struct {
        const char* name;
        DWORD value, expected;
    } integers[] = {
        {"ServerPort", s.ServerPort, 9100},
        {"LoadBalancing", s.LoadBalancing, 1},
        {"RefreshIPList", s.RefreshIPList, 0},
        {"AuthType", s.AuthType, 1},
        {"Projects", s.Projects, 0},
        {"Compression", s.Compression, 0},
        {"FaxServer", s.FaxServer, 0},
        {"LogToFile", s.LogToFile, 0},
        {"Encryption", s.Encryption, 0},
        {"DefaultProjectID", s.DefaultProjectID, 0},
        {"DisableServerCommunication", s.DisableServerCommunication, 0},
        {"ProtocolLevel", s.ProtocolLevel, 4},
        {"JobOwnerMethod", s.JobOwnerMethod, 0},
        {"NetworkTimeout", s.NetworkTimeout, 60},
        {"ParserDPI", s.ParserDPI, 72},
        {"PriceEstimation", s.PriceEstimation, 0},
        {"PopupsForBWPrint", s.PopupsForBWPrint, 0},
        {"SavePassword", s.SavePassword, 0},
        {"NoProjectOption", s.NoProjectOption, 1},
        {"LBNetworkTimeout", s.LBNetworkTimeout, 60},
        {"LogFileSizeLimit", s.LogFileSizeLimit, 20},
        {"LogFileCount", s.LogFileCount, 3},
        {"SSLCertificateVerification", s.SSLCertificateVerification, 0},
        {"ServerDeliveryMode", s.ServerDeliveryMode, 0},
        {"WebBasedApplications", s.WebBasedApplications, 1},
        {"ServerDeliveryMode2", s.ServerDeliveryMode2, 0},
        {"ServerDeliveryMode3", s.ServerDeliveryMode3, 0},
    };
    for (const auto& i : integers) EXPECT_EQ(i.value, i.expected) << i.name;
    for (int k = 0; k < kServerIpCount; ++k) EXPECT_EQ(s.IPLoadBalancing[k], 0u);
    for (int k = 1; k < kServerIpCount; ++k) EXPECT_STREQ(s.ServerIP[k], "");
    for (const char* text : {s.Description, s.Queue, s.AuthText, s.ComPort, s.CurrentUserNameFormat, s.LogFilePath,
                             s.BWPrintTempDir, s.Note, s.RedirectToIP, s.UserNameRegExMatch, s.UserNameRegExReplace,
                             s.PortName})
        EXPECT_STREQ(text, "");
    EXPECT_STREQ(s.EnvironmentVariableIP, "ZaviVodazi_IP_Address");
}

TEST_P(BothSources, EveryKeyIsRead) {
    TempMachine m;
    WriteSection(m, fromIni(), 7,
                 {"Description=desc", "ServerIP=a1", "ServerIP5=a5", "ServerIP10=a10", "IPLoadBalancing=#11",
                  "IPLoadBalancing10=#20", "ServerPort=#9101", "LoadBalancing=#0", "RefreshIPList=#1", "Queue=q",
                  "AuthType=#3", "AuthText=secret", "ComPort=COM3", "Projects=#1", "Compression=#1", "FaxServer=#1",
                  "LogToFile=#1", "Encryption=#1", "DefaultProjectID=#42", "DisableServerCommunication=#1",
                  "CurrentUserNameFormat=%u", "ProtocolLevel=#5", "JobOwnerMethod=#2", "LogFilePath=C:\\logs",
                  "NetworkTimeout=#61", "ParserDPI=#300", "PriceEstimation=#1", "PopupsForBWPrint=#1",
                  "BWPrintTempDir=C:\\tmp", "SavePassword=#1", "NoProjectOption=#0", "Note=n", "LBNetworkTimeout=#62",
                  "RedirectToIP=10.0.0.99", "LogFileSizeLimit=#21", "LogFileCount=#4",
                  "SSLCertificateVerification=#1", "ServerDeliveryMode=#1", "ServerDeliveryMode2=#2",
                  "ServerDeliveryMode3=#3", "UserNameRegExMatch=^(.*)$", "UserNameRegExReplace=$1",
                  "WebBasedApplications=#0", "EnvironmentVariableIP=CLIENT_IP"});
    PortSettings s;
    ASSERT_TRUE(ReadPortSection(7, Sections(fromIni()), &s));
    EXPECT_STREQ(s.Description, "desc");
    EXPECT_STREQ(s.ServerIP[0], "a1");
    EXPECT_STREQ(s.ServerIP[4], "a5");
    EXPECT_STREQ(s.ServerIP[9], "a10");
    EXPECT_EQ(s.IPLoadBalancing[0], 11u);
    EXPECT_EQ(s.IPLoadBalancing[9], 20u);
    EXPECT_EQ(s.ServerPort, 9101u);
    EXPECT_EQ(s.LoadBalancing, 0u);
    EXPECT_EQ(s.RefreshIPList, 1u);  // the standard edition keeps it
    EXPECT_STREQ(s.Queue, "q");
    EXPECT_EQ(s.AuthType, 3u);
    EXPECT_STREQ(s.AuthText, "secret");
    EXPECT_STREQ(s.ComPort, "COM3");
    EXPECT_EQ(s.Projects + s.Compression + s.FaxServer + s.LogToFile, 4u);
    EXPECT_EQ(s.Encryption, 1u);
    EXPECT_EQ(s.DefaultProjectID, 42u);
    EXPECT_EQ(s.DisableServerCommunication, 1u);
    EXPECT_STREQ(s.CurrentUserNameFormat, "%u");
    EXPECT_EQ(s.ProtocolLevel, 5u);
    EXPECT_EQ(s.JobOwnerMethod, 2u);
    EXPECT_STREQ(s.LogFilePath, "C:\\logs");
    EXPECT_EQ(s.NetworkTimeout, 61u);
    EXPECT_EQ(s.ParserDPI, 300u);
    EXPECT_EQ(s.PriceEstimation + s.PopupsForBWPrint + s.SavePassword, 3u);
    EXPECT_STREQ(s.BWPrintTempDir, "C:\\tmp");
    EXPECT_EQ(s.NoProjectOption, 0u);
    EXPECT_STREQ(s.Note, "n");
    EXPECT_EQ(s.LBNetworkTimeout, 62u);
    EXPECT_STREQ(s.RedirectToIP, "10.0.0.99");
    EXPECT_EQ(s.LogFileSizeLimit, 21u);
    EXPECT_EQ(s.LogFileCount, 4u);
    EXPECT_EQ(s.SSLCertificateVerification, 1u);
    EXPECT_EQ(s.ServerDeliveryMode, 1u);
    EXPECT_EQ(s.ServerDeliveryMode2, 2u);
    EXPECT_EQ(s.ServerDeliveryMode3, 3u);
    EXPECT_STREQ(s.UserNameRegExMatch, "^(.*)$");
    EXPECT_STREQ(s.UserNameRegExReplace, "$1");
    EXPECT_EQ(s.WebBasedApplications, 0u);
    EXPECT_STREQ(s.EnvironmentVariableIP, "CLIENT_IP");
    EXPECT_STREQ(s.PortName, "");
}

TEST_P(BothSources, ServerIp2WithoutServerIpIsNoSection) {
    TempMachine m;
    WriteSection(m, fromIni(), 1, {"Description=only the second", "ServerIP2=10.0.0.2"});
    PortSettings s;
    EXPECT_FALSE(ReadPortSection(1, Sections(fromIni()), &s));
    EXPECT_FALSE(ReadPortSection(2, Sections(fromIni()), &s));  // never written
}

TEST_P(BothSources, MissingSourceGivesNoSection) {
    TempMachine m;
    PortSettings s;
    std::memset(&s, 0x55, sizeof s);
    EXPECT_FALSE(ReadPortSection(1, testing_support::TestPlan(kStandardEdition, fromIni(), "C:\\Dist\\absent.ini"), &s));
    EXPECT_STREQ(s.ServerIP[0], "");
    EXPECT_EQ(s.ServerPort, 0u);  // cleared, and nothing read after ServerIP
}

TEST_P(BothSources, SecondDeliveryModeWithoutTheFirst) {
    TempMachine m;
    WriteSection(m, fromIni(), 1, {"ServerIP=h", "ServerDeliveryMode2=#2"});
    PortSettings s;
    ASSERT_TRUE(ReadPortSection(1, Sections(fromIni()), &s));
    EXPECT_EQ(GetDeliveryMode(&s, 1), 0u);
    EXPECT_EQ(GetDeliveryMode(&s, 2), 2u);
    EXPECT_EQ(GetDeliveryMode(&s, 3), 0u);
}

TEST_P(BothSources, EnterpriseRuleAppliesOnlyInTheEnterpriseEdition) {
    const struct {
        bool enterprise;
        DWORD disable, expected;
    } cases[] = {{false, 1, 1}, {true, 1, 0}, {true, 0, 1}};
    for (const auto& c : cases) {
        TempMachine m;
        const EditionProfile& edition = c.enterprise ? kEnterpriseEdition : kStandardEdition;
        WriteSection(m, fromIni(), 1,
                     {"ServerIP=h", "DisableServerCommunication=#" + std::to_string(c.disable), "Encryption=#1",
                      "RefreshIPList=#1"},
                     edition);
        PortSettings s;
        ASSERT_TRUE(ReadPortSection(1, Sections(fromIni(), edition), &s));
        EXPECT_EQ(s.Encryption, c.expected) << "enterprise " << c.enterprise << " disable " << c.disable;
        EXPECT_EQ(s.RefreshIPList, c.expected) << "enterprise " << c.enterprise << " disable " << c.disable;
        EXPECT_EQ(s.DisableServerCommunication, c.disable);
    }
}

TEST(PortSections, EnterpriseEditionReadsItsOwnRegistryKey) {
    TempMachine m;
    SetRegistryString(1, "ServerIP", "standard");  // below ...\Vormo\PortInstallCfg
    PortSettings s;
    EXPECT_FALSE(ReadPortSection(1, Sections(false, kEnterpriseEdition), &s));
    SetRegistryString(1, "ServerIP", "enterprise", 0, kEnterpriseEdition);  // below ...\VormoE\PortInstallCfg
    ASSERT_TRUE(ReadPortSection(1, Sections(false, kEnterpriseEdition), &s));
    EXPECT_STREQ(s.ServerIP[0], "enterprise");
}

TEST(PortSections, IniValueOf300CharactersArrivesCutTo259) {
    TempMachine m;
    std::string longValue(300, 'x');
    longValue[258] = 'y';
    UseIni(m, "[1]\nServerIP=" + longValue + "\nQueue=" + longValue + "\n");
    PortSettings s;
    ASSERT_TRUE(ReadPortSection(1, Sections(true), &s));
    EXPECT_EQ(std::string(s.ServerIP[0]), longValue.substr(0, 259));
    EXPECT_EQ(std::string(s.Queue), longValue.substr(0, 259));
}

TEST(PortSections, RegistryValuesOfTheWrongSizeKeepTheDefault) {
    TempMachine m;
    SetRegistryString(1, "ServerIP", "10.0.0.1");
    SetRegistryString(1, "Queue", std::string(300, 'q'));  // longer than the field
    SetRegistryString(1, "Note", std::string(259, 'n'));   // just fits
    // A two-byte integer, and a string without its terminator.
    std::string physical = "SOFTWARE\\Wow6432Node\\Oxlen Corporation\\Vormo\\PortInstallCfg\\1";
    winsim::RegValue shortNumber;
    shortNumber.type = REG_BINARY;
    shortNumber.data = std::string("\x05\x00", 2);
    winsim::reg::SetValue(port_fixtures::kHklm, physical, "ServerPort", shortNumber);
    winsim::RegValue bare;
    bare.type = REG_SZ;
    bare.data = "COM7";
    winsim::reg::SetValue(port_fixtures::kHklm, physical, "ComPort", bare);
    PortSettings s;
    ASSERT_TRUE(ReadPortSection(1, Sections(false), &s));
    EXPECT_STREQ(s.Queue, "");
    EXPECT_EQ(std::string(s.Note), std::string(259, 'n'));
    EXPECT_EQ(s.ServerPort, 5u);  // zero-extended
    EXPECT_STREQ(s.ComPort, "COM7");
    for (size_t i = 5; i < sizeof s.ComPort; ++i) ASSERT_EQ(s.ComPort[i], '\0');
    for (size_t i = 1; i < sizeof s.Queue; ++i) ASSERT_EQ(s.Queue[i], '\0');
}

TEST(PortSections, RegistryIsReadInTheViewOfA32BitProcess) {
    TempMachine m;  // 64-bit Windows
    SetRegistryString(1, "ServerIP", "in the 64-bit view", KEY_WOW64_64KEY);
    PortSettings s;
    EXPECT_FALSE(ReadPortSection(1, Sections(false), &s));
    EXPECT_TRUE(winsim::reg::KeyExists(port_fixtures::kHklm, "SOFTWARE\\Oxlen Corporation\\Vormo\\PortInstallCfg\\1"));
    SetRegistryString(1, "ServerIP", "in the 32-bit view");
    ASSERT_TRUE(ReadPortSection(1, Sections(false), &s));
    EXPECT_STREQ(s.ServerIP[0], "in the 32-bit view");
    EXPECT_TRUE(winsim::reg::KeyExists(port_fixtures::kHklm,
                                       "SOFTWARE\\Wow6432Node\\Oxlen Corporation\\Vormo\\PortInstallCfg\\1"));
}

TEST(PortSections, IniFileAsTheProfileFunctionsReadIt) {
    TempMachine m;
    UseIni(m,
           "; a comment: ServerIP=commented\n"
           "[1]\n"
           "ServerIP=section one\n"
           "[ 2 ]\n"
           "  serverip =  10.0.0.2  \n"
           "DESCRIPTION=\"  quoted  \"\n"
           ";Queue=commented\n"
           "ServerPort=-1\n"
           "AuthType=42abc\n"
           "LoadBalancing=\n"
           "ParserDPI=abc\n"
           "ComPort\n");
    PortSettings s;
    ASSERT_TRUE(ReadPortSection(2, Sections(true), &s));
    EXPECT_STREQ(s.ServerIP[0], "10.0.0.2");
    EXPECT_STREQ(s.Description, "  quoted  ");
    EXPECT_STREQ(s.Queue, "");
    EXPECT_EQ(s.ServerPort, 4294967295u);
    EXPECT_EQ(s.AuthType, 42u);
    EXPECT_EQ(s.LoadBalancing, 1u);  // empty: the default
    EXPECT_EQ(s.ParserDPI, 0u);      // no digits: zero, not the default
    EXPECT_STREQ(s.ComPort, "");
}

// A bare "-i" name such as "sets.ini" names a file in the installer's folder;
// the profile functions would look for it in the Windows directory.
TEST(PortSections, BareIniNameIsReadFromTheCurrentDirectory) {
    TempMachine m;
    m.Write("C:\\Dist\\sets.ini", "[1]\nServerIP=from the installer's folder\n");
    m.Write("C:\\Windows\\sets.ini", "[1]\nServerIP=from the Windows directory\n");
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\Dist"));
    RunPlan plan = testing_support::TestPlan(kStandardEdition, true, "sets.ini");
    PortSettings s;
    ASSERT_TRUE(ReadPortSection(1, plan, &s));
    EXPECT_STREQ(s.ServerIP[0], "from the installer's folder");
    EXPECT_STREQ(plan.sections.configFilePath, "sets.ini");  // the stored path is unchanged

    char direct[260];
    GetPrivateProfileStringA("1", "ServerIP", "", direct, sizeof direct, "sets.ini");
    EXPECT_STREQ(direct, "from the Windows directory");
    GetPrivateProfileStringA("1", "ServerIP", "", direct, sizeof direct, ".\\sets.ini");
    EXPECT_STREQ(direct, "from the installer's folder");
}

TEST(PortSections, ReadPathOfTheConfigurationFile) {
    TempMachine m;
    const struct {
        const char* stored;
        const char* read;
    } cases[] = {
        {"sets.ini", ".\\sets.ini"},
        {"Vormo.ini", ".\\Vormo.ini"},
        {".\\Vormo.ini", ".\\Vormo.ini"},
        {"C:\\Dist\\Vormo.ini", "C:\\Dist\\Vormo.ini"},
        {"sub\\x.ini", "sub\\x.ini"},
        {"sub/x.ini", "sub/x.ini"},
        {"C:x.ini", "C:x.ini"},
        {"\\\\server\\share\\x.ini", "\\\\server\\share\\x.ini"},
        {"", ""},
    };
    PortSectionSource source;
    for (const auto& c : cases) {
        SetConfigFilePath(&source, c.stored);
        EXPECT_STREQ(source.iniReadPath, c.read) << c.stored;
    }
    // The longest stored path still fits with the two characters added.
    std::string longest(1023, 'a');
    SetConfigFilePath(&source, longest.c_str());
    EXPECT_EQ(std::string(source.iniReadPath), ".\\" + longest);
}

TEST(PortSections, PortNamesUpToTheBoundOfEachEdition) {
    TempMachine m;
    const struct {
        bool enterprise;
        int n;
        const char* name;  // null: refused
    } cases[] = {
        {false, 1, "Vormo001"},   {false, 42, "Vormo042"},  {false, 999, "Vormo999"},
        {false, 1000, "Vormo1000"}, {false, 9999, "Vormo9999"}, {false, 10000, nullptr},
        {false, -1, nullptr},     {true, 1, "VormoE001"},   {true, 999, "VormoE999"},
        {true, 1000, nullptr},
    };
    for (const auto& c : cases) {
        char name[kPortNameSize];
        std::memset(name, 'z', sizeof name);
        bool fits = FormatPortName(c.enterprise ? kEnterpriseEdition : kStandardEdition, c.n, name);
        EXPECT_EQ(fits, c.name != nullptr) << c.n;
        EXPECT_STREQ(name, c.name ? c.name : "") << c.n;
    }
}

TEST_P(BothSources, AssignPrinterKeysOfASection) {
    TempMachine m;
    WriteSection(m, fromIni(), 3, {"ServerIP=h", "AssignPrinter2=Front Desk"});
    char printer[260];
    ReadPortSectionString(3, Sections(fromIni()), "AssignPrinter2", "", printer, sizeof printer);
    EXPECT_STREQ(printer, "Front Desk");
    ReadPortSectionString(3, Sections(fromIni()), "AssignPrinter", "", printer, sizeof printer);
    EXPECT_STREQ(printer, "");
}
