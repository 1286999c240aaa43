// The registry: one folder per key, its values in values.reg (regedit's text).
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <sstream>

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

std::string KeyFolder(const std::string& hive, const std::string& path) {
    std::string folder = reg::HiveDir(hive);
    if (!CachedIsFolder(folder)) return std::string();
    for (const auto& part : Split(path)) {
        folder = FindChild(folder, part);
        if (folder.empty()) return folder;
    }
    return folder;
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

bool ParseQuoted(const std::string& s, size_t* pos, std::string* out) {
    if (*pos >= s.size() || s[*pos] != '"') return false;
    out->clear();
    for (size_t i = *pos + 1; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            *out += s[++i];
        } else if (s[i] == '"') {
            *pos = i + 1;
            return true;
        } else {
            *out += s[i];
        }
    }
    return false;
}

bool ParseValueLine(const std::string& line, std::string* name, RegValue* v) {
    size_t pos = 0;
    if (line.empty()) return false;
    if (line[0] == '@') {
        name->clear();
        pos = 1;
    } else if (!ParseQuoted(line, &pos, name)) {
        return false;
    }
    if (pos >= line.size() || line[pos] != '=') return false;
    ++pos;
    if (pos < line.size() && line[pos] == '"') {
        std::string text;
        if (!ParseQuoted(line, &pos, &text)) return false;
        v->type = REG_SZ;
        v->data = text + std::string(1, '\0');
        return true;
    }
    std::string rest = line.substr(pos);
    if (rest.rfind("dword:", 0) == 0) {
        DWORD d = static_cast<DWORD>(std::strtoul(rest.c_str() + 6, nullptr, 16));
        *v = reg::Dword(d);
        return true;
    }
    size_t colon = rest.find(':');
    if (colon == std::string::npos) return false;
    std::string head = rest.substr(0, colon);
    if (head == "hex") v->type = REG_BINARY;
    else if (head.rfind("hex(", 0) == 0) v->type = static_cast<DWORD>(std::strtoul(head.c_str() + 4, nullptr, 16));
    else return false;
    v->data.clear();
    std::string bytes = rest.substr(colon + 1);
    for (size_t i = 0; i + 1 < bytes.size() + 1 && i < bytes.size(); i += 3)
        v->data += static_cast<char>(std::strtoul(bytes.substr(i, 2).c_str(), nullptr, 16));
    return true;
}

using ValueList = std::vector<std::pair<std::string, RegValue>>;

ValueList LoadValues(const std::string& folder) {
    ValueList values;
    std::string text;
    if (!ReadWholeFile(folder + "/" + kValuesFile, &text)) return values;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::string name;
        RegValue v;
        if (ParseValueLine(line, &name, &v)) values.emplace_back(name, v);
    }
    return values;
}

bool SaveValues(const std::string& folder, const ValueList& values) {
    std::string text;
    for (const auto& nv : values) text += FormatValue(nv.first, nv.second) + "\n";
    return WriteFileAtomic(folder + "/" + kValuesFile, text);
}

// The values of each key folder as LoadValues read them, kept while no other
// process changes the machine; a key's entry goes when this process writes
// the key's values or removes the key.
struct ValuesCache {
    uint64_t drops = 0;  // the CacheDrops the entries stand for
    std::unordered_map<std::string, ValueList> byFolder;
};

ValuesCache& TheValuesCache() {
    static ValuesCache cache;
    return cache;
}

// The cache, emptied when the caches were dropped (another process's change,
// another machine) since it was last used.
std::unordered_map<std::string, ValueList>& ValuesByFolder() {
    ValuesCache& cache = TheValuesCache();
    uint64_t drops = CacheDrops();
    if (cache.drops != drops) {
        cache.byFolder.clear();
        cache.drops = drops;
    }
    return cache.byFolder;
}

const ValueList& CachedValues(const std::string& folder) {
    auto& byFolder = ValuesByFolder();
    auto it = byFolder.find(folder);
    if (it == byFolder.end()) it = byFolder.emplace(folder, LoadValues(folder)).first;
    return it->second;
}

// Writes a key's values; the next read loads them again from the file.
bool SaveKeyValues(const std::string& folder, const ValueList& values) {
    bool saved = SaveValues(folder, values);
    ValuesByFolder().erase(folder);
    return saved;
}

// Forgets the values of a key folder and of every folder below it.
void ForgetValuesBelow(const std::string& folder) {
    auto& byFolder = ValuesByFolder();
    byFolder.erase(folder);
    std::string below = folder + "/";
    for (auto it = byFolder.begin(); it != byFolder.end();) {
        if (it->first.compare(0, below.size(), below) == 0) it = byFolder.erase(it);
        else ++it;
    }
}

}  // namespace

