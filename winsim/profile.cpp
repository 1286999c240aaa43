// Profile (INI) files: GetPrivateProfileStringA, GetPrivateProfileIntA and
// the lists of GetPrivateProfileSectionNamesA and GetPrivateProfileSectionA.
//
// As Windows reads them: a file name without any folder is looked for in the
// Windows directory; a file that begins with the byte-order mark of UTF-16
// (either end first) or of UTF-8 is read in that encoding and handed out in
// the ANSI code page, any other file is read in the ANSI code page; a CR, a
// LF or any run of them ends a line; section and key names match without
// regard to case; blanks around lines, section names, key names and values
// are trimmed, and a name or value ends at a zero byte; lines starting with
// ';' are comments; a line without '=' is a key without a value (and one
// with nothing before its first zero byte is no entry at all); a value in
// matching quotes loses them; a missing file, section or key gives the
// default. The first section of a name and the first key of a name within it
// count. GetPrivateProfileIntA reads the value's first 29
// characters: a sign, then digits ("0x", "0o", "0b" choose another base),
// wrapping around at 32 bits; an empty or missing value gives the default.
//
// A file is parsed once and kept while its modification time, size and
// identity stay the same, so that reading a large file key by key costs one
// parse plus a lookup per key; while nothing on the machine has changed since
// the file was last looked at (the machine's change counter), it is not even
// looked at again, and a file name asked for again, from the same folder, is
// not even mapped to its host path again.
#include <sys/stat.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "internal.h"

namespace winsim {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == 0x1A;
}

std::string TrimBlanks(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// What a name or a value holds: everything before its first zero byte.
std::string UpToZero(const std::string& s) { return s.substr(0, s.find('\0')); }

// A profile file's text in the ANSI code page.
std::string DecodeFile(const std::string& bytes) {
    auto startsWith = [&bytes](const char* mark, size_t size) {
        return bytes.size() >= size && bytes.compare(0, size, mark, size) == 0;
    };
    if (startsWith("\xEF\xBB\xBF", 3)) return Utf16ToAnsi(Utf8ToUtf16(bytes.substr(3)));
    bool little = startsWith("\xFF\xFE", 2), big = startsWith("\xFE\xFF", 2);
    if (!little && !big) return bytes;
    std::u16string wide;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        unsigned char first = static_cast<unsigned char>(bytes[i]), second = static_cast<unsigned char>(bytes[i + 1]);
        wide += static_cast<char16_t>(little ? first | (second << 8) : (first << 8) | second);
    }
    return Utf16ToAnsi(wide);
}

struct Entry {
    std::string name;
    bool hasValue = false;  // a line without '=' names a key without a value
    std::string value;
};

struct Section {
    std::string name;
    std::vector<Entry> entries;
    std::map<std::string, size_t> index;  // folded key name -> first entry of that name
};

struct Profile {
    std::vector<Section> sections;
    std::map<std::string, size_t> index;  // folded section name -> first section of that name
    // The section last asked for, by the name as it was asked.
    mutable bool lastAsked = false;
    mutable std::string lastName;
    mutable const Section* lastSection = nullptr;
};

std::unique_ptr<Profile> Parse(const std::string& text) {
    auto profile = std::make_unique<Profile>();
    Section* current = nullptr;  // lines before the first section belong to none
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        std::string line = TrimBlanks(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            size_t close = line.rfind(']');
            if (close != std::string::npos) {
                profile->sections.emplace_back();
                Section& section = profile->sections.back();
                section.name = UpToZero(TrimBlanks(line.substr(1, close - 1)));
                profile->index.emplace(Lower(section.name), profile->sections.size() - 1);
                current = &section;
                continue;
            }
            // A '[' without ']' is an ordinary line.
        }
        if (!current) continue;
        Entry entry;
        size_t eq = line.find('=');
        if (eq == std::string::npos) {
            entry.name = UpToZero(line);
            // A line holding nothing before its first zero byte is no entry.
            if (entry.name.empty()) continue;
        } else {
            entry.name = UpToZero(TrimBlanks(line.substr(0, eq)));
            entry.value = UpToZero(TrimBlanks(line.substr(eq + 1)));
            entry.hasValue = true;
        }
        current->entries.push_back(entry);
        current->index.emplace(Lower(entry.name), current->entries.size() - 1);
    }
    return profile;
}

struct Cached {
    uint64_t generation = 0;  // the CacheGeneration at which the file was last found unchanged
    FileStamp stamp;          // the file the parse was made from
    std::shared_ptr<Profile> profile;
};

std::map<std::string, Cached>& Cache() {
    static std::map<std::string, Cached> cache;
    return cache;
}

const size_t kCacheLimit = 16;

