// The registry: one folder per key, its values in values.reg (regedit's text).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <unordered_map>

#include "internal.h"

namespace winsim {
namespace {

const char kValuesFile[] = "values.reg";

std::string EncodeName(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (c == '%' || c == '/' || (i == 0 && c == '.')) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
            out += hex;
        } else {
            out += c;
        }
    }
    if (Lower(out) == kValuesFile) out = "values%2Ereg";
    return out;
}

std::string DecodeName(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '%' && i + 2 < name.size()) {
            out += static_cast<char>(std::strtoul(name.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += name[i];
        }
    }
    return out;
}

// Key paths have only the backslash as separator: "/" is part of a name.
std::vector<std::string> Split(const std::string& path) { return SplitPath(path, false); }

// The host folder of a key child below a parent folder, found without regard
// to case; empty when absent.
std::string FindChild(const std::string& parent, const std::string& name) {
    std::string found = FindNoCase(parent, EncodeName(name), true);
    return found.empty() ? found : parent + "/" + found;
}

// True when a key's folder holds a link in place of its values file: the
// key is damaged, and its values are never read through the link.
bool LinkedValues(const std::string& folder) { return CachedIsLink(folder + "/" + kValuesFile); }

// The host folder of a key; empty when there is no such key. A link in the
// tree is a damaged key, never followed: a link in place of a key's folder is
// no key, nor is anything below it; a folder whose values file is a link is
// no key either (the keys below it stay keys).
std::string KeyFolder(const std::string& hive, const std::string& path) {
    std::string folder = reg::HiveDir(hive);
    if (!CachedIsRealFolder(folder)) return std::string();
    for (const auto& part : Split(path)) {
        folder = FindChild(folder, part);
        if (folder.empty()) return folder;
    }
    return LinkedValues(folder) ? std::string() : folder;
}

// The host entry of a damaged key (a link in place of its folder, or a
// folder whose values file is a link) below a key that is whole; empty when
// the path names no damaged key.
std::string DamagedEntry(const std::string& hive, const std::string& path) {
    auto parts = Split(path);
    if (parts.empty()) return std::string();
    std::string parentPath;
    for (size_t i = 0; i + 1 < parts.size(); ++i) parentPath += (i ? "\\" : "") + parts[i];
    std::string parent = KeyFolder(hive, parentPath);
    if (parent.empty()) return parent;
    std::string found = FindNoCase(parent, EncodeName(parts.back()), false);
    if (found.empty()) return found;
    std::string entry = parent + "/" + found;
    struct stat st;
    if (::lstat(entry.c_str(), &st) != 0) return std::string();
    if (S_ISLNK(st.st_mode) || (S_ISDIR(st.st_mode) && LinkedValues(entry))) return entry;
    return std::string();
}

std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

bool Printable(const std::string& s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F) return false;
    return true;
}

std::string FormatValue(const std::string& name, const RegValue& v) {
    std::string line = name.empty() ? "@" : Quote(name);
    line += "=";
    if (v.type == REG_SZ && !v.data.empty() && v.data.back() == 0 &&
        std::memchr(v.data.data(), 0, v.data.size() - 1) == nullptr && Printable(v.data.substr(0, v.data.size() - 1))) {
        return line + Quote(v.data.substr(0, v.data.size() - 1));
    }
    if (v.type == REG_DWORD && v.data.size() == 4) {
        DWORD d;
        std::memcpy(&d, v.data.data(), 4);
        char buf[32];
        std::snprintf(buf, sizeof buf, "dword:%08x", d);
        return line + buf;
    }
    char buf[32];
    if (v.type == REG_BINARY) line += "hex:";
    else {
        std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
        line += buf;
    }
    static const char kDigits[] = "0123456789abcdef";
    size_t at = line.size();
    line.resize(at + (v.data.empty() ? 0 : 3 * v.data.size() - 1), ',');
    for (size_t i = 0; i < v.data.size(); ++i, at += 3) {
        unsigned char byte = static_cast<unsigned char>(v.data[i]);
        line[at] = kDigits[byte >> 4];
        line[at + 1] = kDigits[byte & 15];
    }
    return line;
}

// ---- values.reg -------------------------------------------------------------
// A key's values.reg is regedit's text for the values of that one key, in the
// ANSI code page: "NAME"= or @=, then "text" (escapes \\ and \" only),
// dword:1 to 8 hex digits, or hex: / hex(TYPE): and a list of two-digit hex
// bytes, which a comma and a backslash at the end of a line continue on the
// next. Blank lines, ; comment lines, a REGEDIT4 or Version 5.00 header and a
// ; comment after the data are taken and kept; LF or CR LF ends a line. What
// else the file holds is refused with its line, never guessed at.

// One value of a key with the lines that hold it in values.reg.
struct StoredValue {
    std::string name;
    RegValue value;
    std::string before;  // blank, comment and header lines before it, as stored
    std::string text;    // its own lines as stored; empty: written in winsim's form
};

struct KeyValues {
    std::vector<StoredValue> values;
    std::string after;  // lines after the last value, as stored
    std::string error;  // "FILE:LINE: reason" when values.reg does not parse
    DWORD errorCode = ERROR_REGISTRY_CORRUPT;  // what the calls for the values answer then
    FileStamp stamp;    // the file the values were read from
};

const char kHeaders[][40] = {"REGEDIT4", "Windows Registry Editor Version 5.00"};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads values.reg in one pass over its text.
class ValuesReader {
public:
    explicit ValuesReader(const std::string& text) : s_(text) {}

