// Making a fresh machine, and showing one.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "internal.h"
#include "winsim/spooler.h"

namespace winsim {
namespace {

struct OsRow {
    const char* name;
    DWORD platform, major, minor, build;
    BYTE productType;
    bool is64;
    const char* description;
};

// The version a program with this installer's manifest is told.
const OsRow kOsTable[] = {
    {"95", 1, 4, 0, 950, 0, false, "Windows 95"},
    {"98", 1, 4, 10, 1998, 0, false, "Windows 98"},
    {"me", 1, 4, 90, 3000, 0, false, "Windows Me"},
    {"nt351", 2, 3, 51, 1057, 1, false, "Windows NT 3.51"},
    {"nt4", 2, 4, 0, 1381, 1, false, "Windows NT 4.0"},
    {"2000", 2, 5, 0, 2195, 1, false, "Windows 2000"},
    {"xp", 2, 5, 1, 2600, 1, false, "Windows XP"},
    {"2003", 2, 5, 2, 3790, 3, false, "Windows Server 2003"},
    {"xp-x64", 2, 5, 2, 3790, 1, true, "64-bit Windows XP"},
    {"2003-x64", 2, 5, 2, 3790, 3, true, "64-bit Windows Server 2003"},
    {"vista-x86", 2, 6, 0, 6002, 1, false, "32-bit Windows Vista"},
    {"vista-x64", 2, 6, 0, 6002, 1, true, "64-bit Windows Vista"},
    {"7-x86", 2, 6, 1, 7601, 1, false, "32-bit Windows 7"},
    {"7-x64", 2, 6, 1, 7601, 1, true, "64-bit Windows 7"},
    {"8-x86", 2, 6, 2, 9200, 1, false, "32-bit Windows 8"},
    {"8-x64", 2, 6, 2, 9200, 1, true, "64-bit Windows 8"},
    {"8.1-x86", 2, 6, 3, 9600, 1, false, "32-bit Windows 8.1"},
    {"8.1-x64", 2, 6, 3, 9600, 1, true, "64-bit Windows 8.1"},
    {"2008-x86", 2, 6, 0, 6002, 3, false, "32-bit Windows Server 2008"},
    {"2008-x64", 2, 6, 0, 6002, 3, true, "64-bit Windows Server 2008"},
    {"2008r2-x86", 2, 6, 1, 7601, 3, false, "32-bit Windows Server 2008 R2"},
    {"2008r2-x64", 2, 6, 1, 7601, 3, true, "64-bit Windows Server 2008 R2"},
    {"2012-x86", 2, 6, 2, 9200, 3, false, "32-bit Windows Server 2012"},
    {"2012-x64", 2, 6, 2, 9200, 3, true, "64-bit Windows Server 2012"},
    {"2012r2-x86", 2, 6, 3, 9600, 3, false, "32-bit Windows Server 2012 R2"},
    {"2012r2-x64", 2, 6, 3, 9600, 3, true, "64-bit Windows Server 2012 R2"},
    // A later Windows tells a program whose manifest stops at 8.1 that it is 8.1.
    {"10-x86", 2, 6, 3, 9600, 1, false, "32-bit Windows 10 (reported as 8.1)"},
    {"10-x64", 2, 6, 3, 9600, 1, true, "64-bit Windows 10 (reported as 8.1)"},
    {"2016-x64", 2, 6, 3, 9600, 3, true, "Windows Server 2016 (reported as 2012 R2)"},
};

// A fresh Windows' win.ini.
const char kWinIni[] =
    "; for 16-bit app support\r\n[fonts]\r\n[extensions]\r\n[mci extensions]\r\n[files]\r\n[Mail]\r\nMAPI=1\r\n";

bool MakeDirs(const std::string& host) {
    std::string path;
    for (size_t i = 0; i <= host.size(); ++i) {
        if (i == host.size() || host[i] == '/') {
            path = host.substr(0, i);
            if (!path.empty() && ::mkdir(path.c_str(), 0755) == 0) NoteAdded(path, EntryKind::kFolder);
        }
    }
    return IsDirectory(host);
}

bool MakeWinDir(const std::string& winPath) { return MakeDirs(HostPath(AbsoluteWinPath(winPath))); }

bool WriteWinFile(const std::string& winPath, const std::string& content) {
    return WriteFileAtomic(HostPath(AbsoluteWinPath(winPath)), content);
}

void ListTree(const std::string& host, const std::string& label, std::string* out) {
    std::vector<std::string> names;
    ListFolder(host, &names);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); });
    for (const auto& n : names) {
        std::string child = host + "/" + n;
        struct stat st;
        if (::lstat(child.c_str(), &st) != 0) continue;
        if (S_ISLNK(st.st_mode)) {
            *out += "  " + label + "\\" + n + "  (symbolic link)\n";
        } else if (S_ISDIR(st.st_mode)) {
            *out += "  " + label + "\\" + n + "\\\n";
            ListTree(child, label + "\\" + n, out);
        } else {
            DWORD a = StoredAttributes(child);
            *out += "  " + label + "\\" + n + "  (" + std::to_string(st.st_size) + " bytes" +
                    (a & FILE_ATTRIBUTE_READONLY ? ", read-only" : "") + ")\n";
        }
    }
}