namespace reg {

std::string HiveDir(const std::string& hive) { return MachineDir() + "/" + hive; }

bool KeyExists(const std::string& hive, const std::string& path) { return !KeyFolder(hive, path).empty(); }

bool CreateKey(const std::string& hive, const std::string& path) {
    std::string folder = HiveDir(hive);
    if (!CachedIsFolder(folder)) {
        if (::mkdir(folder.c_str(), 0755) != 0) return false;
        NoteAdded(folder, EntryKind::kFolder);
    }
    for (const auto& part : Split(path)) {
        std::string child = FindChild(folder, part);
        if (child.empty()) {
            child = folder + "/" + EncodeName(part);
            if (::mkdir(child.c_str(), 0755) == 0) NoteAdded(child, EntryKind::kFolder);
            else if (!IsDirectory(child)) return false;
        }
        folder = child;
    }
    return true;
}

bool DeleteTree(const std::string& hive, const std::string& path) {
    std::string folder = KeyFolder(hive, path);
    if (folder.empty() || Split(path).empty()) return false;
    // Rename first so that a killed process never leaves half a key behind.
    std::string doomed = folder + ".deleted." + std::to_string(::getpid());
    if (::rename(folder.c_str(), doomed.c_str()) != 0) return false;
    ForgetValuesBelow(folder);
    NoteRemoved(folder);
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
            const std::string& n = entry.first;
            if (entry.second != EntryKind::kFolder || n.find(".deleted.") != std::string::npos) continue;
            names.push_back(DecodeName(n));
        }
        SortAsSubkeys(&names);
        listing.subkeys = std::move(names);
        listing.subkeysValid = true;
    }
    return listing.subkeys;
}

bool GetValue(const std::string& hive, const std::string& path, const std::string& name, RegValue* value) {
    std::string folder = KeyFolder(hive, path);
    if (folder.empty()) return false;
    for (const auto& nv : CachedValues(folder)) {
        if (EqualNoCase(nv.first, name)) {
            if (value) *value = nv.second;
            return true;
        }
    }
    return false;
}

ValueList Values(const std::string& hive, const std::string& path) {
    std::string folder = KeyFolder(hive, path);
    return folder.empty() ? ValueList() : CachedValues(folder);
}

bool SetValue(const std::string& hive, const std::string& path, const std::string& name, const RegValue& value) {
    std::string folder = KeyFolder(hive, path);
    if (folder.empty()) return false;
    ValueList values = CachedValues(folder);
    bool replaced = false;
    for (auto& nv : values) {
        if (EqualNoCase(nv.first, name)) {
            nv.second = value;
            replaced = true;
            break;
        }
    }
    if (!replaced) values.emplace_back(name, value);
    return SaveKeyValues(folder, values);
}

bool DeleteValue(const std::string& hive, const std::string& path, const std::string& name) {
    std::string folder = KeyFolder(hive, path);
    if (folder.empty()) return false;
    ValueList values = CachedValues(folder);
    auto it = std::find_if(values.begin(), values.end(), [&](const auto& nv) { return EqualNoCase(nv.first, name); });
    if (it == values.end()) return false;
    values.erase(it);
    return SaveKeyValues(folder, values);
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
    if (folder.empty()) return out;
    out += "[" + label + (path.empty() ? "" : "\\" + path) + "]\n";
    for (const auto& nv : LoadValues(folder)) out += FormatValue(nv.first, nv.second) + "\n";
    out += "\n";
    for (const auto& sub : Subkeys(hive, path)) out += Export(hive, path.empty() ? sub : path + "\\" + sub, label);
    return out;
}

}  // namespace reg

// ---- the API ----------------------------------------------------------------

namespace {

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

}  // namespace
}  // namespace winsim

using namespace winsim;

