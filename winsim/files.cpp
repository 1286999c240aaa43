// Drive C: as a folder tree: Windows paths, attributes and the file API.
//
// A symbolic link of the host below drive_c is a reparse point, as a symbolic
// link or junction is on Windows: it reports FILE_ATTRIBUTE_REPARSE_POINT
// (with FILE_ATTRIBUTE_DIRECTORY when it leads to a folder), paths lead
// through it, and deleting it deletes the link, never what it leads to.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>

#include "internal.h"

namespace winsim {

// ---- host paths ---------------------------------------------------------------

std::vector<std::string> SplitPath(const std::string& path, bool slashes) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\' || (slashes && c == '/')) {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

std::string BaseName(const std::string& path) {
    auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsDirectory(const std::string& host) {
    struct stat st;
    return ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRealFolder(const std::string& host) {
    struct stat st;
    return ::lstat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& host) {
    struct stat st;
    return ::stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool ListFolder(const std::string& host, std::vector<std::string>* names) {
    DIR* d = ::opendir(host.c_str());
    if (!d) return false;
    while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..") names->push_back(n);
    }
    ::closedir(d);
    return true;
}

bool RemoveHostTree(const std::string& host) {
    struct stat st;
    if (::lstat(host.c_str(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode)) {
        if (::unlink(host.c_str()) != 0) return false;
        NoteRemoved(host);
        return true;
    }
    std::vector<std::string> names;
    if (!ListFolder(host, &names)) return false;
    bool all = true;
    for (const auto& n : names)
        if (!RemoveHostTree(host + "/" + n)) all = false;
    if (::rmdir(host.c_str()) != 0) return false;
    NoteRemoved(host);
    return all;
}

namespace {

const char kSystem32[] = "C:\\Windows\\System32";
const char kSysWow64[] = "C:\\Windows\\SysWOW64";

bool IsSep(char c) { return c == '\\' || c == '/'; }

std::string DriveRoot() { return MachineDir() + "/drive_c"; }

// What a host path is, a link being a thing of its own.
enum class Node { kNone, kFile, kFolder, kFileLink, kFolderLink };

Node NodeAt(const std::string& host) {
    struct stat st;
    if (host.empty() || ::lstat(host.c_str(), &st) != 0) return Node::kNone;
    if (S_ISLNK(st.st_mode)) return IsDirectory(host) ? Node::kFolderLink : Node::kFileLink;
    return S_ISDIR(st.st_mode) ? Node::kFolder : Node::kFile;
}

bool IsFolderNode(Node node) { return node == Node::kFolder || node == Node::kFolderLink; }
bool IsLinkNode(Node node) { return node == Node::kFileLink || node == Node::kFolderLink; }

// The attributes Windows reports for a path: those stored, the archive
// attribute for a file that has none, and what the node is.
DWORD AttributesOf(const std::string& host, Node node) {
    DWORD attributes = StoredAttributes(host);
    if (!IsFolderNode(node) && attributes == 0) attributes = FILE_ATTRIBUTE_ARCHIVE;
    if (IsFolderNode(node)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if (IsLinkNode(node)) attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return attributes;
}

std::string ParentHost(const std::string& host) {
    auto slash = host.rfind('/');
    return slash == std::string::npos ? std::string() : host.substr(0, slash);
}

// Relative name of a host path below drive_c, in lower case: the key of the
// attribute table.
std::string AttributeKey(const std::string& host) {
    std::string root = DriveRoot();
    std::string rel = host.size() > root.size() ? host.substr(root.size() + 1) : std::string();
    return Lower(rel);
}

std::map<std::string, DWORD> ReadAttributes() {
    std::map<std::string, DWORD> table;
    std::string text;
    if (!ReadOwnFile(MachineDir() + "/attributes", &text)) return table;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() < 10) continue;
        table[line.substr(9)] = static_cast<DWORD>(std::strtoul(line.substr(0, 8).c_str(), nullptr, 16));
    }
    return table;
}

// The attribute table as this process last read or wrote it, kept while no
// other process changes the machine: only SaveAttributes writes the file, and
// it keeps what it wrote.
struct AttributeCache {
    uint64_t drops = 0;  // the CacheDrops it stands for; 0: none
    std::map<std::string, DWORD> table;
};

AttributeCache& Attributes() {
    static AttributeCache cache;
    return cache;
}

const std::map<std::string, DWORD>& LoadAttributes() {
    AttributeCache& cache = Attributes();
    uint64_t drops = CacheDrops();
    if (cache.drops != drops) {
        cache.table = ReadAttributes();
        cache.drops = drops;
    }
    return cache.table;
}

void SaveAttributes(const std::map<std::string, DWORD>& table) {
    std::string text;
    char hex[16];
    for (const auto& kv : table) {
        std::snprintf(hex, sizeof hex, "%08X ", kv.second);
        text += hex + kv.first + "\n";
    }
    AttributeCache& cache = Attributes();
    if (WriteFileAtomic(MachineDir() + "/attributes", text)) {
        cache.table = table;
        cache.drops = CacheDrops();
    } else {
        cache.drops = 0;
    }
}

// Writes the copy in place, as Windows does: a copy cut short leaves the
// target partly written under its own name, and the next copy replaces it.
// A link in the target's place goes first, so that no copy writes through it.
BOOL CopyContent(const std::string& from, const std::string& to) {
    std::string content;
    if (!ReadWholeFile(from, &content)) return Fail(ERROR_ACCESS_DENIED);
    struct stat st;
    mode_t mode = ::stat(from.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0644;
    if (::lstat(to.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (::unlink(to.c_str()) != 0) return Fail(ERROR_ACCESS_DENIED);
        NoteRemoved(to);
    }
    int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) return Fail(ERROR_ACCESS_DENIED);
    NoteAdded(to, EntryKind::kFile);
    // Half first, then the rest: a kill point lies between.
    size_t done = 0, half = content.size() / 2;
    while (done < content.size()) {
        size_t end = done < half ? half : content.size();
        ssize_t n = ::write(fd, content.data() + done, end - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
        if (done == half) KillPoint();
    }
    bool whole = done == content.size() && ::fchmod(fd, mode) == 0;
    if (::close(fd) != 0) whole = false;
    return whole ? TRUE : Fail(ERROR_ACCESS_DENIED);
}

bool WildcardMatch(const char* pattern, const char* name) {
    // '*' and '?' as Windows has them; "*.*" matches every name.
    if (std::strcmp(pattern, "*.*") == 0 || std::strcmp(pattern, "*") == 0) return true;
    while (*pattern) {
        if (*pattern == '*') {
            ++pattern;
            if (!*pattern) return true;
            for (const char* n = name; *n; ++n)
                if (WildcardMatch(pattern, n)) return true;
            return WildcardMatch(pattern, name + std::strlen(name));
        }
        if (!*name) return std::strcmp(pattern, ".") == 0 || std::strcmp(pattern, ".*") == 0;
        if (*pattern != '?' && LowerChar(*pattern) != LowerChar(*name)) return false;
        ++pattern;
        ++name;
    }
    return *name == 0;
}

struct FindObject : Object {
    static constexpr const char* Kind = "find";
    FindObject() : Object(Kind) {}
    std::vector<WIN32_FIND_DATAA> entries;
    size_t next = 0;
};

struct FileObject : Object {
    static constexpr const char* Kind = "file";
    FileObject() : Object(Kind) {}
    std::string host;
};

void FillFindData(const std::string& name, const std::string& host, WIN32_FIND_DATAA* data) {
    std::memset(data, 0, sizeof *data);
    if (name == "." || name == "..") {
        data->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    } else {
        Node node = NodeAt(host);
        data->dwFileAttributes = AttributesOf(host, node);
        struct stat st;
        if (node == Node::kFile && ::stat(host.c_str(), &st) == 0) data->nFileSizeLow = static_cast<DWORD>(st.st_size);
        if (IsLinkNode(node)) data->dwReserved0 = IO_REPARSE_TAG_SYMLINK;
    }
    std::snprintf(data->cFileName, sizeof data->cFileName, "%s", name.c_str());
}

UINT CopyOut(const std::string& text, LPSTR buffer, UINT size) {
    if (!buffer || size <= text.size()) return static_cast<UINT>(text.size() + 1);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<UINT>(text.size());
}

}  // namespace

// ---- paths ------------------------------------------------------------------

std::string AbsoluteWinPath(const std::string& input) {
    std::string path = input;
    if (path.rfind("\\\\?\\", 0) == 0) path = path.substr(4);
    std::string base;
    if (path.size() >= 2 && path[1] == ':') {
        if (path[0] != 'C' && path[0] != 'c') return std::string();
        base = "C:\\";
        path = path.substr(2);
        if (!path.empty() && !IsSep(path[0])) {
            // "C:name" is relative to the current directory of drive C:.
            base = Process().currentDirectory;
        }
    } else if (!path.empty() && IsSep(path[0])) {
        if (path.size() > 1 && IsSep(path[1])) return std::string();  // UNC
        base = "C:\\";
    } else {
        base = Process().currentDirectory;
    }
    std::vector<std::string> parts = SplitPath(base.substr(2), true);
    for (const auto& part : SplitPath(path, true)) {
        if (part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string out = "C:";
    if (parts.empty()) return "C:\\";
    for (const auto& part : parts) out += "\\" + part;
    return out;
}

std::string Redirect(const std::string& abs) {
    if (!Config().is64 || Process().redirectionDisabled) return abs;
    size_t n = std::strlen(kSystem32);
    if (abs.size() >= n && EqualNoCase(abs.substr(0, n), kSystem32) && (abs.size() == n || abs[n] == '\\'))
        return kSysWow64 + abs.substr(n);
    return abs;
}

std::string HostPath(const std::string& abs) {
    std::string host = DriveRoot();
    bool exists = true;
    for (const auto& part : SplitPath(abs.substr(2), true)) {
        std::string found;
        if (exists) found = FindNoCase(host, part, false);
        if (found.empty()) {
            exists = false;
            found = part;
        }
        host += "/" + found;
    }
    return host;
}

std::string MapPath(const std::string& path) {
    std::string abs = AbsoluteWinPath(path);
    if (abs.empty()) return std::string();
    return HostPath(Redirect(abs));
}

DWORD StoredAttributes(const std::string& host) {
    const auto& table = LoadAttributes();
    auto it = table.find(AttributeKey(host));
    return it == table.end() ? 0 : it->second;
}

void StoreAttributes(const std::string& host, DWORD attributes) {
    auto table = LoadAttributes();
    std::string key = AttributeKey(host);
    attributes &= ~(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NORMAL);
    if (attributes == 0) {
        if (table.erase(key) == 0) return;
    } else {
        table[key] = attributes;
    }
    SaveAttributes(table);
}

void ForgetAttributes(const std::string& host) {
    auto table = LoadAttributes();
    std::string key = AttributeKey(host);
    bool changed = false;
    for (auto it = table.begin(); it != table.end();) {
        if (it->first == key || it->first.rfind(key + "/", 0) == 0) {
            it = table.erase(it);
            changed = true;
        } else {
            ++it;
        }
    }
    if (changed) SaveAttributes(table);
}

}  // namespace winsim

using namespace winsim;

extern "C" {

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size) { return CopyOut("C:\\Windows", buffer, size); }

UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size) { return CopyOut("C:\\Windows\\system32", buffer, size); }

DWORD WINAPI GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
    return CopyOut(Process().currentDirectory, buffer, size);
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR path) {
    if (!path || !*path) return Fail(ERROR_INVALID_PARAMETER);
    std::string abs = AbsoluteWinPath(path);
    if (abs.empty()) return Fail(ERROR_PATH_NOT_FOUND);
    std::string host = HostPath(Redirect(abs));
    if (!IsDirectory(host)) return Fail(IsRegularFile(host) ? ERROR_DIRECTORY : ERROR_PATH_NOT_FOUND);
    Process().currentDirectory = abs;
    return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR path) {
    if (!path) {
        SetError(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    std::string host = MapPath(path);
    Node node = NodeAt(host);
    if (node == Node::kNone) {
        SetError(host.empty() || !IsDirectory(ParentHost(host)) ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    return AttributesOf(host, node);
}

BOOL WINAPI SetFileAttributesA(LPCSTR path, DWORD attributes) {
    if (!path) return Fail(ERROR_INVALID_PARAMETER);
    std::string host = MapPath(path);
    if (NodeAt(host) == Node::kNone) return Fail(ERROR_FILE_NOT_FOUND);
    DWORD error;
    if (TakeFault("SetFileAttributesA", BaseName(path), &error)) return Fail(error);
    StoreAttributes(host, attributes);
    return TRUE;
}

HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD,
                          HANDLE) {
    if (!path || disposition != OPEN_EXISTING || (access & GENERIC_WRITE)) {
        // The installer only opens existing files to read them.
        SetError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string host = MapPath(path);
    DWORD error;
    if (TakeFault("CreateFileA", BaseName(path), &error)) {
        SetError(error);
        return INVALID_HANDLE_VALUE;
    }
    if (host.empty() || !IsRegularFile(host)) {
        SetError(!host.empty() && IsDirectory(host) ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    // The host's permissions hold: a file this process may not read is
    // refused as Windows refuses it.
    int fd = ::open(host.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SetError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    ::close(fd);
    auto file = std::make_unique<FileObject>();
    file->host = host;
    return NewHandle(std::move(file));
}

BOOL WINAPI CopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists) {
    if (!from || !to) return Fail(ERROR_INVALID_PARAMETER);
    std::string src = MapPath(from), dst = MapPath(to);
    DWORD error;
    if (TakeFault("CopyFileA", BaseName(to), &error)) return Fail(error);
    if (src.empty() || !IsRegularFile(src))
        return Fail(src.empty() || IsDirectory(ParentHost(src)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    if (dst.empty() || !IsDirectory(ParentHost(dst))) return Fail(ERROR_PATH_NOT_FOUND);
    if (IsDirectory(dst)) return Fail(ERROR_ACCESS_DENIED);
    if (IsRegularFile(dst)) {
        if (failIfExists) return Fail(ERROR_FILE_EXISTS);
        if (StoredAttributes(dst) & FILE_ATTRIBUTE_READONLY) return Fail(ERROR_ACCESS_DENIED);
    }
    if (!CopyContent(src, dst)) return FALSE;
    // The copy takes the attributes of its source.
    StoreAttributes(dst, StoredAttributes(src));
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR path) {
    if (!path) return Fail(ERROR_INVALID_PARAMETER);
    std::string host = MapPath(path);
    DWORD error;
    if (TakeFault("DeleteFileA", BaseName(path), &error)) return Fail(error);
    if (host.empty() || !IsDirectory(ParentHost(host))) return Fail(ERROR_PATH_NOT_FOUND);
    Node node = NodeAt(host);
    // A folder, or a link to one, is not a file to delete.
    if (IsFolderNode(node)) return Fail(ERROR_ACCESS_DENIED);
    if (node == Node::kNone) return Fail(ERROR_FILE_NOT_FOUND);
    if (StoredAttributes(host) & FILE_ATTRIBUTE_READONLY) return Fail(ERROR_ACCESS_DENIED);
    // A link to a file goes itself; the file it leads to stays.
    if (::unlink(host.c_str()) != 0) return Fail(ERROR_ACCESS_DENIED);
    NoteRemoved(host);
    ForgetAttributes(host);
    return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) {
    if (!path) return Fail(ERROR_INVALID_PARAMETER);
    std::string abs = AbsoluteWinPath(path);
    if (abs.empty()) return Fail(ERROR_PATH_NOT_FOUND);
    std::string host = HostPath(Redirect(abs));
    if (NodeAt(host) != Node::kNone) return Fail(ERROR_ALREADY_EXISTS);
    DWORD error;
    if (TakeFault("CreateDirectoryA", abs, &error)) return Fail(error);
    if (!IsDirectory(ParentHost(host))) return Fail(ERROR_PATH_NOT_FOUND);
    if (::mkdir(host.c_str(), 0755) != 0) return Fail(ERROR_ACCESS_DENIED);
    NoteAdded(host, EntryKind::kFolder);
    return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR path) {
    if (!path) return Fail(ERROR_INVALID_PARAMETER);
    std::string host = MapPath(path);
    DWORD error;
    if (TakeFault("RemoveDirectoryA", BaseName(path), &error)) return Fail(error);
    Node node = NodeAt(host);
    if (node == Node::kNone) return Fail(ERROR_FILE_NOT_FOUND);
    if (!IsFolderNode(node)) return Fail(ERROR_DIRECTORY);
    if (StoredAttributes(host) & FILE_ATTRIBUTE_READONLY) return Fail(ERROR_ACCESS_DENIED);
    if (node == Node::kFolderLink) {
        // The link goes, never the folder it leads to.
        if (::unlink(host.c_str()) != 0) return Fail(ERROR_ACCESS_DENIED);
    } else if (::rmdir(host.c_str()) != 0) {
        return Fail(errno == ENOTEMPTY || errno == EEXIST ? ERROR_DIR_NOT_EMPTY : ERROR_ACCESS_DENIED);
    }
    NoteRemoved(host);
    ForgetAttributes(host);
    return TRUE;
}

HANDLE WINAPI FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
    if (!pattern || !data) {
        SetError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string abs = AbsoluteWinPath(pattern);
    std::string given = pattern;
    if (abs.empty() || given.empty() || IsSep(given.back())) {
        SetError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::string redirected = Redirect(abs);
    auto slash = redirected.rfind('\\');
    std::string folderWin = redirected.substr(0, slash);
    std::string namePattern = redirected.substr(slash + 1);
    if (folderWin.size() == 2) folderWin += "\\";
    std::string folderHost = HostPath(folderWin);
    if (!IsDirectory(folderHost)) {
        SetError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::vector<std::string> names;
    if (folderWin.size() > 3) {
        names.push_back(".");
        names.push_back("..");
    }
    std::vector<std::string> entries;
    if (!ListFolder(folderHost, &entries)) {
        // A folder this process may not list.
        SetError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    // NTFS lists a folder in the order of its names in upper case.
    SortAsListing(&entries);
    names.insert(names.end(), entries.begin(), entries.end());
    auto find = std::make_unique<FindObject>();
    for (const auto& n : names) {
        if (!WildcardMatch(namePattern.c_str(), n.c_str())) continue;
        WIN32_FIND_DATAA entry;
        FillFindData(n, n == "." || n == ".." ? folderHost : folderHost + "/" + n, &entry);
        find->entries.push_back(entry);
    }
    if (find->entries.empty()) {
        SetError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *data = find->entries[0];
    find->next = 1;
    return NewHandle(std::move(find));
}

BOOL WINAPI FindNextFileA(HANDLE h, LPWIN32_FIND_DATAA data) {
    auto* find = Lookup<FindObject>(h);
    if (!find || !data) return Fail(ERROR_INVALID_HANDLE);
    if (find->next >= find->entries.size()) return Fail(ERROR_NO_MORE_FILES);
    *data = find->entries[find->next++];
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE h) {
    if (!ReleaseHandle(h, FindObject::Kind)) return Fail(ERROR_INVALID_HANDLE);
    return TRUE;
}

}  // extern "C"

namespace winsim {
bool CloseFileHandle(HANDLE h) { return ReleaseHandle(h, FileObject::Kind); }
}  // namespace winsim