void ShowBasics(std::string* out) {
    const MachineConfig& c = Config();
    char line[256];
    std::snprintf(line, sizeof line, "Machine: %s, version %u.%u.%u, platform %u, %s, %s, code page %u\n", c.os.c_str(),
                  c.major, c.minor, c.build, c.platform, c.productType == VER_NT_WORKSTATION ? "workstation" : "server",
                  c.is64 ? "64-bit" : "32-bit", c.codePage);
    *out += line;
}

void ShowFiles(std::string* out) {
    *out += "\nFiles of the product:\n";
    std::string before = *out;
    for (const char* dir : {"C:\\Windows\\System32", "C:\\Windows\\SysWOW64"}) {
        std::string host = HostPath(dir);
        std::vector<std::string> names;
        if (DIR* d = ::opendir(host.c_str())) {
            while (dirent* e = ::readdir(d))
                if (Lower(e->d_name).find("vormo") != std::string::npos) names.push_back(e->d_name);
            ::closedir(d);
        }
        std::sort(names.begin(), names.end());
        for (const auto& n : names) *out += std::string("  ") + dir + "\\" + n + "\n";
    }
    for (const char* dir : {"C:\\Program Files\\Oxlen", "C:\\Program Files (x86)\\Oxlen"}) {
        std::string host = HostPath(dir);
        if (IsDirectory(host)) {
            *out += std::string("  ") + dir + "\\\n";
            ListTree(host, dir, out);
        }
    }
    if (*out == before) *out += "  (none)\n";
}

void ShowRegistry(std::string* out) {
    *out += "\nRegistry keys of the product:\n";
    std::string before = *out;
    const char* keys[] = {
        "SOFTWARE\\Oxlen Corporation",
        "SOFTWARE\\Wow6432Node\\Oxlen Corporation",
        "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\VormoPort",
    };
    for (const char* k : keys) *out += reg::Export("registry/HKLM", k, "HKEY_LOCAL_MACHINE");
    for (const char* run : {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                            "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"}) {
        RegValue v;
        if (reg::GetValue("registry/HKLM", run, "Vormo Client", &v))
        {
            std::string text;
            for (char c : reg::SzText(v)) {
                if (c == '"' || c == '\\') text += '\\';
                text += c;
            }
            *out += std::string("[HKEY_LOCAL_MACHINE\\") + run + "]\n\"Vormo Client\"=\"" + text + "\"\n\n";
        }
    }
    *out += reg::Export("registry/HKCU", "Volatile Environment", "HKEY_CURRENT_USER");
    if (*out == before) *out += "  (none)\n";
}

void ShowJournal(std::string* out) {
    *out += "\nEvent log:\n";
    std::string journal = ReadJournal();
    std::string events;
    size_t pos = 0;
    while (pos < journal.size()) {
        size_t end = journal.find('\n', pos);
        if (end == std::string::npos) end = journal.size();
        std::string line = journal.substr(pos, end - pos);
        if (line.rfind("event ", 0) == 0) events += "  " + line + "\n";
        pos = end + 1;
    }
    *out += events.empty() ? "  (none)\n" : events;
    *out += "\nJournal:\n";
    if (journal.empty()) *out += "  (empty)\n";
    pos = 0;
    while (pos < journal.size()) {
        size_t end = journal.find('\n', pos);
        if (end == std::string::npos) end = journal.size();
        *out += "  " + journal.substr(pos, end - pos) + "\n";
        pos = end + 1;
    }
}

}  // namespace

namespace {

// The Windows a program is told of, from a row of the table or a capture
// (each has these members).
template <class Version>
void TakeVersion(const Version& v, MachineConfig* c) {
    c->platform = v.platform;
    c->major = v.major;
    c->minor = v.minor;
    c->build = v.build;
    c->productType = v.productType;
    c->is64 = v.is64;
}

}  // namespace

bool ApplyOsName(const std::string& name, MachineConfig* c) {
    for (const auto& row : kOsTable) {
        if (!EqualNoCase(row.name, name)) continue;
        c->os = row.name;
        TakeVersion(row, c);
        return true;
    }
    return false;
}

std::vector<std::string> OsNames() {
    std::vector<std::string> names;
    for (const auto& row : kOsTable) names.push_back(std::string(row.name) + "  " + row.description);
    return names;
}

