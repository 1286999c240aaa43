// The command interpreter: "/c COMMAND". rmdir /S /Q works on the machine's
// files (a symbolic link in the tree is removed as a link, never followed)
// and "exit N" ends with exit code N; every other command is only recorded in
// the journal.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "internal.h"

namespace winsim {

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
    RemoveHostTree(host);
    ForgetAttributes(host);
    return true;
}

}  // namespace winsim
