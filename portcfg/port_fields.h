// The fields of a port: the port settings that a port section fills, the
// port configuration record that carries them to the monitor, and the one
// table of the keys that fill them. The table drives the section reader (in
// its order), the record builder, winsim's view of a stored record and the
// fuzz targets. It needs nothing but the platform's types, so that the
// simulated monitor can read records with it.
#pragma once

#include <cstddef>

#include "platform/win32.h"

// Sizes of the fields, with their terminators.
constexpr DWORD kPortStringSize = 260;  // every string field: at most 259 characters
constexpr DWORD kPortNameSize = 10;     // the port name: at most 9 characters
constexpr int kServerIpCount = 10;      // entries of the ServerIP and IPLoadBalancing lists

// The fields of a port, in the order of the port configuration record. The
// port settings hold them as 8-bit text in the ANSI code page, the record
// (port_record.h) as UTF-16; integers are the same in both. Every unit after
// a string's terminator is zero (the structure is cleared before it is filled).
#pragma pack(push, 4)
template <class Char>
struct PortFieldsOf {
    Char Description[kPortStringSize];
    Char ServerIP[kServerIpCount][kPortStringSize];  // entry k-1 holds ServerIP, ServerIP2 ... ServerIP10
    DWORD ServerPort;
    DWORD LoadBalancing;
    DWORD RefreshIPList;
    Char Queue[kPortStringSize];
    DWORD AuthType;
    Char AuthText[kPortStringSize];
    Char ComPort[kPortStringSize];
    DWORD Projects;
    DWORD Compression;
    DWORD FaxServer;
    DWORD LogToFile;
    DWORD Encryption;
    DWORD DefaultProjectID;
    DWORD DisableServerCommunication;
    Char CurrentUserNameFormat[kPortStringSize];
    DWORD ProtocolLevel;
    DWORD JobOwnerMethod;
    Char LogFilePath[kPortStringSize];
    DWORD NetworkTimeout;
    DWORD ParserDPI;
    DWORD PriceEstimation;
    DWORD PopupsForBWPrint;
    Char BWPrintTempDir[kPortStringSize];
    DWORD IPLoadBalancing[kServerIpCount];  // entry k-1 belongs to ServerIP entry k-1
    DWORD SavePassword;
    DWORD NoProjectOption;
    Char Note[kPortStringSize];
    DWORD LBNetworkTimeout;
    Char RedirectToIP[kPortStringSize];
    DWORD LogFileSizeLimit;
    DWORD LogFileCount;
    DWORD SSLCertificateVerification;
    DWORD ServerDeliveryMode;  // delivery-mode field 1
    Char UserNameRegExMatch[kPortStringSize];
    Char UserNameRegExReplace[kPortStringSize];
    DWORD WebBasedApplications;
    Char EnvironmentVariableIP[kPortStringSize];
    DWORD ServerDeliveryMode2;  // delivery-mode field 2
    DWORD ServerDeliveryMode3;  // delivery-mode field 3
    Char PortName[kPortNameSize];
};
#pragma pack(pop)

using PortSettings = PortFieldsOf<char>;
using PortRecord = PortFieldsOf<WCHAR>;

// The three delivery-mode fields by index, in either structure: 2 and 3 are
// the fields at the end, any other index is field 1 among the older fields.
template <class Char>
DWORD* DeliveryModeField(PortFieldsOf<Char>* fields, int index) {
    if (index == 2) return &fields->ServerDeliveryMode2;
    if (index == 3) return &fields->ServerDeliveryMode3;
    return &fields->ServerDeliveryMode;
}

enum class PortFieldKind { Text, Number };

struct PortField {
    const char* key;  // the key of the section that fills the field
    PortFieldKind kind;
    const char* textDefault;  // Text: the value of a missing key
    DWORD numberDefault;      // Number: the value of a missing key
    size_t settingsOffset;    // Text: Char[kPortStringSize]; Number: DWORD
    size_t recordOffset;
    int listEntry;  // k of the ServerIP and IPLoadBalancing lists (1 to 10); 0 for a field of its own
};