// The Windows path a profile file name stands for.
std::string ProfileWinPath(LPCSTR fileName) {
    std::string name = fileName ? fileName : "win.ini";
    bool bare = name.find('\\') == std::string::npos && name.find('/') == std::string::npos &&
                !(name.size() >= 2 && name[1] == ':');
    if (bare) {
        char windows[MAX_PATH];
        UINT n = GetWindowsDirectoryA(windows, sizeof windows);
        if (n == 0 || n >= sizeof windows) return std::string();
        return std::string(windows) + "\\" + name;
    }
    return name;
}

// The last file name asked for, where it led and what was found there, kept
// while nothing on the machine changes and the process stays in its folder:
// a reader that asks for key after key of one file maps its name once.
struct LastLoad {
    uint64_t generation = 0;
    std::string machine, fileName, currentDirectory;
    bool redirectionDisabled = false;
    std::shared_ptr<Profile> profile;
};

LastLoad& Last() {
    static LastLoad last;
    return last;
}

// The parsed file, or null when it cannot be read (the last error says why).
std::shared_ptr<Profile> LoadFile(LPCSTR fileName, uint64_t generation);

std::shared_ptr<Profile> Load(LPCSTR fileName) {
    uint64_t generation = CacheGeneration();
    LastLoad& last = Last();
    const ProcessState& process = Process();
    // A name with its drive does not depend on the current directory.
    if (last.profile && fileName && last.generation == generation && last.fileName == fileName &&
        last.redirectionDisabled == process.redirectionDisabled &&
        ((fileName[0] && fileName[1] == ':' && fileName[2] == '\\') ||
         last.currentDirectory == process.currentDirectory) &&
        last.machine == MachineDir())
        return last.profile;
    std::shared_ptr<Profile> profile = LoadFile(fileName, generation);
    last.profile = fileName ? profile : nullptr;  // what no name leads to is not kept
    if (last.profile) {
        last.generation = generation;
        last.machine = MachineDir();
        last.fileName = fileName;
        last.currentDirectory = process.currentDirectory;
        last.redirectionDisabled = process.redirectionDisabled;
    }
    return profile;
}

std::shared_ptr<Profile> LoadFile(LPCSTR fileName, uint64_t generation) {
    std::string host = MapPath(ProfileWinPath(fileName));
    // Nothing on the machine has changed since the file was last looked at.
    auto& cache = Cache();
    auto it = cache.find(host);
    if (it != cache.end() && it->second.generation == generation) return it->second.profile;
    struct stat st;
    if (host.empty() || ::stat(host.c_str(), &st) != 0) {
        SetError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        SetError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if (it != cache.end() && it->second.stamp == StampOf(st)) {
        it->second.generation = generation;
        return it->second.profile;
    }
    std::string text;
    if (!ReadWholeFile(host, &text)) {
        SetError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if (cache.size() >= kCacheLimit && it == cache.end()) cache.clear();
    Cached entry;
    entry.generation = generation;
    entry.stamp = StampOf(st);
    entry.profile = std::shared_ptr<Profile>(Parse(DecodeFile(text)));
    cache[host] = entry;
    return entry.profile;
}

const Section* FindSection(const Profile& profile, const char* name) {
    // A reader asks for key after key of one section: the last section asked
    // for is kept with the name it was asked by.
    if (profile.lastAsked && profile.lastName == name) return profile.lastSection;
    auto it = profile.index.find(Lower(TrimBlanks(name)));
    profile.lastAsked = true;
    profile.lastName = name;
    profile.lastSection = it == profile.index.end() ? nullptr : &profile.sections[it->second];
    return profile.lastSection;
}

const Entry* FindEntry(const Section& section, const char* name) {
    // The name trimmed and folded into a buffer kept from call to call.
    thread_local std::string folded;
    const char* begin = name;
    const char* end = name + std::strlen(name);
    while (begin < end && IsBlank(*begin)) ++begin;
    while (end > begin && IsBlank(end[-1])) --end;
    folded.assign(begin, end);
    for (char& c : folded) c = LowerChar(c);
    auto it = section.index.find(folded);
    return it == section.index.end() ? nullptr : &section.entries[it->second];
}

// Copies a value as Windows hands it out: a value in matching quotes loses
// them; the copy is cut to size - 1 characters and terminated. Returns the
// characters copied.
DWORD CopyValue(const std::string& raw, LPSTR buffer, DWORD size) {
    const char* value = raw.data();
    size_t length = raw.size();
    if (length >= 2 && (value[0] == '"' || value[0] == '\'') && raw.back() == value[0]) {
        ++value;
        length -= 2;
    }
    size_t n = length < size - 1 ? length : size - 1;
    std::memcpy(buffer, value, n);
    buffer[n] = '\0';
    return static_cast<DWORD>(n);
}

// Every section in the file's order, a name twice when the file has it
// twice; a section without a name is not listed.
std::vector<std::string> SectionNames(const Profile& profile) {
    std::vector<std::string> names;
    for (const auto& section : profile.sections)
        if (!section.name.empty()) names.push_back(section.name);
    return names;
}

// A list of entries, each ended by a zero, the list by a second zero. An
// entry goes in whole only when a byte is left over after it and the list's
// closing zero; otherwise the list is cut at that entry: it keeps what fits
// of the entry before the two closing zeros (possibly nothing) and the
// answer is size - 2. So a list that fills the buffer exactly is answered
// with size - 2, as Windows answers it.
DWORD CopyList(const std::vector<std::string>& entries, LPSTR buffer, DWORD size) {
    if (size < 2) {
        if (size == 1) buffer[0] = '\0';
        return 0;
    }
    size_t used = 0;  // never more than size - 2
    for (const auto& entry : entries) {
        if (used + entry.size() + 2 >= size) {
            std::memcpy(buffer + used, entry.data(), size - 2 - used);
            buffer[size - 2] = '\0';
            buffer[size - 1] = '\0';
            return size - 2;
        }
        std::memcpy(buffer + used, entry.c_str(), entry.size() + 1);
        used += entry.size() + 1;
    }
    buffer[used] = '\0';
    return static_cast<DWORD>(used);
}

}  // namespace
}  // namespace winsim

