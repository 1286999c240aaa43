#include "support/machine.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/output.h"
#include "platform/handles.h"
#include "run/run_driver.h"

namespace testing_support {
namespace {

std::string MakeTempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/winsim-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data())) std::abort();
    return buffer.data();
}

int g_savedStdout = -1;
std::string g_captureFile;

}  // namespace

winsim::NewOptions TempMachine::DefaultOptions() {
    winsim::NewOptions options;
    options.distSource = DIST_DIR;
    return options;
}

RunPlan TestPlan(const EditionProfile& edition, bool fromIni, const char* iniPath) {
    RunPlan plan;
    plan.edition = edition;
    plan.sections.fromIniFile = fromIni;
    SetConfigFilePath(&plan.sections, iniPath);
    return plan;
}

std::string NewMachineDir(const winsim::NewOptions& options) {
    std::string dir = MakeTempDir();
    std::string error;
    if (!winsim::CreateMachine(dir, options, &error)) {
        std::fprintf(stderr, "cannot make a machine: %s\n", error.c_str());
        std::abort();
    }
    return dir;
}

OutsideFolder::OutsideFolder() : dir_(MakeTempDir()) {}

OutsideFolder::~OutsideFolder() { RemoveTree(dir_); }

void OutsideFolder::Write(const std::string& relative, const std::string& content) const {
    std::string path = dir_ + "/" + relative;
    std::string folder = path.substr(0, path.rfind('/'));
    std::string command = "mkdir -p '" + folder + "'";
    if (std::system(command.c_str()) != 0) std::abort();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
}

std::string TreeSnapshot(const std::string& root) {
    std::vector<std::string> names;
    DIR* d = ::opendir(root.c_str());
    if (!d) return std::string();
    while (dirent* e = ::readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
    ::closedir(d);
    std::sort(names.begin(), names.end());
    std::string out;
    for (const auto& name : names) {
        std::string path = root + "/" + name;
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0) continue;
        if (S_ISLNK(st.st_mode)) {
            char target[4096];
            ssize_t n = ::readlink(path.c_str(), target, sizeof target);
            out += name + " -> " + std::string(target, n > 0 ? static_cast<size_t>(n) : 0) + "\n";
        } else if (S_ISDIR(st.st_mode)) {
            out += name + "/\n";
            std::string below = TreeSnapshot(path);
            size_t start = 0;
            while (start < below.size()) {
                size_t end = below.find('\n', start);
                out += name + "/" + below.substr(start, end - start + 1);
                start = end + 1;
            }
        } else {
            std::string content;
            winsim::ReadWholeFile(path, &content);
            // One line each: a line break of the content shows as "\\n".
            std::string shown;
            for (char c : content) shown += c == '\n' ? std::string("\\n") : std::string(1, c);
            out += name + " = " + shown + "\n";
        }
    }
    return out;
}

void RemoveTree(const std::string& dir) {
    if (dir.empty() || dir == "/") return;
    std::string command = "rm -rf '" + dir + "'";
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "cannot remove %s\n", dir.c_str());
}

TempMachine::TempMachine(const winsim::NewOptions& options) : dir_(NewMachineDir(options)) {
    CloseInstallLog();
    winsim::OpenMachine(dir_);
}

TempMachine::~TempMachine() {
    CloseInstallLog();
    winsim::CloseMachine();
    if (!std::getenv("KEEP_MACHINES")) RemoveTree(dir_);
}

std::string TempMachine::Host(const std::string& winPath) const {
    return winsim::HostPath(winsim::AbsoluteWinPath(winPath));
}

bool TempMachine::Exists(const std::string& winPath) const { return ::access(Host(winPath).c_str(), F_OK) == 0; }

std::string TempMachine::Read(const std::string& winPath) const {
    std::string content;
    winsim::ReadWholeFile(Host(winPath), &content);
    return content;
}

void TempMachine::Write(const std::string& winPath, const std::string& content) const {
    std::string host = Host(winPath);
    std::string parent = host.substr(0, host.rfind('/'));
    std::string command = "mkdir -p '" + parent + "'";
    if (std::system(command.c_str()) != 0) std::abort();
    winsim::WriteFileAtomic(host, content);
}

void TempMachine::Remove(const std::string& winPath) const {
    RemoveTree(Host(winPath));
    winsim::MachineChangedOutside();
}

void TempMachine::Reopen() const {
    std::string cwd = winsim::Process().currentDirectory;
    bool redirection = winsim::Process().redirectionDisabled;
    winsim::OpenMachine(dir_);
    winsim::Process().currentDirectory = cwd;
    winsim::Process().redirectionDisabled = redirection;
}

