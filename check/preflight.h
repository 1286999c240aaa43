// The pre-flight check of a distribution: what an installation from it would
// do on this machine, and what in its configuration would not come out as
// written. It reads the distribution, the port sections and the machine
// through the installer's own readers and changes nothing.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "base/run_plan.h"
#include "run/command_line.h"
#include "version/version.h"

enum class Severity { Error, Warning, Note };

struct Finding {
    Severity severity;
    int section = 0;   // the port section it concerns; 0: none
    std::string key;   // the key (or registry value) it concerns; empty: none
    std::string file;  // the distribution file it concerns; empty: none
    std::string message;
    std::string fix;
};

// A port the installation would create, with the values of its record that
// differ from the defaults (key, value as the monitor receives it).
struct PlannedPort {
    int section = 0;
    std::string name;
    std::vector<std::pair<std::string, std::string>> values;
};

struct PlannedPrinter {
    std::string printer, port;
    int section = 0;
    bool exists = false;
};

struct PreflightReport {
    std::string distribution;   // the folder the check ran in: the installer's folder
    std::string configuration;  // the INI file the installation reads, or its registry key
    bool fromIniFile = true;
    const EditionProfile* edition = nullptr;
    std::string server;  // empty: the local spooler
    std::string windows;         // what the version detection names; empty when nothing
    PlatformClass platform = Unsupported;
    std::vector<std::string> fileSet;  // the monitor DLL, UI DLL and Cairo library copied
    std::string stop;                  // why the installation would stop at once; empty when it would not
    std::vector<PlannedPort> ports;
    std::vector<PlannedPrinter> printers;
    std::string client, fonts, subnetFile, batchFile;  // one sentence each
    std::vector<Finding> findings;
    std::string failure;  // why the check itself could not run; empty when it ran
};

// Checks the distribution in the current directory as an installation with
// these options would meet it.
PreflightReport RunPreflight(const RunOptions& options, const RunPlan& plan);

// 0: clean, 1: warnings only, 2: errors, 3: the check could not run.
int ExitCodeOf(const PreflightReport& report);
int CountOf(const PreflightReport& report, Severity severity);

std::string TextReport(const PreflightReport& report);
std::string JsonReport(const PreflightReport& report);
