// The pre-flight check of a distribution: what a run of Install.exe with
// these switches would do on this machine as it is (the plan: ports added,
// removed and changed field by field, each printer's port list before and
// after, whether the old monitor goes, the exit code), and what in the
// distribution or on the machine would not come out as written. It reads
// the machine and the port sections through the installer's own readers
// and rules (decide/) and changes nothing.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "base/run_plan.h"
#include "check/catalogue.h"
#include "decide/forecast.h"
#include "decide/machine.h"
#include "run/command_line.h"
#include "version/version.h"

struct Finding {
    const char* id;  // of the catalogue
    Severity severity;
    int section = 0;   // the port section it concerns; 0: none
    std::string key;   // the key (or registry value) it concerns; empty: none
    std::string file;  // the distribution file it concerns; empty: none
    std::string message;
    std::string fix;
};

// A port the installation would write, with the values of its record that
// differ from the defaults (as the monitor receives them).
struct PlannedPort {
    int section = 0;
    std::string name;
    RecordFields values;
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
    std::string stop;                  // why the run would stop before it changes anything; empty when it would not
    std::vector<PlannedPort> ports;
    std::vector<PlannedPrinter> printers;
    std::string client, fonts, subnetFile, batchFile;  // one sentence each
    std::vector<Finding> findings;
    std::string failure;  // why the check itself could not run; empty when it ran

    bool uninstall = false;
    bool ignoreErrors = false, copyFiles = true;
    MachineReading machine;
    RunForecast forecast;
};

// Checks the distribution in the current directory as a run with these
// options would meet it.
PreflightReport RunPreflight(const RunOptions& options, const RunPlan& plan);

// 0: clean, 1: warnings only, 2: errors, 3: the check could not run.
int ExitCodeOf(const PreflightReport& report);
int CountOf(const PreflightReport& report, Severity severity);

// The version of the JSON document's layout.
constexpr int kReportFormat = 2;
std::string TextReport(const PreflightReport& report);
std::string JsonReport(const PreflightReport& report);

// Text of a record field for a person: UTF-16 in the ANSI code page, or as UTF-8.
std::string AnsiText(const std::basic_string<WCHAR>& text);
std::string Utf8Text(const std::basic_string<WCHAR>& text);
std::string FieldText(const FieldValue& value, bool utf8);
