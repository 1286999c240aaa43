// Reading this machine's print state for the capture: the check's reading
// of the machine (the spooler's monitors, ports with their records, the
// printers), and beside it the Windows version, the registry keys the
// installer reads or writes, and the product's files and folders. Every call
// only reads.
#include "decide/machine_capture.h"

#include <algorithm>
#include <cstring>

#include "base/edition.h"
#include "base/wow64.h"
#include "client/client_files.h"
#include "decide/names.h"
#include "platform/handles.h"

namespace {

// Registry names hold at most 255 characters (keys) and 16383 (values).
constexpr DWORD kKeyNameSize = 256;
constexpr DWORD kValueNameSize = 16384;
// The event-log source, under the name the installer registers it.
const char kEventSourceKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\VormoPort";

// The registry the capture takes: one value of a key, or a key with every
// value and every key below it. A key below SOFTWARE is taken in the 32-bit
// view as well on 64-bit Windows, where the installer (a 32-bit program)
// reads and writes it.
struct RegistryPart {
    const char* path;   // below HKEY_LOCAL_MACHINE
    const char* value;  // null: the whole tree
    bool software;
};
const RegistryPart kRegistryParts[] = {
    {"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v2.0.50727", "Install", true},
    {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir", true},
    {kRunKey, kAutostartValue, true},
    {"SOFTWARE\\Oxlen Corporation", nullptr, true},
    {kEventSourceKey, nullptr, false},
};

std::string ErrorText(const std::string& what, LONG error) {
    return what + " (error " + std::to_string(static_cast<unsigned long>(error)) + ")";
}

class Reader {
public:
    explicit Reader(MachineCapture* capture) : c_(*capture) {}
    void Run();

private:
    bool Failed() const { return !c_.failure.empty(); }
    void Fail(const std::string& why) {
        if (c_.failure.empty()) c_.failure = why;
    }

    void ReadWindows();
    // Values of an open key: every one, or the one named.
    bool ReadValues(HKEY key, const std::string& label, const char* only, std::vector<CapturedValue>* values);
    // A key (and, without a value name, everything below it); nothing when it is absent.
    void ReadKey(HKEY root, const std::string& label, const std::string& path, const char* only, REGSAM view);
    bool Subkeys(HKEY key, const std::string& label, std::vector<std::string>* names);
    void ReadRegistry();
    void ReadFiles();
    void AddFile(CaptureRoot root, const std::string& folder, const std::string& name);
    void Walk(CaptureRoot root, const std::string& folder, const std::string& relative);
    std::string RegistryText(const std::string& key, const char* value) const;

    MachineCapture& c_;
    REGSAM native_ = 0;  // the 64-bit view, where there is one
};

void Reader::ReadWindows() {
    OSVERSIONINFOA basic;
    std::memset(&basic, 0, sizeof basic);
    basic.dwOSVersionInfoSize = sizeof basic;
    if (!GetVersionExA(&basic)) return Fail(ErrorText("the Windows version cannot be read", GetLastError()));
    c_.platform = basic.dwPlatformId;
    c_.major = basic.dwMajorVersion;
    c_.minor = basic.dwMinorVersion;
    c_.build = basic.dwBuildNumber;
    OSVERSIONINFOEXA extended;
    std::memset(&extended, 0, sizeof extended);
    extended.dwOSVersionInfoSize = sizeof extended;
    // Windows without the extended record has no product type to tell.
    if (GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&extended))) c_.productType = extended.wProductType;
    c_.wow64 = IsWow64();
    c_.codePage = GetACP();
    native_ = c_.wow64 ? KEY_WOW64_64KEY : 0;
}

