// The machine: its description, faults, journal and handle table.
#include "winsim/machine.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <set>
#include <sstream>

#include "internal.h"

namespace winsim {
namespace {

struct State {
    bool open = false;
    std::string dir;
    int fd = -1;  // the machine folder (O_PATH), for paths that may pass no link below it
    MachineConfig config;
    std::vector<FaultRule> faults;
    std::vector<std::pair<std::string, std::string>> missing;
};

State& S() {
    static State state;
    return state;
}

std::map<HANDLE, std::unique_ptr<Object>>& Handles() {
    static std::map<HANDLE, std::unique_ptr<Object>> handles;
    return handles;
}

uintptr_t& NextHandle() {
    static uintptr_t next = 0x1000;
    return next;
}

std::string JoinList(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& item : items) {
        if (!out.empty()) out += ",";
        out += item;
    }
    return out;
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> out;
    std::string item;
    std::istringstream in(text);
    while (std::getline(in, item, ','))
        if (!Trim(item).empty()) out.push_back(Trim(item));
    return out;
}

}  // namespace

ProcessState& Process() {
    static ProcessState state;
    return state;
}

// ---- names and text -----------------------------------------------------------

namespace {

// The letters of Windows-1252 outside the two runs of Latin-1 that have a
// partner of the other case: {upper, lower}.
const unsigned char kOtherPairs[][2] = {{0x8A, 0x9A}, {0x8C, 0x9C}, {0x8E, 0x9E}, {0x9F, 0xFF}};

bool InUpperRun(unsigned char u) { return (u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7); }
bool InLowerRun(unsigned char u) { return (u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7); }

}  // namespace

char LowerChar(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    if (InUpperRun(u)) return static_cast<char>(u + 0x20);
    for (const auto& pair : kOtherPairs)
        if (u == pair[0]) return static_cast<char>(pair[1]);
    return c;
}

char UpperChar(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    if (InLowerRun(u)) return static_cast<char>(u - 0x20);
    for (const auto& pair : kOtherPairs)
        if (u == pair[1]) return static_cast<char>(pair[0]);
    return c;
}

std::string Lower(const std::string& s) {
    std::string out = s;
    for (auto& c : out) c = LowerChar(c);
    return out;
}

std::string Upper(const std::string& s) {
    std::string out = s;
    for (auto& c : out) c = UpperChar(c);
    return out;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerChar(a[i]) != LowerChar(b[i])) return false;
    return true;
}

namespace {

void SortByFoldedForm(std::vector<std::string>* names, std::string (*fold)(const std::string&)) {
    std::vector<std::pair<std::u16string, std::string>> keyed;
    keyed.reserve(names->size());
    for (auto& name : *names) keyed.emplace_back(AnsiToUtf16(fold(name), Config().codePage), std::move(name));
    std::sort(keyed.begin(), keyed.end());
    names->clear();
    for (auto& k : keyed) names->push_back(std::move(k.second));
}

}  // namespace

void SortAsListing(std::vector<std::string>* names) { SortByFoldedForm(names, Upper); }

void SortAsSubkeys(std::vector<std::string>* names) { SortByFoldedForm(names, Lower); }

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
    return s.substr(b, e - b);
}

// ---- machine description ----------------------------------------------------

namespace {

// A number as machine.conf and the faults file write it: decimal, or
// hexadecimal after "0x"; nothing else on the word, and at most max.
bool ParseNumber(const std::string& text, unsigned long long max, unsigned long long* value) {
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 16) return false;
    unsigned long long v = 0;
    for (char c : digits) {
        unsigned d;
        if (c >= '0' && c <= '9') d = static_cast<unsigned>(c - '0');
        else if (hex && c >= 'a' && c <= 'f') d = static_cast<unsigned>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F') d = static_cast<unsigned>(c - 'A' + 10);
        else return false;
        v = v * (hex ? 16 : 10) + d;
        if (v > max) return false;
    }
    *value = v;
    return true;
}

