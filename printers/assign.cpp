// Printer assignment: the printers named in each port section are moved onto
// that section's port.
#include <cstdio>

#include "base/output.h"
#include "portcfg/port_settings.h"
#include "printers/printer_bindings.h"
#include "printers/printer_record.h"

void FormatAssignKey(int k, char (&key)[kAssignKeySize]) {
    if (k == 1) std::snprintf(key, sizeof key, "AssignPrinter");
    else std::snprintf(key, sizeof key, "AssignPrinter%i", k);
}

void ReadAssignedPrinter(int n, int k, const RunPlan& plan, char (&name)[kPrinterNameSize]) {
    char key[kAssignKeySize];
    FormatAssignKey(k, key);
    ReadPortSectionString(n, plan, key, "", name, sizeof name);
}

void AssignPrinters(int count, const RunPlan& plan) {
    if (count < 1) return;
    for (int n = 1; n <= count; ++n) {
        char portName[kPortNameSize];
        if (!FormatPortName(plan.edition, n, portName)) return;
        for (int k = 1; k <= kAssignKeyCount; ++k) {
            char printerName[kPrinterNameSize];
            ReadAssignedPrinter(n, k, plan, printerName);
            if (printerName[0] == '\0') continue;
            if (SetPrinterPort(printerName, portName))
                PrintFormatted("    Printer '%s' assigned to port %s\n", printerName, portName);
            else
                PrintFormatted("    ERROR - Printer %s NOT assigned to port %s\n", printerName, portName);
        }
    }
}

bool SetPrinterPort(const char* printerName, const char* portName) {
    PrinterRecord record;
    if (!ReadPrinterRecord(printerName, &record)) return false;
    // Only the port changes; every other field goes back as the spooler gave it.
    record.info()->pPortName = const_cast<LPSTR>(portName);
    return WritePrinterRecord(record);
}