bool Reader::ReadValues(HKEY key, const std::string& label, const char* only, std::vector<CapturedValue>* values) {
    if (only) {
        // One call when the value fits the room a port record takes.
        std::string data(kPortRecordSize, '\0');
        DWORD type = 0, size = static_cast<DWORD>(data.size());
        LONG status = RegQueryValueExA(key, only, nullptr, &type, reinterpret_cast<LPBYTE>(&data[0]), &size);
        if (status == ERROR_FILE_NOT_FOUND) return true;
        if (status == ERROR_MORE_DATA) {
            data.assign(size, '\0');
            status = RegQueryValueExA(key, only, nullptr, &type, reinterpret_cast<LPBYTE>(&data[0]), &size);
        }
        if (status != ERROR_SUCCESS || size > data.size()) {
            Fail(ErrorText("cannot read " + label + "\\" + only, status));
            return false;
        }
        data.resize(size);
        values->push_back({only, type, data});
        return true;
    }
    std::vector<char> name(kValueNameSize);
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = kValueNameSize, type = 0, size = 0;
        LONG status = RegEnumValueA(key, index, name.data(), &nameSize, nullptr, &type, nullptr, &size);
        if (status == ERROR_NO_MORE_ITEMS) break;
        std::string data(size, '\0');
        if (status == ERROR_SUCCESS && size) {
            nameSize = kValueNameSize;
            status = RegEnumValueA(key, index, name.data(), &nameSize, nullptr, &type,
                                   reinterpret_cast<LPBYTE>(&data[0]), &size);
        }
        if (status != ERROR_SUCCESS) {
            Fail(ErrorText("cannot read the values of " + label, status));
            return false;
        }
        data.resize(size);
        values->push_back({std::string(name.data(), nameSize), type, data});
    }
    std::sort(values->begin(), values->end(),
              [](const CapturedValue& a, const CapturedValue& b) { return a.name < b.name; });
    return true;
}

bool Reader::Subkeys(HKEY key, const std::string& label, std::vector<std::string>* names) {
    char name[kKeyNameSize];
    for (DWORD index = 0;; ++index) {
        DWORD size = sizeof name;
        LONG status = RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) {
            Fail(ErrorText("cannot list the keys below " + label, status));
            return false;
        }
        names->push_back(std::string(name, size));
    }
    return true;
}

void Reader::ReadKey(HKEY root, const std::string& label, const std::string& path, const char* only, REGSAM view) {
    platform::RegKey key;
    LONG status = RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, key.out());
    if (status == ERROR_FILE_NOT_FOUND) return;
    std::string name = label + "\\" + path;
    if (status != ERROR_SUCCESS) return Fail(ErrorText("cannot open " + name, status));
    CapturedKey captured;
    captured.path = name;
    if (!ReadValues(key.get(), name, only, &captured.values)) return;
    c_.registry.push_back(std::move(captured));
    if (only) return;
    std::vector<std::string> subkeys;
    if (!Subkeys(key.get(), name, &subkeys)) return;
    for (const std::string& subkey : subkeys) ReadKey(root, label, path + "\\" + subkey, nullptr, view);
}

void Reader::ReadRegistry() {
    for (const RegistryPart& part : kRegistryParts) {
        ReadKey(HKEY_LOCAL_MACHINE, "HKLM", part.path, part.value, native_);
        // The 32-bit view by its place in the 64-bit one.
        std::string path = part.path;
        if (part.software && c_.wow64)
            ReadKey(HKEY_LOCAL_MACHINE, "HKLM", "SOFTWARE\\Wow6432Node" + path.substr(path.find('\\')), part.value,
                    native_);
    }
    // The client's data of each user session of this user.
    platform::RegKey environment;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kVolatileEnvironment, 0, KEY_READ, environment.out()) == ERROR_SUCCESS) {
        std::vector<std::string> sessions;
        if (!Subkeys(environment.get(), std::string("HKCU\\") + kVolatileEnvironment, &sessions)) return;
        for (const std::string& session : sessions)
            ReadKey(HKEY_CURRENT_USER, "HKCU", std::string(kVolatileEnvironment) + "\\" + session + "\\" + kUserDataKey,
                    nullptr, 0);
    }
    std::sort(c_.registry.begin(), c_.registry.end(),
              [](const CapturedKey& a, const CapturedKey& b) { return a.path < b.path; });
}

// One entry of a folder as FindFirstFileA describes it.
CapturedFile Entry(CaptureRoot root, const std::string& path, const WIN32_FIND_DATAA& found) {
    CapturedFile file;
    file.root = root;
    file.path = path;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        file.kind = CapturedKind::Link;
    } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        file.kind = CapturedKind::Folder;
    } else {
        file.size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        file.readOnly = (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    }
    return file;
}

void Reader::AddFile(CaptureRoot root, const std::string& folder, const std::string& name) {
    WIN32_FIND_DATAA found;
    std::memset(&found, 0, sizeof found);
    platform::FindHandle find(FindFirstFileA((folder + "\\" + name).c_str(), &found));
    if (!find) return;
    c_.files.push_back(Entry(root, found.cFileName, found));
}

