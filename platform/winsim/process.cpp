// The process on the simulated Windows: attached to a machine folder; the
// install log written with CR LF line ends, as the C runtime's text mode
// writes it on Windows.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/log_file.h"
#include "platform/process.h"
#include "platform/win32.h"
#include "winsim/machine.h"

namespace platform {

bool AttachProcess() {
    const char* dir = std::getenv("WINSIM_MACHINE");
    if (!dir || !*dir) {
        std::fprintf(stderr, "no simulated machine: set WINSIM_MACHINE or use 'winsim run'\n");
        return false;
    }
    std::string error;
    if (!winsim::OpenMachine(dir, &error)) {
        std::fprintf(stderr, "winsim: %s\n", error.c_str());
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

bool WriteWholeFile(const char* path, const char* data, size_t length) {
    std::string host = winsim::MapPath(path);
    if (host.empty() || (winsim::StoredAttributes(host) & FILE_ATTRIBUTE_READONLY)) return false;
    return winsim::WriteFileAtomic(host, std::string(data, length));
}

bool OpenAppendLog(const char* path) {
    std::string host = winsim::MapPath(path);
    if (host.empty()) return false;
    // A read-only file cannot be opened for appending, as on Windows.
    if (winsim::StoredAttributes(host) & FILE_ATTRIBUTE_READONLY) return false;
    // "e": close on exec, so that child processes do not inherit the log.
    g_logFile = std::fopen(host.c_str(), "abe");
    if (g_logFile) winsim::NoteNewFile(host);
    return g_logFile != nullptr;
}

void WriteAppendLog(const char* text, size_t length) {
    if (!g_logFile) return;
    std::string out;
    out.reserve(length + 16);
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == '\n') out += '\r';
        out += text[i];
    }
    std::fwrite(out.data(), 1, out.size(), g_logFile);
    std::fflush(g_logFile);
}

}  // namespace platform