    // False with the line and the reason when the text does not parse.
    bool Read(KeyValues* out, size_t* line, std::string* reason) {
        bool ok = ReadAll(out);
        *line = number_;
        *reason = reason_;
        return ok;
    }

private:
    const std::string& s_;
    size_t begin_ = 0, end_ = 0, next_ = 0;  // the line, without its line end; the next line
    size_t number_ = 0;
    std::string reason_;

    bool NextLine() {
        if (next_ >= s_.size()) return false;
        begin_ = next_;
        size_t lf = s_.find('\n', begin_);
        end_ = lf == std::string::npos ? s_.size() : lf;
        next_ = lf == std::string::npos ? s_.size() : lf + 1;
        if (end_ > begin_ && s_[end_ - 1] == '\r') --end_;
        ++number_;
        return true;
    }
    size_t SkipBlanks(size_t pos) const {
        while (pos < end_ && IsBlank(s_[pos])) ++pos;
        return pos;
    }
    bool Fail(const std::string& reason) {
        reason_ = reason;
        return false;
    }
    // A piece of the line for a message, cut where it would run on.
    std::string Shown(size_t from, size_t to) const {
        const size_t most = 40;
        std::string piece = to - from > most ? s_.substr(from, most) + "..." : s_.substr(from, to - from);
        for (char& c : piece)
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t') c = '?';
        return piece;
    }
    // The line of a byte, counted from the start.
    static size_t LineOf(const std::string& s, size_t at) {
        return 1 + static_cast<size_t>(std::count(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
    }
    std::string Token(size_t pos) const {
        size_t to = pos;
        while (to < end_ && s_[to] != ',' && !IsBlank(s_[to]) && s_[to] != ';') ++to;
        return Shown(pos, to == pos ? std::min(pos + 1, end_) : to);
    }

    bool ReadAll(KeyValues* out) {
        if (s_.compare(0, 2, "\xFF\xFE") == 0 || s_.compare(0, 2, "\xFE\xFF") == 0 ||
            s_.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            number_ = 1;
            return Fail("a byte-order mark: values.reg is text in the ANSI code page, as REGEDIT4 writes it");
        }
        size_t zero = s_.find('\0');
        if (zero != std::string::npos) {
            number_ = LineOf(s_, zero);
            return Fail("a zero byte");
        }
        for (size_t cr = s_.find('\r'); cr != std::string::npos; cr = s_.find('\r', cr + 1)) {
            if (cr + 1 < s_.size() && s_[cr + 1] != '\n') {
                number_ = LineOf(s_, cr);
                return Fail("a CR without LF after it: a line ends with LF or CR LF");
            }
        }
        // At most one value a line: buckets for all of them save rehashing.
        size_t lines = 1 + static_cast<size_t>(std::count(s_.begin(), s_.end(), '\n'));
        std::unordered_map<std::string, size_t> seen(lines);  // folded name -> its line
        std::string pending;
        while (NextLine()) {
            size_t pos = SkipBlanks(begin_);
            size_t stop = end_;
            while (stop > pos && IsBlank(s_[stop - 1])) --stop;
            bool header = false;
            for (const char* h : kHeaders) header = header || s_.compare(pos, stop - pos, h) == 0;
            if (pos == end_ || s_[pos] == ';' || header) {
                pending.append(s_, begin_, next_ - begin_);
                continue;
            }
            if (s_[pos] == '[')
                return Fail("a key line " + Shown(pos, end_) +
                            ": values.reg holds the values of its own key only (each key is a folder)");
            if (s_[pos] != '"' && s_[pos] != '@') return Fail("not a value: " + Shown(pos, end_));
            size_t first = begin_, firstLine = number_;
            StoredValue v;
            if (!ReadValue(pos, &v)) return false;
            auto known = seen.emplace(Lower(v.name), firstLine);
            if (!known.second) {
                number_ = firstLine;
                return Fail("the value " + (v.name.empty() ? std::string("@") : "\"" + v.name + "\"") +
                            " again (first on line " + std::to_string(known.first->second) + ")");
            }
            v.before.swap(pending);
            v.text.assign(s_, first, next_ - first);
            out->values.push_back(std::move(v));
        }
        out->after.swap(pending);
        return true;
    }

    bool ReadValue(size_t pos, StoredValue* v) {
        if (s_[pos] == '@') {
            ++pos;
        } else if (!ReadQuoted(&pos, &v->name)) {
            return false;
        }
        pos = SkipBlanks(pos);
        if (pos == end_ || s_[pos] != '=') return Fail("no = after the value's name");
        pos = SkipBlanks(pos + 1);
        if (pos == end_) return Fail("no data after =");
        if (s_[pos] == '"') {
            std::string text;
            if (!ReadQuoted(&pos, &text)) return false;
            v->value.type = REG_SZ;
            v->value.data = text + std::string(1, '\0');
            return EndOfData(pos);
        }
        if (s_[pos] == '-') return Fail("a deletion (=-): values.reg holds values, not changes to them");
        if (s_.compare(pos, 6, "dword:") == 0) {
            size_t digits = pos + 6, to = digits;
            DWORD d = 0;
            while (to < end_ && HexDigit(s_[to]) >= 0 && to - digits < 9) d = d * 16 + HexDigit(s_[to++]);
            size_t stop = to;
            while (stop < end_ && !IsBlank(s_[stop]) && s_[stop] != ';') ++stop;
            if (to == digits || to - digits > 8 || stop != to)
                return Fail("a dword needs 1 to 8 hex digits, not " + Shown(pos, stop));
            v->value = reg::Dword(d);
            return EndOfData(to);
        }
        if (s_.compare(pos, 4, "hex:") == 0) {
            v->value.type = REG_BINARY;
            return ReadBytes(pos + 4, &v->value.data);
        }
        if (s_.compare(pos, 4, "hex(") == 0) {
            size_t digits = pos + 4, to = digits;
            DWORD type = 0;
            while (to < end_ && HexDigit(s_[to]) >= 0 && to - digits < 9) type = type * 16 + HexDigit(s_[to++]);
            if (to == digits || to - digits > 8 || s_.compare(to, 2, "):") != 0 || to + 2 > end_) {
                size_t stop = s_.find(':', pos);
                return Fail("the type in hex(TYPE): needs 1 to 8 hex digits, not " + Shown(pos, std::min(stop, end_)));
            }
            v->value.type = type;
            return ReadBytes(to + 2, &v->value.data);
        }
        return Fail("unknown data " + Token(pos) + ": expected \"text\", dword:, hex: or hex(TYPE):");
    }

    // A quoted text from s_[*pos] == '"'; *pos ends after the closing quote.
    bool ReadQuoted(size_t* pos, std::string* out) {
        out->clear();
        for (size_t i = *pos + 1; i < end_; ++i) {
            char c = s_[i];
            if (c == '"') {
                *pos = i + 1;
                return true;
            }
            if (c == '\\') {
                if (i + 1 < end_ && (s_[i + 1] == '\\' || s_[i + 1] == '"')) {
                    *out += s_[++i];
                    continue;
                }
                if (i + 1 < end_)
                    return Fail(Shown(i, i + 2) + " in a quoted text: regedit's escapes are \\\\ and \\\" only");
            }
            *out += c;
        }
        return Fail("a quoted text without its closing quote");
    }

    bool EndOfData(size_t pos) {
        pos = SkipBlanks(pos);
        if (pos == end_ || s_[pos] == ';') return true;
        return Fail("text after the data: " + Shown(pos, end_));
    }

    // Two-digit hex bytes separated by commas; ",\" at the end of a line
    // continues the list on the next line (which may begin with blanks).
    bool ReadBytes(size_t pos, std::string* data) {
        data->clear();
        bool wantByte = false;  // after a comma
        for (;;) {
            // The long runs of "xx," that a record's line is made of, taken
            // three characters at a time; anything else goes the way below.
            if (wantByte || data->empty()) {
                size_t at = data->size();
                data->resize(at + (end_ - pos) / 3);
                while (pos + 2 < end_ && s_[pos + 2] == ',') {
                    int high = HexDigit(s_[pos]), low = HexDigit(s_[pos + 1]);
                    if (high < 0 || low < 0) break;
                    (*data)[at++] = static_cast<char>(high * 16 + low);
                    pos += 3;
                    wantByte = true;
                }
                data->resize(at);
            }
            pos = SkipBlanks(pos);
            if (pos < end_ && s_[pos] == '\\' && (wantByte || data->empty())) {
                if (SkipBlanks(pos + 1) != end_) return Fail("text after the continuation backslash");
                if (!NextLine()) return Fail("the value continues past the end of the file");
                pos = SkipBlanks(begin_);
                if (pos == end_ || s_[pos] == ';') return Fail("a continued value goes on with a blank or comment line");
                continue;
            }
            if (pos == end_ || s_[pos] == ';') {
                if (wantByte) return Fail("the byte list ends with a comma (continue it with ,\\)");
                return true;
            }
            if (!wantByte && !data->empty()) {
                if (s_[pos] == '\\') return Fail("a continuation backslash without a comma before it");
                if (s_[pos] != ',') return Fail("no comma before " + Token(pos));
                ++pos;
                wantByte = true;
                continue;
            }
            int high = pos + 1 < end_ ? HexDigit(s_[pos]) : -1;
            int low = high >= 0 ? HexDigit(s_[pos + 1]) : -1;
            size_t after = pos + 2;
            if (low < 0 || (after < end_ && s_[after] != ',' && s_[after] != ';' && s_[after] != '\\' &&
                            !IsBlank(s_[after])))
                return Fail(Token(pos) + " is not a byte (two hex digits)");
            *data += static_cast<char>(high * 16 + low);
            pos = after;
            wantByte = false;
        }
    }
};

using ValueList = std::vector<std::pair<std::string, RegValue>>;

std::string ValuesPath(const std::string& folder) { return folder + "/" + kValuesFile; }

KeyValues LoadValues(const std::string& folder) {
    KeyValues values;
    std::string path = ValuesPath(folder), text;
    // Never through a link (a link in its place is a damaged key).
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) return values;
    struct stat st;
    bool read = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (read) values.stamp = StampOf(st);
    read = read && ReadToEnd(fd, static_cast<size_t>(st.st_size), &text);
    int readError = errno;
    if (fd >= 0) ::close(fd);
    if (!read) {
        values.error = path + ": cannot be read: " + std::strerror(readError);
        // A file the process may not read is refused as Windows refuses a
        // key it may not read.
        if (readError == EACCES || readError == EPERM) values.errorCode = ERROR_ACCESS_DENIED;
        return values;
    }
    size_t line = 0;
    std::string reason;
    if (!ValuesReader(text).Read(&values, &line, &reason)) {
        FileStamp stamp = values.stamp;
        values = KeyValues();
        values.stamp = stamp;
        values.error = path + ":" + std::to_string(line) + ": " + reason;
    }
    return values;
}

// Writes the values back: each value winsim has not changed in the lines it
// had, comments and blank lines where they stood, a changed or new value in
// FormatValue's form.
bool SaveValues(const std::string& folder, int folderFd, const KeyValues& values) {
    std::string text;
    auto append = [&text](const std::string& piece) {
        if (piece.empty()) return;
        if (!text.empty() && text.back() != '\n') text += '\n';
        text += piece;
    };
    for (const auto& v : values.values) {
        append(v.before);
        append(v.text.empty() ? FormatValue(v.name, v.value) + "\n" : v.text);
    }
    append(values.after);
    return WriteFileAtomicAt(folderFd, kValuesFile, ValuesPath(folder), text);
}

// A values.reg that does not parse is said once per process, on standard
// error, and every call for the key's values fails with this code.
DWORD Damaged(const KeyValues& values) {
    static std::set<std::string> said;
    if (said.insert(values.error).second)
        std::fprintf(stderr, "winsim: %s: the key's values can be neither read nor changed (error %ld)\n",
                     values.error.c_str(), static_cast<long>(values.errorCode));
    return values.errorCode;
}

bool Failed(DWORD* error, DWORD code) {
    if (error) *error = code;
    return false;
}

void FindDamage(const std::string& folder, std::vector<std::string>* out) {
    std::vector<std::string> children;
    bool hasValues = false;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n == "." || n == "..") continue;
            if (n == kValuesFile) {
                // A link in place of the values is a damaged key, shown as such: never read.
                hasValues = e->d_type != DT_LNK;
                continue;
            }
            struct stat st;
            bool isDir = e->d_type == DT_DIR ||
                         (e->d_type == DT_UNKNOWN && ::lstat((folder + "/" + n).c_str(), &st) == 0 && S_ISDIR(st.st_mode));
            if (isDir) children.push_back(n);
        }
        ::closedir(d);
    }
    if (hasValues) {
        KeyValues values = LoadValues(folder);
        if (!values.error.empty()) out->push_back(values.error);
    }
    std::sort(children.begin(), children.end());
    for (const auto& child : children) FindDamage(folder + "/" + child, out);
}

