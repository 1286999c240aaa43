// The check's report, as text for a person and as one JSON document.
#include <nlohmann/json.hpp>

#include "base/product.h"
#include "check/preflight.h"
#include "platform/win32.h"

namespace {

std::string Where(const Finding& f) {
    std::string where;
    if (f.section) where = "section " + std::to_string(f.section);
    if (!f.key.empty()) where += (where.empty() ? "" : ", ") + f.key;
    if (!f.file.empty() && f.key.empty()) where += (where.empty() ? "" : ", ") + f.file;
    return where;
}

std::string Plural(int count, const char* word) {
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

std::string RunWord(const PreflightReport& r) { return r.uninstall ? "uninstallation" : "installation"; }

std::string Summary(const PreflightReport& r) {
    int errors = CountOf(r, Severity::Error), warnings = CountOf(r, Severity::Warning),
        notes = CountOf(r, Severity::Note);
    std::string verdict = errors     ? "the " + RunWord(r) + " would not do what the distribution says"
                          : warnings ? "the " + RunWord(r) + " would work, probably not quite as meant"
                                     : "the distribution checks clean";
    return Plural(errors, "error") + ", " + Plural(warnings, "warning") + ", " + Plural(notes, "note") + ": " +
           verdict + ".";
}

// Text of the ANSI code page as UTF-8, for JSON: through UTF-16, as Windows
// converts it.
std::string Utf8(const std::string& ansi) {
    if (ansi.empty()) return ansi;
    std::vector<WCHAR> wide(ansi.size());
    int units = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(),
                                    static_cast<int>(wide.size()));
    if (units <= 0) return std::string();
    return Utf8Text(std::basic_string<WCHAR>(wide.data(), static_cast<size_t>(units)));
}

const char* PlatformWord(PlatformClass platform) {
    switch (platform) {
        case Supported32:
            return "32-bit";
        case Supported64:
            return "64-bit";
        case Unsupported:
            break;
    }
    return "unsupported";
}

// Where the run stops, as a stable word and as a phrase.
const char* StopWord(RunStop stop) {
    switch (stop) {
        case RunStop::None: return "";
        case RunStop::LogUnopenable: return "log";
        case RunStop::DotNetMissing: return "dotnet";
        case RunStop::Unsupported: return "windows";
        case RunStop::FileMissing: return "file-check";
        case RunStop::Removal: return "removal";
        case RunStop::FileCopy: return "file-copy";
        case RunStop::Registration: return "registration";
    }
    return "";
}

std::string StopPhrase(const RunForecast& f) {
    switch (f.stop) {
        case RunStop::None: return "";
        case RunStop::LogUnopenable: return "before anything: the install log cannot be opened";
        case RunStop::DotNetMissing: return "before anything: the .NET Framework 2.0 is missing";
        case RunStop::Unsupported: return "at the Windows version, before it changes anything";
        case RunStop::FileMissing: return "at the file check (" + f.stopDetail + "), before it changes anything";
        case RunStop::Removal: return "at the removal of the old monitor (error " + std::to_string(f.stopError) + ")";
        case RunStop::FileCopy: return "at the copy of " + f.stopDetail;
        case RunStop::Registration: return "at the registration of the monitor (error " + std::to_string(f.stopError) + ")";
    }
    return "";
}

std::string SpoolerName(const std::string& server) { return server.empty() ? "the local spooler" : server; }

// A port of the plan: "added", "removed", "changed" (the record before is
// known and differs), "rewritten" (the record before is unknown), or empty
// when nothing about it changes.
std::string ChangeOf(const PortForecast& p) {
    if (!p.existed && p.exists) return "added";
    if (p.existed && !p.exists) return "removed";
    if (!p.existed || p.section == 0) return "";
    if (!p.recordKnown) return "rewritten";
    return p.before == p.after ? "" : "changed";
}

// The fields whose values differ between two records, in the table's order.
std::vector<size_t> ChangedFields(const PortForecast& p) {
    std::vector<size_t> changed;
    for (size_t i = 0; i < kPortFieldCount; ++i)
        if (!(FieldIn(p.before, i) == FieldIn(p.after, i))) changed.push_back(i);
    return changed;
}

std::string RemovalText(const RunForecast& f) {
    switch (f.removal.outcome) {
        case MonitorRemoved: return "removed";
        case MonitorNotFound: return "not installed";
        default: return "fails";
    }
}

}  // namespace

