// The fields of a port: the port settings that a port section fills, the
// port configuration record that carries them to the monitor (the wire
// format shared with the monitor), and the one table of the keys that fill
// them. The table drives the section reader (in its order), the record
// builder, winsim's view of a stored record, the stand-in monitor and the
// fuzz targets. This is the ground floor: it includes the standard library
// and nothing else, so that the installer, the simulated Windows and the
// stand-in monitor all build on it without reaching each other. Its integers
// are std::uint32_t (a DWORD's size on every target), the record's text is
// char16_t (a WCHAR's size).
#pragma once

#include <cstddef>
#include <cstdint>

// Sizes of the fields, with their terminators.
constexpr std::uint32_t kPortStringSize = 260;  // every string field: at most 259 characters
constexpr std::uint32_t kPortNameSize = 10;     // the port name: at most 9 characters
constexpr int kServerIpCount = 10;              // entries of the ServerIP and IPLoadBalancing lists

// The fields of a port, in the order of the port configuration record. The
// port settings hold them as 8-bit text in the ANSI code page, the record as
// UTF-16; integers are the same in both. Every unit after a string's
// terminator is zero (the structure is cleared before it is filled).
#pragma pack(push, 4)
template <class Char>
struct PortFieldsOf {
    Char Description[kPortStringSize];
    Char ServerIP[kServerIpCount][kPortStringSize];  // entry k-1 holds ServerIP, ServerIP2 ... ServerIP10
    std::uint32_t ServerPort;
    std::uint32_t LoadBalancing;
    std::uint32_t RefreshIPList;
    Char Queue[kPortStringSize];
    std::uint32_t AuthType;
    Char AuthText[kPortStringSize];
    Char ComPort[kPortStringSize];
    std::uint32_t Projects;
    std::uint32_t Compression;
    std::uint32_t FaxServer;
    std::uint32_t LogToFile;
    std::uint32_t Encryption;
    std::uint32_t DefaultProjectID;
    std::uint32_t DisableServerCommunication;
    Char CurrentUserNameFormat[kPortStringSize];
    std::uint32_t ProtocolLevel;
    std::uint32_t JobOwnerMethod;
    Char LogFilePath[kPortStringSize];
    std::uint32_t NetworkTimeout;
    std::uint32_t ParserDPI;
    std::uint32_t PriceEstimation;
    std::uint32_t PopupsForBWPrint;
    Char BWPrintTempDir[kPortStringSize];
    std::uint32_t IPLoadBalancing[kServerIpCount];  // entry k-1 belongs to ServerIP entry k-1
    std::uint32_t SavePassword;
    std::uint32_t NoProjectOption;
    Char Note[kPortStringSize];
    std::uint32_t LBNetworkTimeout;
    Char RedirectToIP[kPortStringSize];
    std::uint32_t LogFileSizeLimit;
    std::uint32_t LogFileCount;
    std::uint32_t SSLCertificateVerification;
    std::uint32_t ServerDeliveryMode;  // delivery-mode field 1
    Char UserNameRegExMatch[kPortStringSize];
    Char UserNameRegExReplace[kPortStringSize];
    std::uint32_t WebBasedApplications;
    Char EnvironmentVariableIP[kPortStringSize];
    std::uint32_t ServerDeliveryMode2;  // delivery-mode field 2
    std::uint32_t ServerDeliveryMode3;  // delivery-mode field 3
    Char PortName[kPortNameSize];
};
#pragma pack(pop)

using PortSettings = PortFieldsOf<char>;
using PortRecord = PortFieldsOf<char16_t>;

