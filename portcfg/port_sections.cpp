#include <cstdio>
#include <cstring>

#include "portcfg/port_settings.h"
#include "portcfg/registry_read.h"
#include "run/edition.h"

namespace {

// Where the values of one section come from.
struct SectionSource {
    bool fromIniFile = true;
    char section[16] = {};                  // the section's name: its number in decimal
    char iniPath[kIniReadPathSize] = {};    // INI file, as the profile functions get it
    const char* keyPath = nullptr;          // registry: the PortInstallCfg key
};

void OpenSource(int n, bool fromIniFile, SectionSource* source) {
    source->fromIniFile = fromIniFile;
    std::snprintf(source->section, sizeof source->section, "%d", n);
    if (fromIniFile) GetConfigFileReadPath(source->iniPath);
    else source->keyPath = Edition().portInstallCfgKey;
}

void ReadString(const SectionSource& source, const char* key, const char* defaultText, char* buffer,
                DWORD bufferSize) {
    if (source.fromIniFile) {
        GetPrivateProfileStringA(source.section, key, defaultText, buffer, bufferSize, source.iniPath);
    } else {
        GetHklmSubkeyString(source.section, key, defaultText, buffer, bufferSize, source.keyPath, 0);
    }
    // Whatever a reader left after the terminator is cleared: the field is
    // zero from its terminator on.
    buffer[bufferSize - 1] = '\0';
    size_t length = static_cast<const char*>(std::memchr(buffer, '\0', bufferSize)) - buffer;
    std::memset(buffer + length, 0, bufferSize - length);
}

void ReadString(const SectionSource& source, const char* key, char (&field)[kPortStringSize],
                const char* defaultText = "") {
    ReadString(source, key, defaultText, field, kPortStringSize);
}

DWORD ReadInt(const SectionSource& source, const char* key, DWORD defaultValue) {
    if (source.fromIniFile)
        return GetPrivateProfileIntA(source.section, key, static_cast<INT>(defaultValue), source.iniPath);
    return GetHklmSubkeyDword(source.section, key, defaultValue, source.keyPath);
}

// "ServerIP", "ServerIP2" ... "ServerIP10": the number only from 2 on.
void NumberedName(char (&name)[40], const char* base, int k) {
    if (k < 2) std::snprintf(name, sizeof name, "%s", base);
    else std::snprintf(name, sizeof name, "%s%d", base, k);
}

DWORD* DeliveryModeField(PortSettings* settings, int index) {
    if (index == 2) return &settings->ServerDeliveryMode2;
    if (index == 3) return &settings->ServerDeliveryMode3;
    return &settings->ServerDeliveryMode;
}

}  // namespace

DWORD GetDeliveryMode(const PortSettings* settings, int index) {
    return *DeliveryModeField(const_cast<PortSettings*>(settings), index);
}

void SetDeliveryMode(PortSettings* settings, int index, DWORD value) { *DeliveryModeField(settings, index) = value; }

void GetConfigFileReadPath(char (&path)[kIniReadPathSize]) {
    const char* stored = GetConfigFilePath();
    bool hasFolder = std::strchr(stored, '\\') != nullptr || std::strchr(stored, '/') != nullptr;
    bool hasDrive = stored[0] != '\0' && stored[1] == ':';
    if (stored[0] == '\0' || hasFolder || hasDrive) std::snprintf(path, sizeof path, "%s", stored);
    else std::snprintf(path, sizeof path, ".\\%s", stored);
}

bool FormatPortName(int n, char (&portName)[kPortNameSize]) {
    int length = n < 0 ? -1 : std::snprintf(portName, sizeof portName, Edition().portNameFormat, n);
    if (length < 0 || static_cast<size_t>(length) >= sizeof portName) {
        std::memset(portName, 0, sizeof portName);
        return false;
    }
    return true;
}

void ReadPortSectionString(int n, bool fromIniFile, const char* key, const char* defaultText, char* buffer,
                           DWORD bufferSize) {
    if (!buffer || bufferSize == 0) return;
    SectionSource source;
    OpenSource(n, fromIniFile, &source);
    ReadString(source, key, defaultText ? defaultText : "", buffer, bufferSize);
}

