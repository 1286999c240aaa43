// winsim's own ground, shared by its parts and by nothing outside winsim:
// names without regard to case, host paths and trees, modules and their
// exports, and the parts of `winsim new` and `winsim show` that live beside
// the API they belong to.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "winsim/machine.h"

namespace winsim {

// What a host file was when winsim read it (device, inode, size and
// modification time): a kept copy stands for the file only while the file
// still has the same stamp.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long mtimeSec = 0, mtimeNsec = 0;
    bool operator==(const FileStamp& o) const {
        return exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
               mtimeSec == o.mtimeSec && mtimeNsec == o.mtimeNsec;
    }
};

inline FileStamp StampOf(const struct stat& st) {
    FileStamp stamp;
    stamp.exists = true;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.mtimeSec = static_cast<long long>(st.st_mtim.tv_sec);
    stamp.mtimeNsec = static_cast<long long>(st.st_mtim.tv_nsec);
    return stamp;
}


// ---- names ------------------------------------------------------------------
// Windows compares names (files, registry keys and values, profile sections
// and keys, environment variables, modules) by their upper-case forms. In the
// ANSI code page winsim models, Windows-1252, that pairs a-z with A-Z, the
// letters 0xE0-0xFE (but 0xF7) with 0xC0-0xDE, and s, o-e, z with caron and
// y with diaeresis (0x9A/0x8A, 0x9C/0x8C, 0x9E/0x8E, 0xFF/0x9F). No other
// character has a second case: sharp s, micro sign and the ordinal
// indicators keep theirs. Lower (machine.h) is the form in which equal names
// are equal strings.
char LowerChar(char c);
char UpperChar(char c);
std::string Upper(const std::string& s);
// Sorts names as NTFS lists a folder: by their upper-case forms in UTF-16.
void SortAsListing(std::vector<std::string>* names);
// Sorts names as the registry lists subkeys here: by their lower-case forms
// in UTF-16, as Wine lists them (Windows documents no order).
void SortAsSubkeys(std::vector<std::string>* names);

// ---- text -------------------------------------------------------------------
// UTF-8 to UTF-16 as MultiByteToWideChar(CP_UTF8) converts it: each byte that
// starts no valid sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(const std::string& s);

// ---- host paths -------------------------------------------------------------
// The parts of a path between separators ('\\', and '/' too when slashes is
// set); empty parts are dropped.
std::vector<std::string> SplitPath(const std::string& path, bool slashes);
// The last part of a path ('\\' or '/' ends the folder).
std::string BaseName(const std::string& path);
// A folder, or a link to one.
bool IsDirectory(const std::string& host);
// A folder itself, never a link to one.
bool IsRealFolder(const std::string& host);
// A file, or a link to one.
bool IsRegularFile(const std::string& host);
// The entry of a host folder that a name matches without regard to case: the
// name itself when it exists as given, else the first entry whose folded
// name is equal (folders only, when foldersOnly is set); empty when none.
std::string FindNoCase(const std::string& folder, const std::string& name, bool foldersOnly);
// The names in a host folder as they stand now (no "." or ".."), read whole
// before anything is done with them: removing while listing may skip entries.
// False, with errno, when the folder cannot be read.
bool ListFolder(const std::string& host, std::vector<std::string>* names);
// Removes a host path and, when it is a folder, everything below it. A link
// is removed as a link: no removal ever follows one. What cannot be removed
// stays, and the rest goes; false when anything stayed.
bool RemoveHostTree(const std::string& host);
// Drops what a table keyed by host path holds for a path and for everything
// below it: the keys below a path are one run of the ordered table.
template <class T>
void EraseTree(std::map<std::string, T>* table, const std::string& host) {
    table->erase(host);
    std::string below = host + "/";
    auto it = table->lower_bound(below);
    while (it != table->end() && it->first.compare(0, below.size(), below) == 0) it = table->erase(it);
}

// ---- winsim's own files ---------------------------------------------------------
// machine.conf, faults, journal.log, changes, attributes, the mutex/ folder and
// its files, the staging/ folder: never a link. A machine where one is a link,
// or is not a file (a folder) as it should be, does not open (LoadConfig
// refuses it, naming it); each is opened without following a link, so that
// one made while the machine is open is never written through either.
bool CheckOwnFiles(const std::string& dir, std::string* error);
// Reads an open file to its end, straight into the string in the size it
// has now (`size`); a file that grows meanwhile is read to its end all the
// same. False (errno telling why) when a read fails; *content then holds
// what was read.
bool ReadToEnd(int fd, size_t size, std::string* content);
// Reads a file of winsim's own whole; false when it cannot be read, is a
// link or is no file.
bool ReadOwnFile(const std::string& hostPath, std::string* content);

