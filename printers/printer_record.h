// A printer's level-2 record, as both the assignment and the disconnection
// read, change and write it back.
#pragma once

#include "platform/handles.h"

struct PrinterRecord {
    platform::Printer printer;
    platform::GlobalBlock block;  // PRINTER_INFO_2A and the strings it points to
    PRINTER_INFO_2A* info() const { return static_cast<PRINTER_INFO_2A*>(block.get()); }
};

// Opens the printer with full access and reads its record by the two-call
// protocol: a size query that must fail with ERROR_INSUFFICIENT_BUFFER, then
// a zero-filled block of that size. False when any of it fails (an answer
// smaller than the record counts as a failure).
bool ReadPrinterRecord(const char* printerName, PrinterRecord* record);
// Writes the record back (level 2, command 0). True when the spooler took it.
bool WritePrinterRecord(const PrinterRecord& record);