bool LayFolder(const std::string& hostSource, const std::string& winTarget) {
    if (!MakeWinDir(winTarget)) return false;
    DIR* d = ::opendir(hostSource.c_str());
    if (!d) return false;
    bool ok = true;
    while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        std::string src = hostSource + "/" + n;
        struct stat st;
        if (::stat(src.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            ok = LayFolder(src, winTarget + "\\" + n) && ok;
        } else {
            std::string content;
            ok = ReadWholeFile(src, &content) && WriteWinFile(winTarget + "\\" + n, content) && ok;
        }
    }
    ::closedir(d);
    return ok;
}

namespace {

// The version of a captured machine, named by the first Windows of the table
// that tells a program the same ("captured" when none does).
void ApplyCapturedVersion(const NewOptions& options, MachineConfig* c) {
    c->os = "captured";
    for (const auto& row : kOsTable) {
        if (row.platform == options.platform && row.major == options.major && row.minor == options.minor &&
            row.build == options.build && row.productType == options.productType && row.is64 == options.is64) {
            c->os = row.name;
            break;
        }
    }
    TakeVersion(options, c);
}

// The captured spooler: its monitors with their ports, and no printer yet.
bool LayCapturedSpooler(const std::string& hive, const std::vector<NewMonitor>& monitors) {
    bool ok = reg::CreateKey(hive, kMonitorsKey) && reg::CreateKey(hive, kPrintersKey);
    for (const auto& monitor : monitors) {
        ok = ok && reg::CreateKey(hive, MonitorKey(monitor.name));
        if (monitor.registered)
            ok = ok && reg::SetValues(hive, MonitorKey(monitor.name), {{"Driver", reg::Sz(monitor.driver)},
                                                                       {"Environment", reg::Sz(monitor.environment)}});
        for (const auto& port : monitor.ports) {
            std::string key = PortsKey(monitor.name) + "\\" + port.path;
            ok = ok && reg::CreateKey(hive, key) && (port.values.empty() || reg::SetValues(hive, key, port.values));
        }
    }
    return ok;
}

// A file as a placeholder of its size (zeros, written sparse), or a folder.
bool LayFile(const NewFile& file) {
    if (file.folder) return MakeWinDir(file.path);
    std::string abs = AbsoluteWinPath(file.path);
    std::string host = HostPath(abs);
    if (abs.empty() || !MakeWinDir(abs.substr(0, abs.rfind('\\'))) || !WriteFileAtomic(host, "") ||
        ::truncate(host.c_str(), static_cast<off_t>(file.size)) != 0)
        return false;
    if (file.readOnly) StoreAttributes(host, FILE_ATTRIBUTE_READONLY);
    return true;
}

}  // namespace

