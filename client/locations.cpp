// Folders below the Program Files folder, folder creation, flat copies and
// deletions of the files of one folder, and removal of the WebBrowser folder.
#include "client/locations.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/output.h"
#include "base/registry_read.h"
#include "base/wow64.h"
#include "platform/child_process.h"
#include "platform/handles.h"

namespace {

const char kLongPathPrefix[] = "\\\\?\\";

// The Program Files folder ("ProgramFilesDir") followed by a backslash and
// the relative path. False, with the buffer empty, when there is no Program
// Files folder or when the whole path does not fit: a path cut to fit would
// name another folder.
bool ProgramFilesSubfolder(const char* relativePath, char* buffer, DWORD bufferSize, REGSAM view) {
    if (!buffer || bufferSize == 0) return false;
    buffer[0] = '\0';
    if (!relativePath) return false;
    if (bufferSize < 2) return false;
    GetHklmSubkeyString("Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir", "", buffer, bufferSize - 1,
                        "SOFTWARE", view);
    if (buffer[0] == '\0') return false;
    size_t length = std::strlen(buffer);
    int n = std::snprintf(buffer + length, bufferSize - length, "\\%s", relativePath);
    if (n < 0 || static_cast<size_t>(n) >= bufferSize - length) {
        buffer[0] = '\0';
        return false;
    }
    return true;
}

// The view of the font, product and WebBrowser lookups: the 32-bit one when
// this process runs under WOW64.
REGSAM DataFolderView() { return IsWow64() ? KEY_WOW64_32KEY : 0; }

bool IsDotEntry(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// A folder path in a zeroed walk buffer, ending in a backslash unless empty.
// False when it does not fit.
bool PrepareWalkFolder(const char* folder, char (&buffer)[kWalkPathSize]) {
    std::memset(buffer, 0, sizeof buffer);
    size_t length = std::strlen(folder);
    // Room for the backslash and the terminator.
    if (length + 2 > sizeof buffer) return false;
    std::memcpy(buffer, folder, length);
    AppendBackslash(buffer, sizeof buffer);
    return true;
}

struct FileCopyContext {
    const char* sourceFolder;
    const char* targetFolder;
};

bool CopyStep(const WIN32_FIND_DATAA* file, void* context) {
    const auto* copy = static_cast<const FileCopyContext*>(context);
    char source[kWalkPathSize] = {};
    char target[kWalkPathSize] = {};
    if (!JoinPath(copy->sourceFolder, file->cFileName, source, sizeof source) ||
        !JoinPath(copy->targetFolder, file->cFileName, target, sizeof target) || !CopyFileA(source, target, FALSE)) {
        ReportCopyFailure(file->cFileName);
        return false;
    }
    return true;
}

bool DeleteStep(const WIN32_FIND_DATAA* file, void* context) {
    const char* folder = static_cast<const char*>(context);
    char path[kWalkPathSize] = {};
    if (!JoinPath(folder, file->cFileName, path, sizeof path)) return false;
    return DeleteFileA(path) != FALSE;
}

// Characters that the command interpreter would not take literally inside a
// quoted argument: the quote itself ends it, "%" expands variables, and line
// ends split the command. None of them belongs in a folder name.
bool SafeForCommandInterpreter(const char* path) {
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(path); *p; ++p) {
        if (*p == '"' || *p == '%' || *p < 0x20) return false;
    }
    return true;
}

// Runs a command through the command interpreter named by COMSPEC and waits
// for it. False when it cannot be started or its exit status is not 0.
bool RunCommandInterpreter(const char* command) {
    // The interpreter's path: at most 259 characters.
    char interpreter[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableA("COMSPEC", interpreter, sizeof interpreter);
    if (n == 0 || n >= sizeof interpreter) return false;
    char commandLine[sizeof "\"\" /c " + MAX_PATH + kRemovalCommandSize] = {};
    int written = std::snprintf(commandLine, sizeof commandLine, "\"%s\" /c %s", interpreter, command);
    if (written < 0 || static_cast<size_t>(written) >= sizeof commandLine) return false;
    DWORD exitCode = 1;
    return platform::RunProcess(interpreter, commandLine, &exitCode) && exitCode == 0;
}

bool IsLink(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Removes a junction or symbolic link as a link: one to a folder with
// RemoveDirectoryA, which takes away the link and never what it leads to; one
// to a file with DeleteFileA.
bool RemoveLink(const char* path, DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY ? RemoveDirectoryA(path) : DeleteFileA(path)) != FALSE;
}

// Removes, as links, every junction and symbolic link below a folder, so that
// a removal of the tree can never reach through one of them into a folder
// elsewhere. Real subfolders are searched too; a link is never entered. A
// link to a folder goes with RemoveDirectoryA, which takes away the link and
// not what it points to; a link to a file with DeleteFileA. False when a
// link could not be removed, or a path below the folder does not fit its
// buffer (what lies there could not be looked at).
bool RemoveLinksBelow(const char* root) {
    std::vector<std::string> folders(1, root);
    while (!folders.empty()) {
        std::string folder = folders.back();
        folders.pop_back();
        char search[kWalkPathSize] = {};
        if (!JoinPath(folder.c_str(), "\\*", search, sizeof search)) return false;
        WIN32_FIND_DATAA data;
        std::memset(&data, 0, sizeof data);
        platform::FindHandle find(FindFirstFileA(search, &data));
        if (!find) continue;
        do {
            if (IsDotEntry(data.cFileName)) continue;
            bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            bool isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            if (!isFolder && !isLink) continue;
            char path[kWalkPathSize] = {};
            int n = std::snprintf(path, sizeof path, "%s\\%s", folder.c_str(), data.cFileName);
            if (n < 0 || static_cast<size_t>(n) >= sizeof path) return false;
            if (!isLink) {
                folders.push_back(path);
                continue;
            }
            if (!RemoveLink(path, data.dwFileAttributes)) return false;
        } while (FindNextFileA(find.get(), &data));
    }
    return true;
}

}  // namespace

bool GetProgramFilesSubfolder(const char* relativePath, char* buffer, DWORD bufferSize) {
    return ProgramFilesSubfolder(relativePath, buffer, bufferSize, DataFolderView());
}

bool GetWebBrowserFolder(char* buffer, DWORD bufferSize) {
    return ProgramFilesSubfolder(kWebBrowserFolderPath, buffer, bufferSize, DataFolderView());
}

bool GetClientFolder(char* buffer, DWORD bufferSize) {
    // The client folder is looked up in the process's own registry view.
    return ProgramFilesSubfolder(kClientFolderPath, buffer, bufferSize, 0);
}

bool CreateDirectoryPath(const char* path) {
    if (!path) return false;
    char prefixed[kCreatePathSize] = {};
    int n = std::snprintf(prefixed, sizeof prefixed, "%s%s", kLongPathPrefix, path);
    // A path longer than kCreatePathSize - 5 characters is refused, not cut.
    if (n < 0 || static_cast<size_t>(n) >= sizeof prefixed) return false;
    size_t length = static_cast<size_t>(n);
    // Each level below the drive root, from the first character after
    // "\\?\C:\" on; a trail byte of a double-byte character is never a level.
    const size_t firstLevel = sizeof kLongPathPrefix - 1 + sizeof "C:\\" - 1;
    for (size_t i = firstLevel; i < length; ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(prefixed[i])) && prefixed[i + 1] != '\0') {
            ++i;
            continue;
        }
        if (prefixed[i] != '\\') continue;
        prefixed[i] = '\0';
        BOOL created = CreateDirectoryA(prefixed, nullptr);
        DWORD error = created ? ERROR_SUCCESS : GetLastError();
        prefixed[i] = '\\';
        if (!created && error != ERROR_ALREADY_EXISTS) return false;
    }
    if (CreateDirectoryA(prefixed, nullptr)) return true;
    return GetLastError() == ERROR_ALREADY_EXISTS;
}

