#include "platform/process.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/win32.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include "winsim/machine.h"
#endif

namespace platform {
namespace {
FILE* g_log = nullptr;
}

#ifdef _WIN32

bool AttachProcess() { return true; }
void DetachProcess() {}

bool OpenAppendLog(const char* path) {
    // Created when missing, not inheritable (no security attributes), and
    // written at the end of the file as it is at each write.
    HANDLE h = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(h);
        return false;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_APPEND | _O_TEXT);
    if (fd < 0) {
        CloseHandle(h);
        return false;
    }
    g_log = _fdopen(fd, "at");
    if (!g_log) {
        _close(fd);
        return false;
    }
    return true;
}

void WriteAppendLog(const char* text, size_t length) {
    if (!g_log) return;
    std::fwrite(text, 1, length, g_log);
    std::fflush(g_log);
}

#else

bool AttachProcess() {
    const char* dir = std::getenv("WINSIM_MACHINE");
    if (!dir || !*dir || !winsim::OpenMachine(dir)) {
        std::fprintf(stderr, "Install: no simulated machine: set WINSIM_MACHINE or use 'winsim run'\n");
        return false;
    }
    const char* cwd = std::getenv("WINSIM_CURRENT_DIRECTORY");
    if (cwd && *cwd) SetCurrentDirectoryA(cwd);
    return true;
}

void DetachProcess() {
    // Every handle and block the installer was given must be back by now.
    size_t handles = winsim::OpenHandleCount(), blocks = winsim::OpenBlockCount();
    if (handles || blocks) {
        std::string kinds;
        for (const auto& kind : winsim::OpenHandleKinds()) kinds += " " + kind;
        std::fprintf(stderr, "winsim: %zu handle(s) left open (%s ) and %zu block(s) not freed\n", handles,
                     kinds.c_str(), blocks);
    }
    winsim::CloseMachine();
}

bool OpenAppendLog(const char* path) {
    std::string host = winsim::MapPath(path);
    if (host.empty()) return false;
    // A read-only file cannot be opened for appending, as on Windows.
    if (winsim::StoredAttributes(host) & FILE_ATTRIBUTE_READONLY) return false;
    // "e": close on exec, so that child processes do not inherit the log.
    g_log = std::fopen(host.c_str(), "abe");
    return g_log != nullptr;
}

void WriteAppendLog(const char* text, size_t length) {
    if (!g_log) return;
    // The log is a Windows text file: line feeds become CR LF, as the C
    // runtime's text mode writes them on Windows.
    std::string out;
    out.reserve(length + 16);
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == '\n') out += '\r';
        out += text[i];
    }
    std::fwrite(out.data(), 1, out.size(), g_log);
    std::fflush(g_log);
}

#endif

void CloseAppendLog() {
    if (g_log) std::fclose(g_log);
    g_log = nullptr;
}

void WriteConsole(const char* text, size_t length) {
    std::fwrite(text, 1, length, stdout);
    std::fflush(stdout);
}

}  // namespace platform
