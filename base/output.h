// Console output and the install log: every line of the installer goes to
// standard output and, while the log is open, to the install log.
#pragma once

#include <cstddef>

// A formatted line holds at most 1023 characters; a longer one is cut.
constexpr size_t kOutputLineSize = 1024;
// The Windows directory, where the default install log lies, is asked for
// with room for 999 characters.
constexpr unsigned kWindowsDirectorySize = 1000;

#if defined(__GNUC__)
#define PRINTF_LIKE(f, a) __attribute__((format(printf, f, a)))
#else
#define PRINTF_LIKE(f, a)
#endif

// Writes the text exactly as it stands (never read as a format).
void PrintText(const char* text);
// Formats into a line of at most kOutputLineSize - 1 characters (a longer line is cut) and prints it.
void PrintFormatted(const char* format, ...) PRINTF_LIKE(1, 2);
// Prints to the console only; the install log does not get the text.
void PrintConsoleOnly(const char* text);
void ReportCheckFailure(const char* fileName);
void ReportCopyFailure(const char* fileName);

// The default install log: "VOPortInstall.log" in the Windows directory.
constexpr size_t kDefaultLogPathSize = kWindowsDirectorySize + sizeof "\\VOPortInstall.log";
// The install log a run opens: the given path, or when it is none or empty
// the default log, formatted into buffer. Null when the Windows directory
// cannot be read.
const char* InstallLogPath(const char* path, char (&buffer)[kDefaultLogPathSize]);

// Opens the install log for appending: the given path, or when none or empty,
// "VOPortInstall.log" in the Windows directory. False when it cannot be opened.
bool OpenInstallLog(const char* path);
void CloseInstallLog();
bool IsInstallLogOpen();