char* LastBackslash(char* path) {
    char* last = nullptr;
    for (char* p = path; *p; ++p) {
        // The trail byte of a double-byte character is never a backslash.
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0') {
            ++p;
            continue;
        }
        if (*p == '\\') last = p;
    }
    return last;
}

void AppendBackslash(char* path, DWORD bufferSize) {
    if (!path) return;
    size_t length = std::strlen(path);
    if (length == 0) return;
    if (LastBackslash(path) == path + length - 1) return;
    if (length + 2 > bufferSize) return;
    path[length] = '\\';
    path[length + 1] = '\0';
}

bool JoinPath(const char* folder, const char* name, char* out, DWORD outSize) {
    if (!folder || !name || !out || outSize == 0) return false;
    int n = std::snprintf(out, outSize, "%s%s", folder, name);
    if (n < 0 || static_cast<DWORD>(n) >= outSize) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool ForEachFile(const char* folder, const char* pattern, FileStep step, void* context) {
    if (!folder || !pattern || !step) return false;
    char search[kWalkPathSize] = {};
    if (!JoinPath(folder, pattern, search, sizeof search)) return false;
    WIN32_FIND_DATAA data;
    std::memset(&data, 0, sizeof data);
    platform::FindHandle find(FindFirstFileA(search, &data));
    if (!find) return true;  // nothing matches, or the folder does not exist
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || IsDotEntry(data.cFileName)) continue;
        if (!step(&data, context)) return false;
    } while (FindNextFileA(find.get(), &data));
    return true;
}