std::string TextReport(const PreflightReport& r) {
    std::string out = std::string("VormoCheck: pre-flight check of a distribution, version ") + kProductVersion + "\n\n";
    if (!r.failure.empty()) return out + "The check could not run: " + r.failure + "\n";
    const EditionProfile& e = *r.edition;
    const RunForecast& f = r.forecast;
    const MachineReading& m = r.machine;
    out += "Distribution   " + r.distribution + "\n";
    out += std::string("Edition        ") + (e.shipsClient ? "standard" : "Enterprise") + " (monitor " + e.productWord +
           ")\n";
    out += "Run            " + RunWord(r) + (r.ignoreErrors && !r.uninstall ? ", ignoring errors (-e)" : "") +
           (r.copyFiles ? "" : ", no files copied (-c)") + "\n";
    if (!r.uninstall)
        out += std::string("Port sections  ") + (r.fromIniFile ? "the INI file " : "the registry, ") + r.configuration +
               "\n";
    out += "Print server   " + (r.server.empty() ? std::string("the local spooler") : r.server) + "\n";

    out += "\nOn the machine now\n";
    const SpoolerReading& target = TargetSpooler(m);
    bool monitorFound = false;
    for (const MonitorReading& monitor : target.monitors) {
        if (monitor.name != e.productWord) continue;
        monitorFound = true;
        out += "  Monitor        " + monitor.name + " (" + monitor.dll + ", " + monitor.environment + ") on " +
               SpoolerName(m.server) + "\n";
    }
    if (!monitorFound)
        out += std::string("  Monitor        ") + e.productWord + " not installed on " + SpoolerName(m.server) + "\n";
    int ports = 0;
    for (const PortForecast& p : f.ports) ports += p.existed;
    out += "  Ports          " + std::to_string(ports) + " of the monitor\n";
    out += "  Printers       " + std::to_string(m.printers.size()) + "\n";
    if (e.shipsClient)
        out += "  Client         " +
               (m.clientFolderAttributes != INVALID_FILE_ATTRIBUTES ? m.clientFolder : std::string("not installed")) +
               (m.autostartSet ? ", started at logon" : "") + "\n";

    out += "\nWhat the " + RunWord(r) + " would do\n";
    std::string windows = r.windows.empty() ? std::string("an unknown Windows") : r.windows;
    if (r.fileSet.empty()) {
        out += "  Windows        " + windows + ": no file set\n";
    } else {
        out += "  Windows        " + windows + ": the " + PlatformWord(r.platform) + " file set (";
        for (size_t i = 0; i < r.fileSet.size(); ++i) out += (i ? ", " : "") + r.fileSet[i];
        out += ")\n";
    }
    if (!r.stop.empty()) out += "  It would stop at once: " + r.stop + "\n";
    if (f.removalTried) {
        out += std::string("  Old monitor    ") + e.productWord + " on " + SpoolerName(f.spooler) + ": " + RemovalText(f);
        out += f.removal.outcome == MonitorRemovalFailed ? " (error " + std::to_string(f.removal.error) + ")\n" : "\n";
    }
    if (f.registrationTried)
        out += "  Registration   " +
               (f.registrationError ? "fails (error " + std::to_string(f.registrationError) + ")" : std::string("registered")) +
               "\n";
    int unchanged = 0;
    for (const PortForecast& p : f.ports) {
        std::string change = ChangeOf(p);
        if (change.empty()) {
            unchanged += p.exists && p.section;
            continue;
        }
        out += "  Port " + p.name + (p.section ? " (section " + std::to_string(p.section) + ")" : std::string()) + ": " + change;
        if (change == "changed") {
            std::vector<size_t> fields = ChangedFields(p);
            for (size_t i = 0; i < fields.size(); ++i)
                out += std::string(i ? ", " : " ") + kPortFields[fields[i]].key + "=" +
                       FieldText(FieldIn(p.before, fields[i]), false) + " -> " + FieldText(FieldIn(p.after, fields[i]), false);
        } else if (change != "removed") {
            for (size_t i = 0; i < p.after.size(); ++i)
                out += std::string(i ? ", " : " ") + kPortFields[p.after[i].field].key + "=" + FieldText(p.after[i], false);
        }
        out += "\n";
    }
    if (unchanged) out += "  Ports          " + std::to_string(unchanged) + " written again as they are\n";
    if (f.ports.empty() && !r.uninstall) out += "  Ports          none\n";
    for (const PlannedPrinter& p : r.printers)
        if (!p.exists) out += "  Printer '" + p.printer + "' onto " + p.port + " (no such printer)\n";
    for (const PrinterForecast& p : f.printers) {
        if (p.before == p.after) continue;
        out += "  Printer '" + p.name + "': " + p.before + " -> " + p.after +
               (p.after == "FILE:" ? " (printing stops)" : "") + "\n";
    }
    out += "  Client         " + r.client + "\n";
    if (!r.uninstall) {
        out += "  Fonts          " + r.fonts + "\n";
        out += "  Subnet file    " + r.subnetFile + "\n";
        out += "  Batch file     " + r.batchFile + "\n";
    }
    out += "  Exit code      " + std::to_string(f.exitCode) +
           (f.stop == RunStop::None ? " (it runs to its end)" : " (it stops " + StopPhrase(f) + ")") + "\n";

    out += "\nFindings\n";
    if (r.findings.empty()) out += "  none\n";
    for (const Finding& finding : r.findings) {
        std::string severity = SeverityWord(finding.severity);
        for (char& c : severity) c = static_cast<char>(c - 'a' + 'A');
        severity.resize(9, ' ');
        std::string where = Where(finding);
        out += "  " + severity + "[" + finding.id + "] " + (where.empty() ? "" : where + ": ") + finding.message + "\n";
        out += "           Fix: " + finding.fix + "\n";
    }
    out += "\n" + Summary(r) + "\n";
    return out;
}