using namespace winsim;

extern "C" {

DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultText, LPSTR buffer, DWORD size,
                                      LPCSTR fileName) {
    if (!buffer || size == 0) return 0;
    // Windows drops trailing blanks of the default.
    std::string fallback = defaultText ? defaultText : "";
    while (!fallback.empty() && fallback.back() == ' ') fallback.pop_back();
    DWORD error;
    if (AnyFaultRules() && TakeFault("GetPrivateProfileStringA", key ? key : "", &error)) {
        SetError(error);
        return CopyValue(fallback, buffer, size);
    }
    std::shared_ptr<Profile> profile = Load(fileName);
    if (!profile) return CopyValue(fallback, buffer, size);
    if (!section) return CopyList(SectionNames(*profile), buffer, size);
    const Section* found = FindSection(*profile, section);
    if (!key) {
        std::vector<std::string> names;
        if (found)
            for (const auto& e : found->entries)
                if (e.hasValue) names.push_back(e.name);
        if (names.empty()) return CopyValue(fallback, buffer, size);
        return CopyList(names, buffer, size);
    }
    const Entry* entry = found ? FindEntry(*found, key) : nullptr;
    return CopyValue(entry && entry->hasValue ? entry->value : fallback, buffer, size);
}

UINT WINAPI GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR fileName) {
    // Windows reads the value as a string of up to 29 characters first.
    char text[30];
    if (GetPrivateProfileStringA(section, key, "", text, sizeof text, fileName) == 0)
        return static_cast<UINT>(defaultValue);
    // Leading blanks, a sign, then digits as far as they go; "0x", "0o" and
    // "0b" choose another base. The number wraps around at 32 bits.
    const char* p = text;
    while (*p == ' ' || *p == '\t') ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    unsigned base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) base = 16;
    else if (p[0] == '0' && (p[1] == 'o' || p[1] == 'O')) base = 8;
    else if (p[0] == '0' && (p[1] == 'b' || p[1] == 'B')) base = 2;
    if (base != 10) p += 2;
    uint32_t value = 0;
    for (;; ++p) {
        unsigned digit;
        if (*p >= '0' && *p <= '9') digit = static_cast<unsigned>(*p - '0');
        else if (*p >= 'a' && *p <= 'f') digit = static_cast<unsigned>(*p - 'a' + 10);
        else if (*p >= 'A' && *p <= 'F') digit = static_cast<unsigned>(*p - 'A' + 10);
        else break;
        if (digit >= base) break;
        value = value * base + digit;
    }
    return negative ? 0u - value : value;
}

DWORD WINAPI GetPrivateProfileSectionNamesA(LPSTR buffer, DWORD size, LPCSTR fileName) {
    if (!buffer || size == 0) return 0;
    std::shared_ptr<Profile> profile = Load(fileName);
    return CopyList(profile ? SectionNames(*profile) : std::vector<std::string>(), buffer, size);
}

DWORD WINAPI GetPrivateProfileSectionA(LPCSTR section, LPSTR buffer, DWORD size, LPCSTR fileName) {
    if (!section || !buffer) {
        SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (size == 0) return 0;
    std::shared_ptr<Profile> profile = Load(fileName);
    std::vector<std::string> lines;
    // The first section of that name (the name asked for is not trimmed, as
    // Wine has it), each entry as it stands in the file (name and value
    // trimmed, quotes kept): "name=value", or "name" alone. A section found
    // clears the last error; one that is not there sets 2, as a missing file
    // does.
    const Section* found = nullptr;
    if (profile) {
        auto it = profile->index.find(Lower(section));
        if (it != profile->index.end()) found = &profile->sections[it->second];
        SetError(found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
    }
    if (found)
        for (const auto& e : found->entries) lines.push_back(e.hasValue ? e.name + "=" + e.value : e.name);
    return CopyList(lines, buffer, size);
}

}  // extern "C"
