// Test support: fresh simulated machines, in-process and for the host binaries.
#pragma once

#include <string>
#include <vector>

#include "base/run_plan.h"
#include "winsim/machine.h"

namespace testing_support {

// A fresh machine in a temporary folder, opened in this process for as long
// as the object lives; the install log is closed.
class TempMachine {
public:
    explicit TempMachine(const winsim::NewOptions& options = DefaultOptions());
    ~TempMachine();
    TempMachine(const TempMachine&) = delete;
    TempMachine& operator=(const TempMachine&) = delete;

    static winsim::NewOptions DefaultOptions();  // 64-bit Windows 7, .NET, the sample distribution
    const std::string& dir() const { return dir_; }
    // The host path of a Windows path on the machine.
    std::string Host(const std::string& winPath) const;
    bool Exists(const std::string& winPath) const;
    std::string Read(const std::string& winPath) const;
    void Write(const std::string& winPath, const std::string& content) const;
    void Remove(const std::string& winPath) const;
    // Reopens the machine (after another process changed it, or to reread faults).
    void Reopen() const;

private:
    std::string dir_;
};

// A run plan for in-process tests, as the installer makes it: the edition,
// the port sections from the INI file at iniPath (or from the registry), the
// local spooler, files copied, errors not ignored.
RunPlan TestPlan(const EditionProfile& edition = kStandardEdition, bool fromIni = true,
                 const char* iniPath = "C:\\Dist\\Vormo.ini");

// A folder outside every machine (what a link made by a person may lead to),
// removed with everything in it when the object goes.
class OutsideFolder {
public:
    OutsideFolder();
    ~OutsideFolder();
    OutsideFolder(const OutsideFolder&) = delete;
    OutsideFolder& operator=(const OutsideFolder&) = delete;
    const std::string& dir() const { return dir_; }
    // Writes a file below it, making its folders.
    void Write(const std::string& relative, const std::string& content) const;

private:
    std::string dir_;
};

// Every entry below a host folder, in name order, one a line: a file with its
// content, a folder with "/", a link with "-> " and where it leads (never
// followed). Empty for a folder that is not there.
std::string TreeSnapshot(const std::string& root);

// Makes a machine in a fresh temporary folder without opening it.
std::string NewMachineDir(const winsim::NewOptions& options = TempMachine::DefaultOptions());
void RemoveTree(const std::string& dir);

struct RunResult {
    std::string out;  // standard output, byte for byte
    std::string err;
    int exitCode = -1;  // as the process ended it (255 for -1)
};

// Runs the host installer in a machine folder with argument 0 as given.
// When INSTALL_WRAPPER is set (e.g. "valgrind -q --error-exitcode=99"), the
// installer runs under that command, still with argument 0 as given (only a
// program name without "/" and of at most 255 characters can be kept so; any
// other runs unwrapped).
RunResult RunInstaller(const std::string& machineDir, const std::vector<std::string>& args,
                       const std::string& program = "C:\\Dist\\Install.exe");
// The same for another host program (binary) that stands for a Windows one.
RunResult RunHostProgram(const char* binary, const std::string& machineDir, const std::vector<std::string>& args,
                         const std::string& program);

// Runs a command line on the open machine through CreateProcessA, as a
// program there would; its exit code, or -1 when it could not start.
long RunCommand(const std::string& commandLine);

// Text with CR LF line ends, as the install log holds it.
std::string Crlf(const std::string& text);
// The usage text that "-?" prints after the banner, byte for byte.
extern const char kUsageText[];
// The two banner lines of a run of the given edition's installer.
std::string Banner(const std::string& word = "Vormo");

// Captures what the installer prints in-process.
void BeginCapture();
std::string EndCapture();

}  // namespace testing_support
