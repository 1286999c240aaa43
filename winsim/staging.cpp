// winsim's own files in the making and in the going: DIR/staging/.
//
// A file written whole goes first to a temporary name and a registry key
// being deleted is first moved away; both happen in a folder of this process
// below DIR/staging/, outside drive_c/ and registry/, so that no name a
// Windows program can see is ever taken by winsim's bookkeeping. Each process
// holds an flock on its own folder for as long as it lives: a folder that can
// be locked belongs to a process that is gone (process ids are reused, a lock
// is not), and the next process to open the machine removes it. Making a
// folder and cleaning up happen under an flock on DIR/staging itself, so that
// no process removes a folder another is still about to lock.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "internal.h"

namespace winsim {
namespace {

struct Staging {
    std::string machine;  // the machine folder it belongs to
    std::string folder;   // DIR/staging/PID-XXXXXX
    int fd = -1;          // the open folder, locked
    pid_t owner = 0;      // the process that made it (a forked child does not own it)
    unsigned long next = 0;
};

Staging& Own() {
    static Staging staging;
    return staging;
}

std::string Root(const std::string& machine) { return machine + "/staging"; }

// Opens a folder (never through a link) and locks it; -1 when it cannot be
// opened or, with LOCK_NB, is locked by another.
int LockFolder(const std::string& path, int how) {
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return -1;
    if (::flock(fd, how) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void ReleaseAtExit() { ReleaseStaging(); }

}  // namespace

void CleanStaging(const std::string& machine) {
    std::string root = Root(machine);
    struct stat st;
    if (::lstat(root.c_str(), &st) != 0) return;
    if (!S_ISDIR(st.st_mode)) {
        // Not winsim's: a link or a file in its place goes as itself.
        ::unlink(root.c_str());
        return;
    }
    int lock = LockFolder(root, LOCK_EX);
    if (lock < 0) return;
    std::vector<std::string> names;
    ListFolder(root, &names);
    const Staging& own = Own();
    for (const auto& n : names) {
        std::string path = root + "/" + n;
        if (own.fd >= 0 && path == own.folder) continue;
        if (::lstat(path.c_str(), &st) != 0) continue;
        if (!S_ISDIR(st.st_mode)) {
            ::unlink(path.c_str());
            continue;
        }
        int fd = LockFolder(path, LOCK_EX | LOCK_NB);
        if (fd < 0) continue;  // its process is alive
        RemoveHostTree(path);
        ::close(fd);
    }
    ::close(lock);
}

std::string StagingFolder() {
    Staging& s = Own();
    if (!MachineIsOpen()) return std::string();
    // Made again when another removed it (a person, a test restoring the
    // machine folder).
    if (s.fd >= 0 && s.machine == MachineDir() && s.owner == ::getpid() && IsRealFolder(s.folder)) return s.folder;
    ReleaseStaging();
    std::string root = Root(MachineDir());
    ::mkdir(root.c_str(), 0755);
    int lock = LockFolder(root, LOCK_EX);
    if (lock < 0) return std::string();
    std::string pattern = root + "/" + std::to_string(::getpid()) + "-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = -1;
    if (::mkdtemp(name.data())) {
        fd = LockFolder(name.data(), LOCK_EX | LOCK_NB);
        if (fd < 0) ::rmdir(name.data());
    }
    ::close(lock);
    if (fd < 0) return std::string();
    static bool registered = false;
    if (!registered) registered = std::atexit(ReleaseAtExit) == 0;
    s.machine = MachineDir();
    s.folder = name.data();
    s.fd = fd;
    s.owner = ::getpid();
    s.next = 0;
    return s.folder;
}

void KillPoint() {
    static long remaining = [] {
        const char* at = std::getenv("WINSIM_KILL_AT");
        return at ? std::strtol(at, nullptr, 10) : 0L;
    }();
    if (remaining > 0 && --remaining == 0) ::raise(SIGKILL);
}

std::string StagingPath() {
    std::string folder = StagingFolder();
    if (folder.empty()) return folder;
    return folder + "/" + std::to_string(++Own().next);
}

void ReleaseStaging() {
    Staging& s = Own();
    if (s.fd < 0) return;
    // A child forked from the owner shares the lock but not the folder.
    if (s.owner == ::getpid()) RemoveHostTree(s.folder);
    ::close(s.fd);
    s = Staging();
}

}  // namespace winsim