extern "C" {

LSTATUS WINAPI RegOpenKeyExA(HKEY parent, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    bool ok;
    KeyObject base = Describe(parent, &ok);
    if (!ok) return ERROR_INVALID_HANDLE;
    std::string path = Join(base.path, subKey);
    REGSAM view = (access & (KEY_WOW64_32KEY | KEY_WOW64_64KEY)) ? (access & (KEY_WOW64_32KEY | KEY_WOW64_64KEY))
                                                                 : base.view;
    DWORD error;
    if (TakeFault("RegOpenKeyExA", path, &error)) return static_cast<LSTATUS>(error);
    // "RegOpenKeyExA:KEY_WOW64_32KEY PATH" (or ...64KEY) fails only the opens
    // that ask for that view explicitly, so tests can tell which view a
    // caller chose even where both name the same key.
    if ((access & KEY_WOW64_32KEY) && TakeFault("RegOpenKeyExA:KEY_WOW64_32KEY", path, &error))
        return static_cast<LSTATUS>(error);
    if ((access & KEY_WOW64_64KEY) && TakeFault("RegOpenKeyExA:KEY_WOW64_64KEY", path, &error))
        return static_cast<LSTATUS>(error);
    if (!reg::KeyExists(base.hive, reg::ViewPath(base.hive, path, view))) return ERROR_FILE_NOT_FOUND;
    *result = NewKey(base.hive, path, view);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCreateKeyExA(HKEY parent, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM access,
                               LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    bool ok;
    KeyObject base = Describe(parent, &ok);
    if (!ok) return ERROR_INVALID_HANDLE;
    std::string path = Join(base.path, subKey);
    REGSAM view = (access & (KEY_WOW64_32KEY | KEY_WOW64_64KEY)) ? (access & (KEY_WOW64_32KEY | KEY_WOW64_64KEY))
                                                                 : base.view;
    DWORD error;
    if (TakeFault("RegCreateKeyExA", path, &error)) return static_cast<LSTATUS>(error);
    std::string physical = reg::ViewPath(base.hive, path, view);
    bool existed = reg::KeyExists(base.hive, physical);
    if (!existed && !reg::CreateKey(base.hive, physical)) return ERROR_ACCESS_DENIED;
    if (disposition) *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    *result = NewKey(base.hive, path, view);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER) return ERROR_SUCCESS;
    return ReleaseHandle(key, KeyObject::Kind) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
    bool ok;
    KeyObject k = Describe(key, &ok);
    if (!ok) return ERROR_INVALID_HANDLE;
    if (data && !size) return ERROR_INVALID_PARAMETER;
    std::string valueName = name ? name : "";
    DWORD error;
    if (TakeFault("RegQueryValueExA", valueName, &error)) return static_cast<LSTATUS>(error);
    RegValue v;
    if (!reg::GetValue(k.hive, Physical(k), valueName, &v)) return ERROR_FILE_NOT_FOUND;
    if (type) *type = v.type;
    DWORD needed = static_cast<DWORD>(v.data.size());
    if (!data) {
        if (size) *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, v.data.data(), needed);
    bool text = v.type == REG_SZ || v.type == REG_EXPAND_SZ || v.type == REG_MULTI_SZ;
    // A string stored without its terminator gets one when there is room.
    if (text && (needed == 0 || v.data.back() != 0) && *size > needed) data[needed] = 0;
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
    if (!reg::SetValue(k.hive, Physical(k), valueName, v)) return ERROR_FILE_NOT_FOUND;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteValueA(HKEY key, LPCSTR name) {
    bool ok;
    KeyObject k = Describe(key, &ok);
    if (!ok) return ERROR_INVALID_HANDLE;
    std::string valueName = name ? name : "";
    DWORD error;
    if (TakeFault("RegDeleteValueA", valueName, &error)) return static_cast<LSTATUS>(error);
    return reg::DeleteValue(k.hive, Physical(k), valueName) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LSTATUS WINAPI RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    bool ok;
    KeyObject k = Describe(key, &ok);
    if (!ok) return ERROR_INVALID_HANDLE;
    if (!subKey) return ERROR_INVALID_PARAMETER;
    std::string path = Join(k.path, subKey);
    if (path == k.path && k.path.empty()) return ERROR_ACCESS_DENIED;
    std::string physical = reg::ViewPath(k.hive, path, k.view);
    DWORD error;
    if (TakeFault("RegDeleteKeyA", path, &error)) return static_cast<LSTATUS>(error);
    if (!reg::KeyExists(k.hive, physical)) return ERROR_FILE_NOT_FOUND;
    if (!reg::Subkeys(k.hive, physical).empty()) return ERROR_ACCESS_DENIED;
    return reg::DeleteTree(k.hive, physical) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LSTATUS WINAPI RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD, LPDWORD type, LPBYTE data,
                             LPDWORD dataSize) {
    bool ok;
    KeyObject k = Describe(key, &ok);
    if (!ok) return ERROR_INVALID_HANDLE;
    if (!name || !nameSize || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
    auto values = reg::Values(k.hive, Physical(k));
    if (index >= values.size()) return ERROR_NO_MORE_ITEMS;
    const std::string& n = values[index].first;
    const RegValue& v = values[index].second;
    if (*nameSize <= n.size()) return ERROR_MORE_DATA;
    DWORD needed = static_cast<DWORD>(v.data.size());
    if (data && *dataSize < needed) {
        *dataSize = needed;
        return ERROR_MORE_DATA;
    }
    std::memcpy(name, n.c_str(), n.size() + 1);
    *nameSize = static_cast<DWORD>(n.size());
    if (type) *type = v.type;
    if (data) std::memcpy(data, v.data.data(), needed);
    if (dataSize) *dataSize = needed;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD, LPSTR, LPDWORD,
                             FILETIME*) {
    bool ok;
    KeyObject k = Describe(key, &ok);
    if (!ok) return ERROR_INVALID_HANDLE;
    if (!name || !nameSize) return ERROR_INVALID_PARAMETER;
    auto subkeys = reg::Subkeys(k.hive, Physical(k));
    if (index >= subkeys.size()) return ERROR_NO_MORE_ITEMS;
    const std::string& n = subkeys[index];
    if (*nameSize <= n.size()) return ERROR_MORE_DATA;
    std::memcpy(name, n.c_str(), n.size() + 1);
    *nameSize = static_cast<DWORD>(n.size());
    return ERROR_SUCCESS;
}

}  // extern "C"
