#include "fuzz/fuzz_support.h"

#include <dirent.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "base/edition.h"
#include "base/output.h"
#include "support/machine.h"
#include "winsim/spooler.h"

namespace fuzz_support {
namespace {

// One entry of the machine folder as it was after StartMachine.
struct Saved {
    bool folder = false;
    std::string content;
    ino_t inode = 0;
    off_t size = 0;
    long long mtimeSec = 0, mtimeNsec = 0;
};

std::string g_dir;
std::map<std::string, Saved> g_saved;  // relative path -> entry; parents sort before children
std::vector<winsim::FaultRule> g_faults;
int g_capture = -1;

void Remember(Saved* saved, const struct stat& st) {
    saved->inode = st.st_ino;
    saved->size = st.st_size;
    saved->mtimeSec = static_cast<long long>(st.st_mtim.tv_sec);
    saved->mtimeNsec = static_cast<long long>(st.st_mtim.tv_nsec);
}

bool Same(const Saved& saved, const struct stat& st) {
    return saved.inode == st.st_ino && saved.size == st.st_size &&
           saved.mtimeSec == static_cast<long long>(st.st_mtim.tv_sec) &&
           saved.mtimeNsec == static_cast<long long>(st.st_mtim.tv_nsec);
}

// Locks of named mutexes are the kernel's business, not machine state.
bool Skipped(const std::string& rel) { return rel == "/mutex"; }

void SaveTree(const std::string& rel) {
    DIR* d = ::opendir((g_dir + rel).c_str());
    if (!d) return;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        std::string child = rel + "/" + name;
        if (Skipped(child)) continue;
        struct stat st;
        if (::lstat((g_dir + child).c_str(), &st) != 0) continue;
        Saved& saved = g_saved[child];
        if (S_ISDIR(st.st_mode)) {
            saved.folder = true;
            SaveTree(child);
        } else {
            winsim::ReadWholeFile(g_dir + child, &saved.content);
            Remember(&saved, st);
        }
    }
    ::closedir(d);
}

void RemoveHostTree(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
        if (DIR* d = ::opendir(path.c_str())) {
            while (dirent* e = ::readdir(d)) {
                std::string name = e->d_name;
                if (name != "." && name != "..") RemoveHostTree(path + "/" + name);
            }
            ::closedir(d);
        }
        ::rmdir(path.c_str());
    } else {
        ::unlink(path.c_str());
    }
}

// Removes what the input added below rel.
void PruneTree(const std::string& rel) {
    DIR* d = ::opendir((g_dir + rel).c_str());
    if (!d) return;
    std::vector<std::string> names;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(d);
    for (const auto& name : names) {
        std::string child = rel + "/" + name;
        if (Skipped(child)) continue;
        auto it = g_saved.find(child);
        if (it == g_saved.end()) {
            RemoveHostTree(g_dir + child);
        } else if (it->second.folder) {
            PruneTree(child);
        }
    }
}

// Puts back what the input changed or removed.
void RestoreSaved() {
    for (auto& kv : g_saved) {
        std::string host = g_dir + kv.first;
        Saved& saved = kv.second;
        struct stat st;
        bool present = ::lstat(host.c_str(), &st) == 0;
        if (saved.folder) {
            if (present && !S_ISDIR(st.st_mode)) RemoveHostTree(host);
            if (!present || !S_ISDIR(st.st_mode)) ::mkdir(host.c_str(), 0755);
            continue;
        }
        if (present && S_ISREG(st.st_mode) && Same(saved, st)) continue;
        if (present) RemoveHostTree(host);
        winsim::WriteFileAtomic(host, saved.content);
        if (::lstat(host.c_str(), &st) == 0) Remember(&saved, st);
    }
}

}  // namespace

winsim::NewOptions DefaultOptions() {
    winsim::NewOptions options;
    options.distSource = DIST_DIR;
    return options;
}

const std::string& MachineDir() { return g_dir; }

void StartMachine(const winsim::NewOptions& options, void (*prepare)()) {
    if (!g_dir.empty()) return;
    g_dir = testing_support::NewMachineDir(options);
    std::atexit([] {
        CloseInstallLog();
        winsim::CloseMachine();
        if (!std::getenv("KEEP_MACHINES")) testing_support::RemoveTree(g_dir);
    });
    Check(winsim::OpenMachine(g_dir), "the fuzz machine opens", g_dir);
    // The installer's console goes to a file of its own, read back per input.
    std::fflush(stdout);
    g_capture = ::memfd_create("installer-console", 0);
    Check(g_capture >= 0, "console capture");
    ::dup2(g_capture, 1);
    winsim::Process().currentDirectory = "C:\\Dist";
    if (prepare) prepare();
    SaveTree("");
}