bool CreateMachine(const std::string& dir, const NewOptions& options, std::string* error) {
    struct stat st;
    if (::stat((dir + "/machine.conf").c_str(), &st) == 0) {
        *error = "a machine exists already in " + dir;
        return false;
    }
    MachineConfig c;
    if (options.captured) {
        ApplyCapturedVersion(options, &c);
    } else if (!ApplyOsName(options.os, &c)) {
        *error = "unknown Windows: " + options.os;
        return false;
    }
    c.env["COMSPEC"] = "C:\\Windows\\system32\\cmd.exe";
    c.env["SystemRoot"] = "C:\\Windows";
    c.env["windir"] = "C:\\Windows";
    c.servers = options.servers;
    if (!MakeDirs(dir + "/drive_c") || !MakeDirs(dir + "/registry/HKLM") || !MakeDirs(dir + "/registry/HKCU") ||
        !WriteConfig(dir, c) || !OpenMachine(dir)) {
        *error = "cannot write the machine folder " + dir;
        return false;
    }
    WriteFileAtomic(dir + "/journal.log", "");
    WriteFileAtomic(dir + "/faults",
                    "# Injected failures, one a line: FUNCTION ARGUMENT ERROR [COUNT], missing MODULE EXPORT,\n"
                    "# or delay CreateMutexA MILLISECONDS [COUNT]\n");
    // Windows' own files that programs look at: win.ini as a fresh Windows
    // has it (its sections are what the profile functions list for no file
    // name), the command interpreter, the local port monitor's DLL and a
    // system DLL that is no monitor.
    bool ok = MakeWinDir("C:\\Windows\\System32") && MakeWinDir("C:\\Program Files") &&
              MakeWinDir("C:\\Users\\Administrator") && WriteWinFile("C:\\Windows\\win.ini", kWinIni);
    for (const char* system : {"C:\\Windows\\System32", "C:\\Windows\\SysWOW64"}) {
        if (!c.is64 && std::strstr(system, "SysWOW64")) continue;
        ok = ok && MakeWinDir(system) &&
             WriteWinFile(std::string(system) + "\\cmd.exe", "stand-in command interpreter\n") &&
             WriteWinFile(std::string(system) + "\\localspl.dll", "stand-in for Windows' localspl.dll\n") &&
             WriteWinFile(std::string(system) + "\\version.dll", "stand-in for Windows' version.dll\n");
    }
    if (c.is64) ok = ok && MakeWinDir("C:\\Program Files (x86)");
    const std::string hklm = "registry/HKLM";
    auto software = [&](const std::string& path, bool wow) {
        return wow ? "SOFTWARE\\Wow6432Node" + path.substr(8) : path;
    };
    // A captured machine has these values as its capture says.
    std::vector<bool> views = c.is64 ? std::vector<bool>{false, true} : std::vector<bool>{false};
    if (options.captured) views.clear();
    for (bool wow : views) {
        std::string cv = software("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", wow);
        ok = ok && reg::CreateKey(hklm, cv + "\\Run") &&
             reg::SetValue(hklm, cv, "ProgramFilesDir",
                           reg::Sz(c.is64 && wow ? "C:\\Program Files (x86)" : "C:\\Program Files"));
        if (options.dotNet) {
            std::string ndp = software("SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v2.0.50727", wow);
            ok = ok && reg::CreateKey(hklm, ndp) && reg::SetValue(hklm, ndp, "Install", reg::Dword(1));
        }
    }
    ok = ok && reg::CreateKey(hklm, "SOFTWARE\\Classes") &&
         reg::CreateKey(hklm, "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application") &&
         reg::CreateKey("registry/HKCU", "Volatile Environment") &&
         (options.captured ? LayCapturedSpooler(hklm, options.monitors) : CreateSpooler(hklm));
    for (const auto& server : options.servers) {
        std::string name = server;
        while (!name.empty() && name[0] == '\\') name.erase(0, 1);
        std::string hive = "servers/" + Lower(name) + "/registry/HKLM";
        ok = ok && MakeDirs(dir + "/" + hive) && CreateSpooler(hive);
    }
    for (const auto& p : options.printers) {
        // The whole definition in one write of the key's values.
        std::string key = PrinterKey(p.name);
        ok = ok && reg::CreateKey(hklm, key) && reg::SetValues(hklm, key, NewPrinterValues(p));
    }
    for (const auto& key : options.keys)
        ok = ok && reg::CreateKey(key.hive, key.path) &&
             (key.values.empty() || reg::SetValues(key.hive, key.path, key.values));
    for (const auto& file : options.files) ok = ok && LayFile(file);
    if (!options.distSource.empty()) {
        // Our programs in the distribution: `winsim run` starts their host
        // builds for these files.
        ok = ok && LayFolder(options.distSource, "C:\\Dist") &&
             WriteWinFile("C:\\Dist\\Install.exe", "winsim: stands for the host build of Install\n") &&
             WriteWinFile("C:\\Dist\\VormoCheck.exe", "winsim: stands for the host build of VormoCheck\n");
    }
    if (!ok && error->empty()) *error = "cannot lay out the machine in " + dir;
    CloseMachine();
    return ok;
}

namespace {

// A folder that holds nothing, or is not there.
bool EmptyOrMissing(const std::string& dir, bool* exists) {
    std::vector<std::string> names;
    *exists = ListFolder(dir, &names) || errno != ENOENT;
    return names.empty() && (*exists ? IsRealFolder(dir) : true);
}

}  // namespace

Rebuild RebuildMachine(const std::string& dir, const std::string& captureFile, NewOptions options,
                       std::string* error) {
    bool exists = false;
    if (!EmptyOrMissing(dir, &exists)) {
        *error = dir + ": a capture is rebuilt into a new or empty folder only";
        return Rebuild::kRefused;
    }
    std::string text;
    if (!IsRegularFile(captureFile) || !ReadWholeFile(captureFile, &text)) {
        *error = captureFile + ": cannot read the capture";
        return Rebuild::kRefused;
    }
    if (!ReadCapture(text, &options, error)) {
        *error = captureFile + ": " + *error;
        return Rebuild::kRefused;
    }
    if (CreateMachine(dir, options, error)) return Rebuild::kMade;
    *error = captureFile + ": " + *error;
    // Only what this rebuild made is in the folder.
    std::vector<std::string> names;
    ListFolder(dir, &names);
    for (const auto& name : names) RemoveHostTree(dir + "/" + name);
    if (!exists) ::rmdir(dir.c_str());
    return Rebuild::kFailed;
}

std::string ShowMachine() {
    std::string out;
    ShowBasics(&out);
    ShowMonitors(&out);
    ShowPorts(&out);
    ShowPrinters(&out);
    ShowEventSources(&out);
    ShowFiles(&out);
    ShowRegistry(&out);
    ShowJournal(&out);
    return out;
}

}  // namespace winsim
