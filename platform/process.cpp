// The console and the install log file, on both platforms.
#include "platform/process.h"

#include <cstdio>

#include "platform/log_file.h"

namespace platform {

FILE* g_logFile = nullptr;

void CloseAppendLog() {
    if (g_logFile) std::fclose(g_logFile);
    g_logFile = nullptr;
}

void WriteConsole(const char* text, size_t length) {
    std::fwrite(text, 1, length, stdout);
    std::fflush(stdout);
}

}  // namespace platform
