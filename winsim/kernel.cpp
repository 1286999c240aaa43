// kernel32 and advapi32 beyond files and registry: errors, modules, versions,
// memory, text, mutexes, processes and the event log.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "internal.h"

namespace winsim {
namespace {

struct ModuleObject : Object {
    static constexpr const char* Kind = "module";
    ModuleObject() : Object(Kind) {}
    std::string name;  // lower case, without extension
};

struct MutexObject : Object {
    static constexpr const char* Kind = "mutex";
    MutexObject() : Object(Kind) {}
    ~MutexObject() override {
        if (fd >= 0) ::close(fd);
    }
    int fd = -1;
    bool owner = false;
};

struct ProcessObject : Object {
    static constexpr const char* Kind = "process";
    ProcessObject() : Object(Kind) {}
    DWORD exitCode = 0;
};

struct ThreadObject : Object {
    static constexpr const char* Kind = "thread";
    ThreadObject() : Object(Kind) {}
};

struct EventSourceObject : Object {
    static constexpr const char* Kind = "eventsource";
    EventSourceObject() : Object(Kind) {}
    std::string source, computer;
};

std::set<void*>& Blocks() {
    static std::set<void*> blocks;
    return blocks;
}

HANDLE const kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));

// kernel32 is loaded in every process at the same address; its handle (from
// GetModuleHandleA) is that address and is not counted as an open handle.
HMODULE const kKernel32Module = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x7C800000));

template <class F>
FARPROC Proc(F* f) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(f));
}

// What GetProcAddress gives out: the entries the installer binds at run time.
struct Export {
    const char* module;
    const char* name;
    FARPROC proc;
};
const Export kExports[] = {
    {"kernel32", "IsWow64Process", Proc(&IsWow64Process)},
    {"kernel32", "Wow64DisableWow64FsRedirection", Proc(&Wow64DisableWow64FsRedirection)},
    {"kernel32", "MultiByteToWideChar", Proc(&MultiByteToWideChar)},
    {"winspool", "OpenPrinterW", Proc(&OpenPrinterW)},
    {"winspool", "XcvDataW", Proc(&XcvDataW)},
};

const char* const kModules[] = {"kernel32", "winspool", "advapi32"};

// The Windows-1252 characters 0x80..0x9F; the rest of the page is Latin-1.
const char16_t k1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The files of drive C: this process holds open (the install log, which the
// platform opens itself), by their Windows paths, as the host shows them.
std::vector<std::string> HeldFiles() {
    std::vector<std::string> held, fds;
    std::vector<std::string> drives = {MachineDir() + "/drive_c/"};
    if (char* real = ::realpath(MachineDir().c_str(), nullptr)) {
        drives.push_back(std::string(real) + "/drive_c/");
        std::free(real);
    }
    if (!ListFolder("/proc/self/fd", &fds)) return held;
    for (const auto& fd : fds) {
        char target[PATH_MAX];
        ssize_t n = ::readlink(("/proc/self/fd/" + fd).c_str(), target, sizeof target - 1);
        if (n <= 0) continue;
        std::string path(target, static_cast<size_t>(n));
        for (const auto& drive : drives) {
            if (path.compare(0, drive.size(), drive) != 0) continue;
            std::string win = "C:\\" + path.substr(drive.size());
            for (auto& c : win)
                if (c == '/') c = '\\';
            held.push_back(win);
            break;
        }
    }
    std::sort(held.begin(), held.end());
    return held;
}

}  // namespace

std::string ModuleName(const std::string& name) {
    std::string m = Lower(BaseName(name));
    if (m.size() > 4 && (m.compare(m.size() - 4, 4, ".dll") == 0 || m.compare(m.size() - 4, 4, ".drv") == 0))
        m = m.substr(0, m.size() - 4);
    return m;
}

bool KnownModule(const std::string& module) {
    for (const char* m : kModules)
        if (module == m) return true;
    return false;
}

bool KnownExport(const std::string& module, const std::string& name) {
    for (const auto& e : kExports)
        if (module == e.module && name == e.name) return true;
    return false;
}

size_t OpenBlockCount() { return Blocks().size(); }

std::u16string AnsiToUtf16(const std::string& s, UINT) {
    std::u16string out;
    for (unsigned char c : s) out += c >= 0x80 && c < 0xA0 ? k1252High[c - 0x80] : static_cast<char16_t>(c);
    return out;
}

