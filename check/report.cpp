// The check's report, as text for a person and as one JSON document.
#include <nlohmann/json.hpp>

#include "base/product.h"
#include "check/preflight.h"
#include "platform/win32.h"

namespace {

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

std::string Summary(const PreflightReport& r) {
    int errors = CountOf(r, Severity::Error), warnings = CountOf(r, Severity::Warning),
        notes = CountOf(r, Severity::Note);
    std::string verdict = errors     ? "the installation would not do what the distribution says"
                          : warnings ? "the installation would work, probably not quite as meant"
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
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, &out[0], bytes, nullptr, nullptr);
    return out;
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

}  // namespace

std::string TextReport(const PreflightReport& r) {
    std::string out = std::string("VormoCheck: pre-flight check of a distribution, version ") + kProductVersion + "\n\n";
    if (!r.failure.empty()) return out + "The check could not run: " + r.failure + "\n";
    const EditionProfile& e = *r.edition;
    out += "Distribution   " + r.distribution + "\n";
    out += std::string("Edition        ") + (e.shipsClient ? "standard" : "Enterprise") + " (monitor " + e.productWord +
           ")\n";
    out += std::string("Port sections  ") + (r.fromIniFile ? "the INI file " : "the registry, ") + r.configuration +
           "\n";
    out += "Print server   " + (r.server.empty() ? std::string("the local spooler") : r.server) + "\n";

    out += "\nWhat the installation would do\n";
    std::string windows = r.windows.empty() ? std::string("an unknown Windows") : r.windows;
    if (r.fileSet.empty()) {
        out += "  Windows        " + windows + ": no file set\n";
    } else {
        out += "  Windows        " + windows + ": the " + PlatformWord(r.platform) + " file set (";
        for (size_t i = 0; i < r.fileSet.size(); ++i) out += (i ? ", " : "") + r.fileSet[i];
        out += ")\n";
    }
    if (!r.stop.empty()) out += "  It would stop at once: " + r.stop + "\n";
    for (const PlannedPort& port : r.ports) {
        out += "  Port " + port.name + " (section " + std::to_string(port.section) + "):";
        for (size_t i = 0; i < port.values.size(); ++i)
            out += std::string(i ? ", " : " ") + port.values[i].first + "=" + port.values[i].second;
        out += "\n";
    }
    if (r.ports.empty()) out += "  Ports          none\n";
    for (const PlannedPrinter& p : r.printers)
        out += "  Printer '" + p.printer + "' onto " + p.port + (p.exists ? "" : " (no such printer)") + "\n";
    out += "  Client         " + r.client + "\n";
    out += "  Fonts          " + r.fonts + "\n";
    out += "  Subnet file    " + r.subnetFile + "\n";
    out += "  Batch file     " + r.batchFile + "\n";

    out += "\nFindings\n";
    if (r.findings.empty()) out += "  none\n";
    for (const Finding& f : r.findings) {
        std::string severity = SeverityWord(f.severity);
        for (char& c : severity) c = static_cast<char>(c - 'a' + 'A');
        severity.resize(9, ' ');
        std::string where = Where(f);
        out += "  " + severity + (where.empty() ? "" : where + ": ") + f.message + "\n";
        out += "           Fix: " + f.fix + "\n";
    }
    out += "\n" + Summary(r) + "\n";
    return out;
}

std::string JsonReport(const PreflightReport& r) {
    using nlohmann::ordered_json;
    ordered_json doc;
    doc["version"] = kProductVersion;
    if (!r.failure.empty()) {
        doc["failure"] = Utf8(r.failure);
        doc["exitCode"] = ExitCodeOf(r);
        return doc.dump(2) + "\n";
    }
    const EditionProfile& e = *r.edition;
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
        for (const auto& kv : port.values) values[kv.first] = Utf8(kv.second);
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
    ordered_json findings = ordered_json::array();
    for (const Finding& f : r.findings) {
        ordered_json item;
        item["severity"] = SeverityWord(f.severity);
        item["section"] = f.section ? ordered_json(f.section) : ordered_json(nullptr);
        item["key"] = f.key.empty() ? ordered_json(nullptr) : ordered_json(Utf8(f.key));
        item["file"] = f.file.empty() ? ordered_json(nullptr) : ordered_json(Utf8(f.file));
        item["message"] = Utf8(f.message);
        item["fix"] = Utf8(f.fix);
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
