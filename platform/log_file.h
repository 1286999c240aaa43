// The open install log file, shared by the platform's own files only.
#pragma once

#include <cstdio>

namespace platform {
extern FILE* g_logFile;  // null while the log is closed
}
