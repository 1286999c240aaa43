// The port configuration record (PortRecord, wire/port_fields.h): the
// 11608-byte block that "SetPortData" hands to the port monitor, built here
// from the port settings. Its layout is the wire format of wire/, shared with
// the monitor.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"
#include "portcfg/port_settings.h"
#include "wire/port_fields.h"

// MultiByteToWideChar as it is bound at run time.
typedef int(WINAPI* MultiByteToWideCharProc)(UINT codePage, DWORD flags, LPCSTR source, int sourceLength,
                                              LPWSTR target, int targetLength);

// The Windows types the record is handed over in are the wire's sizes.
static_assert(sizeof(WCHAR) == sizeof(char16_t), "UTF-16 code units");
static_assert(sizeof(DWORD) == sizeof(std::uint32_t), "32-bit integers");

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
