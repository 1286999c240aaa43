// The stand-in programs note what happened to them in one shared text file,
// so that tests can see that, when and how they were started. The file is
// named by the environment variable STANDIN_JOURNAL (a Windows path), which
// processes inherit from the installer; without it, C:\standins.log.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace standins {

inline void AppendJournal(const char* program) {
    char path[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("STANDIN_JOURNAL", path, sizeof path);
    if (n == 0 || n >= sizeof path) std::snprintf(path, sizeof path, "%s", "C:\\standins.log");
    char folder[MAX_PATH];
    DWORD f = GetCurrentDirectoryA(sizeof folder, folder);
    if (f == 0 || f >= sizeof folder) folder[0] = '\0';
    // One line: the program, its command line, its current directory.
    char line[2048];
    int length = std::snprintf(line, sizeof line, "%s|%s|%s\r\n", program, GetCommandLineA(), folder);
    if (length <= 0) return;
    if (static_cast<size_t>(length) >= sizeof line) length = sizeof line - 1;
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(file);
}

}  // namespace standins