// The values of each key folder as LoadValues read them, kept while no other
// process changes the machine; a key's entry goes when this process writes
// the key's values or removes the key.
struct ValuesCache {
    uint64_t drops = 0;  // the CacheDrops the entries stand for
    std::map<std::string, KeyValues> byFolder;  // ordered, for ForgetValuesBelow
    size_t loaded = 0;   // bytes of values.reg read into it since it was last emptied
};

// A process that reads many large keys (a capture of 9,999 port records of
// 35 KB of text each) keeps no more than this of them: once the files read
// into the cache pass it, the cache starts empty again.
constexpr size_t kValuesCacheBudget = 64u << 20;

ValuesCache& TheValuesCache() {
    static ValuesCache cache;
    return cache;
}

// The cache, emptied when the caches were dropped (another process's change,
// another machine) since it was last used.
std::map<std::string, KeyValues>& ValuesByFolder() {
    ValuesCache& cache = TheValuesCache();
    uint64_t drops = CacheDrops();
    if (cache.drops != drops) {
        cache.byFolder.clear();
        cache.loaded = 0;
        cache.drops = drops;
    }
    return cache.byFolder;
}

const KeyValues& CachedValues(const std::string& folder) {
    auto& byFolder = ValuesByFolder();
    auto it = byFolder.find(folder);
    if (it != byFolder.end()) return it->second;
    KeyValues values = LoadValues(folder);
    ValuesCache& cache = TheValuesCache();
    size_t size = values.stamp.exists ? static_cast<size_t>(values.stamp.size) : 0;
    if (cache.loaded + size > kValuesCacheBudget) {
        byFolder.clear();
        cache.loaded = 0;
    }
    cache.loaded += size;
    return byFolder.emplace(folder, std::move(values)).first->second;
}

