#include "portcfg/port_record.h"

#include <cstring>

namespace {

DWORD* RecordDeliveryModeField(PortRecord* record, int index) {
    if (index == 2) return &record->ServerDeliveryMode2;
    if (index == 3) return &record->ServerDeliveryMode3;
    return &record->ServerDeliveryMode;
}

// Converts a terminated 8-bit string into a UTF-16 field of `units` units,
// terminator included. The field is zero beforehand; its last unit stays
// zero, so the field is terminated whatever the conversion answers.
template <size_t From, size_t Units>
void Convert(MultiByteToWideCharProc convert, const char (&source)[From], WCHAR (&target)[Units]) {
    static_assert(Units >= From, "every source fits its field");
    if (!convert) return;
    // A source is terminated within its field (the terminator is converted
    // too); one that is not gets its first From - 1 bytes converted, never
    // more than its field holds.
    bool terminated = std::memchr(source, '\0', From) != nullptr;
    convert(CP_ACP, 0, source, terminated ? -1 : static_cast<int>(From - 1), target, static_cast<int>(Units));
    target[Units - 1] = 0;
}

}  // namespace

DWORD GetRecordDeliveryMode(const PortRecord* record, int index) {
    return *RecordDeliveryModeField(const_cast<PortRecord*>(record), index);
}

void SetRecordDeliveryMode(PortRecord* record, int index, DWORD value) {
    *RecordDeliveryModeField(record, index) = value;
}

void BuildPortRecord(const PortSettings* s, PortRecord* r, MultiByteToWideCharProc convert) {
    std::memset(r, 0, sizeof *r);
    Convert(convert, s->PortName, r->PortName);

    Convert(convert, s->Description, r->Description);
    for (int k = 0; k < kServerIpCount; ++k) {
        Convert(convert, s->ServerIP[k], r->ServerIP[k]);
        r->IPLoadBalancing[k] = s->IPLoadBalancing[k];
    }
    r->ServerPort = s->ServerPort;
    r->LoadBalancing = s->LoadBalancing;
    r->RefreshIPList = s->RefreshIPList;
    Convert(convert, s->Queue, r->Queue);
    r->AuthType = s->AuthType;
    Convert(convert, s->AuthText, r->AuthText);
    Convert(convert, s->ComPort, r->ComPort);
    r->Projects = s->Projects;
    r->Compression = s->Compression;
    r->FaxServer = s->FaxServer;
    r->LogToFile = s->LogToFile;
    r->Encryption = s->Encryption;
    r->DefaultProjectID = s->DefaultProjectID;
    r->DisableServerCommunication = s->DisableServerCommunication;
    Convert(convert, s->CurrentUserNameFormat, r->CurrentUserNameFormat);
    r->ProtocolLevel = s->ProtocolLevel;
    r->JobOwnerMethod = s->JobOwnerMethod;
    Convert(convert, s->LogFilePath, r->LogFilePath);
    r->NetworkTimeout = s->NetworkTimeout;
    r->ParserDPI = s->ParserDPI;
    r->PriceEstimation = s->PriceEstimation;
    r->PopupsForBWPrint = s->PopupsForBWPrint;
    Convert(convert, s->BWPrintTempDir, r->BWPrintTempDir);
    r->SavePassword = s->SavePassword;
    r->NoProjectOption = s->NoProjectOption;
    Convert(convert, s->Note, r->Note);
    r->LBNetworkTimeout = s->LBNetworkTimeout;
    Convert(convert, s->RedirectToIP, r->RedirectToIP);
    r->LogFileSizeLimit = s->LogFileSizeLimit;
    r->LogFileCount = s->LogFileCount;
    r->SSLCertificateVerification = s->SSLCertificateVerification;
    Convert(convert, s->UserNameRegExMatch, r->UserNameRegExMatch);
    Convert(convert, s->UserNameRegExReplace, r->UserNameRegExReplace);
    r->WebBasedApplications = s->WebBasedApplications;
    Convert(convert, s->EnvironmentVariableIP, r->EnvironmentVariableIP);
    for (int i = 1; i <= 3; ++i) SetRecordDeliveryMode(r, i, GetDeliveryMode(s, i));
}
