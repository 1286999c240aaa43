// Port sections: the numbered groups of port settings kept in the INI file
// (one INI section per port, named 1, 2, 3 ...) or in the registry (one
// subkey per port below the edition's PortInstallCfg key), and the port
// settings structure that one section fills.
#pragma once

#include "base/edition.h"
#include "base/run_plan.h"
#include "platform/win32.h"
#include "wire/port_fields.h"

// The delivery-mode fields by index: 2 and 3 are the fields at the end, any
// other index is field 1 (ServerDeliveryMode among the older fields).
inline DWORD GetDeliveryMode(const PortSettings* settings, int index) {
    return *DeliveryModeField(const_cast<PortSettings*>(settings), index);
}
inline void SetDeliveryMode(PortSettings* settings, int index, DWORD value) {
    *DeliveryModeField(settings, index) = value;
}

// Clears *settings and reads port section n from the run's source. True when
// the section exists, that is when its ServerIP is not empty; every value
// that is missing takes its default. PortName is left empty. Where the
// edition says so, a section with DisableServerCommunication set gets
// Encryption and RefreshIPList 0.
bool ReadPortSection(int n, const RunPlan& plan, PortSettings* settings);

// Reads one string key of port section n from the run's source into buffer
// (bufferSize bytes, always terminated, zero after the terminator), with
// defaultText when it is missing.
void ReadPortSectionString(int n, const RunPlan& plan, const char* key, const char* defaultText, char* buffer,
                           DWORD bufferSize);

// What port section n of the run's source makes, as the installation scans
// the sections 1, 2, 3 ...: a port (the section read into *settings, its
// PortName formatted), the end of the scan (the section has no ServerIP), or
// a section past the last number the edition's port names hold (the scan
// ends there with error 123).
enum class SectionScan { Port, End, PastLastName };
SectionScan ScanPortSection(int n, const RunPlan& plan, PortSettings* settings);

// Formats the port name of section n with the edition's port-name format.
// False, with an empty name, when the name would not fit its field: above
// section 9999 in the standard edition and above 999 in the Enterprise one.
bool FormatPortName(const EditionProfile& edition, int n, char (&portName)[kPortNameSize]);
