// The command interpreter: "/c COMMAND". rmdir /S /Q works on the machine's
// files (a symbolic link in the tree is removed as a link, never followed;
// a tree that cannot be removed whole ends with an exit code of 1 or more)
// and "exit N" ends with exit code N; every other command is only recorded in
// the journal.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "internal.h"

namespace winsim {
namespace {

// The Windows error for a host error that kept part of a tree.
DWORD ErrorOf(int error) {
    switch (error) {
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;  // "The filename or extension is too long."
    case ENOTEMPTY:
    case EEXIST: return ERROR_DIR_NOT_EMPTY;  // "The directory is not empty."
    default: return ERROR_ACCESS_DENIED;      // "Access is denied."
    }
}

// Keeps the first error (never 0: a removal that failed is no success).
bool Stays(DWORD code, DWORD* error) {
    if (*error == 0) *error = code ? code : ERROR_ACCESS_DENIED;
    return false;
}

// Removes a tree as rmdir /S /Q does, each file as DeleteFileA and each
// folder as RemoveDirectoryA would (their fault rules apply, by name): a
// link goes as itself, what cannot go stays with the folders above it, and
// the rest goes. *error is the first error.
bool RemoveTree(const std::string& host, DWORD* error) {
    struct stat st;
    if (::lstat(host.c_str(), &st) != 0) return Stays(ErrorOf(errno), error);
    DWORD fault;
    if (!S_ISDIR(st.st_mode)) {
        bool folderLink = S_ISLNK(st.st_mode) && IsDirectory(host);
        if (TakeFault(folderLink ? "RemoveDirectoryA" : "DeleteFileA", BaseName(host), &fault))
            return Stays(fault, error);
        if (::unlink(host.c_str()) != 0) return Stays(ErrorOf(errno), error);
        NoteRemoved(host);
        return true;
    }
    std::vector<std::string> names;
    if (!ListFolder(host, &names)) return Stays(ErrorOf(errno), error);
    bool all = true;
    for (const auto& n : names)
        if (!RemoveTree(host + "/" + n, error)) all = false;
    if (!all) return false;
    if (TakeFault("RemoveDirectoryA", BaseName(host), &fault)) return Stays(fault, error);
    if (::rmdir(host.c_str()) != 0) return Stays(ErrorOf(errno), error);
    NoteRemoved(host);
    return true;
}

}  // namespace

bool RunCommandInterpreter(const std::string& commandLine, DWORD* exitCode) {
    *exitCode = 0;
    std::string lower = Lower(commandLine);
    auto c = lower.find("/c ");
    if (c == std::string::npos) return true;
    std::string command = Trim(commandLine.substr(c + 3));
    std::string lowerCommand = Lower(command);
    if (lowerCommand == "exit" || lowerCommand.rfind("exit ", 0) == 0) {
        // "exit N" ends the interpreter with exit code N.
        *exitCode = static_cast<DWORD>(std::strtoul(Trim(command.substr(4)).c_str(), nullptr, 10));
        return true;
    }
    if (lowerCommand.rfind("rmdir ", 0) != 0) return true;
    std::string rest = Trim(command.substr(6));
    std::string folder;
    if (!rest.empty() && rest[0] == '"') {
        auto end = rest.find('"', 1);
        if (end == std::string::npos) {
            *exitCode = 1;
            return false;
        }
        folder = rest.substr(1, end - 1);
    } else {
        folder = rest.substr(0, rest.find(' '));
    }
    std::string host = MapPath(folder);
    struct stat st;
    if (host.empty() || ::lstat(host.c_str(), &st) != 0) {
        *exitCode = ERROR_FILE_NOT_FOUND;  // "The system cannot find the file specified."
        return false;
    }
    if (!IsDirectory(host)) {
        *exitCode = ERROR_DIRECTORY;  // "The directory name is invalid."
        return false;
    }
    // A link in the tree, or the folder named when it is one, goes as a link.
    // What cannot be removed stays, the rest goes, and the exit code is the
    // error of the first entry that stayed: the interpreter's rmdir reports
    // failure with an exit code of 1 or more.
    DWORD error = 0;
    bool removed = RemoveTree(host, &error);
    ForgetAttributes(host);
    if (removed) return true;
    *exitCode = error;
    return false;
}

}  // namespace winsim
