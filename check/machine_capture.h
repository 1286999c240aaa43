// The capture of this machine's print state: what the installer reads or
// changes here, read through the Windows API and changing nothing. A plain
// value; CaptureJson writes it as the document that `winsim new --from`
// rebuilds a machine from (its members are described in the README).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "wire/capture_format.h"

// A registry value as it is stored: its type and its bytes.
struct CapturedValue {
    std::string name;
    DWORD type = 0;
    std::string data;
};

// A key with the values taken of it; the path begins with "HKLM\" or "HKCU\"
// and names 32-bit view keys by their place in the 64-bit view (Wow6432Node).
struct CapturedKey {
    std::string path;
    std::vector<CapturedValue> values;  // sorted by name
};

// A port's key below the product monitor's key, and its "Record" value.
struct CapturedPortKey {
    std::string name;
    bool hasRecord = false;
    CapturedValue record;
};

struct CapturedMonitor {
    std::string name;
    bool hasDriver = false;  // the monitor's key holds a "Driver" value
    std::string driver;
    std::vector<std::string> ports;  // EnumPortsA's ports of the monitor, sorted
    bool product = false;            // a monitor of the product: its port keys are taken
    std::vector<CapturedPortKey> portKeys;
};

// A printer as GetPrinterA level 2 describes it (the device mode, the
// security descriptor, the status and the job counts are left out).
struct CapturedPrinter {
    std::string name, shareName, ports, driver, comment, location, separatorFile, printProcessor, datatype,
        parameters;
    DWORD attributes = 0, priority = 0, defaultPriority = 0, startTime = 0, untilTime = 0;
};

enum class CapturedKind { File, Folder, Link };
struct CapturedFile {
    CaptureRoot root = CaptureRoot::Windows;
    std::string path;  // below the root, "\"-separated
    CapturedKind kind = CapturedKind::File;
    std::uint64_t size = 0;
    bool readOnly = false;
};

struct MachineCapture {
    DWORD platform = 0, major = 0, minor = 0, build = 0;
    BYTE productType = 0;
    bool wow64 = false;
    UINT codePage = 0;
    std::vector<CapturedMonitor> monitors;  // each list sorted by name (bytes)
    std::vector<CapturedPrinter> printers;
    std::vector<CapturedKey> registry;
    std::vector<CapturedFile> files;  // sorted by root, then path
    std::string failure;              // what could not be read; empty when the capture is whole
};

// Reads this machine. A 32-bit process on 64-bit Windows has its file-system
// redirection switched off afterwards (the native system directory is read).
MachineCapture ReadMachineCapture();

// The capture as its JSON document (UTF-8, LF line ends). AuthText, of the
// port records and of the registry's port sections, is written only with
// secrets; otherwise its length stands in its place.
std::string CaptureJson(const MachineCapture& capture, bool secrets);