enum class WriteBack { kWritten, kStale, kFailed };

// Writes a key's values back whole, over the file they were read from and
// through no link: kStale, with nothing written, when the key's folder or a
// folder above it below the machine folder is now a link (or gone), or
// values.reg is no longer the file that was read (another inode, size or
// modification time: replaced, edited or made by another program). The next
// read loads the values again from the file.
WriteBack SaveKeyValues(const std::string& folder, const KeyValues& values) {
    ValuesByFolder().erase(folder);
    int folderFd = OpenMachineFolder(folder);
    if (folderFd < 0) return WriteBack::kStale;
    struct stat st;
    FileStamp now;
    if (::fstatat(folderFd, kValuesFile, &st, AT_SYMLINK_NOFOLLOW) == 0) now = StampOf(st);
    WriteBack result = WriteBack::kStale;
    if (now == values.stamp) result = SaveValues(folder, folderFd, values) ? WriteBack::kWritten : WriteBack::kFailed;
    ::close(folderFd);
    return result;
}

// The value of that name (without regard to case), or the end.
std::vector<StoredValue>::iterator FindValue(KeyValues* values, const std::string& name) {
    return std::find_if(values->values.begin(), values->values.end(),
                        [&](const StoredValue& v) { return EqualNoCase(v.name, name); });
}

// Forgets the values of a key folder and of every folder below it.
void ForgetValuesBelow(const std::string& folder) {
    EraseTree(&ValuesByFolder(), folder);
}

