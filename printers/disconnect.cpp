// Printer disconnection: every local printer is taken off the monitor's
// ports; a printer left without any port is put on "FILE:".
#include <cstdio>
#include <cstring>

#include "platform/handles.h"
#include "printers/printer_bindings.h"
#include "run/output.h"

namespace {

char kFilePort[] = "FILE:";

// The longest port-list entry that is looked up; a longer one cannot be held
// in the 260-byte entry buffer and is never taken for a port of the monitor.
const size_t kMaxEntry = 259;

}  // namespace

void DisconnectPrinters(const char* monitorName) {
    DWORD needed = 0, returned = 0;
    if (EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 4, nullptr, 0, &needed, &returned)) return;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return;
    platform::GlobalBlock block(GlobalAllocZeroed(needed));
    if (!block) return;
    LPBYTE list = static_cast<LPBYTE>(block.get());
    DWORD size = needed;
    if (!EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 4, list, size, &needed, &returned)) return;
    if (returned > size / sizeof(PRINTER_INFO_4A)) returned = size / sizeof(PRINTER_INFO_4A);
    const auto* printers = reinterpret_cast<const PRINTER_INFO_4A*>(list);
    for (DWORD i = 0; i < returned; ++i) {
        if (!(printers[i].Attributes & PRINTER_ATTRIBUTE_LOCAL) || !printers[i].pPrinterName) continue;
        DisconnectPrinter(printers[i].pPrinterName, monitorName);
    }
}

void DisconnectPrinter(const char* printerName, const char* monitorName) {
    PRINTER_DEFAULTSA defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE opened = nullptr;
    if (!OpenPrinterA(const_cast<LPSTR>(printerName), &opened, &defaults)) return;
    platform::Printer printer(opened);

    DWORD needed = 0;
    if (GetPrinterA(printer.get(), 2, nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) return;
    if (needed < sizeof(PRINTER_INFO_2A)) return;
    platform::GlobalBlock block(GlobalAllocZeroed(needed));
    if (!block) return;
    LPBYTE record = static_cast<LPBYTE>(block.get());
    if (!GetPrinterA(printer.get(), 2, record, needed, &needed)) return;
    auto* info = reinterpret_cast<PRINTER_INFO_2A*>(record);
    char* ports = info->pPortName;
    if (!ports || *ports == '\0') return;

    // Walk the list once. A matching entry leaves together with the comma
    // after it, or, as the last entry, with the comma before it; the list is
    // edited where it stands and only ever gets shorter.
    bool changed = false;
    char* entry = ports;
    while (true) {
        char* comma = std::strchr(entry, ',');
        size_t length = comma ? static_cast<size_t>(comma - entry) : std::strlen(entry);
        bool matches = false;
        if (length <= kMaxEntry) {
            char name[kMaxEntry + 1];
            std::memset(name, 0, sizeof name);
            std::memcpy(name, entry, length);
            matches = IsMonitorPort(name, monitorName);
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
    if (!changed) return;
    if (*ports == '\0') info->pPortName = kFilePort;

    PrintFormatted("  - Disconnecting Printer '%s' from %s Port", printerName, monitorName);
    if (SetPrinterA(printer.get(), 2, record, 0)) PrintText("\n");
    else PrintText(" Error\n");
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
        if (lstrcmpiA(ports[i].pPortName, portName) != 0 || lstrcmpiA(ports[i].pMonitorName, monitorName) != 0)
            continue;
        char line[1024];
        std::snprintf(line, sizeof line, "  - Port %s type %s will be disconnected\n", portName, monitorName);
        PrintConsoleOnly(line);
        return true;
    }
    return false;
}
