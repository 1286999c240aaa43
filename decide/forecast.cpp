#include "decide/forecast.h"

#include <unordered_map>
#include <unordered_set>

#include "base/dot_net.h"
#include "base/output.h"
#include "client/client_files.h"
#include "client/locations.h"
#include "decide/names.h"
#include "decide/required_files.h"
#include "platform/handles.h"
#include "portcfg/xcv_transport.h"
#include "printers/printer_bindings.h"

namespace {

const char kFontSource[] = "FontFiles";
const char kSubnetFile[] = "server_subnet.csv";

bool PlainAscii(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

bool IsFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The ports of one spooler as the run changes them, with the upper-case
// forms of their names for the lookups.
struct PortTable {
    std::vector<PortReading> ports;
    std::unordered_set<std::string> known;  // every port's name, upper-case

    explicit PortTable(const std::vector<PortReading>& read) : ports(read) { Rebuild(); }
    void Rebuild() {
        known.clear();
        for (const PortReading& p : ports) known.insert(UpperCaseForm(p.name));
    }
    // The upper-case names of the ports of one monitor.
    std::unordered_set<std::string> NamesOf(const char* monitor) const {
        std::unordered_set<std::string> names;
        for (const PortReading& p : ports)
            if (SameName(p.monitor, monitor)) names.insert(UpperCaseForm(p.name));
        return names;
    }
};

// The disconnection's test of a port-list entry: a port of the table with
// that name belongs to the monitor (IsEntryOfMonitorPort, which the
// installer applies to the table it fetches for each entry). Names whose
// upper-case forms match match; a word comparison can also match names that
// differ otherwise, so entries and ports beyond plain ASCII go through it.
struct MonitorEntryTest {
    const PortTable* table;
    const char* monitor;
    std::unordered_set<std::string> ofMonitor;  // upper-case names of the monitor's ports
    bool plainPorts = true;

    MonitorEntryTest(const PortTable& t, const char* m) : table(&t), monitor(m) {
        for (const PortReading& p : t.ports) {
            if (lstrcmpiA(p.monitor.c_str(), m) != 0) continue;
            ofMonitor.insert(UpperCaseForm(p.name));
            plainPorts = plainPorts && PlainAscii(p.name);
        }
    }
    static bool Test(const char* entry, void* context) {
        const auto* t = static_cast<const MonitorEntryTest*>(context);
        if (t->ofMonitor.count(UpperCaseForm(entry))) return true;
        if (t->ofMonitor.empty() || (t->plainPorts && PlainAscii(entry))) return false;
        for (const PortReading& p : t->table->ports)
            if (IsEntryOfMonitorPort(p.name.c_str(), p.monitor.c_str(), entry, t->monitor)) return true;
        return false;
    }
};

// The spooler takes a port list when every entry names a port it knows.
bool SpoolerTakes(const PortTable& local, const std::string& list) {
    for (const std::string& entry : PortListEntries(list))
        if (entry.empty() || entry.find('\\') != std::string::npos || !local.known.count(UpperCaseForm(entry)))
            return false;
    return true;
}

// The entries of a port list as the spooler reads them to see whether a
// port is in use: split at commas, blanks around each taken away.
std::vector<std::string> UsedPorts(const std::string& list) {
    std::vector<std::string> used;
    for (const std::string& entry : PortListEntries(list)) {
        std::string trimmed = TrimmedPortEntry(entry);
        if (!trimmed.empty()) used.push_back(trimmed);
    }
    return used;
}

class Forecaster {
public:
    Forecaster(const RunPlan& plan, const MachineReading& m, RunForecast* f)
        : plan_(plan), m_(m), f_(f), local_(m.local.ports), remote_(m.remote.ports),
          target_(::TargetIsLocal(m) ? local_ : remote_), word_(plan.edition.productWord) {}

    void Run();

private:
    bool Stop(RunStop stop, DWORD error = 0, const std::string& detail = std::string()) {
        f_->stop = stop;
        f_->stopError = error;
        f_->stopDetail = detail;
        f_->exitCode = -1;
        return false;
    }
    // An abort point of the installation: it stops unless errors are ignored.
    bool AbortPoint(RunStop stop, DWORD error = 0, const std::string& detail = std::string()) {
        return plan_.ignoreErrors ? true : Stop(stop, error, detail);
    }
    bool TargetIsLocal() const { return ::TargetIsLocal(m_); }
    bool MonitorOnTarget(bool withDll) const;
    void Disconnect();
    bool Remove();
    bool CopyFiles();
    bool Register();
    void ScanSections();
    void WritePorts();
    void Assign();
    void ClientAndDataFiles();
    // The port of that name among the forecast's ports, added when it is new.
    PortForecast* TargetPort(const std::string& name);

    const RunPlan& plan_;
    const MachineReading& m_;
    RunForecast* f_;
    PortTable local_, remote_;
    PortTable& target_;  // the spooler the monitor is removed from and registered with
    const char* word_;
    std::unordered_map<std::string, size_t> portIndex_;  // f_->ports by upper-case name
    bool registeredOnTarget_ = false;  // the monitor is registered there (as the run goes)
    bool dllPresent_ = false;
};

bool Forecaster::MonitorOnTarget(bool withDll) const {
    const SpoolerReading& spooler = TargetSpooler(m_);
    for (const MonitorReading& monitor : spooler.monitors)
        if (SameName(monitor.name, word_)) return true;
    if (withDll) return false;
    // A monitor's key that holds ports is removed with them, DLL or not.
    for (const PortReading& port : target_.ports)
        if (SameName(port.monitor, word_)) return true;
    return false;
}

PortForecast* Forecaster::TargetPort(const std::string& name) {
    auto it = portIndex_.find(UpperCaseForm(name));
    if (it != portIndex_.end()) return &f_->ports[it->second];
    portIndex_.emplace(UpperCaseForm(name), f_->ports.size());
    f_->ports.push_back(PortForecast());
    f_->ports.back().name = name;
    return &f_->ports.back();
}

void Forecaster::Disconnect() {
    MonitorEntryTest test(local_, word_);
    for (PrinterForecast& printer : f_->printers) {
        if (!IsDisconnectedPrinter(printer.attributes) || printer.name.empty()) continue;
        std::vector<char> list(printer.after.begin(), printer.after.end());
        list.push_back('\0');
        const char* written = DisconnectionPortList(list.data(), &MonitorEntryTest::Test, &test);
        if (!written) continue;
        printer.disconnection = written;
        printer.disconnectionRefused = !SpoolerTakes(local_, written);
        if (!printer.disconnectionRefused) printer.after = written;
    }
}

bool Forecaster::Remove() {
    f_->removalTried = true;
    if (f_->spoolerError) {
        f_->removal = RemovalOf(FALSE, f_->spoolerError);
    } else if (!MonitorOnTarget(false)) {
        f_->removal = RemovalOf(FALSE, ERROR_UNKNOWN_PRINT_MONITOR);
    } else {
        // The spooler refuses while a printer of its own uses a port of the
        // monitor; the print server's printers are not read.
        bool inUse = false;
        if (TargetIsLocal()) {
            std::unordered_set<std::string> ports = target_.NamesOf(word_);
            for (PrinterForecast& printer : f_->printers) {
                for (const std::string& used : UsedPorts(printer.after))
                    printer.keepsMonitorInUse = printer.keepsMonitorInUse || ports.count(UpperCaseForm(used)) > 0;
                inUse = inUse || printer.keepsMonitorInUse;
            }
        }
        f_->removal = inUse ? RemovalOf(FALSE, ERROR_PRINT_MONITOR_IN_USE) : RemovalOf(TRUE, 0);
    }
    if (f_->removal.outcome == MonitorRemoved) {
        registeredOnTarget_ = false;
        std::vector<PortReading> kept;
        for (const PortReading& port : target_.ports)
            if (!SameName(port.monitor, word_)) kept.push_back(port);
        target_.ports = kept;
        target_.Rebuild();
        for (PortForecast& port : f_->ports) port.exists = false;
    }
    return RemovalLetsRunGoOn(f_->removal);
}

bool Forecaster::CopyFiles() {
    MonitorFileSet set = GetMonitorFileSet(plan_.edition, f_->version.platform);
    for (const char* name : {set.monitorDll, set.uiDll, set.cairoDll}) {
        if (!name) continue;
        // The deletion before takes away a file (read-only or not), never a folder.
        bool copied = IsReadable(name) && !IsFolder(SystemFileAttributes(m_, name)) && !m_.systemDirectory.empty();
        if (name == set.monitorDll) dllPresent_ = copied;
        if (copied) continue;
        f_->failedCopies.push_back(name);
        if (!AbortPoint(RunStop::FileCopy, 0, name)) return false;
    }
    return true;
}

bool Forecaster::Register() {
    f_->registrationTried = true;
    DWORD error = 0;
    if (f_->spoolerError) {
        error = f_->spoolerError;
    } else if (registeredOnTarget_) {
        error = ERROR_PRINT_MONITOR_ALREADY_INSTALLED;
    } else if (f_->version.platform == Unsupported) {
        error = ERROR_INVALID_PARAMETER;  // a record without a name
    } else if (TargetIsLocal() && !dllPresent_) {
        error = ERROR_INVALID_PARAMETER;  // the spooler cannot load the DLL
    }
    // The print server loads the DLL from its own system directory, which
    // cannot be looked into from here; a monitor registered there now has it.
    f_->dllUnseen = !TargetIsLocal() && !f_->spoolerError && !MonitorOnTarget(true);
    f_->registrationError = error;
    if (error == 0) registeredOnTarget_ = true;
    return error == 0 || AbortPoint(RunStop::Registration, error);
}

void Forecaster::WritePorts() {
    f_->portStepReached = true;
    const char* xcvServer = plan_.xcvServer;
    size_t nameLength = (xcvServer ? std::string(xcvServer).size() + 1 : 0) + sizeof ",XcvMonitor " - 1 +
                        std::string(word_).size();
    f_->serverNameTooLong = xcvServer && nameLength >= kXcvNameSize;
    if (f_->serverNameTooLong) f_->channelError = ERROR_INVALID_NAME;
    else if (f_->spoolerError) f_->channelError = f_->spoolerError;
    else if (!registeredOnTarget_) f_->channelError = ERROR_UNKNOWN_PORT;
    std::unordered_set<std::string> ofMonitor = target_.NamesOf(word_);
    for (const SectionForecast& section : f_->sections) {
        if (f_->channelError) f_->portError = f_->channelError;
        else if (ofMonitor.count(UpperCaseForm(section.port))) f_->portError = ERROR_ALREADY_EXISTS;
        if (f_->portError) {
            f_->portErrorSection = section.number;
            return;
        }
        ofMonitor.insert(UpperCaseForm(section.port));
        target_.ports.push_back(PortReading{section.port, word_, false, 0, {}});
        target_.known.insert(UpperCaseForm(section.port));
        PortForecast* port = TargetPort(section.port);
        port->section = section.number;
        port->exists = true;
        port->after = section.fields;
        f_->portCount = section.number;
    }
    if (f_->scanEnd == SectionScan::PastLastName) {
        f_->portError = ERROR_INVALID_NAME;
        f_->portErrorSection = f_->scanEndSection;
    }
}

void Forecaster::ScanSections() {
    for (int n = 1;; ++n) {
        PortSettings settings;
        f_->scanEnd = ScanPortSection(n, plan_, &settings);
        f_->scanEndSection = n;
        if (f_->scanEnd != SectionScan::Port) return;
        SectionForecast section;
        section.number = n;
        section.port = settings.PortName;
        section.fields = RecordFieldsOf(settings);
        for (int k = 1; k <= kAssignKeyCount; ++k) {
            char name[kPrinterNameSize];
            ReadAssignedPrinter(n, k, plan_, name);
            if (name[0]) section.printers.emplace_back(k, name);
        }
        f_->sections.push_back(std::move(section));
    }
}

void Forecaster::Assign() {
    // f_->printers are the machine's, in its order.
    PrinterLookup lookup(m_.printers);
    for (const SectionForecast& section : f_->sections) {
        if (section.number > f_->portCount) return;
        bool taken = local_.known.count(UpperCaseForm(section.port)) > 0;
        for (const auto& key : section.printers) {
            AssignmentForecast a;
            a.section = section.number;
            a.key = key.first;
            a.name = key.second;
            a.port = section.port;
            a.printer = lookup.Find(a.name);
            a.taken = a.printer >= 0 && taken;
            if (a.taken) {
                f_->printers[static_cast<size_t>(a.printer)].after = a.port;
                f_->printers[static_cast<size_t>(a.printer)].assignedBy.push_back(section.number);
            }
            f_->assignments.push_back(a);
        }
    }
}

void Forecaster::ClientAndDataFiles() {
    const EditionProfile& edition = plan_.edition;
    bool productMade = false;
    char product[kDataFolderSize] = {}, font[kDataFolderSize] = {};
    bool productKnown = GetProgramFilesSubfolder(edition.productFolder, product, sizeof product);
    bool fontKnown = GetProgramFilesSubfolder(edition.fontFolder, font, sizeof font);
    f_->productFolder = product;
    f_->fontFolder = font;
    if (edition.shipsClient && m_.clientFolderKnown) {
        std::string blocked = BlockedFolder(m_.clientFolder);
        f_->clientFolderBlocked = !blocked.empty();
        if (f_->clientFolderBlocked) f_->blockingPath = blocked;
        productMade = !f_->clientFolderBlocked;
    }
    if (!plan_.copyFiles) return;
    WIN32_FIND_DATAA data;
    bool fonts = platform::FindHandle(FindFirstFileA(kFontSource, &data)).valid();
    if (fonts && fontKnown) {
        std::string blocked = BlockedFolder(font);
        f_->fontFolderBlocked = !blocked.empty();
        if (f_->fontFolderBlocked && f_->blockingPath.empty()) f_->blockingPath = blocked;
        productMade = productMade || !f_->fontFolderBlocked;
    }
    f_->subnetShipped = platform::FindHandle(FindFirstFileA(kSubnetFile, &data)).valid();
    if (!f_->subnetShipped || !productKnown) {
        f_->subnetCopyFails = f_->subnetShipped;
        return;
    }
    f_->subnetInPlace = RunsFromFolder(product);
    f_->subnetCopyFails = !f_->subnetInPlace && !productMade && !IsFolder(GetFileAttributesA(product));
}

void Forecaster::Run() {
    f_->uninstall = plan_.uninstall;
    for (const PrinterReading& p : m_.printers) {
        PrinterForecast printer;
        printer.name = p.name;
        printer.attributes = p.attributes;
        printer.before = printer.after = p.ports;
        f_->printers.push_back(printer);
    }
    f_->spooler = m_.server;
    f_->spoolerError = TargetSpooler(m_).error;
    for (const PortReading& p : target_.ports) {
        if (!SameName(p.monitor, word_)) continue;
        PortForecast& port = *TargetPort(p.name);
        port.existed = port.exists = true;
        port.recordKnown = p.recordRead && p.recordSize == kPortRecordSize;
        port.before = port.after = p.fields;
    }
    registeredOnTarget_ = MonitorOnTarget(true);
    // What the port sections make, whether or not the run gets to them.
    if (!plan_.uninstall) ScanSections();

    // Before the sequence: the install log, then the .NET Framework.
    char buffer[kDefaultLogPathSize];
    const char* log = InstallLogPath(plan_.logFilePath, buffer);
    f_->logPath = log ? log : "";
    f_->logOpens = log && InstallLogOpens(log);
    if (!f_->logOpens) {
        Stop(RunStop::LogUnopenable);
        return;
    }
    f_->dotNetMissing = plan_.edition.needsDotNet && !IsDotNet20Installed();
    if (f_->dotNetMissing) {
        Stop(RunStop::DotNetMissing);
        return;
    }
    f_->version = ReadWindowsVersion();
    bool unsupported = f_->version.platform == Unsupported;

    if (plan_.uninstall) {
        if (unsupported) {
            Stop(RunStop::Unsupported);
            return;
        }
        Disconnect();
        if (!Remove()) Stop(RunStop::Removal, f_->removal.error);
        return;
    }

    if (unsupported && !AbortPoint(RunStop::Unsupported)) return;
    if (plan_.copyFiles) {
        RequiredFile files[kMaxRequiredFiles];
        size_t count = GetRequiredFiles(plan_, f_->version.platform, files);
        for (size_t i = 0; i < count; ++i) {
            if (IsReadable(files[i].path)) continue;
            f_->missingFiles.push_back(files[i].nameInMessage);
            if (!AbortPoint(RunStop::FileMissing, 0, files[i].nameInMessage)) return;
        }
    }
    Disconnect();
    if (!Remove() && !AbortPoint(RunStop::Removal, f_->removal.error)) return;
    if (plan_.copyFiles) {
        if (!CopyFiles()) return;
    } else {
        MonitorFileSet set = GetMonitorFileSet(plan_.edition, f_->version.platform);
        DWORD dll = set.monitorDll ? SystemFileAttributes(m_, set.monitorDll) : INVALID_FILE_ATTRIBUTES;
        dllPresent_ = dll != INVALID_FILE_ATTRIBUTES && !IsFolder(dll);
    }
    if (!Register()) return;
    WritePorts();
    Assign();
    ClientAndDataFiles();
}

}  // namespace

RunForecast ForecastRun(const RunPlan& plan, const MachineReading& machine) {
    RunForecast forecast;
    Forecaster(plan, machine, &forecast).Run();
    return forecast;
}

bool InstallLogOpens(const char* path) {
    if (!path || !*path) return false;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES) return !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
    // A new file: its folder must be there.
    std::string folder = path;
    size_t slash = folder.find_last_of("\\/");
    if (slash == std::string::npos) return true;  // the current directory
    folder.resize(slash == 2 && folder[1] == ':' ? 3 : slash);
    return IsFolder(GetFileAttributesA(folder.c_str()));
}