// Changes a key's values with change(), which answers false (with the error)
// when it cannot be made, and writes them back. When the file is no longer
// the one that was read (another program changed the machine folder), every
// cache is let go and the change is made once more on the file as it is now.
bool ChangeValues(const std::string& hive, const std::string& path, DWORD* error,
                  const std::function<bool(KeyValues*, DWORD*)>& change) {
    for (int attempt = 0;; ++attempt) {
        std::string folder = KeyFolder(hive, path);
        if (folder.empty()) return Failed(error, ERROR_FILE_NOT_FOUND);
        KeyValues values = CachedValues(folder);
        if (!values.error.empty()) return Failed(error, Damaged(values));
        if (!change(&values, error)) return false;
        switch (SaveKeyValues(folder, values)) {
            case WriteBack::kWritten: return true;
            case WriteBack::kFailed: return Failed(error, ERROR_ACCESS_DENIED);
            case WriteBack::kStale: break;
        }
        if (attempt > 0) return Failed(error, ERROR_ACCESS_DENIED);
        MachineChangedOutside();
    }
}

}  // namespace

namespace reg {

std::string HiveDir(const std::string& hive) { return MachineDir() + "/" + hive; }

bool KeyExists(const std::string& hive, const std::string& path) { return !KeyFolder(hive, path).empty(); }

bool CreateKey(const std::string& hive, const std::string& path) {
    std::string folder = HiveDir(hive);
    if (!CachedIsRealFolder(folder)) {
        if (::mkdir(folder.c_str(), 0755) != 0) return false;
        NoteAdded(folder, EntryKind::kFolder);
    }
    for (const auto& part : Split(path)) {
        std::string child = FindChild(folder, part);
        if (child.empty()) {
            // A damaged key in the way is not entered: the key cannot be made.
            child = folder + "/" + EncodeName(part);
            if (::mkdir(child.c_str(), 0755) == 0) NoteAdded(child, EntryKind::kFolder);
            else if (!IsRealFolder(child)) return false;
        }
        folder = child;
    }
    return !LinkedValues(folder);
}

bool DamagedKey(const std::string& hive, const std::string& path) { return !DamagedEntry(hive, path).empty(); }

bool DeleteTree(const std::string& hive, const std::string& path) {
    if (Split(path).empty()) return false;
    std::string folder = KeyFolder(hive, path);
    // A damaged key goes too, as what it is: a link goes as a link.
    if (folder.empty()) folder = DamagedEntry(hive, path);
    if (folder.empty()) return false;
    // Moved into this process's staging folder first, so that a killed
    // process never leaves half a key behind; what is left there goes when
    // the machine is next opened.
    std::string doomed = StagingPath();
    if (doomed.empty() || ::rename(folder.c_str(), doomed.c_str()) != 0) return false;
    ForgetValuesBelow(folder);
    NoteRemoved(folder);
    KillPoint();
    RemoveHostTree(doomed);
    return true;
}

std::vector<std::string> Subkeys(const std::string& hive, const std::string& path) {
    std::string folder = KeyFolder(hive, path);
    if (folder.empty()) return std::vector<std::string>();
    const FolderListing& listing = Listing(folder);
    if (!listing.subkeysValid) {
        std::vector<std::string> names;
        for (const auto& entry : listing.entries) {
            // A link is no key.
            if (entry.second != EntryKind::kFolder) continue;
            names.push_back(DecodeName(entry.first));
        }
        SortAsSubkeys(&names);
        listing.subkeys = std::move(names);
        listing.subkeysValid = true;
    }
    return listing.subkeys;
}

bool SubkeyAt(const std::string& hive, const std::string& path, size_t index, std::string* name) {
    std::string folder = KeyFolder(hive, path);
    if (folder.empty()) return false;
    // The sorted names are made once per listing (Subkeys) and read in place.
    if (!Listing(folder).subkeysValid) Subkeys(hive, path);
    const FolderListing& listing = Listing(folder);
    if (!listing.subkeysValid || index >= listing.subkeys.size()) return false;
    *name = listing.subkeys[index];
    return true;
}

bool GetValue(const std::string& hive, const std::string& path, const std::string& name, RegValue* value,
              DWORD* error) {
    std::string folder = KeyFolder(hive, path);
    if (folder.empty()) return Failed(error, ERROR_FILE_NOT_FOUND);
    const KeyValues& values = CachedValues(folder);
    if (!values.error.empty()) return Failed(error, Damaged(values));
    for (const auto& v : values.values) {
        if (EqualNoCase(v.name, name)) {
            if (value) *value = v.value;
            return true;
        }
    }
    return Failed(error, ERROR_FILE_NOT_FOUND);
}

void ForEachSubkeyValues(const std::string& hive, const std::string& path,
                         const std::function<void(const std::string& subkey, const std::vector<ValueRef>& values)>& visit) {
    std::string folder = KeyFolder(hive, path);
    if (folder.empty()) return;
    std::vector<ValueRef> refs;
    for (const std::string& name : Subkeys(hive, path)) {
        std::string child = folder + "/" + EncodeName(name);
        // A link in place of the values file is a damaged key (looked at on
        // its own, not through a listing of the key's folder); values kept
        // from an earlier reading were read from no link.
        auto& byFolder = ValuesByFolder();
        auto kept = byFolder.find(child);
        struct stat st;
        if (kept == byFolder.end() && ::lstat(ValuesPath(child).c_str(), &st) == 0 && S_ISLNK(st.st_mode)) continue;
        const KeyValues& values = kept != byFolder.end() ? kept->second : CachedValues(child);
        refs.clear();
        if (values.error.empty())
            for (const auto& v : values.values) refs.push_back(ValueRef{&v.name, &v.value});
        visit(name, refs);
    }
}

ValueList Values(const std::string& hive, const std::string& path, DWORD* error) {
    ValueList list;
    std::string folder = KeyFolder(hive, path);
    if (folder.empty()) return list;
    const KeyValues& values = CachedValues(folder);
    if (!values.error.empty()) {
        Failed(error, Damaged(values));
        return list;
    }
    list.reserve(values.values.size());
    for (const auto& v : values.values) list.emplace_back(v.name, v.value);
    return list;
}

bool SetValue(const std::string& hive, const std::string& path, const std::string& name, const RegValue& value,
              DWORD* error) {
    return SetValues(hive, path, {{name, value}}, error);
}

bool SetValues(const std::string& hive, const std::string& path,
               const std::vector<std::pair<std::string, RegValue>>& list, DWORD* error) {
    // A line break would end the name's line in values.reg.
    for (const auto& nv : list)
        if (nv.first.find('\n') != std::string::npos) return Failed(error, ERROR_INVALID_PARAMETER);
    return ChangeValues(hive, path, error, [&](KeyValues* values, DWORD*) {
        for (const auto& nv : list) {
            auto it = FindValue(values, nv.first);
            if (it == values->values.end()) {
                // A new value goes to the end of the file, after any last comments.
                StoredValue added;
                added.name = nv.first;
                added.value = nv.second;
                added.before.swap(values->after);
                values->values.push_back(std::move(added));
            } else if (it->value.type != nv.second.type || it->value.data != nv.second.data) {
                // The stored name keeps its case; only the changed value is written anew.
                it->value = nv.second;
                it->text.clear();
            }
        }
        return true;
    });
}

bool DeleteValue(const std::string& hive, const std::string& path, const std::string& name, DWORD* error) {
    return ChangeValues(hive, path, error, [&](KeyValues* values, DWORD* failed) {
        auto it = FindValue(values, name);
        if (it == values->values.end()) return Failed(failed, ERROR_FILE_NOT_FOUND);
        // The comment and blank lines before the value stay where they were.
        std::string& next = it + 1 == values->values.end() ? values->after : (it + 1)->before;
        next.insert(0, it->before);
        values->values.erase(it);
        return true;
    });
}

std::vector<std::string> DamagedValueFiles() {
    std::vector<std::string> damaged;
    std::vector<std::string> hives = {HiveDir("registry/HKLM"), HiveDir("registry/HKCU")};
    std::vector<std::string> servers;
    if (DIR* d = ::opendir((MachineDir() + "/servers").c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") servers.push_back(n);
        }
        ::closedir(d);
    }
    std::sort(servers.begin(), servers.end());
    for (const auto& server : servers) hives.push_back(HiveDir("servers/" + server + "/registry/HKLM"));
    for (const auto& hive : hives) FindDamage(hive, &damaged);
    return damaged;
}

RegValue Sz(const std::string& text) {
    RegValue v;
    v.type = REG_SZ;
    v.data = text + std::string(1, '\0');
    return v;
}

RegValue Dword(DWORD value) {
    RegValue v;
    v.type = REG_DWORD;
    v.data.assign(reinterpret_cast<const char*>(&value), 4);
    return v;
}

std::string SzText(const RegValue& value) {
    size_t end = value.data.find('\0');
    return end == std::string::npos ? value.data : value.data.substr(0, end);
}

DWORD DwordOf(const RegValue& value, DWORD fallback) {
    if (value.data.size() != 4) return fallback;
    DWORD d;
    std::memcpy(&d, value.data.data(), 4);
    return d;
}

std::string ViewPath(const std::string& hive, const std::string& path, REGSAM access) {
    if (hive != "registry/HKLM" || !Config().is64 || (access & KEY_WOW64_64KEY)) return path;
    auto parts = Split(path);
    if (parts.empty() || !EqualNoCase(parts[0], "SOFTWARE")) return path;
    if (parts.size() > 1 && EqualNoCase(parts[1], "Wow6432Node")) return path;
    std::string out = parts[0] + "\\Wow6432Node";
    for (size_t i = 1; i < parts.size(); ++i) out += "\\" + parts[i];
    return out;
}

std::string Export(const std::string& hive, const std::string& path, const std::string& label) {
    std::string out;
    std::string folder = KeyFolder(hive, path);
    std::string name = label + (path.empty() ? "" : "\\" + path);
    if (folder.empty()) {
        // Named, never followed.
        if (DamagedKey(hive, path)) out += "; damaged key [" + name + "]: a link, not followed\n\n";
        return out;
    }
    out += "[" + name + "]\n";
    for (const auto& v : CachedValues(folder).values) out += FormatValue(v.name, v.value) + "\n";
    out += "\n";
    std::vector<std::string> subkeys = Subkeys(hive, path);
    // Links in place of subkeys are no subkeys, but are shown as damaged.
    for (const auto& entry : Listing(folder).entries) {
        bool link = entry.second == EntryKind::kLink || entry.second == EntryKind::kFolderLink;
        if (link && Lower(entry.first) != kValuesFile) subkeys.push_back(DecodeName(entry.first));
    }
    SortAsSubkeys(&subkeys);
    for (const auto& sub : subkeys) out += Export(hive, path.empty() ? sub : path + "\\" + sub, label);
    return out;
}

}  // namespace reg