void KeepFault(const std::string& function, const std::string& argument, DWORD error) {
    winsim::FaultRule rule;
    rule.function = function;
    rule.argument = argument;
    rule.error = error;
    g_faults.push_back(rule);
}

void BeginInput() {
    CloseInstallLog();
    winsim::ClearFaults();
    for (const auto& rule : g_faults) winsim::AddFault(rule.function, rule.argument, rule.error, rule.remaining);
    winsim::Process().currentDirectory = "C:\\Dist";
    winsim::Process().redirectionDisabled = false;
    winsim::Process().lastError = 0;
    std::fflush(stdout);
    ::ftruncate(g_capture, 0);
    ::lseek(g_capture, 0, SEEK_SET);
}

std::string EndInput() {
    CloseInstallLog();
    std::fflush(stdout);
    Check(winsim::OpenHandleCount() == 0, "every handle is closed");
    Check(winsim::OpenBlockCount() == 0, "every GlobalAlloc block is freed");
    PruneTree("");
    RestoreSaved();
    winsim::MachineChangedOutside();
    std::string out;
    off_t size = ::lseek(g_capture, 0, SEEK_END);
    if (size > 0) {
        out.resize(static_cast<size_t>(size));
        ssize_t got = ::pread(g_capture, &out[0], out.size(), 0);
        out.resize(got > 0 ? static_cast<size_t>(got) : 0);
    }
    // FUZZ_SHOW=1 shows each input's console text (for replaying one input).
    if (std::getenv("FUZZ_SHOW")) std::fprintf(stderr, "---- console ----\n%s---- end ----\n", out.c_str());
    return out;
}

void Check(bool condition, const char* what, const std::string& detail) {
    if (condition) return;
    std::fprintf(stderr, "\nfuzz check failed: %s\n", what);
    if (!detail.empty()) {
        std::fprintf(stderr, "  ");
        for (unsigned char c : detail) {
            if (c >= 0x20 && c < 0x7F) std::fputc(c, stderr);
            else std::fprintf(stderr, "\\x%02X", c);
        }
        std::fprintf(stderr, "\n");
    }
    std::abort();
}

std::vector<std::string> Split(const uint8_t* data, size_t size, char separator) {
    std::vector<std::string> pieces(1);
    for (size_t i = 0; i < size; ++i) {
        if (static_cast<char>(data[i]) == separator) pieces.emplace_back();
        else pieces.back() += static_cast<char>(data[i]);
    }
    return pieces;
}

void WriteMachineFile(const std::string& winPath, const std::string& content) {
    winsim::WriteFileAtomic(winsim::HostPath(winsim::AbsoluteWinPath(winPath)), content);
}

void CheckField(const char* field, size_t size, const char* name) {
    const char* end = static_cast<const char*>(std::memchr(field, '\0', size));
    Check(end != nullptr, "string field terminated", name);
    for (const char* p = end; p < field + size; ++p) Check(*p == '\0', "string field zero after its end", name);
}

void CheckWideField(const WCHAR* field, size_t units, const char* name) {
    size_t i = 0;
    while (i < units && field[i] != 0) ++i;
    Check(i < units, "UTF-16 field terminated", name);
    for (; i < units; ++i) Check(field[i] == 0, "UTF-16 field zero after its end", name);
}

bool Assignable(const std::string& printer, const std::string& port) {
    PRINTER_DEFAULTSA defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE handle = nullptr;
    if (!OpenPrinterA(const_cast<char*>(printer.c_str()), &handle, &defaults)) return false;
    ClosePrinter(handle);
    return !winsim::PortMonitor("registry/HKLM", port).empty();
}

std::string AssignmentLines(const std::vector<std::pair<std::string, std::string>>& printerAndPort) {
    std::string lines;
    for (const auto& np : printerAndPort)
        lines += Assignable(np.first, np.second)
                     ? "    Printer '" + np.first + "' assigned to port " + np.second + "\n"
                     : "    ERROR - Printer " + np.first + " NOT assigned to port " + np.second + "\n";
    return lines;
}

std::string PortName(const EditionProfile& edition, int n) {
    char name[32];
    std::snprintf(name, sizeof name, edition.portNameFormat, n);
    return name;
}

}  // namespace fuzz_support