std::string BlockedFolder(const std::string& path) {
    // CreateDirectoryPath makes every level below the drive root.
    for (size_t at = path.find('\\', 3);; at = path.find('\\', at + 1)) {
        std::string level = path.substr(0, at);
        DWORD attributes = GetFileAttributesA(level.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return level;
        if (at == std::string::npos) return std::string();
    }
}

PrinterLookup::PrinterLookup(const std::vector<PrinterReading>& printers) {
    for (size_t i = 0; i < printers.size(); ++i) byName_.emplace(UpperCaseForm(printers[i].name), static_cast<int>(i));
}

int PrinterLookup::Find(const std::string& name) const {
    if (name.find_first_of("\\,") != std::string::npos) return -1;
    auto it = byName_.find(UpperCaseForm(name));
    return it == byName_.end() ? -1 : it->second;
}

std::vector<std::string> PortListEntries(const std::string& list) {
    std::vector<std::string> entries;
    size_t start = 0;
    while (true) {
        size_t comma = list.find(',', start);
        entries.push_back(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return entries;
        start = comma + 1;
    }
}

std::string TrimmedPortEntry(const std::string& entry) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    size_t b = 0, e = entry.size();
    while (b < e && blank(entry[b])) ++b;
    while (e > b && blank(entry[e - 1])) --e;
    return entry.substr(b, e - b);
}
