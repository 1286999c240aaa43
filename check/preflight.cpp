#include "check/preflight.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "base/registry_read.h"
#include "check/section_source.h"
#include "client/client_app.h"
#include "client/client_files.h"
#include "client/locations.h"
#include "decide/names.h"
#include "decide/required_files.h"
#include "monitor/monitor_files.h"
#include "platform/handles.h"
#include "printers/printer_bindings.h"

namespace {

std::string AssignKey(int k) {
    char key[kAssignKeySize];
    FormatAssignKey(k, key);
    return key;
}

// The keys the installer reads by their upper-case forms: a field's index,
// or kPortFieldCount + k for printer key k.
const std::unordered_map<std::string, size_t>& KeyIndex() {
    static const std::unordered_map<std::string, size_t> index = [] {
        std::unordered_map<std::string, size_t> keys;
        for (size_t i = 0; i < kPortFieldCount; ++i) keys.emplace(UpperCaseForm(kPortFields[i].key), i);
        for (int k = 1; k <= kAssignKeyCount; ++k) keys.emplace(UpperCaseForm(AssignKey(k)), kPortFieldCount + k);
        return keys;
    }();
    return index;
}

// A key's field index; kPortFieldCount + k for printer key k; SIZE_MAX for
// none the installer reads.
size_t KeyOf(const std::string& key) {
    auto it = KeyIndex().find(UpperCaseForm(key));
    return it == KeyIndex().end() ? SIZE_MAX : it->second;
}

size_t FieldIndex(const std::string& key) {
    size_t i = KeyOf(key);
    return i < kPortFieldCount ? i : kPortFieldCount;
}

// Every key the installer reads in a port section.
std::vector<std::string> KnownKeys() {
    std::vector<std::string> keys;
    for (const PortField& field : kPortFields) keys.push_back(field.key);
    for (int k = 1; k <= kAssignKeyCount; ++k) keys.push_back(AssignKey(k));
    return keys;
}

// Edit distance of two names without regard to ASCII case.
size_t Distance(const std::string& a, const std::string& b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (lower(a[i - 1]) == lower(b[j - 1]) ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The known key a misspelt one most probably meant; empty when none is close.
std::string NearestKey(const std::string& key) {
    std::string best;
    size_t bestDistance = 3;
    for (const std::string& known : KnownKeys()) {
        size_t d = Distance(key, known);
        if (d < bestDistance && d * 3 <= known.size()) {
            best = known;
            bestDistance = d;
        }
    }
    return best;
}

bool IsPlainDecimal(const std::string& text) {
    if (text.empty() || text.size() > 10) return false;
    unsigned long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value <= 0xFFFFFFFFull;
}

// A host name or an IPv4 or IPv6 address, as a port's server can be named.
bool IsUsableServer(const std::string& text) {
    if (text.empty() || text.size() > 253) return false;
    if (text.find(':') != std::string::npos)
        return text.find_first_not_of("0123456789abcdefABCDEF:.") == std::string::npos &&
               std::count(text.begin(), text.end(), ':') >= 2;
    bool digitsAndDots = text.find_first_not_of("0123456789.") == std::string::npos;
    size_t start = 0;
    int parts = 0;
    while (true) {
        size_t dot = text.find('.', start);
        std::string part = text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (digitsAndDots) {
            if (part.empty() || part.size() > 3 || std::stoi(part) > 255) return false;
        } else {
            if (part.empty() || part.size() > 63 || part.front() == '-' || part.back() == '-') return false;
            for (char c : part)
                if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-'))
                    return false;
        }
        ++parts;
        if (dot == std::string::npos) return !digitsAndDots || parts == 4;
        start = dot + 1;
    }
}

// What the version detection names, from its line: "    (64-bit Windows 7 Detected)\n".
std::string SystemName(const WindowsVersion& version) {
    std::string line = version.line;
    size_t open = line.find('('), close = line.rfind(" Detected)");
    if (open == std::string::npos || close == std::string::npos || close <= open) return std::string();
    return line.substr(open + 1, close - open - 1);
}

// "1, 2 and 3"
std::string Enumeration(const std::vector<std::string>& items) {
    std::string out;
    for (size_t i = 0; i < items.size(); ++i)
        out += (i == 0 ? "" : i + 1 == items.size() ? " and " : ", ") + items[i];
    return out;
}

// An argument the installer takes as a server name that looks like a switch.
bool LooksLikeSwitch(const std::string& argument) {
    return !argument.empty() && (argument[0] == '-' || argument[0] == '/');
}

class Checker {
public:
    Checker(const RunOptions& options, const RunPlan& plan, PreflightReport* report)
        : options_(options), plan_(plan), report_(report), f_(report->forecast) {}

    void Run();

private:
    void Add(const char* id, int section, const std::string& key, const std::string& file, const Fillers& fillers) {
        const FindingKind& kind = KindOf(id);
        report_->findings.push_back(
            Finding{kind.id, kind.severity, section, key, file, Fill(kind.message, fillers), Fill(kind.fix, fillers)});
    }
    std::string RunWord() const { return plan_.uninstall ? "uninstallation" : "installation"; }
    // What a failure at an abort point does to the installation.
    std::string AtAbortPoint(const std::string& stops, const std::string& goesOn) const {
        return plan_.ignoreErrors && !plan_.uninstall ? "with -e the installation goes on, " + goesOn : stops;
    }

    void CheckSystem();
    void CheckFiles();
    void CheckSections();
    void CheckSourceEntries(const SourceSection& section, const SectionForecast& read);
    void CheckPort(const SectionForecast& section);
    void CheckPrinters();
    void CheckRun();
    void DescribePlan();
    void DescribeDataFiles();

    const RunOptions& options_;
    const RunPlan& plan_;
    PreflightReport* report_;
    const RunForecast& f_;
    std::vector<SourceSection> sections_;
};

void Checker::CheckSystem() {
    if (!f_.logOpens) {
        DWORD attributes = GetFileAttributesA(f_.logPath.c_str());
        bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
        std::string why = f_.logPath.empty() ? "the Windows directory cannot be read"
                          : folder            ? "a folder stands there"
                          : attributes != INVALID_FILE_ATTRIBUTES ? "it is read-only"
                                                                  : "its folder does not exist";
        report_->stop = "the install log cannot be opened";
        Add("log-unwritable", 0, "", "", {{"path", f_.logPath}, {"why", why},
            {"fix", folder ? "Remove the folder " + f_.logPath + ", or name another log with -lFILE."
                           : "Name a log in a folder that exists with -lFILE."}});
        return;
    }
    if (f_.dotNetMissing) {
        report_->stop = ".NET Framework 2.0 missing";
        Add("dotnet-missing", 0, "", "", {{"run", RunWord()}});
        return;
    }
    report_->platform = f_.version.platform;
    report_->windows = SystemName(f_.version);
    MonitorFileSet set = GetMonitorFileSet(plan_.edition, f_.version.platform);
    for (const char* name : {set.monitorDll, set.uiDll, set.cairoDll})
        if (name) report_->fileSet.push_back(name);
    std::string consequence = AtAbortPoint("the " + RunWord() + " would stop before it changes anything",
                                           "copies no monitor file and cannot register the monitor");
    if (f_.version.queryFailed) Add("windows-unreadable", 0, "", "", {{"consequence", consequence}});
    if (f_.version.platform == Unsupported) {
        if (f_.stop == RunStop::Unsupported)
            report_->stop = "unsupported Windows" + (report_->windows.empty() ? "" : " (" + report_->windows + ")");
        Add("windows-unsupported", 0, "", "",
            {{"windows", report_->windows.empty() ? std::string() : " (" + report_->windows + ")"},
             {"consequence", consequence}});
    }
}

void Checker::CheckFiles() {
    if (plan_.uninstall || f_.stop == RunStop::LogUnopenable || f_.stop == RunStop::DotNetMissing) return;
    for (const std::string& name : f_.missingFiles) {
        std::string message = "\"ERROR While Checking '" + name + "'.\"";
        std::string consequence = AtAbortPoint("the installation would stop (" + message + ")",
                                               "reporting " + message);
        bool ini = plan_.sections.fromIniFile && name == plan_.edition.iniFileName;
        if (f_.stop == RunStop::FileMissing && f_.stopDetail == name && report_->stop.empty())
            report_->stop = name + " missing";
        if (ini)
            Add("ini-missing", 0, "", name,
                {{"path", plan_.sections.configFilePath}, {"consequence", consequence},
                 {"fix", options_.iniFilePath && *options_.iniFilePath
                             ? "Correct the path given with -i, or put the INI file there."
                             : "Put " + name + " beside Install.exe, or name the file with -i."}});
        else
            Add("file-missing", 0, "", name, {{"file", name}, {"consequence", consequence}});
    }
    if (!plan_.copyFiles && plan_.edition.shipsClient)
        for (const char* name : kClientFilesChecked)
            if (!IsReadable(name)) Add("client-file-missing", 0, "", name, {{"file", name}});
    if (!IsReadable("VormoEvent.dll")) Add("event-dll-missing", 0, "", "VormoEvent.dll", {});
}

void Checker::CheckSourceEntries(const SourceSection& section, const SectionForecast& read) {
    const bool ini = plan_.sections.fromIniFile;
    const int n = read.number;
    std::unordered_set<std::string> seen;
    for (const SourceEntry& entry : section.entries) {
        const std::string& key = entry.key;
        if (ini && !entry.hasValue && key.size() > 1 && key[0] == '[' && key.find(']') == std::string::npos) {
            Add("header-unclosed", n, key, "", {{"name", key.substr(1)}, {"belongs", "section " + std::to_string(n)}});
            continue;
        }
        if (!seen.insert(UpperCaseForm(key)).second) {
            Add("key-repeated", n, key, "", {{"key", key}, {"section", std::to_string(n)}});
            continue;
        }
        if (SameName(key, "AssignPrinter1")) {
            Add("assignprinter1", n, key, "", {});
            continue;
        }
        size_t known = KeyOf(key);
        size_t field = known < kPortFieldCount ? known : kPortFieldCount;
        bool printerKey = known != SIZE_MAX && known > kPortFieldCount;
        if (known == SIZE_MAX) {
            std::string nearest = NearestKey(key), invisible = InvisibleCharacters(key);
            Add("key-unknown", n, key, "",
                {{"key", key},
                 {"invisible", invisible.empty() ? "" : " (it holds the invisible character " + invisible + ")"},
                 {"nearest", nearest.empty() ? "" : "; did you mean " + nearest + "?"},
                 {"fix", nearest.empty() ? "Remove " + key + ", or write one of the keys listed in Vormo.ini."
                                         : "Rename " + key + " to " + nearest + "."}});
            continue;
        }
        if (ini && !entry.hasValue) {
            Add("key-no-value", n, key, "", {{"key", key}});
            continue;
        }
        std::string sectionName = std::to_string(n);
        bool text = printerKey || kPortFields[field].kind == PortFieldKind::Text;
        if (text) {
            if (!ini) {
                if (entry.type != REG_SZ && entry.type != REG_EXPAND_SZ)
                    Add("registry-type", n, key, "",
                        {{"key", key}, {"type", std::to_string(entry.type)},
                         {"consequence", "its bytes are read as text up to the first zero"}, {"wanted", "REG_SZ"}});
                if (entry.size <= kPortStringSize) continue;
                bool serverIp = field < kPortFieldCount && kPortFields[field].listEntry == 1 &&
                                kPortFields[field].kind == PortFieldKind::Text;
                if (serverIp) continue;  // the section is no port: said where the scan ends
                std::string fallback = field < kPortFieldCount ? kPortFields[field].textDefault : "";
                Add("value-too-long", n, key, "",
                    {{"key", key}, {"length", std::to_string(entry.size)},
                     {"consequence", printerKey ? std::string("it names no printer, and none is moved")
                                                : "the default (\"" + fallback + "\") is sent instead"}});
                continue;
            }
            // The listing gives the value as it stands; quotes only shorten it.
            if (entry.text.size() <= kPortStringSize - 1) continue;
            std::vector<char> whole(entry.text.size() + 2, '\0');
            DWORD length = GetPrivateProfileStringA(sectionName.c_str(), key.c_str(), "", whole.data(),
                                                    static_cast<DWORD>(whole.size()), plan_.sections.iniReadPath);
            if (length > kPortStringSize - 1)
                Add("value-cut", n, key, "", {{"key", key}, {"length", std::to_string(length)}});
            continue;
        }
        // A number: what is sent is the field of the record, the edition's rule applied.
        const PortField& f = kPortFields[field];
        std::string sent = std::to_string(FieldIn(read.fields, field).number);
        if (ini) {
            if (entry.text.empty())
                Add("number-empty", n, key, "", {{"key", key}, {"default", std::to_string(f.numberDefault)}});
            else if (!IsPlainDecimal(entry.text))
                Add("number-not-decimal", n, key, "", {{"key", key}, {"text", entry.text}, {"sent", sent}});
            continue;
        }
        if (entry.size == 0 || entry.size > 4)
            Add("registry-size", n, key, "",
                {{"key", key}, {"size", std::to_string(entry.size)}, {"default", std::to_string(f.numberDefault)}});
        else if (entry.type != REG_DWORD)
            Add("registry-type", n, key, "",
                {{"key", key}, {"type", std::to_string(entry.type)},
                 {"consequence", "its bytes are read as the number " + sent}, {"wanted", "REG_DWORD"}});
    }
}

void Checker::CheckPort(const SectionForecast& s) {
    const int n = s.number;
    for (size_t i = 0; i < kPortFieldCount; ++i) {
        const PortField& field = kPortFields[i];
        if (field.listEntry == 0 || field.kind != PortFieldKind::Text) continue;
        std::string ip = AnsiText(FieldIn(s.fields, i).text);
        DWORD weight = FieldIn(s.fields, i + 1).number;
        if (!ip.empty() && !IsUsableServer(ip))
            Add("serverip-unusable", n, field.key, "", {{"key", field.key}, {"text", ip}});
        else if (ip.empty() && weight != 0)
            Add("weight-without-server", n, kPortFields[i + 1].key, "", {{"server", field.key}});
    }
    DWORD port = FieldIn(s.fields, FieldIndex("ServerPort")).number;
    if (port == 0 || port > 65535) Add("serverport-range", n, "ServerPort", "", {{"port", std::to_string(port)}});
    if (plan_.edition.serverlessPortRule && FieldIn(s.fields, FieldIndex("DisableServerCommunication")).number) {
        RunPlan asWritten = plan_;
        asWritten.edition.serverlessPortRule = false;
        PortSettings written;
        ReadPortSection(n, asWritten, &written);
        if (written.Encryption || written.RefreshIPList) Add("enterprise-rule", n, "DisableServerCommunication", "", {});
    }
}

void Checker::CheckSections() {
    const RunPlan& plan = plan_;
    report_->fromIniFile = plan.sections.fromIniFile;
    report_->configuration = plan.sections.fromIniFile
                                 ? std::string(plan.sections.configFilePath)
                                 : "HKEY_LOCAL_MACHINE\\" + std::string(plan.edition.portInstallCfgKey);
    std::string failure;
    if (!ListSourceSections(plan, &sections_, &failure)) {
        report_->failure = failure;
        return;
    }
    if (plan.uninstall) return;  // an uninstallation reads no port section

    std::unordered_map<int, const SectionForecast*> scanned;
    for (const SectionForecast& s : f_.sections) scanned[s.number] = &s;
    const int gap = f_.scanEndSection;
    const bool pastBound = f_.scanEnd == SectionScan::PastLastName;
    if (pastBound)
        Add("section-past-bound", gap, "", "", {{"section", std::to_string(gap)}, {"last", std::to_string(gap - 1)}});
    const SourceSection* gapSection = nullptr;
    for (const SourceSection& section : sections_) {
        int number = 0;
        if (!section.repeated && IsPortSectionName(section.name, &number) && number == gap) gapSection = &section;
    }
    bool gapHasSecondIp = false, gapIpTooLong = false;
    if (gapSection && !pastBound) {
        std::string keys;
        for (int k = 2; k <= kServerIpCount; ++k) {
            char ip[kPortStringSize];
            ReadPortSectionString(gap, plan, ("ServerIP" + std::to_string(k)).c_str(), "", ip, sizeof ip);
            if (ip[0] && !gapHasSecondIp) keys = "ServerIP" + std::to_string(k);
            gapHasSecondIp = gapHasSecondIp || ip[0];
        }
        for (const SourceEntry& entry : gapSection->entries)
            gapIpTooLong = gapIpTooLong || (!plan.sections.fromIniFile && SameName(entry.key, "ServerIP") &&
                                            entry.size > kPortStringSize);
        if (gapIpTooLong)
            Add("serverip-too-long", gap, "ServerIP", "", {{"length", std::to_string([&] {
                    for (const SourceEntry& e : gapSection->entries)
                        if (SameName(e.key, "ServerIP")) return e.size;
                    return DWORD(0);
                }())}});
        else if (gapHasSecondIp)
            Add("section-without-serverip", gap, "ServerIP", "", {{"section", std::to_string(gap)}, {"key", keys}});
    }
    for (const SourceSection& section : sections_) {
        int number = 0;
        if (section.repeated) {
            Add("section-repeated", IsPortSectionName(section.name, &number) ? number : 0, "", "",
                {{"name", section.name}});
            continue;
        }
        if (!IsPortSectionName(section.name, &number)) {
            const std::string& name = section.name;
            if (!name.empty() && name.find_first_not_of("0123456789+- ") == std::string::npos)
                Add("section-name", 0, "", "", {{"name", name}});
            continue;
        }
        auto read = scanned.find(number);
        if (read != scanned.end()) {
            CheckSourceEntries(section, *read->second);
            continue;
        }
        if (number == gap) {
            if (!gapHasSecondIp && !gapIpTooLong && !pastBound && !section.entries.empty())
                Add("section-no-serverip", number, "ServerIP", "", {{"section", std::to_string(number)}});
            continue;
        }
        std::string why = pastBound           ? "the port configuration ends at section " + std::to_string(gap)
                          : gapSection        ? "section " + std::to_string(gap) + " has no ServerIP"
                                              : "section " + std::to_string(gap) + " is missing";
        Add("section-after-gap", number, "", "", {{"section", std::to_string(number)}, {"why", why}});
    }
    for (const SectionForecast& s : f_.sections) {
        CheckPort(s);
        PlannedPort port;
        port.section = s.number;
        port.name = s.port;
        port.values = s.fields;
        report_->ports.push_back(port);
    }
    if (sections_.empty() || f_.sections.empty())
        Add("no-sections", 0, "", "", {{"fix", plan.sections.fromIniFile ? "Write section [1] with at least ServerIP."
                                                                         : "Create subkey 1 with ServerIP."}});
    CheckPrinters();
}

void Checker::CheckPrinters() {
    const MachineReading& m = report_->machine;
    const PrinterLookup lookup(m.printers);
    // Printers named in more than one section: one finding each, at the last.
    std::map<std::string, std::vector<int>> sectionsOf;
    std::map<std::string, std::pair<int, int>> lastKey;
    for (const SectionForecast& s : f_.sections) {
        std::vector<std::string> inSection;
        for (const auto& key : s.printers) {
            const std::string& name = key.second;
            const bool found = lookup.Find(name) >= 0;
            report_->printers.push_back(PlannedPrinter{name, s.port, s.number, found});
            if (!found) {
                std::string similar;
                for (const PrinterReading& p : m.printers)
                    if (similar.empty() && lstrcmpiA(p.name.c_str(), name.c_str()) == 0) similar = p.name;
                Add("printer-missing", s.number, AssignKey(key.first), "",
                    {{"printer", name}, {"port", s.port},
                     {"similar", similar.empty() ? "" : " (the spooler's printer '" + similar +
                                                        "' is another name to it)"}});
            }
            for (const std::string& earlier : inSection)
                if (SameName(earlier, name))
                    Add("printer-named-twice", s.number, AssignKey(key.first), "",
                        {{"printer", name}, {"section", std::to_string(s.number)}});
            inSection.push_back(name);
            if (!found) continue;
            std::vector<int>& list = sectionsOf[UpperCaseForm(name)];
            if (list.empty() || list.back() != s.number) list.push_back(s.number);
            lastKey[UpperCaseForm(name)] = {s.number, key.first};
        }
    }
    for (const auto& entry : sectionsOf) {
        if (entry.second.size() < 2) continue;
        const PrinterForecast* printer = nullptr;
        for (const PrinterForecast& p : f_.printers)
            if (UpperCaseForm(p.name) == entry.first) printer = &p;
        std::vector<std::string> numbers;
        for (int n : entry.second) numbers.push_back(std::to_string(n));
        auto last = lastKey[entry.first];
        const SectionForecast* lastSection = nullptr;
        for (const SectionForecast& s : f_.sections)
            if (s.number == last.first) lastSection = &s;
        std::string ends = printer && !printer->assignedBy.empty() ? printer->after : lastSection->port;
        Add("printer-in-sections", last.first, AssignKey(last.second), "",
            {{"printer", printer ? printer->name : entry.first}, {"sections", Enumeration(numbers)}, {"port", ends}});
    }
}

void Checker::CheckRun() {
    const RunForecast& f = f_;
    const char* word = plan_.edition.productWord;
    if (f.stop == RunStop::LogUnopenable || f.stop == RunStop::DotNetMissing) return;
    if (!f.spooler.empty() && f.spoolerError) {
        bool looksLikeSwitch = LooksLikeSwitch(f.spooler);
        Add("server-unreachable", 0, "", "",
            {{"argument", looksLikeSwitch ? "'" + f.spooler + "' is no switch of Install.exe: it is taken as a print "
                                                              "server's name, and "
                                          : ""},
             {"server", f.spooler},
             {"error", std::to_string(f.spoolerError)},
             {"consequence", plan_.uninstall ? "the uninstallation would stop when it removes the monitor"
                                             : AtAbortPoint("the installation would stop when it removes the old monitor",
                                                            "but neither the monitor nor a port can be made there")},
             {"fix", looksLikeSwitch ? "Write the switch as Install.exe knows it (-s, -u, -a, -e, -r, -c, -lFILE, "
                                       "-iFILE); any other argument names the print server."
                                     : "Name a print server that answers (\\\\NAME), or leave the name out for this "
                                       "machine."}});
    }
    // The printers that keep the old monitor in use.
    if (f.removalTried && f.removal.error == ERROR_PRINT_MONITOR_IN_USE) {
        int moved = 0;
        for (const PrinterForecast& p : f.printers) moved += !p.disconnection.empty() && !p.disconnectionRefused;
        std::string after = moved ? ", after the disconnection has moved " + std::to_string(moved) + " printer" +
                                        (moved == 1 ? "" : "s") + " off the monitor's ports"
                                  : "";
        std::string consequence =
            plan_.uninstall || !plan_.ignoreErrors
                ? "the " + RunWord() + " stops there" + after
                : "with -e the installation goes on" + after + ", and the old monitor stays with its ports";
        std::unordered_map<std::string, std::string> ports;  // the monitor's ports by upper-case name
        for (const PortForecast& q : f.ports)
            if (q.existed) ports.emplace(UpperCaseForm(q.name), q.name);
        for (const PrinterForecast& p : f.printers) {
            if (!p.keepsMonitorInUse) continue;
            // The first entry that names a port of the monitor once blanks are taken away.
            std::string port, blanked;
            for (const std::string& entry : PortListEntries(p.after)) {
                std::string trimmed = TrimmedPortEntry(entry);
                auto found = ports.find(UpperCaseForm(trimmed));
                if (found == ports.end()) continue;
                port = found->second;
                if (trimmed != entry) blanked = entry;
                break;
            }
            std::string why, fix;
            if (!IsDisconnectedPrinter(p.attributes)) {
                why = "it is no local printer, and the disconnection takes only local printers off the monitor's ports";
                fix = "Move '" + p.name + "' off " + port + " before the " + RunWord() + ".";
            } else if (p.disconnectionRefused) {
                why = "the spooler would refuse its port list " + p.disconnection + " after the disconnection";
                fix = "Take the entries the spooler does not know out of the port list of '" + p.name + "' (" +
                      p.before + ").";
            } else if (!blanked.empty()) {
                why = "its port list writes it '" + blanked + "', with blanks the disconnection does not take for the "
                      "port's name";
                fix = "Write the port list of '" + p.name + "' without blanks around its entries (" + p.before + ").";
            } else {
                why = "the disconnection leaves it there";
                fix = "Move '" + p.name + "' off " + port + " before the " + RunWord() + ".";
            }
            Add("monitor-in-use", 0, "", "",
                {{"monitor", word}, {"printer", p.name}, {"port", port}, {"why", why}, {"consequence", consequence},
                 {"fix", fix}});
        }
    }
    // Printers that stop printing or lose a port.
    for (const PrinterForecast& p : f.printers) {
        if (p.disconnection.empty() || p.disconnectionRefused || !p.assignedBy.empty()) continue;
        if (p.after == "FILE:" && p.before != "FILE:") {
            Add(plan_.uninstall ? "uninstall-printer-to-file" : "printer-to-file", 0, "", "",
                {{"printer", p.name}, {"before", p.before}});
        } else if (!plan_.uninstall && p.after != p.before) {
            std::vector<std::string> lost;
            for (const std::string& entry : PortListEntries(p.before))
                if (("," + p.after + ",").find("," + entry + ",") == std::string::npos) lost.push_back(entry);
            Add("printer-loses-port", 0, "", "",
                {{"printer", p.name}, {"lost", Enumeration(lost)}, {"before", p.before}, {"after", p.after}});
        }
    }
    if (plan_.uninstall) return;
    // The monitor files, the registration and the ports.
    for (const std::string& file : f.failedCopies) {
        DWORD attributes = SystemFileAttributes(report_->machine, file);
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        std::string path = report_->machine.systemDirectory + "\\" + file;
        Add("copy-fails", 0, "", file,
            {{"file", file}, {"why", "a folder of that name stands there"},
             {"consequence", AtAbortPoint("the installation would stop (\"ERROR While Copying File '" + file + "'.\")",
                                          "and the registration fails")},
             {"fix", "Move the folder " + path + " out of the way."}});
    }
    if (f.registrationTried && f.registrationError && f.registrationError != f.spoolerError) {
        MonitorFileSet set = GetMonitorFileSet(plan_.edition, f.version.platform);
        std::string consequence = AtAbortPoint("the installation stops there", "but no port can be made");
        if (f.registrationError == ERROR_INVALID_PARAMETER && !plan_.copyFiles && set.monitorDll)
            Add("dll-missing", 0, "", set.monitorDll, {{"dll", set.monitorDll}, {"consequence", consequence}});
        else if (f.registrationError == ERROR_INVALID_PARAMETER && set.monitorDll && f.failedCopies.empty())
            Add("registration-fails", 0, "", "",
                {{"error", std::to_string(f.registrationError)}, {"why", "the spooler cannot load " + std::string(set.monitorDll)},
                 {"consequence", consequence}, {"fix", "Put " + std::string(set.monitorDll) + " into the system directory."}});
        else if (f.registrationError == ERROR_PRINT_MONITOR_ALREADY_INSTALLED)
            Add("registration-fails", 0, "", "",
                {{"error", std::to_string(f.registrationError)}, {"why", "the old monitor is still registered"},
                 {"consequence", consequence}, {"fix", "Let the old monitor be removed first."}});
        else if (!set.monitorDll)
            Add("registration-fails", 0, "", "",
                {{"error", std::to_string(f.registrationError)}, {"why", "this Windows has no monitor file set"},
                 {"consequence", consequence}, {"fix", "Install on a supported Windows."}});
    }
    if (f.dllUnseen && !report_->fileSet.empty())
        Add("dll-unseen", 0, "", report_->fileSet.front(), {{"server", f.spooler}, {"dll", report_->fileSet.front()}});
    if (f.portError == ERROR_ALREADY_EXISTS) {
        std::string port;
        for (const SectionForecast& s : f.sections)
            if (s.number == f.portErrorSection) port = s.port;
        bool later = f.portErrorSection < static_cast<int>(f.sections.size());
        Add("port-exists", f.portErrorSection, "", "",
            {{"port", port}, {"lost", later || !port.empty() ? ", and the sections from " + std::to_string(f.portErrorSection) +
                                                                 " on make no port"
                                                           : ""}});
    }
    for (const AssignmentForecast& a : f.assignments)
        if (a.printer >= 0 && !a.taken && !f.spooler.empty())
            Add("printer-port-elsewhere", a.section, AssignKey(a.key), "",
                {{"printer", a.name}, {"port", a.port}, {"server", f.spooler}});
    // The client's folders.
    if (f.clientFolderBlocked || f.fontFolderBlocked) {
        std::vector<std::string> what;
        if (f.clientFolderBlocked) what.push_back("the client application");
        if (f.fontFolderBlocked) what.push_back("the fonts");
        if (f.subnetCopyFails && f.subnetShipped) what.push_back("the subnet file");
        Add("folder-blocked", 0, "", "", {{"folder", f.blockingPath}, {"what", Enumeration(what)}});
    } else if (f.subnetCopyFails && f.subnetShipped && !f.productFolder.empty()) {
        Add("subnet-no-folder", 0, "", "server_subnet.csv", {{"folder", f.productFolder}});
    }
    if (plan_.edition.shipsClient && !report_->machine.clientFolderKnown) Add("no-program-files", 0, "", "", {});
}

void Checker::DescribeDataFiles() {
    const EditionProfile& edition = plan_.edition;
    const MachineReading& m = report_->machine;
    if (plan_.uninstall) {
        report_->client = edition.shipsClient ? (m.clientFolderKnown ? "removed from " + m.clientFolder
                                                                     : "not removed: the client folder cannot be found")
                                              : "not part of the Enterprise edition";
        report_->fonts = "removed with their folder";
        report_->subnetFile = plan_.copyFiles ? "removed" : "left (-c)";
        report_->batchFile = "not run by an uninstallation";
        return;
    }
    if (edition.shipsClient) {
        report_->client = !m.clientFolderKnown ? std::string("not installed: the client folder cannot be found")
                          : f_.clientFolderBlocked ? "not installed: a file stands where " + f_.blockingPath + " must be made"
                                                   : "installed into " + m.clientFolder + ", started and entered for autostart";
    } else {
        report_->client = "not part of the Enterprise edition";
    }
    WIN32_FIND_DATAA data;
    std::memset(&data, 0, sizeof data);
    bool fontSource = platform::FindHandle(FindFirstFileA("FontFiles", &data)).valid();
    if (!plan_.copyFiles) {
        report_->fonts = "not copied (-c)";
    } else if (!fontSource) {
        report_->fonts = "none (no FontFiles folder in the distribution)";
    } else {
        int files = 0;
        platform::FindHandle find(FindFirstFileA("FontFiles\\*.*", &data));
        if (find) {
            do {
                if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++files;
            } while (FindNextFileA(find.get(), &data));
        }
        report_->fonts = std::to_string(files) + " file" + (files == 1 ? "" : "s") + " into " +
                         (f_.fontFolder.empty() ? "(the font folder cannot be found)" : f_.fontFolder);
    }
    if (!plan_.copyFiles) report_->subnetFile = "not copied (-c)";
    else if (!f_.subnetShipped) report_->subnetFile = "none (no server_subnet.csv in the distribution)";
    else if (f_.productFolder.empty()) report_->subnetFile = "not placed: the product folder cannot be found";
    else if (f_.subnetInPlace) report_->subnetFile = "in place already (the installer runs from the product folder)";
    else report_->subnetFile = "server_subnet.csv into " + f_.productFolder + (f_.subnetCopyFails ? " (which fails)" : "");
    bool batch = GetFileAttributesA("install_printer.bat") != INVALID_FILE_ATTRIBUTES;
    report_->batchFile = batch ? "install_printer.bat runs after a successful installation started with any argument "
                                 "(not when Install.exe is started without one)"
                               : "none (no install_printer.bat in the distribution)";
}

void Checker::Run() {
    char folder[kCurrentDirectorySize] = {};
    DWORD n = GetCurrentDirectoryA(sizeof folder, folder);
    report_->distribution = n > 0 && n < sizeof folder ? folder : ".";
    report_->edition = &plan_.edition;
    report_->server = options_.serverName ? options_.serverName : "";
    report_->uninstall = plan_.uninstall;
    report_->ignoreErrors = plan_.ignoreErrors;
    report_->copyFiles = plan_.copyFiles;
    report_->machine = ReadMachine(plan_.spoolerServer);
    report_->forecast = ForecastRun(plan_, report_->machine);
    CheckSystem();
    CheckFiles();
    CheckSections();
    if (!report_->failure.empty()) return;
    CheckRun();
    DescribeDataFiles();
}

}  // namespace

namespace {

// UTF-16 text in a code page's bytes.
std::string NarrowText(const std::basic_string<WCHAR>& text, UINT codePage) {
    if (text.empty()) return std::string();
    int bytes = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0)
        WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], bytes, nullptr, nullptr);
    return out;
}

}  // namespace