std::string Utf16ToAnsi(const std::u16string& s) {
    std::string out;
    for (char16_t u : s) {
        if (u < 0x80 || (u >= 0xA0 && u < 0x100)) {
            out += static_cast<char>(u);
            continue;
        }
        char c = '?';
        for (int i = 0; i < 32; ++i)
            if (k1252High[i] == u) c = static_cast<char>(0x80 + i);
        out += c;
    }
    return out;
}

std::string AnsiToUtf8(const std::string& s) { return Utf16ToUtf8(AnsiToUtf16(s, Config().codePage)); }

std::u16string Utf8ToUtf16(const std::string& s) {
    std::u16string out;
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t length = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        uint32_t code = length == 1 ? c : length == 2 ? (c & 0x1F) : length == 3 ? (c & 0x0F) : (c & 0x07);
        // The continuation bytes; the second one's range rules out overlong
        // forms, surrogates and code points past U+10FFFF.
        size_t taken = 1;
        for (; length > 1 && taken < length && i + taken < s.size(); ++taken) {
            unsigned char next = static_cast<unsigned char>(s[i + taken]);
            unsigned char low = 0x80, high = 0xBF;
            if (taken == 1) {
                if (c == 0xE0) low = 0xA0;
                else if (c == 0xED) high = 0x9F;
                else if (c == 0xF0) low = 0x90;
                else if (c == 0xF4) high = 0x8F;
            }
            if (next < low || next > high) break;
            code = (code << 6) | (next & 0x3F);
        }
        if (length == 0 || taken < length) {
            out += u'\uFFFD';  // the bytes of an incomplete sequence stand for one character
            i += taken;
            continue;
        }
        i += length;
        if (code < 0x10000) {
            out += static_cast<char16_t>(code);
        } else {
            out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        }
    }
    return out;
}

