// The port configuration record: its layout, the values it carries and the
// UTF-16 conversion of its strings.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "port_fixtures.h"
#include "portcfg/port_record.h"
#include "portcfg/port_settings.h"

using port_fixtures::DwordAt;
using port_fixtures::TextAt;
using port_fixtures::UnitAt;
using testing_support::TempMachine;

namespace {

std::string Bytes(const PortRecord& record) {
    return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

std::string RecordOf(const PortSettings& settings) {
    PortRecord record;
    std::memset(&record, 0xCD, sizeof record);  // whatever was there before
    BuildPortRecord(&settings, &record, &MultiByteToWideChar);
    return Bytes(record);
}

// Settings of one INI section, named as the port of section 1.
PortSettings ReadSection(const TempMachine& m, const std::string& body) {
    port_fixtures::UseIni(m, "[1]\n" + body);
    PortSettings settings;
    EXPECT_TRUE(ReadPortSection(1, testing_support::TestPlan(), &settings));
    EXPECT_TRUE(FormatPortName(kStandardEdition, 1, settings.PortName));
    return settings;
}

struct IntField {
    const char* name;
    size_t offset;
    DWORD PortSettings::*member;
};
struct TextField {
    const char* name;
    size_t offset;
    char (PortSettings::*member)[kPortStringSize];
};

// The wire layout, written out once more from the table of the format.
const IntField kIntFields[] = {
    {"ServerPort", 5720, &PortSettings::ServerPort},
    {"LoadBalancing", 5724, &PortSettings::LoadBalancing},
    {"RefreshIPList", 5728, &PortSettings::RefreshIPList},
    {"AuthType", 6252, &PortSettings::AuthType},
    {"Projects", 7296, &PortSettings::Projects},
    {"Compression", 7300, &PortSettings::Compression},
    {"FaxServer", 7304, &PortSettings::FaxServer},
    {"LogToFile", 7308, &PortSettings::LogToFile},
    {"Encryption", 7312, &PortSettings::Encryption},
    {"DefaultProjectID", 7316, &PortSettings::DefaultProjectID},
    {"DisableServerCommunication", 7320, &PortSettings::DisableServerCommunication},
    {"ProtocolLevel", 7844, &PortSettings::ProtocolLevel},
    {"JobOwnerMethod", 7848, &PortSettings::JobOwnerMethod},
    {"NetworkTimeout", 8372, &PortSettings::NetworkTimeout},
    {"ParserDPI", 8376, &PortSettings::ParserDPI},
    {"PriceEstimation", 8380, &PortSettings::PriceEstimation},
    {"PopupsForBWPrint", 8384, &PortSettings::PopupsForBWPrint},
    {"SavePassword", 8948, &PortSettings::SavePassword},
    {"NoProjectOption", 8952, &PortSettings::NoProjectOption},
    {"LBNetworkTimeout", 9476, &PortSettings::LBNetworkTimeout},
    {"LogFileSizeLimit", 10000, &PortSettings::LogFileSizeLimit},
    {"LogFileCount", 10004, &PortSettings::LogFileCount},
    {"SSLCertificateVerification", 10008, &PortSettings::SSLCertificateVerification},
    {"ServerDeliveryMode", 10012, &PortSettings::ServerDeliveryMode},
    {"WebBasedApplications", 11056, &PortSettings::WebBasedApplications},
    {"ServerDeliveryMode2", 11580, &PortSettings::ServerDeliveryMode2},
    {"ServerDeliveryMode3", 11584, &PortSettings::ServerDeliveryMode3},
};
const TextField kTextFields[] = {
    {"Description", 0, &PortSettings::Description},
    {"Queue", 5732, &PortSettings::Queue},
    {"AuthText", 6256, &PortSettings::AuthText},
    {"ComPort", 6776, &PortSettings::ComPort},
    {"CurrentUserNameFormat", 7324, &PortSettings::CurrentUserNameFormat},
    {"LogFilePath", 7852, &PortSettings::LogFilePath},
    {"BWPrintTempDir", 8388, &PortSettings::BWPrintTempDir},
    {"Note", 8956, &PortSettings::Note},
    {"RedirectToIP", 9480, &PortSettings::RedirectToIP},
    {"UserNameRegExMatch", 10016, &PortSettings::UserNameRegExMatch},
    {"UserNameRegExReplace", 10536, &PortSettings::UserNameRegExReplace},
    {"EnvironmentVariableIP", 11060, &PortSettings::EnvironmentVariableIP},
};

}  // namespace

// Every field carries a value of its own, so that a value at the wrong
// offset or a field copied from its neighbour shows.
TEST(PortRecord, EveryFieldLandsAtItsOffset) {
    TempMachine m;
    PortSettings s;
    std::memset(&s, 0, sizeof s);
    DWORD next = 1000;
    for (const auto& f : kIntFields) s.*(f.member) = next++;
    for (const auto& f : kTextFields) std::snprintf(s.*(f.member), kPortStringSize, "text of %s", f.name);
    for (int k = 0; k < kServerIpCount; ++k) {
        std::snprintf(s.ServerIP[k], kPortStringSize, "10.0.0.%d", k + 1);
        s.IPLoadBalancing[k] = 500u + static_cast<DWORD>(k);
    }
    std::snprintf(s.PortName, sizeof s.PortName, "Vormo042");

    std::string record = RecordOf(s);
    ASSERT_EQ(record.size(), 11608u);
    next = 1000;
    for (const auto& f : kIntFields) EXPECT_EQ(DwordAt(record, f.offset), next++) << f.name;
    for (const auto& f : kTextFields) EXPECT_EQ(TextAt(record, f.offset), std::string("text of ") + f.name) << f.name;
    for (int k = 0; k < kServerIpCount; ++k) {
        EXPECT_EQ(TextAt(record, 520 + 520 * k), "10.0.0." + std::to_string(k + 1)) << "ServerIP entry " << k + 1;
        EXPECT_EQ(DwordAt(record, 8908 + 4 * k), 500u + k) << "IPLoadBalancing entry " << k + 1;
    }
    EXPECT_EQ(TextAt(record, 11588, 10), "Vormo042");
}

TEST(PortRecord, SectionWithOnlyServerIpCarriesTheDefaults) {
    TempMachine m;
    std::string record = RecordOf(ReadSection(m, "ServerIP=10.9.8.7\n"));
    ASSERT_EQ(record.size(), 11608u);
    const struct {
        size_t offset;
        uint32_t value;
    } integers[] = {{5720, 9100}, {5724, 1}, {5728, 0},  {6252, 1},    {7296, 0},  {7300, 0},  {7304, 0},
                    {7308, 0},    {7312, 0}, {7316, 0},  {7320, 0},    {7844, 4},  {7848, 0},  {8372, 60},
                    {8376, 72},   {8380, 0}, {8384, 0},  {8948, 0},    {8952, 1},  {9476, 60}, {10000, 20},
                    {10004, 3},   {10008, 0}, {10012, 0}, {11056, 1},  {11580, 0}, {11584, 0}};
    for (const auto& i : integers) EXPECT_EQ(DwordAt(record, i.offset), i.value) << "offset " << i.offset;
    for (int k = 0; k < kServerIpCount; ++k) EXPECT_EQ(DwordAt(record, 8908 + 4 * k), 0u);
    EXPECT_EQ(TextAt(record, 520), "10.9.8.7");
    EXPECT_EQ(TextAt(record, 11060), "ZaviVodazi_IP_Address");
    EXPECT_EQ(TextAt(record, 11588, 10), "Vormo001");
    // Every string field other than those three is zero from end to end.
    for (const auto& f : kTextFields) {
        if (f.offset == 11060) continue;
        for (size_t i = 0; i < 260; ++i) ASSERT_EQ(UnitAt(record, f.offset, i), 0) << f.name << " unit " << i;
    }
    for (int k = 1; k < kServerIpCount; ++k)
        for (size_t i = 0; i < 260; ++i) ASSERT_EQ(UnitAt(record, 520 + 520 * k, i), 0);
    // After each terminator every unit is zero.
    for (size_t i = 8; i < 260; ++i) ASSERT_EQ(UnitAt(record, 520, i), 0);
    for (size_t i = 21; i < 260; ++i) ASSERT_EQ(UnitAt(record, 11060, i), 0);
    for (size_t i = 8; i < 10; ++i) ASSERT_EQ(UnitAt(record, 11588, i), 0);
}

TEST(PortRecord, ServerIp3WithoutServerIp2StaysInEntry3) {
    TempMachine m;
    std::string record = RecordOf(ReadSection(m, "ServerIP=10.0.0.1\nServerIP3=10.0.0.3\nIPLoadBalancing3=7\n"));
    EXPECT_EQ(TextAt(record, 1560), "10.0.0.3");
    EXPECT_EQ(DwordAt(record, 8916), 7u);
    for (size_t i = 0; i < 260; ++i) ASSERT_EQ(UnitAt(record, 1040, i), 0);
    EXPECT_EQ(DwordAt(record, 8912), 0u);
}

TEST(PortRecord, DeliveryModeFieldsByIndex) {
    TempMachine m;
    std::string record = RecordOf(ReadSection(m, "ServerIP=10.0.0.1\nServerDeliveryMode3=2\n"));
    EXPECT_EQ(DwordAt(record, 11584), 2u);
    EXPECT_EQ(DwordAt(record, 10012), 0u);
    EXPECT_EQ(DwordAt(record, 11580), 0u);

    // Index 2 and 3 are the fields at the end; every other index is field 1.
    const struct {
        int index;
        size_t offset;
    } map[] = {{1, 10012}, {2, 11580}, {3, 11584}, {0, 10012}, {4, 10012}, {-1, 10012}};
    for (const auto& row : map) {
        PortSettings s;
        std::memset(&s, 0, sizeof s);
        SetDeliveryMode(&s, row.index, 77);
        EXPECT_EQ(GetDeliveryMode(&s, row.index), 77u);
        PortRecord r;
        BuildPortRecord(&s, &r, &MultiByteToWideChar);
        std::string bytes = Bytes(r);
        for (size_t offset : {10012u, 11580u, 11584u})
            EXPECT_EQ(DwordAt(bytes, offset), offset == row.offset ? 77u : 0u) << "index " << row.index;
        EXPECT_EQ(GetRecordDeliveryMode(&r, row.index), 77u);
        SetRecordDeliveryMode(&r, row.index, 5);
        EXPECT_EQ(DwordAt(Bytes(r), row.offset), 5u);
    }
}

TEST(PortRecord, PortNamesOfBothEditionsFitTheirField) {
    TempMachine m;
    PortSettings s;
    std::memset(&s, 0, sizeof s);
    ASSERT_TRUE(FormatPortName(kStandardEdition, 1, s.PortName));
    std::string standard = RecordOf(s);
    EXPECT_EQ(TextAt(standard, 11588, 10), "Vormo001");
    EXPECT_EQ(UnitAt(standard, 11588, 8), 0);
    EXPECT_EQ(UnitAt(standard, 11588, 9), 0);

    ASSERT_TRUE(FormatPortName(kEnterpriseEdition, 1, s.PortName));
    std::string enterprise = RecordOf(s);
    EXPECT_EQ(TextAt(enterprise, 11588, 10), "VormoE001");
    EXPECT_EQ(UnitAt(enterprise, 11588, 8), u'1');
    EXPECT_EQ(UnitAt(enterprise, 11588, 9), 0);
}

TEST(PortRecord, AnsiTextArrivesAsItsUtf16Equivalent) {
    TempMachine m;
    // e acute, the euro sign and a left double quotation mark of Windows-1252.
    std::string record = RecordOf(ReadSection(m, "ServerIP=10.0.0.1\nDescription=Caf\xE9 \x80\x93\n"));
    const char16_t expected[] = {u'C', u'a', u'f', 0x00E9, u' ', 0x20AC, 0x201C, 0};
    for (size_t i = 0; i < sizeof expected / sizeof expected[0]; ++i)
        EXPECT_EQ(UnitAt(record, 0, i), expected[i]) << "unit " << i;
}

TEST(PortRecord, LongestValueFillsItsFieldWithTheTerminatorLast) {
    TempMachine m;
    std::string record = RecordOf(ReadSection(m, "ServerIP=10.0.0.1\nNote=" + std::string(259, 'n') + "\n"));
    for (size_t i = 0; i < 259; ++i) ASSERT_EQ(UnitAt(record, 8956, i), u'n');
    EXPECT_EQ(UnitAt(record, 8956, 259), 0);
    EXPECT_EQ(DwordAt(record, 9476), 60u);  // the field after it is untouched
}

TEST(PortRecord, UnterminatedSourceStaysWithinItsField) {
    PortSettings s;
    std::memset(&s, 0, sizeof s);
    std::memset(s.Queue, 'q', sizeof s.Queue);        // no terminator anywhere
    std::memset(s.PortName, 'p', sizeof s.PortName);  // nor here
    s.AuthType = 9;
    PortRecord r;
    BuildPortRecord(&s, &r, &MultiByteToWideChar);
    std::string bytes = Bytes(r);
    EXPECT_EQ(TextAt(bytes, 5732), std::string(259, 'q'));
    EXPECT_EQ(UnitAt(bytes, 5732, 259), 0);
    EXPECT_EQ(DwordAt(bytes, 6252), 9u);
    EXPECT_EQ(TextAt(bytes, 11588, 10), std::string(9, 'p'));
}