std::string AnsiText(const std::basic_string<WCHAR>& text) { return NarrowText(text, CP_ACP); }

std::string Utf8Text(const std::basic_string<WCHAR>& text) { return NarrowText(text, CP_UTF8); }

std::string FieldText(const FieldValue& value, bool utf8) {
    if (kPortFields[value.field].kind == PortFieldKind::Number) return std::to_string(value.number);
    return utf8 ? Utf8Text(value.text) : AnsiText(value.text);
}

PreflightReport RunPreflight(const RunOptions& options, const RunPlan& plan) {
    PreflightReport report;
    Checker(options, plan, &report).Run();
    // Errors first, then warnings and notes; each by section.
    std::stable_sort(report.findings.begin(), report.findings.end(), [](const Finding& a, const Finding& b) {
        return a.severity != b.severity ? a.severity < b.severity : a.section < b.section;
    });
    return report;
}

int CountOf(const PreflightReport& report, Severity severity) {
    return static_cast<int>(std::count_if(report.findings.begin(), report.findings.end(),
                                          [severity](const Finding& f) { return f.severity == severity; }));
}

int ExitCodeOf(const PreflightReport& report) {
    if (!report.failure.empty()) return 3;
    if (CountOf(report, Severity::Error) > 0) return 2;
    return CountOf(report, Severity::Warning) > 0 ? 1 : 0;
}