#define PORT_TEXT(key, fallback) \
    { #key, PortFieldKind::Text, fallback, 0, offsetof(PortSettings, key), offsetof(PortRecord, key), 0 }
#define PORT_NUMBER(key, fallback) \
    { #key, PortFieldKind::Number, "", fallback, offsetof(PortSettings, key), offsetof(PortRecord, key), 0 }
// ServerIP k and IPLoadBalancing k, read one after the other; the key of k = 1
// carries no number.
#define PORT_LIST_PAIR(k, suffix)                                                                          \
    {"ServerIP" suffix, PortFieldKind::Text, "", 0, offsetof(PortSettings, ServerIP[k - 1]),               \
     offsetof(PortRecord, ServerIP[k - 1]), k},                                                            \
    {"IPLoadBalancing" suffix, PortFieldKind::Number, "", 0, offsetof(PortSettings, IPLoadBalancing[k - 1]), \
     offsetof(PortRecord, IPLoadBalancing[k - 1]), k}

// Every key that fills a field of the port, in the order in which a section
// is read. The first 21 (Description and the two lists) are read before the
// reader knows whether the section exists; PortName is no key: the port is
// named by its section's number.
constexpr PortField kPortFields[] = {
    PORT_TEXT(Description, ""),
    PORT_LIST_PAIR(1, ""),
    PORT_LIST_PAIR(2, "2"),
    PORT_LIST_PAIR(3, "3"),
    PORT_LIST_PAIR(4, "4"),
    PORT_LIST_PAIR(5, "5"),
    PORT_LIST_PAIR(6, "6"),
    PORT_LIST_PAIR(7, "7"),
    PORT_LIST_PAIR(8, "8"),
    PORT_LIST_PAIR(9, "9"),
    PORT_LIST_PAIR(10, "10"),
    PORT_NUMBER(ServerPort, 9100),
    PORT_NUMBER(LoadBalancing, 1),
    PORT_NUMBER(RefreshIPList, 0),
    PORT_TEXT(Queue, ""),
    PORT_NUMBER(AuthType, 1),
    PORT_TEXT(AuthText, ""),
    PORT_TEXT(ComPort, ""),
    PORT_NUMBER(Projects, 0),
    PORT_NUMBER(Compression, 0),
    PORT_NUMBER(FaxServer, 0),
    PORT_NUMBER(LogToFile, 0),
    PORT_NUMBER(Encryption, 0),
    PORT_NUMBER(DefaultProjectID, 0),
    PORT_NUMBER(DisableServerCommunication, 0),
    PORT_NUMBER(ProtocolLevel, 4),
    PORT_NUMBER(JobOwnerMethod, 0),
    PORT_NUMBER(NetworkTimeout, 60),
    PORT_NUMBER(PriceEstimation, 0),
    PORT_NUMBER(PopupsForBWPrint, 0),
    PORT_NUMBER(ParserDPI, 72),
    PORT_NUMBER(SavePassword, 0),
    PORT_NUMBER(NoProjectOption, 1),
    PORT_NUMBER(LBNetworkTimeout, 60),
    PORT_NUMBER(LogFileSizeLimit, 20),
    PORT_NUMBER(LogFileCount, 3),
    PORT_NUMBER(SSLCertificateVerification, 0),
    PORT_NUMBER(ServerDeliveryMode, 0),
    PORT_NUMBER(ServerDeliveryMode2, 0),
    PORT_NUMBER(ServerDeliveryMode3, 0),
    PORT_NUMBER(WebBasedApplications, 1),
    PORT_TEXT(CurrentUserNameFormat, ""),
    PORT_TEXT(LogFilePath, ""),
    PORT_TEXT(BWPrintTempDir, ""),
    PORT_TEXT(Note, ""),
    PORT_TEXT(RedirectToIP, ""),
    PORT_TEXT(UserNameRegExMatch, ""),
    PORT_TEXT(UserNameRegExReplace, ""),
    PORT_TEXT(EnvironmentVariableIP, "ZaviVodazi_IP_Address"),
};
#undef PORT_TEXT
#undef PORT_NUMBER
#undef PORT_LIST_PAIR

constexpr size_t kPortFieldCount = sizeof kPortFields / sizeof kPortFields[0];
// The fields read before the section's existence is known.
constexpr size_t kPortFieldsBeforeServerCheck = 1 + 2 * kServerIpCount;
static_assert(kPortFields[1].settingsOffset == offsetof(PortSettings, ServerIP) &&
                  kPortFields[kPortFieldsBeforeServerCheck - 1].listEntry == kServerIpCount,
              "the section's ServerIP is known once the two lists are read");

// A field of the table in the port settings and in the record: TextIn and
// NumberIn to fill it, TextOf and NumberOf to read it.
inline char* TextIn(PortSettings* s, const PortField& f) { return reinterpret_cast<char*>(s) + f.settingsOffset; }
inline DWORD* NumberIn(PortSettings* s, const PortField& f) {
    return reinterpret_cast<DWORD*>(reinterpret_cast<char*>(s) + f.settingsOffset);
}
inline const char* TextOf(const PortSettings* s, const PortField& f) {
    return reinterpret_cast<const char*>(s) + f.settingsOffset;
}
inline DWORD NumberOf(const PortSettings* s, const PortField& f) {
    return *reinterpret_cast<const DWORD*>(reinterpret_cast<const char*>(s) + f.settingsOffset);
}
inline WCHAR* TextIn(PortRecord* r, const PortField& f) {
    return reinterpret_cast<WCHAR*>(reinterpret_cast<char*>(r) + f.recordOffset);
}
inline DWORD* NumberIn(PortRecord* r, const PortField& f) {
    return reinterpret_cast<DWORD*>(reinterpret_cast<char*>(r) + f.recordOffset);
}
inline const WCHAR* TextOf(const PortRecord* r, const PortField& f) {
    return reinterpret_cast<const WCHAR*>(reinterpret_cast<const char*>(r) + f.recordOffset);
}
inline DWORD NumberOf(const PortRecord* r, const PortField& f) {
    return *reinterpret_cast<const DWORD*>(reinterpret_cast<const char*>(r) + f.recordOffset);
}