std::string Utf16ToUtf8(const std::u16string& s) {
    std::string out;
    for (char16_t u : s) {
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

}  // namespace winsim

using namespace winsim;

extern "C" {

DWORD WINAPI GetLastError(void) { return Process().lastError; }
void WINAPI SetLastError(DWORD code) { Process().lastError = code; }

BOOL WINAPI CloseHandle(HANDLE h) {
    if (CloseFileHandle(h) || ReleaseHandle(h, "process") || ReleaseHandle(h, "thread") || ReleaseHandle(h, "mutex"))
        return TRUE;
    return Fail(ERROR_INVALID_HANDLE);
}

// ---- modules ----------------------------------------------------------------

HMODULE WINAPI LoadLibraryA(LPCSTR name) {
    std::string m = ModuleName(name ? name : "");
    DWORD error;
    if (TakeFault("LoadLibraryA", m, &error)) {
        SetError(error);
        return nullptr;
    }
    if (!KnownModule(m)) {
        SetError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    auto module = std::make_unique<ModuleObject>();
    module->name = m;
    return static_cast<HMODULE>(NewHandle(std::move(module)));
}

BOOL WINAPI FreeLibrary(HMODULE module) {
    if (!ReleaseHandle(module, ModuleObject::Kind)) return Fail(ERROR_INVALID_HANDLE);
    return TRUE;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
    // A module that every process has loaded; its handle is not counted.
    if (ModuleName(name ? name : "") == "kernel32") return kKernel32Module;
    SetError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
    std::string m;
    if (module == kKernel32Module) {
        m = "kernel32";
    } else if (auto* object = Lookup<ModuleObject>(module)) {
        m = object->name;
    } else {
        SetError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    std::string export_name = name ? name : "";
    if (ExportMissing(m, export_name)) {
        SetError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    for (const auto& e : kExports)
        if (m == e.module && export_name == e.name) return e.proc;
    SetError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

// ---- system -----------------------------------------------------------------

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    if (!info) return Fail(ERROR_INVALID_PARAMETER);
    DWORD size = info->dwOSVersionInfoSize;
    if (size != sizeof(OSVERSIONINFOA) && size != sizeof(OSVERSIONINFOEXA)) return Fail(ERROR_INSUFFICIENT_BUFFER);
    DWORD error;
    bool extended = size == sizeof(OSVERSIONINFOEXA);
    if (TakeFault(extended ? "GetVersionExA:ex" : "GetVersionExA", "*", &error)) return Fail(error);
    const MachineConfig& c = Config();
    info->dwMajorVersion = c.major;
    info->dwMinorVersion = c.minor;
    info->dwBuildNumber = c.build;
    info->dwPlatformId = c.platform;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    if (extended) {
        auto* ex = reinterpret_cast<LPOSVERSIONINFOEXA>(info);
        ex->wServicePackMajor = 0;
        ex->wServicePackMinor = 0;
        ex->wSuiteMask = 0;
        ex->wProductType = c.productType;
        ex->wReserved = 0;
    }
    return TRUE;
}

// The ANSI code page: the machine's (winsim models Windows-1252).
UINT WINAPI GetACP(void) { return Config().codePage; }

HANDLE WINAPI GetCurrentProcess(void) { return kCurrentProcess; }

BOOL WINAPI IsWow64Process(HANDLE process, PBOOL wow64) {
    if (process != kCurrentProcess || !wow64) return Fail(ERROR_INVALID_PARAMETER);
    *wow64 = Config().is64 ? TRUE : FALSE;
    return TRUE;
}

BOOL WINAPI Wow64DisableWow64FsRedirection(PVOID* oldValue) {
    if (!Config().is64) return Fail(ERROR_INVALID_FUNCTION);
    if (oldValue) *oldValue = reinterpret_cast<PVOID>(static_cast<uintptr_t>(Process().redirectionDisabled ? 1 : 0));
    Process().redirectionDisabled = true;
    return TRUE;
}

DWORD WINAPI GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
    if (!name) {
        SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    for (const auto& kv : Config().env) {
        if (!EqualNoCase(kv.first, name)) continue;
        const std::string& v = kv.second;
        if (!buffer || size <= v.size()) return static_cast<DWORD>(v.size() + 1);
        std::memcpy(buffer, v.c_str(), v.size() + 1);
        return static_cast<DWORD>(v.size());
    }
    SetError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
}

// ---- memory -----------------------------------------------------------------

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
    DWORD error;
    if (TakeFault("GlobalAlloc", "*", &error)) {
        SetError(error);
        return nullptr;
    }
    void* block = std::malloc(bytes ? bytes : 1);
    if (!block) {
        SetError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (flags & GMEM_ZEROINIT) std::memset(block, 0, bytes);
    else std::memset(block, 0xCD, bytes);  // Windows promises nothing about the content
    Blocks().insert(block);
    return block;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL block) {
    if (!block) return nullptr;
    if (Blocks().erase(block) == 0) {
        SetError(ERROR_INVALID_HANDLE);
        return block;
    }
    std::free(block);
    return nullptr;
}

// ---- text -------------------------------------------------------------------

int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceLength, LPWSTR target,
                               int targetLength) {
    if (!source || (flags & ~0x0Fu) || targetLength < 0 || (target == nullptr && targetLength != 0)) {
        SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string text = sourceLength < 0 ? std::string(source, std::strlen(source) + 1)
                                        : std::string(source, static_cast<size_t>(sourceLength));
    std::u16string wide = AnsiToUtf16(text, codePage == CP_ACP ? Config().codePage : codePage);
    if (targetLength == 0) return static_cast<int>(wide.size());
    if (static_cast<size_t>(targetLength) < wide.size()) {
        std::memcpy(target, wide.data(), static_cast<size_t>(targetLength) * sizeof(WCHAR));
        SetError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(target, wide.data(), wide.size() * sizeof(WCHAR));
    return static_cast<int>(wide.size());
}

int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceLength, LPSTR target,
                               int targetLength, LPCSTR defaultChar, PBOOL usedDefaultChar) {
    // UTF-8, or the ANSI code page (a character it lacks becomes '?'): the
    // conversions out of UTF-16 the programs ask for. It takes no flags,
    // default character or report of one.
    if ((codePage != CP_UTF8 && codePage != CP_ACP) || flags || defaultChar || usedDefaultChar || !source ||
        targetLength < 0 || (target == nullptr && targetLength != 0)) {
        SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string wide;
    for (int i = 0; sourceLength < 0 ? true : i < sourceLength; ++i) {
        wide += static_cast<char16_t>(source[i]);
        if (sourceLength < 0 && source[i] == 0) break;
    }
    std::string text = codePage == CP_UTF8 ? Utf16ToUtf8(wide) : Utf16ToAnsi(wide);
    if (targetLength == 0) return static_cast<int>(text.size());
    if (static_cast<size_t>(targetLength) < text.size()) {
        std::memcpy(target, text.data(), static_cast<size_t>(targetLength));
        SetError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(target, text.data(), text.size());
    return static_cast<int>(text.size());
}

int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b) {
    // Word-sort comparison in the machine's code page: letters without regard
    // to case; the soft hyphen carries no weight; the ligatures and sharp s
    // weigh as the letters they stand for (\xDF as "ss", \xE6 as "ae", \x9C as
    // "oe", \xFE as "th"); the modifier circumflex weighs as "^".
    auto key = [](LPCSTR text) {
        std::u16string out;
        for (char16_t u : AnsiToUtf16(Upper(text ? text : ""), Config().codePage)) {
            if (u == 0x00AD) continue;
            if (u == 0x02C6) u = '^';
            if (u == 0x00DF) out += u"SS";
            else if (u == 0x00C6) out += u"AE";
            else if (u == 0x0152) out += u"OE";
            else if (u == 0x00DE) out += u"TH";
            else out += u;
        }
        return out;
    };
    // The common start of plain ASCII letters, digits and signs weighs the
    // same in both; where they differ in two such characters, those decide.
    const char* pa = a ? a : "";
    const char* pb = b ? b : "";
    while (*pa && *pa == *pb && static_cast<unsigned char>(*pa) < 0x80) ++pa, ++pb;
    while (*pa && *pb && static_cast<unsigned char>(*pa) < 0x80 && static_cast<unsigned char>(*pb) < 0x80) {
        char ua = UpperChar(*pa), ub = UpperChar(*pb);
        if (ua != ub) return ua < ub ? -1 : 1;
        ++pa, ++pb;
    }
    if (!*pa && !*pb) return 0;
    std::u16string wa = key(pa), wb = key(pb);
    if (wa == wb) return 0;
    return wa < wb ? -1 : 1;
}

BOOL WINAPI GetComputerNameA(LPSTR buffer, LPDWORD size) {
    if (!size) return Fail(ERROR_INVALID_PARAMETER);
    const std::string& name = Config().computerName;
    // The size in characters without the terminator; a buffer without room
    // for the terminator gets nothing and the size it needs, with it.
    if (!buffer || *size < name.size() + 1) {
        *size = static_cast<DWORD>(name.size() + 1);
        return Fail(ERROR_BUFFER_OVERFLOW);
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    *size = static_cast<DWORD>(name.size());
    return TRUE;
}

int WINAPI LCMapStringA(LCID, DWORD flags, LPCSTR source, int sourceLength, LPSTR target, int targetLength) {
    // LCMAP_UPPERCASE only: each character's upper-case form in the machine's
    // code page, the form in which names are compared (a character without
    // one stays). The locale is not looked at: the machine has one.
    if (!source || flags != LCMAP_UPPERCASE || targetLength < 0 || (targetLength > 0 && !target) ||
        sourceLength == 0 || sourceLength < -1) {
        SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = sourceLength < 0 ? std::strlen(source) + 1 : static_cast<size_t>(sourceLength);
    if (targetLength == 0) return static_cast<int>(length);
    if (static_cast<size_t>(targetLength) < length) {
        SetError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (size_t i = 0; i < length; ++i) target[i] = UpperChar(source[i]);
    return static_cast<int>(length);
}

BOOL WINAPI IsDBCSLeadByte(BYTE) {
    // Windows-1252 has no lead bytes.
    return FALSE;
}

// ---- mutexes ----------------------------------------------------------------

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name) {
    DWORD error;
    if (TakeFault("CreateMutexA", name ? name : "", &error)) {
        SetError(error);
        return nullptr;
    }
    auto mutex = std::make_unique<MutexObject>();
    if (name) {
        // A named mutex is shared by every process of the machine: a lock
        // file that the creating process holds while its handle is open.
        std::string folder = MachineDir() + "/mutex";
        if (::mkdir(folder.c_str(), 0755) == 0) NoteAdded(folder, EntryKind::kFolder);
        std::string file = Lower(name);
        for (auto& c : file)
            if (c == '\\' || c == '/') c = '_';
        // Neither the folder nor the file is ever taken through a link.
        int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        mutex->fd = dir < 0 ? -1 : ::openat(dir, file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
        if (dir >= 0) ::close(dir);
        if (mutex->fd < 0) {
            SetError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
        if (::flock(mutex->fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(mutex->fd);
            mutex->fd = -1;
            HANDLE h = NewHandle(std::move(mutex));
            SetError(ERROR_ALREADY_EXISTS);
            return h;
        }
    }
    mutex->owner = initialOwner != FALSE;
    // "delay CreateMutexA MS" keeps the new owner busy for a while, so that
    // tests can start competing runs while it holds the mutex.
    DWORD delay;
    if (name && TakeFault("delay:CreateMutexA", "*", &delay)) ::usleep(static_cast<useconds_t>(delay) * 1000u);
    HANDLE h = NewHandle(std::move(mutex));
    SetError(ERROR_SUCCESS);
    return h;
}

BOOL WINAPI ReleaseMutex(HANDLE h) {
    auto* mutex = Lookup<MutexObject>(h);
    if (!mutex) return Fail(ERROR_INVALID_HANDLE);
    if (!mutex->owner) return Fail(ERROR_NOT_OWNER);
    mutex->owner = false;
    return TRUE;
}

// ---- processes --------------------------------------------------------------

BOOL WINAPI CreateProcessA(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                           BOOL, DWORD, LPVOID, LPCSTR, LPSTARTUPINFOA, LPPROCESS_INFORMATION info) {
    if (!info || (!application && !commandLine)) return Fail(ERROR_INVALID_PARAMETER);
    std::string line = commandLine ? commandLine : "";
    std::string program;
    if (application) {
        program = application;
    } else {
        // The program is the first word of the command line, quoted or not.
        if (!line.empty() && line[0] == '"') {
            auto end = line.find('"', 1);
            program = line.substr(1, end == std::string::npos ? std::string::npos : end - 1);
        } else {
            program = line.substr(0, line.find(' '));
        }
    }
    std::string base = Lower(BaseName(program));
    DWORD error;
    if (TakeFault("CreateProcessA", base, &error)) return Fail(error);
    std::string host = MapPath(program);
    if (host.empty() || !IsRegularFile(host)) {
        // A program taken from the command line and named without a folder
        // is looked for in the system directory as well; an application name
        // is taken as it stands, with no search.
        bool found = false;
        if (!application && program.find('\\') == std::string::npos) {
            host = MapPath("C:\\Windows\\system32\\" + program);
            found = !host.empty() && IsRegularFile(host);
        }
        if (!found) return Fail(ERROR_FILE_NOT_FOUND);
    }
    auto process = std::make_unique<ProcessObject>();
    Journal("process " + AbsoluteWinPath(program) + " | " + line);
    // What the starting process holds open while the new one runs.
    for (const auto& held : HeldFiles()) Journal("  held open: " + held);
    std::string comspec;
    for (const auto& kv : Config().env)
        if (EqualNoCase(kv.first, "COMSPEC")) comspec = kv.second;
    if (base == "cmd.exe" || (!comspec.empty() && EqualNoCase(BaseName(comspec), base))) {
        RunCommandInterpreter(line, &process->exitCode);
    } else if (base == "stopuiclients.exe") {
        process->exitCode = Config().stopperExitCode;
    }
    std::memset(info, 0, sizeof *info);
    info->hProcess = NewHandle(std::move(process));
    info->hThread = NewHandle(std::make_unique<ThreadObject>());
    info->dwProcessId = 1000;
    info->dwThreadId = 1004;
    return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE h, DWORD) {
    if (!Lookup<ProcessObject>(h) && !Lookup<MutexObject>(h)) {
        SetError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return WAIT_OBJECT_0;
}

BOOL WINAPI GetExitCodeProcess(HANDLE h, LPDWORD code) {
    auto* process = Lookup<ProcessObject>(h);
    if (!process || !code) return Fail(ERROR_INVALID_HANDLE);
    *code = process->exitCode;
    return TRUE;
}

// ---- event log --------------------------------------------------------------

HANDLE WINAPI RegisterEventSourceA(LPCSTR server, LPCSTR source) {
    DWORD error;
    if (!source) {
        SetError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (TakeFault("RegisterEventSourceA", source, &error)) {
        SetError(error);
        return nullptr;
    }
    auto object = std::make_unique<EventSourceObject>();
    object->source = source;
    object->computer = server && *server ? server : Config().computerName;
    return NewHandle(std::move(object));
}

BOOL WINAPI ReportEventA(HANDLE log, WORD type, WORD category, DWORD eventId, PSID, WORD stringCount, DWORD,
                        LPCSTR* strings, LPVOID) {
    auto* source = Lookup<EventSourceObject>(log);
    if (!source) return Fail(ERROR_INVALID_HANDLE);
    DWORD error;
    if (TakeFault("ReportEventA", source->source, &error)) return Fail(error);
    char head[160];
    std::snprintf(head, sizeof head, "event source=%s computer=%s type=%u category=%u id=0x%08X", source->source.c_str(),
                  source->computer.c_str(), static_cast<unsigned>(type), static_cast<unsigned>(category), eventId);
    std::string line = head;
    for (WORD i = 0; i < stringCount; ++i) line += std::string(" text=\"") + (strings && strings[i] ? strings[i] : "") + "\"";
    Journal(line);
    return TRUE;
}

BOOL WINAPI DeregisterEventSource(HANDLE log) {
    if (!ReleaseHandle(log, EventSourceObject::Kind)) return Fail(ERROR_INVALID_HANDLE);
    return TRUE;
}

}  // extern "C"
