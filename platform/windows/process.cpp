// The process on Windows: the install log through the C runtime's text mode.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/log_file.h"
#include "platform/process.h"
#include "platform/win32.h"

namespace platform {

bool AttachProcess() { return true; }
void DetachProcess() {}

bool WriteWholeFile(const char* path, const char* data, size_t length) {
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    while (ok && length > 0) {
        // At most 1 MB a call: WriteFile counts in a DWORD.
        DWORD chunk = length > (1u << 20) ? (1u << 20) : static_cast<DWORD>(length), written = 0;
        ok = WriteFile(h, data, chunk, &written, nullptr) && written == chunk;
        data += chunk;
        length -= chunk;
    }
    return CloseHandle(h) && ok;
}

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
    g_logFile = _fdopen(fd, "at");
    if (!g_logFile) {
        _close(fd);
        return false;
    }
    return true;
}

void WriteAppendLog(const char* text, size_t length) {
    if (!g_logFile) return;
    std::fwrite(text, 1, length, g_logFile);
    std::fflush(g_logFile);
}

}  // namespace platform