void Reader::Walk(CaptureRoot root, const std::string& folder, const std::string& relative) {
    WIN32_FIND_DATAA found;
    std::memset(&found, 0, sizeof found);
    platform::FindHandle find(FindFirstFileA((folder + "\\*").c_str(), &found));
    if (!find) {
        DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES)
            Fail(ErrorText("cannot list " + folder, static_cast<LONG>(error)));
        return;
    }
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        if (folder.size() + 1 + name.size() > kCaptureMaxPath)
            return Fail("a path below " + folder + " is longer than " + std::to_string(kCaptureMaxPath) +
                        " characters");
        CapturedFile entry = Entry(root, relative + "\\" + name, found);
        c_.files.push_back(entry);
        if (entry.kind == CapturedKind::Folder) Walk(root, folder + "\\" + name, entry.path);
        if (Failed()) return;
    } while (FindNextFileA(find.get(), &found));
}

std::string Reader::RegistryText(const std::string& key, const char* value) const {
    for (const CapturedKey& k : c_.registry)
        if (k.path == key)
            for (const CapturedValue& v : k.values)
                if (SameName(v.name, value) && (v.type == REG_SZ || v.type == REG_EXPAND_SZ))
                    return v.data.substr(0, v.data.find('\0'));
    return std::string();
}

void Reader::ReadFiles() {
    char windows[MAX_PATH] = {}, system[MAX_PATH] = {};
    UINT n = GetWindowsDirectoryA(windows, sizeof windows), m = GetSystemDirectoryA(system, sizeof system);
    if (n == 0 || n >= sizeof windows || m == 0 || m >= sizeof system)
        return Fail("the Windows and system directories cannot be read");
    AddFile(CaptureRoot::Windows, windows, "VOPortInstall.log");
    std::vector<std::string> names = {"VormoEvent.dll"};
    for (const EditionProfile* e : {&kStandardEdition, &kEnterpriseEdition})
        for (const char* name : {e->monitorDll32, e->monitorDll64, e->uiDll32, e->uiDll64, e->cairoDll32, e->cairoDll64,
                                 e->oldMonitorDll32, e->oldMonitorDll64})
            if (name) names.push_back(name);
    for (const std::string& name : names) {
        AddFile(CaptureRoot::System, system, name);
        if (c_.wow64) AddFile(CaptureRoot::SystemWow64, std::string(windows) + "\\SysWOW64", name);
    }
    // The maker's folder below each Program Files folder.
    const std::string currentVersion = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    std::string programFiles = RegistryText("HKLM\\" + currentVersion, "ProgramFilesDir");
    std::string programFilesX86 =
        c_.wow64 ? RegistryText("HKLM\\SOFTWARE\\Wow6432Node" + currentVersion.substr(8), "ProgramFilesDir") : "";
    if (SameName(programFiles, programFilesX86)) programFilesX86.clear();
    for (const auto& root : {std::make_pair(CaptureRoot::ProgramFiles, programFiles),
                             std::make_pair(CaptureRoot::ProgramFilesX86, programFilesX86)}) {
        if (root.second.empty()) continue;
        WIN32_FIND_DATAA found;
        std::memset(&found, 0, sizeof found);
        platform::FindHandle find(FindFirstFileA((root.second + "\\Oxlen").c_str(), &found));
        if (!find) continue;
        CapturedFile maker = Entry(root.first, found.cFileName, found);
        c_.files.push_back(maker);
        if (maker.kind == CapturedKind::Folder) Walk(root.first, root.second + "\\" + maker.path, maker.path);
    }
    std::stable_sort(c_.files.begin(), c_.files.end(), [](const CapturedFile& a, const CapturedFile& b) {
        return a.root != b.root ? a.root < b.root : a.path < b.path;
    });
}

void Reader::Run() {
    ReadWindows();
    if (Failed()) return;
    c_.reading = ReadMachine(nullptr);
    if (c_.reading.local.error) return Fail(ErrorText("the spooler cannot list its ports", c_.reading.local.error));
    if (c_.reading.printersError)
        return Fail(ErrorText("the spooler cannot list its printers", c_.reading.printersError));
    ReadRegistry();
    if (!Failed()) ReadFiles();
}

}  // namespace

MachineCapture ReadMachineCapture() {
    MachineCapture capture;
    Reader(&capture).Run();
    return capture;
}
