// What a run of Install.exe will do on this machine, decided without
// printing or changing anything: the steps of the install or uninstall
// sequence in their order, each with the rule the installer applies when it
// takes the step (the section scan, the printer keys, the disconnection's
// edit of a port list, what a monitor removal's answer means, the product
// folder) and with the spooler's and the file system's answers foreseen from
// the machine as it was read. The installer applies the rules as it goes;
// the pre-flight check describes the result.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "base/run_plan.h"
#include "decide/machine.h"
#include "monitor/monitor_files.h"
#include "portcfg/port_settings.h"
#include "version/version.h"

// Where a run stops; None when it runs to its end. A stop before the
// sequence (the log, .NET) changes nothing and prints nothing of the
// sequence; an installation stops at its abort points unless errors are
// ignored, an uninstallation at an unsupported Windows and at a monitor
// that cannot be removed.
enum class RunStop { None, LogUnopenable, DotNetMissing, Unsupported, FileMissing, Removal, FileCopy, Registration };

struct PrinterForecast {
    std::string name;  // as the spooler has it
    DWORD attributes = 0;
    std::string before, after;  // the port list before the run and after it
    // The disconnection: the list it would write ("FILE:" for an emptied
    // one), and whether the spooler would refuse it (an entry that names no
    // port it knows); empty when the disconnection leaves the printer alone.
    std::string disconnection;
    bool disconnectionRefused = false;
    // After the disconnection the printer still uses a port of the monitor on
    // the spooler the monitor is removed from: the removal fails (3008).
    bool keepsMonitorInUse = false;
    std::vector<int> assignedBy;  // the sections that move it onto their port, in order
};

struct AssignmentForecast {
    int section = 0, key = 0;  // key 1 is "AssignPrinter", k "AssignPrinterK"
    std::string name, port;    // the printer's name as read, the port
    int printer = -1;          // index in RunForecast::printers; -1: no printer of that name
    bool taken = false;        // the spooler takes the port (it knows a port of that name)
};

// A port section as the installation's scan reads it: sections 1, 2, 3 ...
// up to the first without ServerIP (or past the last port name).
struct SectionForecast {
    int number = 0;
    std::string port;     // the name of its port
    RecordFields fields;  // the record the port gets (the edition's rule applied)
    std::vector<std::pair<int, std::string>> printers;  // its printer keys (k) with the names they hold
};

struct PortForecast {
    std::string name;
    int section = 0;  // the section that writes it; 0: none
    bool existed = false, exists = false;  // on the spooler before the run and after it
    bool recordKnown = false;  // the record before the run was read
    RecordFields before, after;
};

struct RunForecast {
    bool uninstall = false;
    RunStop stop = RunStop::None;
    DWORD stopError = 0;     // the spooler's or the system's error where the run stops
    std::string stopDetail;  // the file where the run stops
    int exitCode = 0;        // 0, or -1 as Install.exe ends

    std::string logPath;
    bool logOpens = true;
    bool dotNetMissing = false;
    WindowsVersion version = {};
    std::vector<std::string> missingFiles;  // the file check's failures, in its order

    std::string spooler;  // the print server the monitor is removed from and registered with; empty: local
    DWORD spoolerError = 0;  // the server does not answer (its error)
    bool removalTried = false;
    MonitorRemoval removal = {MonitorNotFound, 0};
    std::vector<std::string> failedCopies;
    bool registrationTried = false;
    DWORD registrationError = 0;  // 0: registered
    bool dllUnseen = false;       // the server's system directory cannot be looked into
    std::vector<SectionForecast> sections;  // installation only
    SectionScan scanEnd = SectionScan::End;  // how the section scan ended
    int scanEndSection = 1;                  // the section where it ended
    bool portStepReached = false;
    DWORD channelError = 0;       // the Xcv channel does not open (0: it opens)
    bool serverNameTooLong = false;
    int portCount = 0;            // the sections whose ports are written: 1 to portCount
    DWORD portError = 0;          // the error that ended the port step early (183, 123 ...); 0: none
    int portErrorSection = 0;
    std::vector<PortForecast> ports;  // the monitor's ports on that spooler, before and after
    std::vector<PrinterForecast> printers;
    std::vector<AssignmentForecast> assignments;

    // The client application, fonts and subnet file (installation only).
    bool clientFolderBlocked = false, fontFolderBlocked = false;
    std::string blockingPath;  // the file that stands where a folder must be made
    bool subnetShipped = false, subnetInPlace = false, subnetCopyFails = false;
    std::string productFolder, fontFolder;
};

RunForecast ForecastRun(const RunPlan& plan, const MachineReading& machine);

// The printer an assignment key names, found as OpenPrinterA finds it: among
// the local printers by the upper-case form of its name (the first of a
// form); a name holding a backslash or a comma names no printer.
class PrinterLookup {
public:
    explicit PrinterLookup(const std::vector<PrinterReading>& printers);
    // The printer's index in the list it was made from, or -1.
    int Find(const std::string& name) const;

private:
    std::unordered_map<std::string, int> byName_;
};

// The entries of a port list, split at its commas as they stand (blanks kept,
// empty entries included).
std::vector<std::string> PortListEntries(const std::string& list);
// An entry as the spooler reads it to see whether a port is in use: without
// the blanks (space, tab, CR, LF) around it.
std::string TrimmedPortEntry(const std::string& entry);

// True when the install log at path could be opened for appending: it is no
// folder, not read-only, and its folder exists. The file is not touched.
bool InstallLogOpens(const char* path);
// The first folder of an absolute path ("C:\a\b") that cannot be made
// because a file (or nothing that is a folder) stands in its place; empty
// when every folder exists or can be made.
std::string BlockedFolder(const std::string& path);