// Applies one KEY=VALUE of machine.conf; false, with the reason, when the
// key is unknown or the value does not parse.
bool ApplyConfigValue(const std::string& k, const std::string& v, MachineConfig* c, std::string* why) {
    unsigned long long n = 0;
    auto number = [&](unsigned long long max) {
        if (ParseNumber(v, max, &n)) return true;
        *why = "not a number of at most " + std::to_string(max);
        return false;
    };
    if (k == "os") c->os = v;
    else if (k == "computer") c->computerName = v;
    else if (k == "servers") c->servers = SplitList(v);
    else if (k.rfind("env.", 0) == 0 && k.size() > 4) c->env[k.substr(4)] = v;
    else if (k == "major" && number(0xFFFFFFFFu)) c->major = static_cast<DWORD>(n);
    else if (k == "minor" && number(0xFFFFFFFFu)) c->minor = static_cast<DWORD>(n);
    else if (k == "build" && number(0xFFFFFFFFu)) c->build = static_cast<DWORD>(n);
    else if (k == "platform" && number(0xFFFFFFFFu)) c->platform = static_cast<DWORD>(n);
    else if (k == "stopper_exit_code" && number(0xFFFFFFFFu)) c->stopperExitCode = static_cast<DWORD>(n);
    else if (k == "product_type" && number(0xFF)) c->productType = static_cast<BYTE>(n);
    else if (k == "64bit" && v != "0" && v != "1") *why = "not 0 or 1";
    else if (k == "64bit") c->is64 = v == "1";
    else if (k == "codepage" && number(0xFFFFFFFFu) && n != 1252) *why = "winsim models code page 1252 only";
    else if (k == "codepage" && n == 1252) c->codePage = 1252;
    else if (why->empty()) *why = "unknown key";
    return why->empty();
}

}  // namespace

// ---- winsim's own files --------------------------------------------------------

namespace {

// The files and folders of the machine folder that are winsim's own; the
// files in mutex/ are its own too.
const struct OwnFile {
    const char* name;
    bool folder;
} kOwnFiles[] = {{"machine.conf", false}, {"faults", false},  {"journal.log", false}, {"changes", false},
                 {"attributes", false},   {"mutex", true},    {"staging", true}};

// False, with the reason, when a path of winsim's own is a link or not what
// it should be; a path that is not there is made when it is needed.
bool CheckOwnFile(const std::string& path, bool folder, std::string* error) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return true;
    const char* why = nullptr;
    if (S_ISLNK(st.st_mode)) why = "a link in place of winsim's own file: never followed (remove it)";
    else if (folder && !S_ISDIR(st.st_mode)) why = "not a folder, where winsim keeps a folder of its own (remove it)";
    else if (!folder && !S_ISREG(st.st_mode)) why = "not a file, where winsim keeps a file of its own (remove it)";
    if (!why) return true;
    if (error) *error = path + ": " + why;
    return false;
}

}  // namespace

bool CheckOwnFiles(const std::string& dir, std::string* error) {
    for (const auto& own : kOwnFiles)
        if (!CheckOwnFile(dir + "/" + own.name, own.folder, error)) return false;
    std::vector<std::string> mutexes;
    ListFolder(dir + "/mutex", &mutexes);
    std::sort(mutexes.begin(), mutexes.end());
    for (const auto& name : mutexes)
        if (!CheckOwnFile(dir + "/mutex/" + name, false, error)) return false;
    return true;
}

bool ReadToEnd(int fd, size_t size, std::string* content) {
    content->clear();
    size_t done = 0;
    for (;;) {
        if (done == content->size()) content->resize(done + std::max<size_t>(size + 1 - done, 65536));
        ssize_t n = ::read(fd, &(*content)[done], content->size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            content->resize(done);
            return n == 0;
        }
        done += static_cast<size_t>(n);
    }
}

bool ReadOwnFile(const std::string& hostPath, std::string* content) {
    // Never through a link, and never blocked by a pipe in the file's place.
    content->clear();
    int fd = ::open(hostPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ReadToEnd(fd, static_cast<size_t>(st.st_size), content);
    ::close(fd);
    return ok;
}

bool LoadConfig(const std::string& dir, MachineConfig* c, std::string* error) {
    std::string text, file = dir + "/machine.conf", why;
    if (!CheckOwnFiles(dir, error)) return false;
    if (!ReadOwnFile(file, &text)) {
        if (error) *error = "no machine in " + dir;
        return false;
    }
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        line = Trim(line);
        if (line.empty() || line[0] == '#') continue;
        auto eq = line.find('=');
        if (eq == std::string::npos) why = "not KEY=VALUE";
        else ApplyConfigValue(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)), c, &why);
        if (!why.empty()) {
            if (error) *error = file + ":" + std::to_string(number) + ": " + line + ": " + why;
            return false;
        }
    }
    return true;
}

