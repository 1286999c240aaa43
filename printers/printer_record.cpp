#include "printers/printer_record.h"

#include "base/memory.h"

bool ReadPrinterRecord(const char* printerName, PrinterRecord* record) {
    PRINTER_DEFAULTSA defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE opened = nullptr;
    if (!OpenPrinterA(const_cast<LPSTR>(printerName), &opened, &defaults)) return false;
    record->printer.reset(opened);
    DWORD needed = 0;
    if (GetPrinterA(record->printer.get(), 2, nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return false;
    if (needed < sizeof(PRINTER_INFO_2A)) return false;
    record->block.reset(GlobalAllocZeroed(needed));
    if (!record->block) return false;
    return GetPrinterA(record->printer.get(), 2, static_cast<LPBYTE>(record->block.get()), needed, &needed) != FALSE;
}

bool WritePrinterRecord(const PrinterRecord& record) {
    return SetPrinterA(record.printer.get(), 2, reinterpret_cast<LPBYTE>(record.info()), 0) != FALSE;
}
