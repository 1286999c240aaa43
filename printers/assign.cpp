// Printer assignment: the printers named in each port section are moved onto
// that section's port.
#include <cstdio>
#include <cstring>

#include "platform/handles.h"
#include "portcfg/port_settings.h"
#include "printers/printer_bindings.h"
#include "run/edition.h"
#include "run/output.h"

namespace {

// Keys of a port section that name printers, in the order they are read:
// the first carries no number, the others 2 to 10.
const int kAssignKeyCount = 10;

}  // namespace

HGLOBAL GlobalAllocZeroed(SIZE_T bytes) {
    HGLOBAL block = GlobalAlloc(GMEM_FIXED, bytes);
    if (block) std::memset(block, 0, bytes);
    return block;
}

void AssignPrinters(int count, bool fromIniFile) {
    if (count < 1) return;
    for (int n = 1; n <= count; ++n) {
        char portName[kPortNameSize];
        if (!FormatPortName(n, portName)) return;
        for (int k = 1; k <= kAssignKeyCount; ++k) {
            char key[32];
            if (k == 1) std::snprintf(key, sizeof key, "AssignPrinter");
            else std::snprintf(key, sizeof key, "AssignPrinter%i", k);
            char printerName[260];
            ReadPortSectionString(n, fromIniFile, key, "", printerName, sizeof printerName);
            if (printerName[0] == '\0') continue;
            if (SetPrinterPort(printerName, portName))
                PrintFormatted("    Printer '%s' assigned to port %s\n", printerName, portName);
            else
                PrintFormatted("    ERROR - Printer %s NOT assigned to port %s\n", printerName, portName);
        }
    }
}

int SetPrinterPort(const char* printerName, const char* portName) {
    PRINTER_DEFAULTSA defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE opened = nullptr;
    if (!OpenPrinterA(const_cast<LPSTR>(printerName), &opened, &defaults)) return 0;
    platform::Printer printer(opened);

    DWORD needed = 0;
    if (GetPrinterA(printer.get(), 2, nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) return 0;
    if (needed < sizeof(PRINTER_INFO_2A)) return 0;
    platform::GlobalBlock block(GlobalAllocZeroed(needed));
    if (!block) return 0;
    LPBYTE record = static_cast<LPBYTE>(block.get());
    if (!GetPrinterA(printer.get(), 2, record, needed, &needed)) return 0;

    // Only the port changes; every other field goes back as the spooler gave it.
    reinterpret_cast<PRINTER_INFO_2A*>(record)->pPortName = const_cast<LPSTR>(portName);
    return SetPrinterA(printer.get(), 2, record, 0) ? 1 : 0;
}