bool WriteConfig(const std::string& dir, const MachineConfig& c) {
    std::ostringstream out;
    out << "# winsim machine description\n";
    out << "os=" << c.os << "\n";
    out << "major=" << c.major << "\nminor=" << c.minor << "\nbuild=" << c.build << "\n";
    out << "platform=" << c.platform << "\nproduct_type=" << static_cast<unsigned>(c.productType) << "\n";
    out << "64bit=" << (c.is64 ? 1 : 0) << "\n";
    out << "codepage=" << c.codePage << "\n";
    out << "computer=" << c.computerName << "\n";
    out << "stopper_exit_code=" << c.stopperExitCode << "\n";
    out << "servers=" << JoinList(c.servers) << "\n";
    for (const auto& kv : c.env) out << "env." << kv.first << "=" << kv.second << "\n";
    return WriteFileAtomic(dir + "/machine.conf", out.str());
}

bool OpenMachine(const std::string& dir, std::string* error) {
    MachineConfig config;
    if (!LoadConfig(dir, &config, error)) return false;
    std::vector<FaultRule> faults;
    std::vector<std::pair<std::string, std::string>> missing;
    std::string text, file = dir + "/faults";
    if (ReadOwnFile(file, &text)) {
        std::istringstream in(text);
        std::string line, why;
        for (int number = 1; std::getline(in, line); ++number) {
            if (!ParseFaultLine(line, &faults, &missing, &why)) {
                if (error) *error = file + ":" + std::to_string(number) + ": " + why;
                return false;
            }
        }
    }
    State& s = S();
    if (s.open && s.dir != dir) ReleaseStaging();
    // What a process that is gone left half done goes before anything is read.
    CleanStaging(dir);
    if (s.fd >= 0) ::close(s.fd);
    s.fd = ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    s.open = true;
    s.dir = dir;
    s.config = config;
    s.faults = faults;
    s.missing = missing;
    Process() = ProcessState();
    AttachChangeCounter(dir);
    return true;
}

bool OpenMachine(const std::string& dir) {
    std::string error;
    if (OpenMachine(dir, &error)) return true;
    std::fprintf(stderr, "winsim: %s\n", error.c_str());
    return false;
}

void CloseMachine() {
    State& s = S();
    ReleaseStaging();
    if (s.fd >= 0) ::close(s.fd);
    s.fd = -1;
    s.open = false;
    s.dir.clear();
    s.faults.clear();
    s.missing.clear();
    Process() = ProcessState();
    DetachChangeCounter();
}

bool MachineIsOpen() { return S().open; }
const std::string& MachineDir() { return S().dir; }
MachineConfig& Config() { return S().config; }
bool SaveConfig() { return WriteConfig(S().dir, S().config); }

// ---- faults -----------------------------------------------------------------

namespace {

// Every function of winsim that consults the fault rules.
const char* const kFaultPoints[] = {
    "AddMonitorA", "CopyFileA", "CreateDirectoryA", "CreateFileA", "CreateMutexA", "CreateProcessA",
    "DeleteFileA", "DeleteMonitorA", "EnumMonitorsA", "EnumPortsA", "EnumPrintersA", "GetPrinterA", "GetPrivateProfileStringA",
    "GetVersionExA", "GetVersionExA:ex", "GlobalAlloc", "LoadLibraryA", "OpenPrinterA", "OpenPrinterW",
    "RegCreateKeyExA", "RegDeleteKeyA", "RegDeleteValueA", "RegOpenKeyExA", "RegOpenKeyExA:KEY_WOW64_32KEY",
    "RegOpenKeyExA:KEY_WOW64_64KEY", "RegQueryValueExA", "RegSetValueExA", "RegisterEventSourceA",
    "RemoveDirectoryA", "ReportEventA", "SetFileAttributesA", "SetPrinterA", "Xcv:AddPort", "Xcv:DeletePort",
    "Xcv:SetPortData", "XcvDataW", "delay:CreateMutexA",
};

bool KnownFaultPoint(const std::string& function) {
    static const std::set<std::string> known(std::begin(kFaultPoints), std::end(kFaultPoints));
    return known.count(function) != 0;
}

// Why a function name is no fault point, with the one it may have meant.
std::string UnknownFunction(const std::string& function) {
    std::string text = "unknown function " + function;
    for (const char* known : kFaultPoints) {
        std::string k = known;
        if (EqualNoCase(k, function) || (k.size() > function.size() && k.compare(0, function.size(), function) == 0))
            return text + " (" + k + "?)";
    }
    return text;
}

// The words of a rule; an argument in double quotes may hold blanks.
bool SplitRule(const std::string& line, std::vector<std::string>* words) {
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size()) break;
        size_t end;
        if (line[i] == '"') {
            end = line.find('"', i + 1);
            if (end == std::string::npos) return false;
            words->push_back(line.substr(i + 1, end - i - 1));
            i = end + 1;
        } else {
            end = line.find_first_of(" \t", i);
            if (end == std::string::npos) end = line.size();
            words->push_back(line.substr(i, end - i));
            i = end;
        }
    }
    return true;
}

}  // namespace

