// The keys of a port section with the fields they fill, for the fuzz targets
// that read port sections: every string field is checked for its terminator
// and zero tail, every record field against the settings it was built from.
#pragma once

#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "portcfg/port_record.h"
#include "portcfg/port_settings.h"
#include "run/edition.h"

namespace port_fields {

struct StringKey {
    const char* name;
    char (PortSettings::*field)[kPortStringSize];
    WCHAR (PortRecord::*wide)[kPortStringSize];
    const char* defaultText;
};

#define PF_STRING(key, def) {#key, &PortSettings::key, &PortRecord::key, def}
const StringKey kStrings[] = {
    PF_STRING(Description, ""),        PF_STRING(Queue, ""),
    PF_STRING(AuthText, ""),           PF_STRING(ComPort, ""),
    PF_STRING(CurrentUserNameFormat, ""), PF_STRING(LogFilePath, ""),
    PF_STRING(BWPrintTempDir, ""),     PF_STRING(Note, ""),
    PF_STRING(RedirectToIP, ""),       PF_STRING(UserNameRegExMatch, ""),
    PF_STRING(UserNameRegExReplace, ""), PF_STRING(EnvironmentVariableIP, "ZaviVodazi_IP_Address"),
};
#undef PF_STRING

struct IntKey {
    const char* name;
    DWORD PortSettings::*field;
    DWORD PortRecord::*wide;
    DWORD defaultValue;
};

#define PF_INT(key, def) {#key, &PortSettings::key, &PortRecord::key, def}
const IntKey kInts[] = {
    PF_INT(ServerPort, 9100),     PF_INT(LoadBalancing, 1),     PF_INT(RefreshIPList, 0),
    PF_INT(AuthType, 1),          PF_INT(Projects, 0),          PF_INT(Compression, 0),
    PF_INT(FaxServer, 0),         PF_INT(LogToFile, 0),         PF_INT(Encryption, 0),
    PF_INT(DefaultProjectID, 0),  PF_INT(DisableServerCommunication, 0), PF_INT(ProtocolLevel, 4),
    PF_INT(JobOwnerMethod, 0),    PF_INT(NetworkTimeout, 60),   PF_INT(ParserDPI, 72),
    PF_INT(PriceEstimation, 0),   PF_INT(PopupsForBWPrint, 0),  PF_INT(SavePassword, 0),
    PF_INT(NoProjectOption, 1),   PF_INT(LBNetworkTimeout, 60), PF_INT(LogFileSizeLimit, 20),
    PF_INT(LogFileCount, 3),      PF_INT(SSLCertificateVerification, 0), PF_INT(ServerDeliveryMode, 0),
    PF_INT(WebBasedApplications, 1), PF_INT(ServerDeliveryMode2, 0), PF_INT(ServerDeliveryMode3, 0),
};
#undef PF_INT

// "ServerIP", "ServerIP2" ... and the like: the number only from 2 on.
inline std::string Numbered(const char* base, int k) { return k < 2 ? base : base + std::to_string(k); }

// Every string field is terminated and zero from its terminator on; the port
// name is left empty by the reader.
inline void CheckSettings(const PortSettings& s) {
    for (const auto& key : kStrings) fuzz_support::CheckField(s.*key.field, kPortStringSize, key.name);
    for (int k = 0; k < kServerIpCount; ++k) fuzz_support::CheckField(s.ServerIP[k], kPortStringSize, "ServerIP");
    for (char c : s.PortName) fuzz_support::Check(c == 0, "the reader leaves PortName empty");
}

// The text a UTF-16 field holds, as 16-bit units.
inline std::u16string Wide(const WCHAR* field, size_t units) {
    std::u16string out;
    for (size_t i = 0; i < units && field[i]; ++i) out += static_cast<char16_t>(field[i]);
    return out;
}

// The record holds every field of the settings: strings converted in the
// machine's code page, each terminated and zero-padded; integers unchanged.
inline void CheckRecord(const PortSettings& s, const PortRecord& r) {
    UINT cp = winsim::Config().codePage;
    auto same = [&](const char* text, const WCHAR* wide, size_t units, const char* name) {
        fuzz_support::CheckWideField(wide, units, name);
        fuzz_support::Check(Wide(wide, units) == winsim::AnsiToUtf16(text, cp), "record string converted", name);
    };
    for (const auto& key : kStrings) same(s.*key.field, r.*key.wide, kPortStringSize, key.name);
    for (int k = 0; k < kServerIpCount; ++k) {
        same(s.ServerIP[k], r.ServerIP[k], kPortStringSize, "ServerIP");
        fuzz_support::Check(s.IPLoadBalancing[k] == r.IPLoadBalancing[k], "IPLoadBalancing copied");
    }
    for (const auto& key : kInts) fuzz_support::Check(s.*key.field == r.*key.wide, "integer copied", key.name);
    same(s.PortName, r.PortName, kPortNameSize, "PortName");
}

}  // namespace port_fields
