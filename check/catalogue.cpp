#include "check/catalogue.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const Severity E = Severity::Error, W = Severity::Warning, N = Severity::Note;

}  // namespace

// Errors: the run would stop, or configuration written would be lost.
// Warnings: the run works, probably not quite as meant. Notes: worth knowing.
const FindingKind kFindingKinds[] = {
    // The machine and the run as a whole.
    {"log-unwritable", E,
     "the install log {path} cannot be opened ({why}): the run would print nothing, change nothing and end with -1",
     "{fix}"},
    {"windows-unreadable", E, "the Windows version cannot be read: {consequence}",
     "Run the installation where the version query works."},
    {"windows-unsupported", E, "this Windows{windows} is not supported: {consequence}",
     "Install on Windows XP to 8.1 or Server 2003 to 2012 R2 (later Windows report themselves as 8.1)."},
    {"dotnet-missing", E,
     "the .NET Framework 2.0 is not installed: the {run} would stop before it changes anything",
     "Install the .NET Framework 2.0 on the machine first."},
    {"server-unreachable", E, "{argument}the print server {server} does not answer (error {error}): {consequence}",
     "{fix}"},
    {"monitor-in-use", E,
     "the old monitor {monitor} cannot be removed: printer '{printer}' still uses {port} ({why}), so the spooler "
     "refuses with error 3008: {consequence}",
     "{fix}"},
    {"dll-missing", E,
     "-c copies no monitor files and {dll} is not in the system directory: the registration would fail (error 87) "
     "and {consequence}",
     "Run without -c, or put {dll} into the system directory first."},
    {"copy-fails", E, "{file} cannot be copied into the system directory ({why}): {consequence}", "{fix}"},
    {"registration-fails", E, "the monitor cannot be registered (error {error}): {why}; {consequence}", "{fix}"},
    {"port-exists", E,
     "port {port} exists already (the old monitor was not removed): the port configuration ends there with error "
     "183{lost}",
     "Let the old monitor be removed first (see the finding that stops its removal)."},
    {"printer-to-file", E,
     "printer '{printer}' is on {before} today and would end on FILE: (no port section names it): it stops printing",
     "Name it in a port section (AssignPrinter), or move it to another port before the installation."},
    {"folder-blocked", E, "a file stands where the folder {folder} must be made: {what} would not be installed",
     "Move the file {folder} out of the way."},
    // The distribution's files.
    {"file-missing", E, "missing from the distribution or unreadable: {consequence}",
     "Put {file} into the distribution folder."},
    {"ini-missing", E, "the INI file {path} is missing or unreadable: {consequence}", "{fix}"},
    // The port sections.
    {"section-after-gap", E, "section {section} is never read: {why}",
     "Number the sections 1, 2, 3 ... without a gap."},
    {"section-no-serverip", W, "section {section} has no ServerIP: it is no port and the port configuration ends here",
     "Write its server as ServerIP, or remove the section."},
    {"section-without-serverip", E,
     "section {section} has {key} but no ServerIP: it is no port, and the port configuration ends here",
     "Write the first server as ServerIP."},
    {"section-past-bound", E,
     "section {section} is past the edition's last port name: the installation ends the port configuration here "
     "with error 123",
     "Keep to sections 1 to {last}."},
    {"header-unclosed", E,
     "the line [{name} has no closing ']': it is no section header, so the keys below it are read as keys of "
     "{belongs}",
     "Write [{name}]."},
    {"value-cut", E, "{key} has {length} characters: it arrives cut to its first 259",
     "Shorten {key} to at most 259 characters."},
    {"value-too-long", E,
     "{key} holds {length} bytes, more than its 260-byte field: {consequence}",
     "Shorten {key} to at most 259 characters."},
    {"serverip-too-long", E,
     "ServerIP holds {length} bytes, more than its 260-byte field: the section is read without it, so it is no "
     "port and the port configuration ends here",
     "Shorten ServerIP to at most 259 characters."},
    {"printer-missing", E, "printer '{printer}' does not exist on this machine: it cannot be moved onto {port}{similar}",
     "Create the printer first, or write its name as the spooler has it."},
    {"key-unknown", W, "{key} is not a key of a port section: it is not read{invisible}{nearest}", "{fix}"},
    {"key-repeated", W, "{key} is given twice: only the first value is read", "Keep one {key} in section {section}."},
    {"key-no-value", W, "{key} has no '=' and so no value: the default is sent", "Write {key}=value."},
    {"assignprinter1", W, "AssignPrinter1 is never read: the first printer key has no number (AssignPrinter)",
     "Rename AssignPrinter1 to AssignPrinter."},
    {"section-repeated", W, "section [{name}] appears again: only its first appearance is read",
     "Merge the two sections [{name}] into one."},
    {"section-name", W,
     "section [{name}] is never read: port sections are named 1, 2, 3 ... without leading zeros or signs",
     "Name the section by its plain number."},
    {"number-not-decimal", W, "{key}={text} is not a plain decimal number: {sent} is sent",
     "Write {key} as a decimal number from 0 to 4294967295."},
    {"serverip-unusable", W, "{key}={text} is no host name or IP address a monitor can reach",
     "Write the print server's host name or IP address."},
    {"serverport-range", W, "ServerPort {port} is no TCP port: the monitor cannot connect",
     "Write a port from 1 to 65535 (the default is 9100)."},
    {"registry-type", W, "{key} is stored as registry type {type}: {consequence}", "Store {key} as {wanted}."},
    {"registry-size", W,
     "{key} holds {size} bytes: a number is read from 1 to 4, so the default {default} is sent",
     "Store {key} as REG_DWORD."},
    {"printer-named-twice", W, "printer '{printer}' is named twice in section {section}", "Name it once."},
    {"printer-in-sections", W, "printer '{printer}' is named in sections {sections}: it ends on {port}",
     "Name each printer in one section only."},
    {"printer-loses-port", W, "printer '{printer}' loses {lost}: it is on {before} today and keeps {after}",
     "Name it in a port section, or leave it as it will be."},
    {"printer-port-elsewhere", W,
     "printer '{printer}' cannot be moved onto {port}: the port is created on {server}, and this machine's spooler "
     "has no port of that name",
     "Run the installation on the print server itself to move its printers."},
    {"uninstall-printer-to-file", W,
     "printer '{printer}' is on {before} today and would end on FILE: after the uninstallation: it stops printing",
     "Move it to another port before the uninstallation if it is to go on printing."},
    {"dll-unseen", W,
     "the print server {server} loads {dll} from its own system directory, which the check cannot look into: "
     "without it there the registration fails (error 87) and the installation stops",
     "Make sure {dll} is in the system directory of {server}."},
    {"event-dll-missing", W, "missing: the event-log source would not be installed",
     "Put VormoEvent.dll into the distribution folder."},
    {"client-file-missing", W,
     "missing from the distribution: with -c the files are not checked, and the client application is installed "
     "without it",
     "Put {file} into the distribution folder."},
    {"subnet-no-folder", W,
     "the product folder {folder} does not exist and nothing makes it: the copy of server_subnet.csv would fail",
     "Ship a FontFiles folder too, or create the product folder first."},
    {"no-program-files", W,
     "the Program Files folder cannot be found: the client application, fonts and subnet file would not be "
     "installed",
     "Check ProgramFilesDir in the registry."},
    {"number-empty", N, "{key} is empty: the default {default} is sent", "Write a number, or leave {key} out."},
    {"enterprise-rule", N,
     "DisableServerCommunication is set: Encryption and RefreshIPList are sent as 0 in this edition",
     "Nothing to do, unless the port is meant to talk to its server."},
    {"weight-without-server", N, "a load-balancing weight for an empty {server} is sent but has no server",
     "Remove the weight, or fill {server}."},
    {"no-sections", N, "there is no port section to read: no port would be created", "{fix}"},
};
const size_t kFindingKindCount = sizeof kFindingKinds / sizeof kFindingKinds[0];

const FindingKind& KindOf(const char* id) {
    for (const FindingKind& kind : kFindingKinds)
        if (std::strcmp(kind.id, id) == 0) return kind;
    std::fprintf(stderr, "VormoCheck: no finding %s in the catalogue\n", id);
    std::abort();
}

std::string Fill(const char* text, const Fillers& fillers) {
    std::string out;
    for (const char* p = text; *p;) {
        const char* close = *p == '{' ? std::strchr(p, '}') : nullptr;
        bool filled = false;
        if (close) {
            std::string name(p + 1, close);
            for (const auto& filler : fillers) {
                if (name != filler.first) continue;
                out += filler.second;
                filled = true;
                break;
            }
        }
        if (filled) {
            p = close + 1;
        } else {
            out += *p++;
        }
    }
    return out;
}

const char* SeverityWord(Severity severity) {
    switch (severity) {
        case Severity::Error:
            return "error";
        case Severity::Warning:
            return "warning";
        case Severity::Note:
            return "note";
    }
    return "";
}