// ---- the API ----------------------------------------------------------------

namespace {

const char kClassesKey[] = "SOFTWARE\\Classes";

struct KeyObject : Object {
    static constexpr const char* Kind = "key";
    KeyObject() : Object(Kind) {}
    std::string hive, path;  // path as named, before the registry view applies
    REGSAM view = 0;         // KEY_WOW64_32KEY / KEY_WOW64_64KEY chosen at open
};

bool Resolve(HKEY key, std::string* hive, std::string* path, REGSAM* view) {
    if (key == HKEY_LOCAL_MACHINE) {
        *hive = "registry/HKLM";
        path->clear();
        *view = 0;
        return true;
    }
    if (key == HKEY_CURRENT_USER) {
        *hive = "registry/HKCU";
        path->clear();
        *view = 0;
        return true;
    }
    if (key == HKEY_CLASSES_ROOT) {
        // The machine's classes; the per-user ones are not merged in, and
        // the view is the one key both views share.
        *hive = "registry/HKLM";
        *path = kClassesKey;
        *view = KEY_WOW64_64KEY;
        return true;
    }
    auto* k = Lookup<KeyObject>(key);
    if (!k) return false;
    *hive = k->hive;
    *path = k->path;
    *view = k->view;
    return true;
}

std::string Join(const std::string& a, const char* b) {
    std::string sub = b ? b : "";
    while (!sub.empty() && sub.front() == '\\') sub.erase(0, 1);
    while (!sub.empty() && sub.back() == '\\') sub.pop_back();
    if (a.empty()) return sub;
    if (sub.empty()) return a;
    return a + "\\" + sub;
}

HKEY NewKey(const std::string& hive, const std::string& path, REGSAM view) {
    auto k = std::make_unique<KeyObject>();
    k->hive = hive;
    k->path = path;
    k->view = view;
    return static_cast<HKEY>(NewHandle(std::move(k)));
}

std::string Physical(const KeyObject& k) { return reg::ViewPath(k.hive, k.path, k.view); }

KeyObject Describe(HKEY key, bool* ok) {
    KeyObject k;
    *ok = Resolve(key, &k.hive, &k.path, &k.view);
    return k;
}

// The key a subkey of an open key names: its hive, its path as named and the
// registry view it is seen in (the one asked for, else the parent's).
bool Below(HKEY parent, LPCSTR subKey, REGSAM access, KeyObject* key) {
    bool ok;
    *key = Describe(parent, &ok);
    if (!ok) return false;
    key->path = Join(key->path, subKey);
    REGSAM asked = access & (KEY_WOW64_32KEY | KEY_WOW64_64KEY);
    if (asked) key->view = asked;
    return true;
}

}  // namespace
}  // namespace winsim

