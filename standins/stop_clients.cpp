// Stand-in for "StopUIClients.exe", the client stopper of the distribution.
// It notes its start in the stand-in journal and ends with the exit code the
// test chose: the environment variable STOPUICLIENTS_EXIT_CODE, else the
// number in the file "StopUIClients.exitcode" beside the program, else 0
// (no client instance left running).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "journal.h"

namespace {

bool ParseCode(const char* text, unsigned long* code) {
    char* end = nullptr;
    unsigned long value = std::strtoul(text, &end, 10);
    if (end == text) return false;
    *code = value;
    return true;
}

unsigned long ChosenExitCode() {
    char text[64];
    unsigned long code = 0;
    DWORD n = GetEnvironmentVariableA("STOPUICLIENTS_EXIT_CODE", text, sizeof text);
    if (n > 0 && n < sizeof text && ParseCode(text, &code)) return code;
    char path[MAX_PATH];
    n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) return 0;
    char* slash = std::strrchr(path, '\\');
    if (!slash) return 0;
    slash[1] = '\0';
    if (std::strlen(path) + sizeof "StopUIClients.exitcode" > sizeof path) return 0;
    std::strncat(path, "StopUIClients.exitcode", sizeof path - std::strlen(path) - 1);
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    DWORD read = 0;
    BOOL ok = ReadFile(file, text, sizeof text - 1, &read, nullptr);
    CloseHandle(file);
    if (!ok) return 0;
    text[read] = '\0';
    return ParseCode(text, &code) ? code : 0;
}

}  // namespace

int main() {
    standins::AppendJournal("StopUIClients.exe");
    return static_cast<int>(ChosenExitCode());
}