// A folder of the open machine by its host path, opened (O_PATH) through no
// link anywhere below the machine folder; -1 when a link or anything but a
// folder stands on the way, or the path is not below the machine folder.
int OpenMachineFolder(const std::string& host);
// WriteFileAtomic of the file of that name in a folder opened so (its host
// path for the caches).
bool WriteFileAtomicAt(int folderFd, const std::string& name, const std::string& hostPath,
                       const std::string& content);

// ---- staging ------------------------------------------------------------------
// DIR/staging/ holds winsim's own files while they are written (a temporary
// name renamed into place) and registry keys while they are deleted, one
// folder per process, locked (flock) for as long as the process lives.
// Removes the folders of processes that are gone; OpenMachine calls it.
void CleanStaging(const std::string& machineDir);
// This process's folder on the open machine, made on first use; empty when
// no machine is open or it cannot be made.
std::string StagingFolder();
// A fresh, unused path in it; empty when there is none.
std::string StagingPath();
// Removes this process's folder (CloseMachine, and at exit).
void ReleaseStaging();
// With WINSIM_KILL_AT=N in the environment, the process kills itself
// (SIGKILL) at the Nth kill point: in the middle of a change of the store (a
// file written under its temporary name, a copy half written, a key moved
// into staging), where an interruption leaves the most behind.
void KillPoint();
// ---- the store's caches (store_cache.cpp) ----------------------------------
// A process keeps what it read of the machine folder while the machine's
// change counter (DIR/changes, shared by every process of the machine) stays
// where its caches left it. Every change winsim makes to the folder is made
// on disk first and then noted here, which updates this process's caches and
// moves the counter; a move by another process drops every cache.
enum class EntryKind : unsigned char { kFile, kFolder, kLink, kFolderLink };
struct FolderListing {
    bool exists = false;
    std::unordered_map<std::string, EntryKind> entries;  // name -> what it is
    std::unordered_map<std::string, std::vector<std::string>> folded;  // Lower(name) -> names, in listing order
    // The registry's sorted subkey names of the folder, kept while the
    // listing does not change.
    mutable bool subkeysValid = false;
    mutable std::vector<std::string> subkeys;
};
void AttachChangeCounter(const std::string& dir);
void DetachChangeCounter();
void DropCaches();
// The listing of a host folder (empty, exists false, when it is none).
const FolderListing& Listing(const std::string& folder);
// IsDirectory, answered from the listing of the path's folder; and the same
// for a folder that is no link, and for a link.
bool CachedIsFolder(const std::string& host);
bool CachedIsRealFolder(const std::string& host);
bool CachedIsLink(const std::string& host);
// Numbers that move with every change this process makes or sees (and with
// every drop); FolderGeneration only when a folder comes or goes.
uint64_t CacheGeneration();
uint64_t FolderGeneration();
// Moves whenever every cache is to be dropped.
uint64_t CacheDrops();
// After winsim made (or replaced) a host path, or removed one with
// everything below it.
void NoteAdded(const std::string& host, EntryKind kind);
void NoteRemoved(const std::string& host);

// ---- modules ----------------------------------------------------------------
// A module name as LoadLibraryA takes it: folder and ".dll"/".drv" dropped,
// folded ("kernel32", "winspool").
std::string ModuleName(const std::string& name);
// True for the exports GetProcAddress gives out for a module.
bool KnownExport(const std::string& module, const std::string& name);
// The modules LoadLibraryA finds.
bool KnownModule(const std::string& module);
// The entry point the spooler looks up in a port monitor's DLL. A rule
// `missing DLL InitializePrintMonitor2` takes it from any DLL, which the
// spooler then refuses as no monitor.
constexpr char kMonitorEntry[] = "InitializePrintMonitor2";

// ---- parts of the API that other parts reach --------------------------------
bool CloseFileHandle(HANDLE h);
bool RunCommandInterpreter(const std::string& commandLine, DWORD* exitCode);

// ---- making and showing a machine ---------------------------------------------
// The values of a printer that `winsim new` lays out (printers.cpp).
std::vector<std::pair<std::string, RegValue>> NewPrinterValues(const NewPrinter& printer);
// Sections of `winsim show`, in the order they are shown after the machine's
// own line: monitors, ports with their records, printers, event-log sources.
void ShowMonitors(std::string* out);
void ShowPorts(std::string* out);
void ShowPrinters(std::string* out);
void ShowEventSources(std::string* out);

}  // namespace winsim
