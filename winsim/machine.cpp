// The machine: its description, faults, journal and handle table.
#include "winsim/machine.h"

#include "internal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>

namespace winsim {
namespace {

struct State {
    bool open = false;
    std::string dir;
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

bool LoadConfig(const std::string& dir, MachineConfig* c) {
    std::string text;
    if (!ReadWholeFile(dir + "/machine.conf", &text)) return false;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == '#') continue;
        auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string k = Trim(line.substr(0, eq)), v = Trim(line.substr(eq + 1));
        auto num = [&]() { return static_cast<DWORD>(std::strtoul(v.c_str(), nullptr, 0)); };
        if (k == "os") c->os = v;
        else if (k == "major") c->major = num();
        else if (k == "minor") c->minor = num();
        else if (k == "build") c->build = num();
        else if (k == "platform") c->platform = num();
        else if (k == "product_type") c->productType = static_cast<BYTE>(num());
        else if (k == "64bit") c->is64 = num() != 0;
        else if (k == "codepage") c->codePage = num();
        else if (k == "computer") c->computerName = v;
        else if (k == "stopper_exit_code") c->stopperExitCode = num();
        else if (k == "servers") c->servers = SplitList(v);
        else if (k.rfind("env.", 0) == 0) c->env[k.substr(4)] = v;
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

bool OpenMachine(const std::string& dir) {
    State& s = S();
    MachineConfig config;
    if (!LoadConfig(dir, &config)) return false;
    s.open = true;
    s.dir = dir;
    s.config = config;
    s.faults.clear();
    s.missing.clear();
    std::string text;
    if (ReadWholeFile(dir + "/faults", &text)) {
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) ParseFaultLine(line, &s.faults, &s.missing);
    }
    Process() = ProcessState();
    return true;
}

void CloseMachine() {
    State& s = S();
    s.open = false;
    s.dir.clear();
    s.faults.clear();
    s.missing.clear();
    Process() = ProcessState();
}

bool MachineIsOpen() { return S().open; }
const std::string& MachineDir() { return S().dir; }
MachineConfig& Config() { return S().config; }
bool SaveConfig() { return WriteConfig(S().dir, S().config); }

// ---- faults -----------------------------------------------------------------

bool ParseFaultLine(const std::string& raw, std::vector<FaultRule>* rules,
                    std::vector<std::pair<std::string, std::string>>* missing) {
    std::string line = Trim(raw);
    if (line.empty() || line[0] == '#') return false;
    // The argument may be quoted to hold blanks.
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        if (i >= line.size()) break;
        std::string word;
        if (line[i] == '"') {
            size_t end = line.find('"', i + 1);
            if (end == std::string::npos) end = line.size();
            word = line.substr(i + 1, end - i - 1);
            i = end + 1;
        } else {
            size_t end = line.find(' ', i);
            if (end == std::string::npos) end = line.size();
            word = line.substr(i, end - i);
            i = end;
        }
        words.push_back(word);
    }
    if (words.size() == 3 && words[0] == "missing") {
        missing->emplace_back(ModuleName(words[1]), words[2]);
        return true;
    }
    if (words.size() < 3 || words.size() > 4) return false;
    FaultRule rule;
    rule.function = words[0];
    rule.argument = words[1];
    rule.error = static_cast<DWORD>(std::strtoul(words[2].c_str(), nullptr, 0));
    if (words.size() == 4) rule.remaining = std::strtol(words[3].c_str(), nullptr, 0);
    rules->push_back(rule);
    return true;
}

void AddFault(const std::string& function, const std::string& argument, DWORD error, long count) {
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

bool TakeFault(const std::string& function, const std::string& argument, DWORD* error) {
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
    std::string text = line + "\n";
    int fd = ::open((S().dir + "/journal.log").c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    ssize_t ignored = ::write(fd, text.data(), text.size());
    (void)ignored;
    ::close(fd);
}

std::string ReadJournal() {
    std::string text;
    ReadWholeFile(S().dir + "/journal.log", &text);
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

bool WriteFileAtomic(const std::string& hostPath, const std::string& content) {
    std::string tmp = hostPath + ".tmp." + std::to_string(::getpid());
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
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
    if (::rename(tmp.c_str(), hostPath.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

bool ReadWholeFile(const std::string& hostPath, std::string* content) {
    FILE* f = std::fopen(hostPath.c_str(), "rb");
    if (!f) return false;
    content->clear();
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) content->append(buffer, n);
    std::fclose(f);
    return true;
}

}  // namespace winsim
