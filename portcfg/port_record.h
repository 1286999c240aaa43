// The port configuration record (PortRecord, port_fields.h): the 11608-byte
// block that "SetPortData" hands to the port monitor. Its layout is a wire
// format shared with the monitor: little-endian DWORDs, strings as
// zero-padded UTF-16 arrays, every field on a 4-byte boundary, no gaps and no
// header. The fields stand in the order of the port settings.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"
#include "portcfg/port_fields.h"
#include "portcfg/port_settings.h"

constexpr DWORD kPortRecordSize = 11608;

// MultiByteToWideChar as it is bound at run time.
typedef int(WINAPI* MultiByteToWideCharProc)(UINT codePage, DWORD flags, LPCSTR source, int sourceLength,
                                              LPWSTR target, int targetLength);

// The wire layout, held at compile time on every target.
static_assert(sizeof(WCHAR) == 2, "UTF-16 code units");
static_assert(sizeof(DWORD) == 4, "32-bit integers");
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

// The delivery-mode fields of the record by index, as for the port settings:
// 2 and 3 are the fields at the end, any other index is field 1.
inline DWORD GetRecordDeliveryMode(const PortRecord* record, int index) {
    return *DeliveryModeField(const_cast<PortRecord*>(record), index);
}
inline void SetRecordDeliveryMode(PortRecord* record, int index, DWORD value) {
    *DeliveryModeField(record, index) = value;
}

// Builds the record from the port settings: clears it, converts every string
// (PortName included) to UTF-16 in the ANSI code page with the conversion
// handed in, copies every integer unchanged.
void BuildPortRecord(const PortSettings* settings, PortRecord* record, MultiByteToWideCharProc convert);
