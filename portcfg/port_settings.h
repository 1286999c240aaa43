// Port sections: the numbered groups of port settings kept in the INI file
// (one INI section per port, named 1, 2, 3 ...) or in the registry (one
// subkey per port below the edition's PortInstallCfg key), and the port
// settings structure that one section fills.
#pragma once

#include <cstddef>

#include "platform/win32.h"

// Sizes of the fields, with their terminators.
constexpr DWORD kPortStringSize = 260;  // every string field: at most 259 characters
constexpr DWORD kPortNameSize = 10;     // the port name: at most 9 characters
constexpr int kServerIpCount = 10;      // entries of the ServerIP and IPLoadBalancing lists

// One port section, field for field in the order of the port configuration
// record. Strings are 8-bit text in the ANSI code page; every byte after a
// string's terminator is zero (the structure is cleared before it is filled).
struct PortSettings {
    char Description[kPortStringSize];
    char ServerIP[kServerIpCount][kPortStringSize];  // entry k-1 holds ServerIP, ServerIP2 ... ServerIP10
    DWORD ServerPort;
    DWORD LoadBalancing;
    DWORD RefreshIPList;
    char Queue[kPortStringSize];
    DWORD AuthType;
    char AuthText[kPortStringSize];
    char ComPort[kPortStringSize];
    DWORD Projects;
    DWORD Compression;
    DWORD FaxServer;
    DWORD LogToFile;
    DWORD Encryption;
    DWORD DefaultProjectID;
    DWORD DisableServerCommunication;
    char CurrentUserNameFormat[kPortStringSize];
    DWORD ProtocolLevel;
    DWORD JobOwnerMethod;
    char LogFilePath[kPortStringSize];
    DWORD NetworkTimeout;
    DWORD ParserDPI;
    DWORD PriceEstimation;
    DWORD PopupsForBWPrint;
    char BWPrintTempDir[kPortStringSize];
    DWORD IPLoadBalancing[kServerIpCount];  // entry k-1 belongs to ServerIP entry k-1
    DWORD SavePassword;
    DWORD NoProjectOption;
    char Note[kPortStringSize];
    DWORD LBNetworkTimeout;
    char RedirectToIP[kPortStringSize];
    DWORD LogFileSizeLimit;
    DWORD LogFileCount;
    DWORD SSLCertificateVerification;
    DWORD ServerDeliveryMode;  // delivery-mode field 1
    char UserNameRegExMatch[kPortStringSize];
    char UserNameRegExReplace[kPortStringSize];
    DWORD WebBasedApplications;
    char EnvironmentVariableIP[kPortStringSize];
    DWORD ServerDeliveryMode2;  // delivery-mode field 2
    DWORD ServerDeliveryMode3;  // delivery-mode field 3
    char PortName[kPortNameSize];
};

// The delivery-mode fields by index: 2 and 3 are the fields at the end, any
// other index is field 1 (ServerDeliveryMode among the older fields).
DWORD GetDeliveryMode(const PortSettings* settings, int index);
void SetDeliveryMode(PortSettings* settings, int index, DWORD value);

// Clears *settings and reads port section n from the INI file (fromIniFile)
// or from the registry. True when the section exists, that is when its
// ServerIP is not empty; every value that is missing takes its default.
// PortName is left empty. In the Enterprise edition a section with
// DisableServerCommunication set gets Encryption and RefreshIPList 0.
bool ReadPortSection(int n, bool fromIniFile, PortSettings* settings);

// Reads one string key of port section n from the chosen source into buffer
// (bufferSize bytes, always terminated), with defaultText when it is missing.
void ReadPortSectionString(int n, bool fromIniFile, const char* key, const char* defaultText, char* buffer,
                           DWORD bufferSize);

// Formats the port name of section n with the edition's port-name format.
// False, with an empty name, when the name would not fit its field: above
// section 9999 in the standard edition and above 999 in the Enterprise one.
bool FormatPortName(int n, char (&portName)[kPortNameSize]);

// The path through which the INI file is read: the configuration-file path
// as it stands, except that a bare file name (no folder, no drive) is read as
// ".\" and the name, in the current directory, which is the installer's
// folder. The profile functions would look for a bare name in the Windows
// directory. The buffer holds the configuration-file path (1023 characters)
// and the two added characters.
constexpr size_t kIniReadPathSize = 1026;
void GetConfigFileReadPath(char (&path)[kIniReadPathSize]);