std::string JsonReport(const PreflightReport& r) {
    using nlohmann::ordered_json;
    ordered_json doc;
    doc["format"] = kReportFormat;
    doc["version"] = kProductVersion;
    if (!r.failure.empty()) {
        doc["failure"] = Utf8(r.failure);
        doc["exitCode"] = ExitCodeOf(r);
        return doc.dump(2) + "\n";
    }
    const EditionProfile& e = *r.edition;
    const RunForecast& f = r.forecast;
    const MachineReading& m = r.machine;
    doc["run"] = RunWord(r);
    doc["distribution"] = Utf8(r.distribution);
    doc["edition"] = e.shipsClient ? "standard" : "Enterprise";
    doc["monitor"] = e.productWord;
    doc["portSections"] = {{"source", r.fromIniFile ? "ini" : "registry"}, {"location", Utf8(r.configuration)}};
    doc["server"] = r.server.empty() ? ordered_json(nullptr) : ordered_json(Utf8(r.server));
    doc["windows"] = {{"detected", Utf8(r.windows)}, {"platform", PlatformWord(r.platform)}, {"fileSet", r.fileSet}};
    doc["stop"] = r.stop.empty() ? ordered_json(nullptr) : ordered_json(r.stop);
    ordered_json ports = ordered_json::array();
    for (const PlannedPort& port : r.ports) {
        ordered_json values = ordered_json::object();
        for (const FieldValue& value : port.values) values[kPortFields[value.field].key] = FieldText(value, true);
        ports.push_back({{"section", port.section}, {"name", port.name}, {"values", values}});
    }
    doc["ports"] = ports;
    ordered_json printers = ordered_json::array();
    for (const PlannedPrinter& p : r.printers)
        printers.push_back({{"printer", Utf8(p.printer)}, {"port", p.port}, {"section", p.section}, {"exists", p.exists}});
    doc["printers"] = printers;
    doc["client"] = Utf8(r.client);
    doc["fonts"] = Utf8(r.fonts);
    doc["subnetFile"] = Utf8(r.subnetFile);
    doc["batchFile"] = Utf8(r.batchFile);

    // What is on the machine now.
    ordered_json machine;
    ordered_json monitors = ordered_json::array();
    for (const auto* spooler : {&m.local, &m.remote}) {
        if (spooler == &m.remote && m.server.empty()) continue;
        for (const MonitorReading& monitor : spooler->monitors)
            monitors.push_back({{"spooler", spooler == &m.local ? ordered_json(nullptr) : ordered_json(Utf8(m.server))},
                                {"name", Utf8(monitor.name)},
                                {"environment", Utf8(monitor.environment)},
                                {"dll", Utf8(monitor.dll)}});
    }
    machine["monitors"] = monitors;
    int monitorPorts = 0;
    for (const PortForecast& p : f.ports) monitorPorts += p.existed;
    machine["ports"] = monitorPorts;
    machine["printers"] = m.printers.size();
    machine["clientFolder"] = m.clientFolderAttributes != INVALID_FILE_ATTRIBUTES ? ordered_json(Utf8(m.clientFolder))
                                                                                  : ordered_json(nullptr);
    machine["autostart"] = m.autostartSet ? ordered_json(Utf8(m.autostart)) : ordered_json(nullptr);
    doc["machine"] = machine;

    // The plan: what the run changes, and how it ends.
    ordered_json plan;
    plan["exitCode"] = f.exitCode;
    plan["stopsAt"] = f.stop == RunStop::None ? ordered_json(nullptr) : ordered_json(StopWord(f.stop));
    plan["spooler"] = f.spooler.empty() ? ordered_json(nullptr) : ordered_json(Utf8(f.spooler));
    plan["removal"] = f.removalTried ? ordered_json({{"result", RemovalText(f)},
                                                     {"error", f.removal.error ? ordered_json(f.removal.error)
                                                                               : ordered_json(nullptr)}})
                                     : ordered_json(nullptr);
    plan["registration"] = f.registrationTried ? ordered_json({{"result", f.registrationError ? "fails" : "registered"},
                                                               {"error", f.registrationError ? ordered_json(f.registrationError)
                                                                                             : ordered_json(nullptr)}})
                                               : ordered_json(nullptr);
    ordered_json portChanges = ordered_json::array();
    for (const PortForecast& p : f.ports) {
        std::string change = ChangeOf(p);
        if (change.empty()) continue;
        ordered_json item;
        item["port"] = Utf8(p.name);
        item["section"] = p.section && p.exists ? ordered_json(p.section) : ordered_json(nullptr);
        item["change"] = change;
        if (change != "removed") {
            ordered_json values = ordered_json::object();
            for (const FieldValue& value : p.after) values[kPortFields[value.field].key] = FieldText(value, true);
            item["values"] = values;
        }
        if (change == "changed") {
            ordered_json fields = ordered_json::object();
            for (size_t i : ChangedFields(p))
                fields[kPortFields[i].key] = {{"before", FieldText(FieldIn(p.before, i), true)},
                                              {"after", FieldText(FieldIn(p.after, i), true)}};
            item["fields"] = fields;
        }
        portChanges.push_back(item);
    }
    plan["ports"] = portChanges;
    ordered_json printerChanges = ordered_json::array();
    for (const PrinterForecast& p : f.printers) {
        if (p.before == p.after) continue;
        printerChanges.push_back({{"printer", Utf8(p.name)},
                                  {"before", Utf8(p.before)},
                                  {"after", Utf8(p.after)},
                                  {"printingStops", p.after == "FILE:"}});
    }
    plan["printers"] = printerChanges;
    doc["plan"] = plan;

    ordered_json findings = ordered_json::array();
    for (const Finding& finding : r.findings) {
        ordered_json item;
        item["id"] = finding.id;
        item["severity"] = SeverityWord(finding.severity);
        item["section"] = finding.section ? ordered_json(finding.section) : ordered_json(nullptr);
        item["key"] = finding.key.empty() ? ordered_json(nullptr) : ordered_json(Utf8(finding.key));
        item["file"] = finding.file.empty() ? ordered_json(nullptr) : ordered_json(Utf8(finding.file));
        item["message"] = Utf8(finding.message);
        item["fix"] = Utf8(finding.fix);
        findings.push_back(item);
    }
    doc["findings"] = findings;
    doc["summary"] = {{"errors", CountOf(r, Severity::Error)},
                      {"warnings", CountOf(r, Severity::Warning)},
                      {"notes", CountOf(r, Severity::Note)}};
    doc["exitCode"] = ExitCodeOf(r);
    // Every text went through Utf8 above; a byte that still is no UTF-8 is
    // replaced rather than ending the report.
    return doc.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}
