#include "sequence/sequences.h"

bool UninstallPortMonitor(const char*, bool) { return true; }