bool ReadPortSection(int n, bool fromIniFile, PortSettings* s) {
    if (!s) return false;
    std::memset(s, 0, sizeof *s);
    SectionSource source;
    OpenSource(n, fromIniFile, &source);

    ReadString(source, "Description", s->Description);
    // All ten pairs are read, whatever they hold: entries may be empty
    // between filled ones.
    for (int k = 1; k <= kServerIpCount; ++k) {
        char name[40];
        NumberedName(name, "ServerIP", k);
        ReadString(source, name, s->ServerIP[k - 1]);
        NumberedName(name, "IPLoadBalancing", k);
        s->IPLoadBalancing[k - 1] = ReadInt(source, name, 0);
    }
    if (s->ServerIP[0][0] == '\0') return false;  // no ServerIP: the section does not exist

    s->ServerPort = ReadInt(source, "ServerPort", 9100);
    s->LoadBalancing = ReadInt(source, "LoadBalancing", 1);
    s->RefreshIPList = ReadInt(source, "RefreshIPList", 0);
    ReadString(source, "Queue", s->Queue);
    s->AuthType = ReadInt(source, "AuthType", 1);
    ReadString(source, "AuthText", s->AuthText);
    ReadString(source, "ComPort", s->ComPort);
    s->Projects = ReadInt(source, "Projects", 0);
    s->Compression = ReadInt(source, "Compression", 0);
    s->FaxServer = ReadInt(source, "FaxServer", 0);
    s->LogToFile = ReadInt(source, "LogToFile", 0);
    s->Encryption = ReadInt(source, "Encryption", 0);
    s->DefaultProjectID = ReadInt(source, "DefaultProjectID", 0);
    s->DisableServerCommunication = ReadInt(source, "DisableServerCommunication", 0);
    s->ProtocolLevel = ReadInt(source, "ProtocolLevel", 4);
    s->JobOwnerMethod = ReadInt(source, "JobOwnerMethod", 0);
    s->NetworkTimeout = ReadInt(source, "NetworkTimeout", 60);
    s->PriceEstimation = ReadInt(source, "PriceEstimation", 0);
    s->PopupsForBWPrint = ReadInt(source, "PopupsForBWPrint", 0);
    s->ParserDPI = ReadInt(source, "ParserDPI", 72);
    s->SavePassword = ReadInt(source, "SavePassword", 0);
    s->NoProjectOption = ReadInt(source, "NoProjectOption", 1);
    s->LBNetworkTimeout = ReadInt(source, "LBNetworkTimeout", 60);
    s->LogFileSizeLimit = ReadInt(source, "LogFileSizeLimit", 20);
    s->LogFileCount = ReadInt(source, "LogFileCount", 3);
    s->SSLCertificateVerification = ReadInt(source, "SSLCertificateVerification", 0);
    for (int i = 1; i <= 3; ++i) {
        char name[40];
        NumberedName(name, "ServerDeliveryMode", i);
        SetDeliveryMode(s, i, ReadInt(source, name, 0));
    }
    s->WebBasedApplications = ReadInt(source, "WebBasedApplications", 1);
    ReadString(source, "CurrentUserNameFormat", s->CurrentUserNameFormat);
    ReadString(source, "LogFilePath", s->LogFilePath);
    ReadString(source, "BWPrintTempDir", s->BWPrintTempDir);
    ReadString(source, "Note", s->Note);
    ReadString(source, "RedirectToIP", s->RedirectToIP);
    ReadString(source, "UserNameRegExMatch", s->UserNameRegExMatch);
    ReadString(source, "UserNameRegExReplace", s->UserNameRegExReplace);
    ReadString(source, "EnvironmentVariableIP", s->EnvironmentVariableIP, "ZaviVodazi_IP_Address");

    // The Enterprise rule: a port that works without the server neither
    // encrypts nor refreshes its server list.
    if (enterpriseEdition && s->DisableServerCommunication != 0) {
        s->Encryption = 0;
        s->RefreshIPList = 0;
    }
    return true;
}
