#include "base/output.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/process.h"
#include "platform/win32.h"

namespace {

bool g_logOpen = false;
char g_formatLine[kOutputLineSize];
char g_checkLine[kOutputLineSize];
char g_copyLine[kOutputLineSize];
char g_defaultLogPath[kDefaultLogPathSize];

}  // namespace

void PrintText(const char* text) {
    if (!text) return;
    size_t length = std::strlen(text);
    platform::WriteConsole(text, length);
    if (g_logOpen) platform::WriteAppendLog(text, length);
}

void PrintConsoleOnly(const char* text) {
    if (text) platform::WriteConsole(text, std::strlen(text));
}

void PrintFormatted(const char* format, ...) {
    va_list args;
    va_start(args, format);
    // vsnprintf cuts a longer line at 1023 characters and terminates it.
    std::vsnprintf(g_formatLine, sizeof g_formatLine, format, args);
    va_end(args);
    PrintText(g_formatLine);
}

void ReportCheckFailure(const char* fileName) {
    std::snprintf(g_checkLine, sizeof g_checkLine, "ERROR While Checking '%s'.\n", fileName ? fileName : "");
    PrintText(g_checkLine);
}

void ReportCopyFailure(const char* fileName) {
    std::snprintf(g_copyLine, sizeof g_copyLine, "ERROR While Copying File '%s'.\n", fileName ? fileName : "");
    PrintText(g_copyLine);
}

const char* InstallLogPath(const char* path, char (&buffer)[kDefaultLogPathSize]) {
    if (path && *path) return path;
    char windows[kWindowsDirectorySize];
    UINT n = GetWindowsDirectoryA(windows, sizeof windows);
    if (n == 0 || n >= sizeof windows) return nullptr;
    std::snprintf(buffer, sizeof buffer, "%s\\VOPortInstall.log", windows);
    return buffer;
}

bool OpenInstallLog(const char* path) {
    if (g_logOpen) return true;
    const char* logPath = InstallLogPath(path, g_defaultLogPath);
    if (!logPath) return false;
    g_logOpen = platform::OpenAppendLog(logPath);
    return g_logOpen;
}

void CloseInstallLog() {
    if (!g_logOpen) return;
    platform::CloseAppendLog();
    g_logOpen = false;
}

bool IsInstallLogOpen() { return g_logOpen; }
