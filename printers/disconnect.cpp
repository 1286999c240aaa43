#include "printers/printer_bindings.h"

void DisconnectPrinters(const char*) {}
void DisconnectPrinter(const char*, const char*) {}
bool IsMonitorPort(const char*, const char*) { return false; }