std::vector<std::string> FaultPoints() { return std::vector<std::string>(std::begin(kFaultPoints), std::end(kFaultPoints)); }

bool ParseFaultLine(const std::string& raw, std::vector<FaultRule>* rules,
                    std::vector<std::pair<std::string, std::string>>* missing, std::string* error) {
    // A rule is one line of text: a line break in it would make the faults
    // file hold a line that is no rule. A tab separates words like a blank;
    // a CR at the end is the line end of a file written with CR LF.
    for (size_t i = 0; i < raw.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(raw[i]);
        if ((c < 0x20 && c != '\t' && !(c == '\r' && i + 1 == raw.size())) || c == 0x7F) {
            char code[8];
            std::snprintf(code, sizeof code, "0x%02X", c);
            *error = std::string("a control character (") + code + ") in the rule: a rule is one line of text";
            return false;
        }
    }
    std::string line = Trim(raw);
    if (line.empty() || line[0] == '#') return true;
    std::vector<std::string> words;
    if (!SplitRule(line, &words)) {
        *error = "a quote without its end: " + line;
        return false;
    }
    if (words[0] == "missing") {
        std::string module = words.size() == 3 ? ModuleName(words[1]) : std::string();
        if (words.size() != 3) *error = "expected: missing MODULE EXPORT";
        else if (words[2] == kMonitorEntry) missing->emplace_back(module, words[2]);
        else if (!KnownModule(module)) *error = "unknown module " + words[1];
        else if (!KnownExport(module, words[2])) *error = "no export " + words[2] + " that GetProcAddress gives out";
        else missing->emplace_back(module, words[2]);
        return error->empty();
    }
    FaultRule rule;
    bool delay = words[0] == "delay";
    if (words.size() < 3 || words.size() > 4) {
        *error = delay ? "expected: delay CreateMutexA MILLISECONDS [COUNT]" : "expected: FUNCTION ARGUMENT ERROR [COUNT]";
        return false;
    }
    if (delay) {
        if (words[1] != "CreateMutexA") {
            *error = "only CreateMutexA can be delayed, not " + words[1];
            return false;
        }
        rule.function = "delay:CreateMutexA";
        rule.argument = "*";
    } else {
        if (!KnownFaultPoint(words[0])) {
            *error = UnknownFunction(words[0]);
            return false;
        }
        rule.function = words[0];
        rule.argument = words[1];
    }
    unsigned long long number = 0;
    if (!ParseNumber(words[2], 0xFFFFFFFFu, &number)) {
        *error = (delay ? "not a number of milliseconds: " : "not an error code: ") + words[2];
        return false;
    }
    rule.error = static_cast<DWORD>(number);
    if (words.size() == 4) {
        if (!ParseNumber(words[3], 0x7FFFFFFF, &number) || number == 0) {
            *error = "not a count of at least 1: " + words[3];
            return false;
        }
        rule.remaining = static_cast<long>(number);
    }
    rules->push_back(rule);
    return true;
}

void AddFault(const std::string& function, const std::string& argument, DWORD error, long count) {
    if (!KnownFaultPoint(function) || (count < 1 && count != -1)) {
        std::fprintf(stderr, "winsim: AddFault(%s, %s, %lu, %ld): %s\n", function.c_str(), argument.c_str(),
                     static_cast<unsigned long>(error), count,
                     KnownFaultPoint(function) ? "a count must be at least 1, or -1 for every call"
                                               : UnknownFunction(function).c_str());
        std::abort();
    }
    FaultRule rule;
    rule.function = function;
    rule.argument = argument;
    rule.error = error;
    rule.remaining = count;
    S().faults.push_back(rule);
}

void ClearFaults() {
    S().faults.clear();
    S().missing.clear();
}

bool AnyFaultRules() { return !S().faults.empty(); }

bool TakeFault(const std::string& function, const std::string& argument, DWORD* error) {
    if (!KnownFaultPoint(function)) {
        // A fault point missing from the table could never be given a rule.
        std::fprintf(stderr, "winsim: %s consults the fault rules but is not a fault point\n", function.c_str());
        std::abort();
    }
    for (auto& rule : S().faults) {
        if (rule.function != function) continue;
        if (rule.argument != "*" && !EqualNoCase(rule.argument, argument)) continue;
        if (rule.remaining == 0) continue;
        if (rule.remaining > 0) --rule.remaining;
        if (error) *error = rule.error;
        return true;
    }
    return false;
}

