// The capture of this machine's print state: what the installer reads or
// changes here, read through the Windows API and changing nothing. A plain
// value: the check's reading of the machine (decide/machine.h) and the rest
// that a rebuild of the machine needs. The check writes it as the document
// that `winsim new --from` rebuilds a machine from (README, "Capturing a
// machine").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decide/machine.h"
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

enum class CapturedKind { File, Folder, Link };
struct CapturedFile {
    CaptureRoot root = CaptureRoot::Windows;
    std::string path;  // below the root, "\"-separated
    CapturedKind kind = CapturedKind::File;
    std::uint64_t size = 0;
    bool readOnly = false;
};

// The machine as the check reads it (its monitors, ports with their records
// and printers, ReadMachine), and what else the installer reads or changes.
struct MachineCapture {
    MachineReading reading;  // the local spooler; no print server
    DWORD platform = 0, major = 0, minor = 0, build = 0;
    BYTE productType = 0;
    bool wow64 = false;
    UINT codePage = 0;
    std::vector<CapturedKey> registry;  // sorted by path (bytes)
    std::vector<CapturedFile> files;    // sorted by root, then path
    std::string failure;                // what could not be read; empty when the capture is whole
};

// Reads this machine. The process has its file-system redirection switched
// off, as ReadMachine asks, so that the native system directory is read as
// the installer reads it.
MachineCapture ReadMachineCapture();
