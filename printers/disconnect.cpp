// Printer disconnection: every local printer is taken off the monitor's
// ports; a printer left without any port is put on "FILE:".
#include <cstdio>
#include <cstring>

#include "base/memory.h"
#include "base/output.h"
#include "platform/handles.h"
#include "printers/printer_bindings.h"
#include "printers/printer_record.h"

namespace {

const char kFilePort[] = "FILE:";

// An entry of a printer's list is a port of the monitor: said on the console
// as it is found.
bool IsMonitorPortNamed(const char* entry, void* monitorName) {
    const char* monitor = static_cast<const char*>(monitorName);
    if (!IsMonitorPort(entry, monitor)) return false;
    char line[kOutputLineSize];
    std::snprintf(line, sizeof line, "  - Port %s type %s will be disconnected\n", entry, monitor);
    PrintConsoleOnly(line);
    return true;
}

}  // namespace

bool RemovePortEntries(char* ports, PortEntryTest test, void* context) {
    bool changed = false;
    char* entry = ports;
    while (true) {
        char* comma = std::strchr(entry, ',');
        size_t length = comma ? static_cast<size_t>(comma - entry) : std::strlen(entry);
        bool matches = false;
        if (length < kPortEntrySize) {
            char name[kPortEntrySize] = {};
            std::memcpy(name, entry, length);
            matches = test(name, context);
        }
        if (matches) {
            changed = true;
            if (comma) {
                std::memmove(entry, comma + 1, std::strlen(comma + 1) + 1);
                continue;  // the next entry now starts where this one did
            }
            if (entry > ports) entry[-1] = '\0';
            else entry[0] = '\0';
            break;
        }
        if (!comma) break;
        entry = comma + 1;
    }
    return changed;
}

const char* DisconnectionPortList(char* ports, PortEntryTest test, void* context) {
    if (!ports || *ports == '\0') return nullptr;
    if (!RemovePortEntries(ports, test, context)) return nullptr;
    return *ports == '\0' ? kFilePort : ports;
}

bool IsDisconnectedPrinter(DWORD attributes) { return (attributes & PRINTER_ATTRIBUTE_LOCAL) != 0; }

bool IsEntryOfMonitorPort(const char* tablePort, const char* tableMonitor, const char* entry, const char* monitor) {
    return lstrcmpiA(tablePort, entry) == 0 && lstrcmpiA(tableMonitor, monitor) == 0;
}

platform::GlobalBlock EnumLocalPrinters(DWORD* count) {
    *count = 0;
    DWORD needed = 0, returned = 0;
    if (EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 4, nullptr, 0, &needed, &returned)) return {};
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
    platform::GlobalBlock block(GlobalAllocZeroed(needed));
    if (!block) return {};
    DWORD size = needed;
    if (!EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 4, static_cast<LPBYTE>(block.get()), size, &needed, &returned))
        return {};
    // Never more records than the block holds.
    *count = returned > size / sizeof(PRINTER_INFO_4A) ? size / sizeof(PRINTER_INFO_4A) : returned;
    return block;
}

void DisconnectPrinters(const char* monitorName) {
    DWORD count = 0;
    platform::GlobalBlock block = EnumLocalPrinters(&count);
    const auto* printers = static_cast<const PRINTER_INFO_4A*>(block.get());
    for (DWORD i = 0; i < count; ++i) {
        if (!IsDisconnectedPrinter(printers[i].Attributes) || !printers[i].pPrinterName) continue;
        DisconnectPrinter(printers[i].pPrinterName, monitorName);
    }
}

void DisconnectPrinter(const char* printerName, const char* monitorName) {
    PrinterRecord record;
    if (!ReadPrinterRecord(printerName, &record)) return;
    PRINTER_INFO_2A* info = record.info();
    const char* ports = DisconnectionPortList(info->pPortName, &IsMonitorPortNamed, const_cast<char*>(monitorName));
    if (!ports) return;
    info->pPortName = const_cast<LPSTR>(ports);

    PrintFormatted("  - Disconnecting Printer '%s' from %s Port", printerName, monitorName);
    PrintText(WritePrinterRecord(record) ? "\n" : " Error\n");
}

bool IsMonitorPort(const char* portName, const char* monitorName) {
    DWORD needed = 0, returned = 0;
    if (EnumPortsA(nullptr, 2, nullptr, 0, &needed, &returned) || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return false;
    platform::GlobalBlock block(GlobalAllocZeroed(needed));
    if (!block) return false;
    LPBYTE table = static_cast<LPBYTE>(block.get());
    DWORD size = needed;
    if (!EnumPortsA(nullptr, 2, table, size, &needed, &returned) || returned == 0) return false;
    if (returned > size / sizeof(PORT_INFO_2A)) returned = size / sizeof(PORT_INFO_2A);
    const auto* ports = reinterpret_cast<const PORT_INFO_2A*>(table);
    for (DWORD i = 0; i < returned; ++i) {
        if (!ports[i].pPortName || !ports[i].pMonitorName) continue;
        if (IsEntryOfMonitorPort(ports[i].pPortName, ports[i].pMonitorName, portName, monitorName)) return true;
    }
    return false;
}