using namespace winsim;

extern "C" {

LSTATUS WINAPI RegOpenKeyExA(HKEY parent, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    KeyObject key;
    if (!Below(parent, subKey, access, &key)) return ERROR_INVALID_HANDLE;
    DWORD error;
    if (TakeFault("RegOpenKeyExA", key.path, &error)) return static_cast<LSTATUS>(error);
    // "RegOpenKeyExA:KEY_WOW64_32KEY PATH" (or ...64KEY) fails only the opens
    // that ask for that view explicitly, so tests can tell which view a
    // caller chose even where both name the same key.
    if ((access & KEY_WOW64_32KEY) && TakeFault("RegOpenKeyExA:KEY_WOW64_32KEY", key.path, &error))
        return static_cast<LSTATUS>(error);
    if ((access & KEY_WOW64_64KEY) && TakeFault("RegOpenKeyExA:KEY_WOW64_64KEY", key.path, &error))
        return static_cast<LSTATUS>(error);
    if (!reg::KeyExists(key.hive, reg::ViewPath(key.hive, key.path, key.view))) return ERROR_FILE_NOT_FOUND;
    *result = NewKey(key.hive, key.path, key.view);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCreateKeyExA(HKEY parent, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM access,
                               LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    KeyObject key;
    if (!Below(parent, subKey, access, &key)) return ERROR_INVALID_HANDLE;
    DWORD error;
    if (TakeFault("RegCreateKeyExA", key.path, &error)) return static_cast<LSTATUS>(error);
    std::string physical = reg::ViewPath(key.hive, key.path, key.view);
    bool existed = reg::KeyExists(key.hive, physical);
    if (!existed && !reg::CreateKey(key.hive, physical)) return ERROR_ACCESS_DENIED;
    if (disposition) *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    *result = NewKey(key.hive, key.path, key.view);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER || key == HKEY_CLASSES_ROOT) return ERROR_SUCCESS;
    return ReleaseHandle(key, KeyObject::Kind) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
    bool ok;
    KeyObject k = Describe(key, &ok);
    if (!ok) return ERROR_INVALID_HANDLE;
    if (data && !size) return ERROR_INVALID_PARAMETER;
    // The room is read before anything is written: a caller may pass one
    // variable as both the type and the size.
    DWORD room = size ? *size : 0;
    std::string valueName = name ? name : "";
    DWORD error;
    if (TakeFault("RegQueryValueExA", valueName, &error)) return static_cast<LSTATUS>(error);
    RegValue v;
    if (!reg::GetValue(k.hive, Physical(k), valueName, &v, &error)) {
        // A size query of a value that is not there is told 0.
        if (!data && size && error == ERROR_FILE_NOT_FOUND) *size = 0;
        return static_cast<LSTATUS>(error);
    }
    DWORD needed = static_cast<DWORD>(v.data.size());
    if (type) *type = v.type;
    if (!data) {
        if (size) *size = needed;
        return ERROR_SUCCESS;
    }
    if (room < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, v.data.data(), needed);
    bool text = v.type == REG_SZ || v.type == REG_EXPAND_SZ || v.type == REG_MULTI_SZ;
    // A string stored without its terminator gets one when there is room.
    if (text && (needed == 0 || v.data.back() != 0) && room > needed) data[needed] = 0;
    *size = needed;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
    bool ok;
    KeyObject k = Describe(key, &ok);
    if (!ok) return ERROR_INVALID_HANDLE;
    if (!data && size) return ERROR_INVALID_PARAMETER;
    std::string valueName = name ? name : "";
    DWORD error;
    if (TakeFault("RegSetValueExA", valueName, &error)) return static_cast<LSTATUS>(error);
    RegValue v;
    v.type = type;
    if (data) v.data.assign(reinterpret_cast<const char*>(data), size);
    // A string whose size leaves out its terminator is stored with one, as
    // Windows stores it (Windows adds it when the byte after the data is a
    // zero; winsim never reads past the caller's data).
    bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
    if (text && !v.data.empty() && v.data.back() != '\0') v.data += '\0';
    if (reg::SetValue(k.hive, Physical(k), valueName, v, &error)) return ERROR_SUCCESS;
    bool told = error == ERROR_REGISTRY_CORRUPT || error == ERROR_INVALID_PARAMETER;
    return told ? static_cast<LSTATUS>(error) : ERROR_FILE_NOT_FOUND;
}

LSTATUS WINAPI RegDeleteValueA(HKEY key, LPCSTR name) {
    bool ok;
    KeyObject k = Describe(key, &ok);
    if (!ok) return ERROR_INVALID_HANDLE;
    std::string valueName = name ? name : "";
    DWORD error;
    if (TakeFault("RegDeleteValueA", valueName, &error)) return static_cast<LSTATUS>(error);
    if (reg::DeleteValue(k.hive, Physical(k), valueName, &error)) return ERROR_SUCCESS;
    return error == ERROR_REGISTRY_CORRUPT ? ERROR_REGISTRY_CORRUPT : ERROR_FILE_NOT_FOUND;
}

LSTATUS WINAPI RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    bool ok;
    KeyObject k = Describe(key, &ok);
    if (!ok) return ERROR_INVALID_HANDLE;
    if (!subKey) return ERROR_INVALID_PARAMETER;
    std::string path = Join(k.path, subKey);
    // A root key itself is never deleted.
    bool root = key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER || key == HKEY_CLASSES_ROOT;
    if (path == k.path && (root || k.path.empty())) return ERROR_ACCESS_DENIED;
    std::string physical = reg::ViewPath(k.hive, path, k.view);
    DWORD error;
    if (TakeFault("RegDeleteKeyA", path, &error)) return static_cast<LSTATUS>(error);
    if (!reg::KeyExists(k.hive, physical)) {
        // A damaged key (a link in the registry's place) goes as a link.
        if (!reg::DamagedKey(k.hive, physical)) return ERROR_FILE_NOT_FOUND;
        return reg::DeleteTree(k.hive, physical) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
    }
    if (!reg::Subkeys(k.hive, physical).empty()) return ERROR_ACCESS_DENIED;
    return reg::DeleteTree(k.hive, physical) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LSTATUS WINAPI RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD, LPDWORD type, LPBYTE data,
                             LPDWORD dataSize) {
    bool ok;
    KeyObject k = Describe(key, &ok);
    if (!ok) return ERROR_INVALID_HANDLE;
    if (!name || !nameSize || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
    // Both rooms are read before anything is written (one variable may be
    // passed as the type and a size).
    DWORD nameRoom = *nameSize, dataRoom = dataSize ? *dataSize : 0;
    DWORD error = ERROR_SUCCESS;
    auto values = reg::Values(k.hive, Physical(k), &error);
    if (error != ERROR_SUCCESS) return static_cast<LSTATUS>(error);
    if (index >= values.size()) return ERROR_NO_MORE_ITEMS;
    const std::string& n = values[index].first;
    const RegValue& v = values[index].second;
    DWORD needed = static_cast<DWORD>(v.data.size());
    // What does not fit is answered with 234, the type and the data's size
    // told. Data that does not fit leaves the name and data buffers as they
    // were; a name that does not fit is cut into its buffer and the data is
    // handed out, with the name's size left as it was.
    bool nameFits = nameRoom > n.size(), dataFits = !data || dataRoom >= needed;
    if (type) *type = v.type;
    if (dataSize) *dataSize = needed;
    if (!dataFits) return ERROR_MORE_DATA;
    if (data) std::memcpy(data, v.data.data(), needed);
    if (!nameFits) {
        if (nameRoom > 0) {
            std::memcpy(name, n.data(), nameRoom - 1);
            name[nameRoom - 1] = '\0';
        }
        return ERROR_MORE_DATA;
    }
    std::memcpy(name, n.c_str(), n.size() + 1);
    *nameSize = static_cast<DWORD>(n.size());
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD, LPSTR, LPDWORD,
                             FILETIME*) {
    bool ok;
    KeyObject k = Describe(key, &ok);
    if (!ok) return ERROR_INVALID_HANDLE;
    if (!name || !nameSize) return ERROR_INVALID_PARAMETER;
    // One subkey of the kept listing, not a copy of every name per call: a
    // key of 9999 subkeys is enumerated in linear time.
    std::string n;
    if (!reg::SubkeyAt(k.hive, Physical(k), index, &n)) return ERROR_NO_MORE_ITEMS;
    if (*nameSize <= n.size()) return ERROR_MORE_DATA;
    std::memcpy(name, n.c_str(), n.size() + 1);
    *nameSize = static_cast<DWORD>(n.size());
    return ERROR_SUCCESS;
}

}  // extern "C"
