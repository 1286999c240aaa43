#include "check/preflight.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "base/dot_net.h"
#include "base/registry_read.h"
#include "check/section_source.h"
#include "client/client_files.h"
#include "client/locations.h"
#include "monitor/monitor_files.h"
#include "platform/handles.h"
#include "portcfg/port_settings.h"
#include "printers/printer_bindings.h"
#include "decide/required_files.h"

namespace {

// The printer keys of a section, in the order the assignment reads them.
const int kAssignKeyCount = 10;

std::string AssignKey(int k) { return k == 1 ? "AssignPrinter" : "AssignPrinter" + std::to_string(k); }

bool SameName(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

// Every key the installer reads in a port section.
std::vector<std::string> KnownKeys() {
    std::vector<std::string> keys;
    for (const PortField& field : kPortFields) keys.push_back(field.key);
    for (int k = 1; k <= kAssignKeyCount; ++k) keys.push_back(AssignKey(k));
    return keys;
}

const PortField* FieldOf(const std::string& key) {
    for (const PortField& field : kPortFields)
        if (SameName(field.key, key)) return &field;
    return nullptr;
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
    if (digitsAndDots) {
        int parts = 0;
        size_t start = 0;
        while (true) {
            size_t dot = text.find('.', start);
            std::string part = text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
            if (part.empty() || part.size() > 3 || std::stoi(part) > 255) return false;
            ++parts;
            if (dot == std::string::npos) break;
            start = dot + 1;
        }
        return parts == 4;
    }
    size_t start = 0;
    while (true) {
        size_t dot = text.find('.', start);
        std::string label = text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
        for (char c : label)
            if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-'))
                return false;
        if (dot == std::string::npos) return true;
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

class Checker {
public:
    Checker(const RunOptions& options, const RunPlan& plan, PreflightReport* report)
        : options_(options), plan_(plan), report_(report) {}

    void Run();

private:
    void Add(Severity severity, int section, const std::string& key, const std::string& file,
             const std::string& message, const std::string& fix) {
        report_->findings.push_back(Finding{severity, section, key, file, message, fix});
    }

    void CheckSystem();
    void CheckFiles();
    void CheckSections();
    void CheckSourceEntries(const SourceSection& section, int n);
    void CheckPort(int n, const PortSettings& settings);
    void CheckPrinters(int portCount);
    void DescribeDataFiles();

    const RunOptions& options_;
    const RunPlan& plan_;
    PreflightReport* report_;
    std::vector<SourceSection> sections_;
};

void Checker::CheckSystem() {
    WindowsVersion version = ReadWindowsVersion();
    report_->platform = version.platform;
    report_->windows = SystemName(version);
    MonitorFileSet set = GetMonitorFileSet(plan_.edition, version.platform);
    for (const char* name : {set.monitorDll, set.uiDll, set.cairoDll})
        if (name) report_->fileSet.push_back(name);
    if (version.queryFailed)
        Add(Severity::Error, 0, "", "", "the Windows version cannot be read: the installation would stop",
            "Run the installation where the version query works.");
    if (version.platform == Unsupported) {
        report_->stop = "unsupported Windows" + (report_->windows.empty() ? "" : " (" + report_->windows + ")");
        Add(Severity::Error, 0, "", "",
            "this Windows" + (report_->windows.empty() ? std::string() : " (" + report_->windows + ")") +
                " is not supported: the installation would stop before it changes anything",
            "Install on Windows XP to 8.1 or Server 2003 to 2012 R2 (later Windows report themselves as 8.1).");
    }
    if (plan_.edition.needsDotNet && !IsDotNet20Installed()) {
        if (report_->stop.empty()) report_->stop = ".NET Framework 2.0 missing";
        Add(Severity::Error, 0, "", "",
            "the .NET Framework 2.0 is not installed: the installation would stop before it changes anything",
            "Install the .NET Framework 2.0 on the machine first.");
    }
}

void Checker::CheckFiles() {
    RequiredFile files[kMaxRequiredFiles];
    size_t count = GetRequiredFiles(plan_, report_->platform, files);
    for (size_t i = 0; i < count; ++i) {
        if (IsReadable(files[i].path)) continue;
        bool ini = plan_.sections.fromIniFile && i == 0;
        std::string name = files[i].nameInMessage;
        if (ini)
            Add(Severity::Error, 0, "", name,
                "the INI file " + std::string(files[i].path) +
                    " is missing or unreadable: the installation would stop (\"ERROR While Checking '" + name +
                    "'.\")",
                "Put " + name + " beside Install.exe, or name the file with -i.");
        else
            Add(Severity::Error, 0, "", name,
                "missing from the distribution or unreadable: the installation would stop (\"ERROR While Checking '" +
                    name + "'.\")",
                "Put " + name + " into the distribution folder.");
    }
    if (!IsReadable("VormoEvent.dll"))
        Add(Severity::Warning, 0, "", "VormoEvent.dll", "missing: the event-log source would not be installed",
            "Put VormoEvent.dll into the distribution folder.");
}

void Checker::CheckSourceEntries(const SourceSection& section, int n) {
    const bool ini = plan_.sections.fromIniFile;
    std::vector<std::string> seen;
    for (const SourceEntry& entry : section.entries) {
        const std::string& key = entry.key;
        bool repeated = false;
        for (const std::string& earlier : seen) repeated = repeated || SameName(earlier, key);
        seen.push_back(key);
        if (repeated) {
            Add(Severity::Warning, n, key, "", key + " is given twice: only the first value is read",
                "Keep one " + key + " in section " + std::to_string(n) + ".");
            continue;
        }
        if (SameName(key, "AssignPrinter1")) {
            Add(Severity::Warning, n, key, "",
                "AssignPrinter1 is never read: the first printer key has no number (AssignPrinter)",
                "Rename AssignPrinter1 to AssignPrinter.");
            continue;
        }
        const PortField* field = FieldOf(key);
        bool printerKey = false;
        for (int k = 1; k <= kAssignKeyCount; ++k) printerKey = printerKey || SameName(key, AssignKey(k));
        if (!field && !printerKey) {
            std::string nearest = NearestKey(key);
            Add(Severity::Warning, n, key, "",
                key + " is not a key of a port section: it is not read" +
                    (nearest.empty() ? std::string() : "; did you mean " + nearest + "?"),
                nearest.empty() ? "Remove " + key + ", or write one of the keys listed in Vormo.ini."
                                : "Rename " + key + " to " + nearest + ".");
            continue;
        }
        if (ini && !entry.hasValue) {
            Add(Severity::Warning, n, key, "", key + " has no '=' and so no value: the default is sent",
                "Write " + key + "=value.");
            continue;
        }
        std::string sectionName = std::to_string(n);
        bool text = printerKey || field->kind == PortFieldKind::Text;
        if (text) {
            // As long as the reader would read it with all the room it needs.
            size_t length = 0;
            bool tooLarge = false;
            if (ini) {
                std::vector<char> whole(32768, '\0');
                length = GetPrivateProfileStringA(sectionName.c_str(), key.c_str(), "", whole.data(),
                                                  static_cast<DWORD>(whole.size()), plan_.sections.iniReadPath);
            } else {
                length = entry.size;
                tooLarge = entry.size > kPortStringSize;
                if (entry.type != REG_SZ && entry.type != REG_EXPAND_SZ)
                    Add(Severity::Warning, n, key, "",
                        key + " is stored as registry type " + std::to_string(entry.type) +
                            ": its bytes are read as text up to the first zero",
                        "Store " + key + " as REG_SZ.");
            }
            if (tooLarge)
                Add(Severity::Error, n, key, "",
                    key + " holds " + std::to_string(length) + " bytes, more than its 260-byte field: the default (\"" +
                        (field ? field->textDefault : "") + "\") is sent instead",
                    "Shorten " + key + " to at most 259 characters.");
            else if (ini && length > kPortStringSize - 1)
                Add(Severity::Error, n, key, "",
                    key + " has " + std::to_string(length) + " characters: it arrives cut to its first 259",
                    "Shorten " + key + " to at most 259 characters.");
            continue;
        }
        // A number.
        DWORD sent = 0;
        if (ini) {
            char raw[kPortStringSize];
            GetPrivateProfileStringA(sectionName.c_str(), key.c_str(), "", raw, sizeof raw, plan_.sections.iniReadPath);
            sent = GetPrivateProfileIntA(sectionName.c_str(), key.c_str(), static_cast<INT>(field->numberDefault),
                                         plan_.sections.iniReadPath);
            if (raw[0] == '\0')
                Add(Severity::Note, n, key, "",
                    key + " is empty: the default " + std::to_string(field->numberDefault) + " is sent",
                    "Write a number, or leave " + key + " out.");
            else if (!IsPlainDecimal(raw))
                Add(Severity::Warning, n, key, "",
                    key + "=" + raw + " is not a plain decimal number: " + std::to_string(sent) + " is sent",
                    "Write " + key + " as a decimal number from 0 to 4294967295.");
            continue;
        }
        sent = GetHklmSubkeyDword(sectionName.c_str(), key.c_str(), field->numberDefault,
                                  plan_.edition.portInstallCfgKey);
        if (entry.size == 0 || entry.size > 4)
            Add(Severity::Warning, n, key, "",
                key + " holds " + std::to_string(entry.size) + " bytes: a number is read from 1 to 4, so the default " +
                    std::to_string(field->numberDefault) + " is sent",
                "Store " + key + " as REG_DWORD.");
        else if (entry.type != REG_DWORD)
            Add(Severity::Warning, n, key, "",
                key + " is stored as registry type " + std::to_string(entry.type) + ": its bytes are read as the number " +
                    std::to_string(sent),
                "Store " + key + " as REG_DWORD.");
    }
}

void Checker::CheckPort(int n, const PortSettings& s) {
    for (int k = 0; k < kServerIpCount; ++k) {
        std::string key = k == 0 ? "ServerIP" : "ServerIP" + std::to_string(k + 1);
        if (s.ServerIP[k][0] != '\0' && !IsUsableServer(s.ServerIP[k]))
            Add(Severity::Warning, n, key, "",
                std::string(key) + "=" + s.ServerIP[k] + " is no host name or IP address a monitor can reach",
                "Write the print server's host name or IP address.");
        else if (s.ServerIP[k][0] == '\0' && s.IPLoadBalancing[k] != 0)
            Add(Severity::Note, n, k == 0 ? "IPLoadBalancing" : "IPLoadBalancing" + std::to_string(k + 1), "",
                "a load-balancing weight for an empty " + key + " is sent but has no server", "Remove the weight, or "
                "fill " + key + ".");
    }
    if (s.ServerPort == 0 || s.ServerPort > 65535)
        Add(Severity::Warning, n, "ServerPort", "",
            "ServerPort " + std::to_string(s.ServerPort) + " is no TCP port: the monitor cannot connect",
            "Write a port from 1 to 65535 (the default is 9100).");
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

    // The scan as the installation makes it: sections 1, 2, 3 ... up to the
    // first without ServerIP, or to the last number the port names hold.
    int portCount = 0;
    int n = 1;
    int stoppedAtBound = 0;
    for (;; ++n) {
        PortSettings settings;
        if (!ReadPortSection(n, plan, &settings)) break;
        if (!FormatPortName(plan.edition, n, settings.PortName)) {
            stoppedAtBound = n;
            Add(Severity::Error, n, "", "",
                "section " + std::to_string(n) + " is past the edition's last port name: the installation ends the "
                "port configuration here with error 123",
                "Keep to sections 1 to " + std::to_string(n - 1) + ".");
            break;
        }
        PlannedPort port;
        port.section = n;
        port.name = settings.PortName;
        for (const PortField& field : kPortFields) {
            if (field.kind == PortFieldKind::Text) {
                if (std::strcmp(TextOf(&settings, field), field.textDefault) != 0)
                    port.values.emplace_back(field.key, TextOf(&settings, field));
            } else if (NumberOf(&settings, field) != field.numberDefault) {
                port.values.emplace_back(field.key, std::to_string(NumberOf(&settings, field)));
            }
        }
        report_->ports.push_back(port);
        CheckPort(n, settings);
        if (plan.edition.serverlessPortRule && settings.DisableServerCommunication) {
            RunPlan asWritten = plan;
            asWritten.edition.serverlessPortRule = false;
            PortSettings written;
            ReadPortSection(n, asWritten, &written);
            if (written.Encryption || written.RefreshIPList)
                Add(Severity::Note, n, "DisableServerCommunication", "",
                    "DisableServerCommunication is set: Encryption and RefreshIPList are sent as 0 in this edition",
                    "Nothing to do, unless the port is meant to talk to its server.");
        }
        portCount = n;
    }

    // Where the scan ended, and what it left behind.
    const int gap = n;
    const SourceSection* gapSection = nullptr;
    for (const SourceSection& section : sections_) {
        int number = 0;
        if (!section.repeated && IsPortSectionName(section.name, &number) && number == gap) gapSection = &section;
    }
    bool gapHasSecondIp = false;
    if (gapSection && !stoppedAtBound) {
        std::string keys;
        for (int k = 2; k <= kServerIpCount; ++k) {
            char ip[kPortStringSize];
            ReadPortSectionString(gap, plan, ("ServerIP" + std::to_string(k)).c_str(), "", ip, sizeof ip);
            if (ip[0] && !gapHasSecondIp) keys = "ServerIP" + std::to_string(k);
            gapHasSecondIp = gapHasSecondIp || ip[0];
        }
        if (gapHasSecondIp)
            Add(Severity::Error, gap, "ServerIP", "",
                "section " + std::to_string(gap) + " has " + keys +
                    " but no ServerIP: it is no port, and the port configuration ends here",
                "Write the first server as ServerIP.");
    }
    for (const SourceSection& section : sections_) {
        int number = 0;
        if (section.repeated) {
            Add(Severity::Warning, IsPortSectionName(section.name, &number) ? number : 0, "", "",
                "section [" + section.name + "] appears again: only its first appearance is read",
                "Merge the two sections [" + section.name + "] into one.");
            continue;
        }
        if (!IsPortSectionName(section.name, &number)) {
            std::string trimmed = section.name;
            bool numeric = !trimmed.empty() && trimmed.find_first_not_of("0123456789+- ") == std::string::npos;
            if (numeric)
                Add(Severity::Warning, 0, "", "",
                    "section [" + section.name + "] is never read: port sections are named 1, 2, 3 ... without "
                    "leading zeros or signs",
                    "Name the section by its plain number.");
            continue;
        }
        if (number <= portCount) {
            CheckSourceEntries(section, number);
            continue;
        }
        if (number == gap) {
            if (!gapHasSecondIp && !stoppedAtBound && !section.entries.empty())
                Add(Severity::Warning, number, "ServerIP", "",
                    "section " + std::to_string(number) + " has no ServerIP: it is no port and the port "
                    "configuration ends here",
                    "Write its server as ServerIP, or remove the section.");
            continue;
        }
        std::string why = stoppedAtBound ? "the port configuration ends at section " + std::to_string(stoppedAtBound)
                          : gapSection ? "section " + std::to_string(gap) + " has no ServerIP"
                                       : "section " + std::to_string(gap) + " is missing";
        Add(Severity::Error, number, "", "",
            "section " + std::to_string(number) + " is never read: " + why,
            "Number the sections 1, 2, 3 ... without a gap.");
    }
    if (sections_.empty() || report_->ports.empty())
        Add(Severity::Note, 0, "", "", "there is no port section to read: no port would be created",
            plan.sections.fromIniFile ? "Write section [1] with at least ServerIP." : "Create subkey 1 with ServerIP.");
    CheckPrinters(portCount);
}

void Checker::CheckPrinters(int portCount) {
    DWORD count = 0;
    platform::GlobalBlock list = EnumLocalPrinters(&count);
    const auto* printers = static_cast<const PRINTER_INFO_4A*>(list.get());
    auto exists = [&](const std::string& name) {
        for (DWORD i = 0; i < count; ++i)
            if (printers[i].pPrinterName && SameName(printers[i].pPrinterName, name)) return true;
        return false;
    };
    std::map<std::string, int> lastSection;  // folded printer name -> last section naming it
    for (int n = 1; n <= portCount; ++n) {
        char port[kPortNameSize];
        FormatPortName(plan_.edition, n, port);
        std::vector<std::string> inSection;
        for (int k = 1; k <= kAssignKeyCount; ++k) {
            char name[kPrinterNameSize];
            ReadPortSectionString(n, plan_, AssignKey(k).c_str(), "", name, sizeof name);
            if (name[0] == '\0') continue;
            PlannedPrinter printer{name, port, n, exists(name)};
            report_->printers.push_back(printer);
            if (!printer.exists)
                Add(Severity::Error, n, AssignKey(k), "",
                    "printer '" + printer.printer + "' does not exist on this machine: it cannot be moved onto " + port,
                    "Create the printer first, or correct its name.");
            std::string folded = name;
            for (char& c : folded) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
            for (const std::string& earlier : inSection)
                if (SameName(earlier, name))
                    Add(Severity::Warning, n, AssignKey(k), "",
                        "printer '" + printer.printer + "' is named twice in section " + std::to_string(n),
                        "Name it once.");
            auto before = lastSection.find(folded);
            if (before != lastSection.end() && before->second != n)
                Add(Severity::Warning, n, AssignKey(k), "",
                    "printer '" + printer.printer + "' is named in sections " + std::to_string(before->second) +
                        " and " + std::to_string(n) + ": it ends on " + port,
                    "Name each printer in one section only.");
            lastSection[folded] = n;
            inSection.push_back(name);
        }
    }
    if (!report_->printers.empty() && plan_.xcvServer)
        Add(Severity::Warning, 0, "", "",
            std::string("the ports are created on ") + plan_.xcvServer +
                ", but the printers named are moved on this machine, where those ports do not exist",
            "Run the installation on the print server itself to move its printers.");
}

void Checker::DescribeDataFiles() {
    const EditionProfile& edition = plan_.edition;
    if (edition.shipsClient) {
        char folder[kClientFolderInstallSize] = {};
        if (GetClientFolder(folder, sizeof folder)) {
            report_->client = std::string("installed into ") + folder + ", started and entered for autostart";
        } else {
            report_->client = "not installed: the client folder cannot be found";
            Add(Severity::Warning, 0, "", "", "the Program Files folder cannot be found: the client application, "
                "fonts and subnet file would not be installed", "Check ProgramFilesDir in the registry.");
        }
    } else {
        report_->client = "not part of the Enterprise edition";
    }

    char fontFolder[kDataFolderSize] = {};
    bool fontsKnown = GetProgramFilesSubfolder(edition.fontFolder, fontFolder, sizeof fontFolder);
    WIN32_FIND_DATAA data;
    std::memset(&data, 0, sizeof data);
    bool fontSource = platform::FindHandle(FindFirstFileA("FontFiles", &data)).valid();
    if (!fontSource) {
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
                         (fontsKnown ? fontFolder : "(the font folder cannot be found)");
    }

    char productFolder[kDataFolderSize] = {};
    bool productKnown = GetProgramFilesSubfolder(edition.productFolder, productFolder, sizeof productFolder);
    if (!platform::FindHandle(FindFirstFileA("server_subnet.csv", &data)).valid()) {
        report_->subnetFile = "none (no server_subnet.csv in the distribution)";
    } else if (!productKnown) {
        report_->subnetFile = "not placed: the product folder cannot be found";
    } else {
        char current[kCurrentDirectorySize] = {};
        DWORD n = GetCurrentDirectoryA(sizeof current, current);
        if (n > 0 && n < sizeof current && lstrcmpiA(current, productFolder) == 0) {
            report_->subnetFile = "in place already (the installer runs from the product folder)";
        } else {
            report_->subnetFile = std::string("server_subnet.csv into ") + productFolder;
            // Only the client's folder or the font folder make the product
            // folder; without either the copy has nowhere to go.
            DWORD attributes = GetFileAttributesA(productFolder);
            bool made = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
            if (!made && !edition.shipsClient && !fontSource)
                Add(Severity::Warning, 0, "", "server_subnet.csv",
                    std::string("the product folder ") + productFolder +
                        " does not exist and nothing makes it: the copy of server_subnet.csv would fail",
                    "Ship a FontFiles folder too, or create the product folder first.");
        }
    }

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
    CheckSystem();
    CheckFiles();
    CheckSections();
    if (!report_->failure.empty()) return;
    DescribeDataFiles();
}

}  // namespace

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