namespace {

// The words of INSTALL_WRAPPER (for instance "valgrind --error-exitcode=99
// -q"), split at blanks; empty when it is not set.
std::vector<std::string> WrapperWords() {
    std::vector<std::string> words;
    const char* wrapper = std::getenv("INSTALL_WRAPPER");
    std::string word;
    for (const char* p = wrapper ? wrapper : ""; ; ++p) {
        if (*p == ' ' || *p == '\t' || *p == '\0') {
            if (!word.empty()) words.push_back(word);
            word.clear();
            if (*p == '\0') break;
        } else {
            word += *p;
        }
    }
    return words;
}

// A wrapper starts the binary by a host path, but the installer takes its
// folder from argument 0. A link named like the Windows program path, found
// through PATH, keeps argument 0 as given. Empty when the name cannot be a
// host file name (a "/" in it, or too long).
std::string LinkProgram(const char* binary, const std::string& program) {
    if (program.empty() || program.find('/') != std::string::npos || program.size() > 255) return std::string();
    std::string dir = MakeTempDir();
    // Searched by a wrapper that may run the program as another user.
    ::chmod(dir.c_str(), 0755);
    if (::symlink(binary, (dir + "/" + program).c_str()) != 0) {
        RemoveTree(dir);
        return std::string();
    }
    return dir;
}

}  // namespace

RunResult RunInstaller(const std::string& machineDir, const std::vector<std::string>& args,
                       const std::string& program) {
    return RunHostProgram(INSTALL_BINARY, machineDir, args, program);
}

RunResult RunHostProgram(const char* binary, const std::string& machineDir, const std::vector<std::string>& args,
                         const std::string& program) {
    RunResult result;
    std::string outFile = machineDir + "/.stdout", errFile = machineDir + "/.stderr";
    std::vector<std::string> wrapper = WrapperWords();
    std::string linkDir = wrapper.empty() ? std::string() : LinkProgram(binary, program);
    pid_t pid = ::fork();
    if (pid == 0) {
        int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::setenv("WINSIM_MACHINE", machineDir.c_str(), 1);
        std::vector<char*> argv;
        if (!linkDir.empty()) {
            const char* path = std::getenv("PATH");
            std::string searched = linkDir + ":" + (path ? path : "/usr/bin:/bin");
            ::setenv("PATH", searched.c_str(), 1);
            for (auto& word : wrapper) argv.push_back(const_cast<char*>(word.c_str()));
        }
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (!linkDir.empty()) ::execvp(argv[0], argv.data());
        else ::execv(binary, argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!linkDir.empty()) RemoveTree(linkDir);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    winsim::ReadWholeFile(outFile, &result.out);
    winsim::ReadWholeFile(errFile, &result.err);
    ::unlink(outFile.c_str());
    ::unlink(errFile.c_str());
    return result;
}

const char kUsageText[] =
    "\n\nFor installation use 'Install.exe (server)'\n"
    "For uninstallation use 'Install.exe -u'\n"
    "For un/installation of Enterprise version use switch '-a'\n"
    "For read configuration from registry use switch '-r'\n"
    "For do not copy files use switch '-c'\n"
    "For silent installation use switch '-s'\n"
    "For specification of install log use switch '-lLogFileName'\n"
    "For specification of INI file use switch '-iINIFileName'\n"
    "For Install and Ignore Errors use 'Install.exe -e' (NOT RECOMMENDED!)\n";

std::string Crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string Banner(const std::string& word) {
    return word + " Port Monitor Installer, version 2.25\nCopyright (c) " + GetBuildYear() +
           " Oxlen Corporation. All rights reserved.\n";
}

void BeginCapture() {
    std::fflush(stdout);
    g_captureFile = MakeTempDir() + "/out";
    g_savedStdout = ::dup(1);
    int fd = ::open(g_captureFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(fd, 1);
    ::close(fd);
}

std::string EndCapture() {
    std::fflush(stdout);
    ::dup2(g_savedStdout, 1);
    ::close(g_savedStdout);
    std::string out;
    winsim::ReadWholeFile(g_captureFile, &out);
    RemoveTree(g_captureFile.substr(0, g_captureFile.rfind('/')));
    return out;
}

}  // namespace testing_support

namespace testing_support {

long RunCommand(const std::string& commandLine) {
    std::string line = commandLine;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) return -1;
    platform::KernelHandle process(info.hProcess), thread(info.hThread);
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    return static_cast<long>(code);
}

}  // namespace testing_support