bool CopyFiles(const char* sourceFolder, const char* targetFolder, const char* pattern) {
    if (!sourceFolder || !targetFolder || !pattern) return false;
    char source[kWalkPathSize];
    char target[kWalkPathSize];
    if (!PrepareWalkFolder(sourceFolder, source) || !PrepareWalkFolder(targetFolder, target)) return false;
    FileCopyContext context = {source, target};
    return ForEachFile(source, pattern, &CopyStep, &context);
}

bool DeleteFiles(const char* folder, const char* pattern) {
    if (!folder || !pattern) return false;
    char path[kWalkPathSize];
    if (!PrepareWalkFolder(folder, path)) return false;
    return ForEachFile(path, pattern, &DeleteStep, path);
}

bool RemoveWebBrowserFolder() {
    char folder[kDataFolderSize] = {};
    if (!GetWebBrowserFolder(folder, sizeof folder)) return false;
    // The folder goes to the command interpreter in quotes: a name that
    // could end the quotes or be expanded there is refused.
    if (!SafeForCommandInterpreter(folder)) return false;
    // A link in the folder's place goes as a link, and a folder behind a link
    // stays as it is: the command would empty the folder a link leads to.
    const int level = PathLevels(kWebBrowserFolderPath);
    const int link = FirstLinkLevel(folder, kWebBrowserFolderPath);
    if (!MayEnterLevel(link, level)) return RemoveLevel(folder, link, level);
    // Made when missing, so that the removal always finds it.
    CreateDirectoryPath(folder);
    // The command interpreter may follow a link inside the tree and empty the
    // folder it points to: links go first, as links, or the tree stays.
    if (!RemoveLinksBelow(folder)) return false;
    char command[kRemovalCommandSize] = {};
    int n = std::snprintf(command, sizeof command, "rmdir \"%s\" /S /Q", folder);
    if (n < 0 || static_cast<size_t>(n) >= sizeof command) return false;
    if (!RunCommandInterpreter(command)) return false;
    RemoveDirectoryA(folder);
    return true;
}

int PathLevels(const char* relativePath) {
    if (!relativePath || !*relativePath) return 0;
    int levels = 1;
    for (const char* p = relativePath; *p; ++p)
        if (*p == '\\') ++levels;
    return levels;
}

int FirstLinkLevel(const char* folder, const char* relativePath) {
    if (!folder || !relativePath) return 0;
    size_t length = std::strlen(folder), relative = std::strlen(relativePath);
    if (relative == 0 || relative >= length) return 0;
    // Each level's path: the folder cut after the level's name. The relative
    // paths are the product's own, in ASCII: every backslash in them ends a
    // level.
    std::string path(folder);
    int level = 0;
    for (size_t end = length - relative; end <= length; ++end) {
        if (end < length && folder[end] != '\\') continue;
        ++level;
        if (IsLink(GetFileAttributesA(path.substr(0, end).c_str()))) return level;
    }
    return 0;
}

bool RemoveLevel(const char* path, int firstLink, int level) {
    if (!path) return false;
    if (firstLink != 0 && firstLink < level) return false;
    if (firstLink == level) return RemoveLink(path, GetFileAttributesA(path));
    return RemoveDirectoryA(path) != FALSE;
}