// The record as "SetPortData" hands it to the monitor: 11608 bytes,
// little-endian 32-bit integers, strings as zero-padded UTF-16 arrays, every
// field on a 4-byte boundary, no gaps and no header. Its layout, held at
// compile time on every target:
constexpr std::uint32_t kPortRecordSize = 11608;
static_assert(sizeof(PortRecord) == kPortRecordSize, "the record is 11608 bytes");
static_assert(offsetof(PortRecord, Description) == 0, "Description");
static_assert(offsetof(PortRecord, ServerIP) == 520, "ServerIP list");
static_assert(offsetof(PortRecord, ServerIP[2]) == 1560, "ServerIP3");
static_assert(offsetof(PortRecord, ServerIP[9]) == 5200, "ServerIP10");
static_assert(offsetof(PortRecord, ServerPort) == 5720, "ServerPort");
static_assert(offsetof(PortRecord, LoadBalancing) == 5724, "LoadBalancing");
static_assert(offsetof(PortRecord, RefreshIPList) == 5728, "RefreshIPList");
static_assert(offsetof(PortRecord, Queue) == 5732, "Queue");
static_assert(offsetof(PortRecord, AuthType) == 6252, "AuthType");
static_assert(offsetof(PortRecord, AuthText) == 6256, "AuthText");
static_assert(offsetof(PortRecord, ComPort) == 6776, "ComPort");
static_assert(offsetof(PortRecord, Projects) == 7296, "Projects");
static_assert(offsetof(PortRecord, Compression) == 7300, "Compression");
static_assert(offsetof(PortRecord, FaxServer) == 7304, "FaxServer");
static_assert(offsetof(PortRecord, LogToFile) == 7308, "LogToFile");
static_assert(offsetof(PortRecord, Encryption) == 7312, "Encryption");
static_assert(offsetof(PortRecord, DefaultProjectID) == 7316, "DefaultProjectID");
static_assert(offsetof(PortRecord, DisableServerCommunication) == 7320, "DisableServerCommunication");
static_assert(offsetof(PortRecord, CurrentUserNameFormat) == 7324, "CurrentUserNameFormat");
static_assert(offsetof(PortRecord, ProtocolLevel) == 7844, "ProtocolLevel");
static_assert(offsetof(PortRecord, JobOwnerMethod) == 7848, "JobOwnerMethod");
static_assert(offsetof(PortRecord, LogFilePath) == 7852, "LogFilePath");
static_assert(offsetof(PortRecord, NetworkTimeout) == 8372, "NetworkTimeout");
static_assert(offsetof(PortRecord, ParserDPI) == 8376, "ParserDPI");
static_assert(offsetof(PortRecord, PriceEstimation) == 8380, "PriceEstimation");
static_assert(offsetof(PortRecord, PopupsForBWPrint) == 8384, "PopupsForBWPrint");
static_assert(offsetof(PortRecord, BWPrintTempDir) == 8388, "BWPrintTempDir");
static_assert(offsetof(PortRecord, IPLoadBalancing) == 8908, "IPLoadBalancing list");
static_assert(offsetof(PortRecord, IPLoadBalancing[9]) == 8944, "IPLoadBalancing10");
static_assert(offsetof(PortRecord, SavePassword) == 8948, "SavePassword");
static_assert(offsetof(PortRecord, NoProjectOption) == 8952, "NoProjectOption");
static_assert(offsetof(PortRecord, Note) == 8956, "Note");
static_assert(offsetof(PortRecord, LBNetworkTimeout) == 9476, "LBNetworkTimeout");
static_assert(offsetof(PortRecord, RedirectToIP) == 9480, "RedirectToIP");
static_assert(offsetof(PortRecord, LogFileSizeLimit) == 10000, "LogFileSizeLimit");
static_assert(offsetof(PortRecord, LogFileCount) == 10004, "LogFileCount");
static_assert(offsetof(PortRecord, SSLCertificateVerification) == 10008, "SSLCertificateVerification");
static_assert(offsetof(PortRecord, ServerDeliveryMode) == 10012, "ServerDeliveryMode");
static_assert(offsetof(PortRecord, UserNameRegExMatch) == 10016, "UserNameRegExMatch");
static_assert(offsetof(PortRecord, UserNameRegExReplace) == 10536, "UserNameRegExReplace");
static_assert(offsetof(PortRecord, WebBasedApplications) == 11056, "WebBasedApplications");
static_assert(offsetof(PortRecord, EnvironmentVariableIP) == 11060, "EnvironmentVariableIP");
static_assert(offsetof(PortRecord, ServerDeliveryMode2) == 11580, "ServerDeliveryMode2");
static_assert(offsetof(PortRecord, ServerDeliveryMode3) == 11584, "ServerDeliveryMode3");
static_assert(offsetof(PortRecord, PortName) == 11588, "PortName");

// The three delivery-mode fields by index, in either structure: 2 and 3 are
// the fields at the end, any other index is field 1 among the older fields.
template <class Char>
std::uint32_t* DeliveryModeField(PortFieldsOf<Char>* fields, int index) {
    if (index == 2) return &fields->ServerDeliveryMode2;
    if (index == 3) return &fields->ServerDeliveryMode3;
    return &fields->ServerDeliveryMode;
}

enum class PortFieldKind { Text, Number };

struct PortField {
    const char* key;  // the key of the section that fills the field
    PortFieldKind kind;
    const char* textDefault;  // Text: the value of a missing key
    std::uint32_t numberDefault;  // Number: the value of a missing key
    std::size_t settingsOffset;   // Text: Char[kPortStringSize]; Number: std::uint32_t
    std::size_t recordOffset;
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

constexpr std::size_t kPortFieldCount = sizeof kPortFields / sizeof kPortFields[0];
// The fields read before the section's existence is known.
constexpr std::size_t kPortFieldsBeforeServerCheck = 1 + 2 * kServerIpCount;
static_assert(kPortFields[1].settingsOffset == offsetof(PortSettings, ServerIP) &&
                  kPortFields[kPortFieldsBeforeServerCheck - 1].listEntry == kServerIpCount,
              "the section's ServerIP is known once the two lists are read");

// A field of the table in the port settings and in the record: TextIn and
// NumberIn to fill it, TextOf and NumberOf to read it.
inline char* TextIn(PortSettings* s, const PortField& f) { return reinterpret_cast<char*>(s) + f.settingsOffset; }
inline std::uint32_t* NumberIn(PortSettings* s, const PortField& f) {
    return reinterpret_cast<std::uint32_t*>(reinterpret_cast<char*>(s) + f.settingsOffset);
}
inline const char* TextOf(const PortSettings* s, const PortField& f) {
    return reinterpret_cast<const char*>(s) + f.settingsOffset;
}
inline std::uint32_t NumberOf(const PortSettings* s, const PortField& f) {
    return *reinterpret_cast<const std::uint32_t*>(reinterpret_cast<const char*>(s) + f.settingsOffset);
}
inline char16_t* TextIn(PortRecord* r, const PortField& f) {
    return reinterpret_cast<char16_t*>(reinterpret_cast<char*>(r) + f.recordOffset);
}
inline std::uint32_t* NumberIn(PortRecord* r, const PortField& f) {
    return reinterpret_cast<std::uint32_t*>(reinterpret_cast<char*>(r) + f.recordOffset);
}
inline const char16_t* TextOf(const PortRecord* r, const PortField& f) {
    return reinterpret_cast<const char16_t*>(reinterpret_cast<const char*>(r) + f.recordOffset);
}
inline std::uint32_t NumberOf(const PortRecord* r, const PortField& f) {
    return *reinterpret_cast<const std::uint32_t*>(reinterpret_cast<const char*>(r) + f.recordOffset);
}
