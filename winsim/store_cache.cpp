// What a process of the machine keeps of the machine folder between calls:
// the listings of host folders, and the change counter that says when they
// (and every other cache of winsim) no longer hold.
//
// The counter is DIR/changes, eight bytes mapped shared by every process of
// the machine. Each change winsim makes to the machine folder is made on disk
// first and counted afterwards. A process remembers the count its caches
// stand for: when the counter has moved past it, another process changed the
// machine and every cache is dropped; a change of its own moves the count
// along with the counter and updates the listings it touched.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "internal.h"

namespace winsim {
namespace {

struct Counter {
    int fd = -1;
    uint64_t* shared = nullptr;  // null: no counter, caches hold for one call only
    uint64_t seen = 0;           // the count the caches stand for
    uint64_t generation = 1;     // moves with every change or drop this process sees
    uint64_t folderGeneration = 1;  // moves when a folder comes or goes, and with every drop
    uint64_t drops = 1;             // moves with every drop
};

Counter& C() {
    static Counter counter;
    return counter;
}

// Ordered, so that the listings below a removed folder are found as one run.
std::map<std::string, FolderListing>& Listings() {
    static std::map<std::string, FolderListing> listings;
    return listings;
}

void DropAll() {
    Listings().clear();
    Counter& c = C();
    ++c.generation;
    ++c.folderGeneration;
    ++c.drops;
}

// Drops every cache when another process has changed the machine.
void Sync() {
    Counter& c = C();
    if (!c.shared) {
        // Without the counter nothing can be trusted from one call to the next.
        DropAll();
        return;
    }
    uint64_t now = __atomic_load_n(c.shared, __ATOMIC_ACQUIRE);
    if (now != c.seen) {
        DropAll();
        c.seen = now;
    }
}

// Counts a change this process has made (on disk, and in its caches).
void Count(bool folders) {
    Counter& c = C();
    ++c.generation;
    if (folders) ++c.folderGeneration;
    if (!c.shared) return;
    uint64_t before = __atomic_fetch_add(c.shared, 1, __ATOMIC_ACQ_REL);
    // Another process's change came in between: what this process keeps may
    // be stale.
    if (before != c.seen) DropAll();
    c.seen = before + 1;
}

bool IsFolderKind(EntryKind kind) { return kind == EntryKind::kFolder || kind == EntryKind::kFolderLink; }

EntryKind KindOf(const std::string& host, unsigned char type) {
    struct stat st;
    if (type == DT_DIR) return EntryKind::kFolder;
    if (type == DT_REG) return EntryKind::kFile;
    if (type != DT_LNK && ::lstat(host.c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
        return S_ISDIR(st.st_mode) ? EntryKind::kFolder : EntryKind::kFile;
    return IsDirectory(host) ? EntryKind::kFolderLink : EntryKind::kLink;
}

void Add(FolderListing* listing, const std::string& name, EntryKind kind) {
    auto inserted = listing->entries.emplace(name, kind);
    if (!inserted.second) {
        if (inserted.first->second == kind) return;
        inserted.first->second = kind;
    } else {
        listing->folded[Lower(name)].push_back(name);
    }
    listing->subkeysValid = false;
}

void Remove(FolderListing* listing, const std::string& name) {
    if (listing->entries.erase(name) == 0) return;
    auto it = listing->folded.find(Lower(name));
    if (it != listing->folded.end()) {
        auto& names = it->second;
        names.erase(std::remove(names.begin(), names.end(), name), names.end());
        if (names.empty()) listing->folded.erase(it);
    }
    listing->subkeysValid = false;
}

// Splits a host path into its folder and its last name; false for a path
// without a folder.
bool SplitLast(const std::string& host, std::string* folder, std::string* name) {
    auto slash = host.rfind('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 >= host.size()) return false;
    *folder = host.substr(0, slash);
    *name = host.substr(slash + 1);
    return true;
}

// Makes sure that the cached listings of a path's folders name each folder
// of it: a folder made by other means than winsim's own calls (a test's
// "mkdir -p") before a file was written into it.
void AddFolders(const std::string& folder) {
    std::string parent, name, path = folder;
    auto& listings = Listings();
    while (SplitLast(path, &parent, &name) && parent.size() >= MachineDir().size()) {
        auto it = listings.find(parent);
        if (it != listings.end()) {
            auto entry = it->second.entries.find(name);
            if (entry != it->second.entries.end() && IsFolderKind(entry->second)) return;
            // A folder listed as missing is read again when it is next looked into.
            if (it->second.exists) Add(&it->second, name, EntryKind::kFolder);
            else listings.erase(it);
        }
        path = parent;
    }
}

// A person or program may cut DIR/changes short while it is mapped; the next
// access to the counter then faults (SIGBUS). The handler makes the file
// eight bytes long again, which makes the mapping whole, and the access is
// made again. A count that starts again from zero could come back to a count
// another process stands for and hide the changes in between, so the first
// process to find it at zero makes it jump past every count the machine can
// have had. A fault elsewhere goes to the handler that was there before.
struct sigaction g_previousBusHandler;

void OnBusError(int signal, siginfo_t* info, void* context) {
    Counter& c = C();
    uintptr_t at = reinterpret_cast<uintptr_t>(info->si_addr), page = reinterpret_cast<uintptr_t>(c.shared);
    if (c.shared && at >= page && at < page + static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE))) {
        if (::ftruncate(c.fd, 8) != 0) {
            // Cannot be mended: this process goes on with a counter of its
            // own, which no other process moves.
            ::mmap(c.shared, 8, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        }
        uint64_t zero = 0;
        __atomic_compare_exchange_n(c.shared, &zero, c.seen + (uint64_t{1} << 32), false, __ATOMIC_ACQ_REL,
                                    __ATOMIC_ACQUIRE);
        return;
    }
    ::sigaction(SIGBUS, &g_previousBusHandler, nullptr);
    (void)signal;
    (void)context;
}

void HandleBusErrors() {
    static bool installed = false;
    if (installed) return;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    installed = ::sigaction(SIGBUS, &action, &g_previousBusHandler) == 0;
}

}  // namespace

void AttachChangeCounter(const std::string& dir) {
    DetachChangeCounter();
    Counter& c = C();
    int fd = ::open((dir + "/changes").c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    struct stat st;
    if (fd < 0) return;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (st.st_size < 8 && ::ftruncate(fd, 8) != 0)) {
        ::close(fd);
        return;
    }
    void* map = ::mmap(nullptr, 8, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
        ::close(fd);
        return;
    }
    HandleBusErrors();
    c.fd = fd;
    c.shared = static_cast<uint64_t*>(map);
    c.seen = __atomic_load_n(c.shared, __ATOMIC_ACQUIRE);
}

void DetachChangeCounter() {
    Counter& c = C();
    if (c.shared) ::munmap(c.shared, 8);
    if (c.fd >= 0) ::close(c.fd);
    c.shared = nullptr;
    c.fd = -1;
    DropAll();
}

void DropCaches() { DropAll(); }

uint64_t CacheGeneration() {
    Sync();
    return C().generation;
}

uint64_t CacheDrops() {
    Sync();
    return C().drops;
}

uint64_t FolderGeneration() {
    Sync();
    return C().folderGeneration;
}

const FolderListing& Listing(const std::string& folder) {
    Sync();
    auto& listings = Listings();
    auto it = listings.find(folder);
    if (it != listings.end()) return it->second;
    FolderListing listing;
    if (DIR* d = ::opendir(folder.c_str())) {
        listing.exists = true;
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n == "." || n == "..") continue;
            Add(&listing, n, KindOf(folder + "/" + n, e->d_type));
        }
        ::closedir(d);
    }
    return listings.emplace(folder, std::move(listing)).first->second;
}

bool CachedIsFolder(const std::string& host) {
    std::string folder, name;
    if (!SplitLast(host, &folder, &name)) return IsDirectory(host);
    const FolderListing& listing = Listing(folder);
    auto it = listing.entries.find(name);
    return it != listing.entries.end() && IsFolderKind(it->second);
}

bool CachedIsRealFolder(const std::string& host) {
    std::string folder, name;
    if (!SplitLast(host, &folder, &name)) return IsRealFolder(host);
    const FolderListing& listing = Listing(folder);
    auto it = listing.entries.find(name);
    return it != listing.entries.end() && it->second == EntryKind::kFolder;
}

bool CachedIsLink(const std::string& host) {
    std::string folder, name;
    if (!SplitLast(host, &folder, &name)) return false;
    const FolderListing& listing = Listing(folder);
    auto it = listing.entries.find(name);
    return it != listing.entries.end() && (it->second == EntryKind::kLink || it->second == EntryKind::kFolderLink);
}

std::string FindNoCase(const std::string& folder, const std::string& name, bool foldersOnly) {
    // A folder asked for is a folder itself: a link is never one.
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
        // Not the name of an entry: looked up on disk as it stands.
        struct stat st;
        std::string exact = folder + "/" + name;
        return ::lstat(exact.c_str(), &st) == 0 && (!foldersOnly || S_ISDIR(st.st_mode)) ? name : std::string();
    }
    const FolderListing& listing = Listing(folder);
    auto exact = listing.entries.find(name);
    if (exact != listing.entries.end() && (!foldersOnly || exact->second == EntryKind::kFolder)) return name;
    auto folded = listing.folded.find(Lower(name));
    if (folded == listing.folded.end()) return std::string();
    for (const auto& n : folded->second)
        if (!foldersOnly || listing.entries.at(n) == EntryKind::kFolder) return n;
    return std::string();
}

void NoteAdded(const std::string& host, EntryKind kind) {
    std::string folder, name;
    if (SplitLast(host, &folder, &name)) {
        auto& listings = Listings();
        auto it = listings.find(folder);
        if (it != listings.end()) {
            // A folder listed as missing is read again when it is next looked into.
            if (it->second.exists) Add(&it->second, name, kind);
            else listings.erase(it);
        }
        AddFolders(folder);
        // A folder that was listed as missing before it was made.
        if (kind == EntryKind::kFolder) {
            auto own = listings.find(host);
            if (own != listings.end() && !own->second.exists) listings.erase(own);
        }
    }
    Count(kind == EntryKind::kFolder);
}

void NoteRemoved(const std::string& host) {
    std::string folder, name;
    auto& listings = Listings();
    if (SplitLast(host, &folder, &name)) {
        auto it = listings.find(folder);
        if (it != listings.end()) Remove(&it->second, name);
    }
    // The listings of the path and of everything below it.
    EraseTree(&listings, host);
    Count(true);
}

void NoteNewFile(const std::string& host) { NoteAdded(host, EntryKind::kFile); }

void MachineChangedOutside() {
    DropAll();
    Count(true);
}

}  // namespace winsim
