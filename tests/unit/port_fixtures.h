// Shared helpers of the port configuration tests: port sections in the INI
// file and in the registry, the monitor's registration, stored records.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/handles.h"
#include "base/edition.h"
#include "support/checks.h"
#include "support/machine.h"
#include "winsim/spooler.h"

namespace port_fixtures {

const char kHklm[] = "registry/HKLM";

// Registers a monitor with a spooler as the monitor registration leaves it.
inline void RegisterMonitor(const std::string& name = "Vormo", const std::string& hive = kHklm) {
    winsim::reg::CreateKey(hive, winsim::PortsKey(name));
    winsim::reg::SetValue(hive, winsim::MonitorKey(name), "Driver", winsim::reg::Sz("VORMOVS64.DLL"));
}

// Writes an INI file, the configuration file of TestPlan() unless a path is given.
inline void UseIni(const testing_support::TempMachine& m, const std::string& text,
                   const std::string& path = "C:\\Dist\\Vormo.ini") {
    m.Write(path, text);
}

// The plan of a test that reads the port sections from the INI file (fromIni)
// or from the registry.
inline RunPlan Sections(bool fromIni, const EditionProfile& edition = kStandardEdition) {
    return testing_support::TestPlan(edition, fromIni);
}

// Port section values in the registry, through the API as this 32-bit
// process sees the registry (the 32-bit view on a 64-bit machine).
inline void SetRegistryString(int n, const char* name, const std::string& text, REGSAM view = 0,
                              const EditionProfile& edition = kStandardEdition) {
    platform::RegKey key;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, testing_support::SectionKey(n, edition).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key.out(),
                    nullptr);
    RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
}

inline void SetRegistryDword(int n, const char* name, DWORD value, const EditionProfile& edition = kStandardEdition) {
    platform::RegKey key;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, testing_support::SectionKey(n, edition).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.out(),
                    nullptr);
    RegSetValueExA(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

inline bool PortExists(const std::string& port, const std::string& monitor = "Vormo",
                       const std::string& hive = kHklm) {
    return winsim::reg::KeyExists(hive, winsim::PortsKey(monitor) + "\\" + port);
}

// The record a port received; empty when it has none.
inline std::string StoredRecord(const std::string& port, const std::string& monitor = "Vormo",
                                const std::string& hive = kHklm) {
    winsim::RegValue value;
    if (!winsim::reg::GetValue(hive, winsim::PortsKey(monitor) + "\\" + port, "Record", &value)) return std::string();
    return value.data;
}

inline uint32_t DwordAt(const std::string& record, size_t offset) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(record.at(offset + i));
    return value;
}

inline char16_t UnitAt(const std::string& record, size_t offset, size_t unit) {
    size_t at = offset + 2 * unit;
    return static_cast<char16_t>(static_cast<unsigned char>(record.at(at)) |
                                 (static_cast<unsigned char>(record.at(at + 1)) << 8));
}

// The text of a UTF-16 field up to its terminator, each unit narrowed (ASCII only).
inline std::string TextAt(const std::string& record, size_t offset, size_t units = 260) {
    std::string text;
    for (size_t i = 0; i < units; ++i) {
        char16_t u = UnitAt(record, offset, i);
        if (u == 0) break;
        text += static_cast<char>(u);
    }
    return text;
}

// The lines of the journal that begin with a prefix, in order.
inline std::string JournalLines(const std::string& prefix) {
    std::string journal = winsim::ReadJournal(), out;
    size_t pos = 0;
    while (pos < journal.size()) {
        size_t end = journal.find('\n', pos);
        if (end == std::string::npos) end = journal.size();
        std::string line = journal.substr(pos, end - pos);
        if (line.rfind(prefix, 0) == 0) out += line + "\n";
        pos = end + 1;
    }
    return out;
}

}  // namespace port_fixtures