bool ExportMissing(const std::string& module, const std::string& name) {
    std::string m = ModuleName(module);
    for (const auto& rule : S().missing)
        if (rule.first == m && rule.second == name) return true;
    return false;
}

// ---- journal ----------------------------------------------------------------

void Journal(const std::string& line) {
    if (!S().open) return;
    std::string text = line + "\n", path = S().dir + "/journal.log";
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        // A link put in its place while the machine is open is never followed.
        static bool said = false;
        if (!said) std::fprintf(stderr, "winsim: %s: %s: the journal is not written\n", path.c_str(), std::strerror(errno));
        said = true;
        return;
    }
    ssize_t ignored = ::write(fd, text.data(), text.size());
    (void)ignored;
    ::close(fd);
}

std::string ReadJournal() {
    std::string text;
    ReadOwnFile(S().dir + "/journal.log", &text);
    return text;
}

// ---- handles ----------------------------------------------------------------

HANDLE NewHandle(std::unique_ptr<Object> object) {
    uintptr_t value = NextHandle();
    NextHandle() += 4;
    HANDLE h = reinterpret_cast<HANDLE>(value);
    Handles()[h] = std::move(object);
    return h;
}

Object* LookupHandle(HANDLE h, const char* kind) {
    auto it = Handles().find(h);
    if (it == Handles().end()) return nullptr;
    if (std::strcmp(it->second->kind, kind) != 0) return nullptr;
    return it->second.get();
}

bool ReleaseHandle(HANDLE h, const char* kind) {
    auto it = Handles().find(h);
    if (it == Handles().end() || std::strcmp(it->second->kind, kind) != 0) return false;
    Handles().erase(it);
    return true;
}

size_t OpenHandleCount() { return Handles().size(); }

std::vector<std::string> OpenHandleKinds() {
    std::vector<std::string> kinds;
    for (const auto& kv : Handles()) kinds.emplace_back(kv.second->kind);
    return kinds;
}

// ---- files ------------------------------------------------------------------

int OpenMachineFolder(const std::string& host) {
    const State& s = S();
    if (!s.open || s.fd < 0 || host.size() <= s.dir.size() + 1 || host.compare(0, s.dir.size(), s.dir) != 0 ||
        host[s.dir.size()] != '/')
        return -1;
    std::string relative = host.substr(s.dir.size() + 1);
    struct open_how how;
    std::memset(&how, 0, sizeof how);
    how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH;
    long fd = ::syscall(SYS_openat2, s.fd, relative.c_str(), &how, sizeof how);
    if (fd >= 0 || (errno != ENOSYS && errno != E2BIG)) return static_cast<int>(fd);
    // A kernel without openat2: the same, one folder at a time.
    int at = ::dup(s.fd);
    for (const auto& part : SplitPath(relative, true)) {
        int next = at < 0 || part == ".." ? -1 : ::openat(at, part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (at >= 0) ::close(at);
        at = next;
    }
    return at;
}

bool WriteFileAtomic(const std::string& hostPath, const std::string& content) {
    return WriteFileAtomicAt(AT_FDCWD, hostPath, hostPath, content);
}

bool WriteFileAtomicAt(int folderFd, const std::string& name, const std::string& hostPath, const std::string& content) {
    // On the open machine the temporary file is in this process's staging
    // folder, never beside the file; elsewhere (a machine being made, a file
    // of the host) beside it.
    const std::string& machine = MachineDir();
    bool onMachine = MachineIsOpen() && hostPath.size() > machine.size() &&
                     hostPath.compare(0, machine.size(), machine) == 0 && hostPath[machine.size()] == '/';
    std::string tmp = onMachine ? StagingPath() : hostPath + ".tmp." + std::to_string(::getpid());
    if (tmp.empty()) return false;
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < content.size()) {
        ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n <= 0) {
            ::close(fd);
            ::unlink(tmp.c_str());
            return false;
        }
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    KillPoint();
    if (::renameat(AT_FDCWD, tmp.c_str(), folderFd, name.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    NoteAdded(hostPath, EntryKind::kFile);
    return true;
}

bool ReadWholeFile(const std::string& hostPath, std::string* content) {
    int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    // What could be opened counts as read (a folder reads as nothing).
    struct stat st;
    size_t size = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? static_cast<size_t>(st.st_size) : 0;
    ReadToEnd(fd, size, content);
    ::close(fd);
    return true;
}

}  // namespace winsim
