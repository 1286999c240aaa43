// The Wine scenarios' hands and eyes inside a prefix: prepares printers and
// registry values and reports the spooler's and the registry's state as
// plain text lines that the scripts compare. Several commands may be given in
// one run, separated by "--" (each Wine process start costs time).
//
//   addprinter NAME PORT [ATTRS]    a printer with Wine's PostScript driver; ATTRS (hex) the
//                                   attributes asked for (default 0x40, a local printer)
//   printers                        NAME|PORTS|ATTRIBUTES (level 2), one per line
//   printers4                       NAME|ATTRIBUTES as level 4 lists them
//   ports                           PORT|MONITOR (level 2)
//   monitors                        NAME|ENVIRONMENT|DLL (level 2)
//   regdump VIEW KEY                the key and its subkeys, values included
//   regget VIEW KEY VALUE FILE      the value's bytes into FILE (exit 2: missing)
//   regset VIEW KEY NAME=TYPE:DATA  TYPE sz, expand or dword; several allowed
//   regdelete VIEW KEY              the key with everything below it
//   holdmutex NAME READY RELEASE    owns the mutex, creates READY, waits for RELEASE
//   addmonitor NAME ENV DLL         AddMonitorA level 2 (ENV "-" for none); prints its error code
//   xcv MONITOR ACCESS COMMAND DATA XcvDataW on ",XcvMonitor MONITOR" opened with ACCESS;
//                                   DATA: a port name, "record:PORT" (11608 bytes) or
//                                   "bytes:N"; prints "COMMAND DATA STATUS"
//   enumports LEVEL                 EnumPortsA: "PORT|MONITOR" lines, or "error N"
//   version                         the version record and WOW64
// VIEW is 32, 64 or default (the process's own view); KEY starts with HKLM or HKCU.
#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Args = std::vector<std::string>;

int Fail(const char* what, DWORD error) {
    std::fprintf(stderr, "wine_helper: %s failed: %lu\n", what, static_cast<unsigned long>(error));
    return 1;
}

bool ParseView(const std::string& view, REGSAM* sam) {
    if (view == "32") *sam = KEY_WOW64_32KEY;
    else if (view == "64") *sam = KEY_WOW64_64KEY;
    else if (view == "default") *sam = 0;
    else return false;
    return true;
}

bool SplitKey(const std::string& key, HKEY* root, std::string* path) {
    size_t slash = key.find('\\');
    std::string head = key.substr(0, slash);
    if (head == "HKLM" || head == "HKEY_LOCAL_MACHINE") *root = HKEY_LOCAL_MACHINE;
    else if (head == "HKCU" || head == "HKEY_CURRENT_USER") *root = HKEY_CURRENT_USER;
    else return false;
    *path = slash == std::string::npos ? "" : key.substr(slash + 1);
    return true;
}

// Spooler enumerations: the size query, then the block.
template <class Call>
bool Enumerate(Call call, std::vector<BYTE>* block, DWORD* count) {
    DWORD needed = 0;
    *count = 0;
    if (call(nullptr, 0, &needed, count)) return true;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    block->assign(needed, 0);
    return call(block->data(), needed, &needed, count) != FALSE;
}

const char* Text(const char* s) { return s ? s : "(null)"; }

int CmdAddPrinter(const Args& a) {
    if (a.size() != 3 && a.size() != 4) return Fail("addprinter NAME PORT [ATTRIBUTES]", ERROR_INVALID_PARAMETER);
    DRIVER_INFO_3A driver;
    std::memset(&driver, 0, sizeof driver);
    driver.cVersion = 3;
    driver.pName = const_cast<char*>("Wine PostScript Driver");
    driver.pDriverPath = const_cast<char*>("wineps.drv");
    driver.pDataFile = const_cast<char*>("wineps.drv");
    driver.pConfigFile = const_cast<char*>("wineps.drv");
    if (!AddPrinterDriverA(nullptr, 3, reinterpret_cast<LPBYTE>(&driver)) &&
        GetLastError() != ERROR_PRINTER_DRIVER_ALREADY_INSTALLED)
        return Fail("AddPrinterDriverA", GetLastError());
    PRINTER_INFO_2A info;
    std::memset(&info, 0, sizeof info);
    info.pPrinterName = const_cast<char*>(a[1].c_str());
    info.pPortName = const_cast<char*>(a[2].c_str());
    info.pDriverName = const_cast<char*>("Wine PostScript Driver");
    info.pPrintProcessor = const_cast<char*>("WinPrint");
    info.pDatatype = const_cast<char*>("RAW");
    info.Attributes = a.size() == 4 ? std::strtoul(a[3].c_str(), nullptr, 16) : PRINTER_ATTRIBUTE_LOCAL;
    HANDLE printer = AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    if (!printer) return Fail("AddPrinterA", GetLastError());
    ClosePrinter(printer);
    return 0;
}

// Moves a printer onto other ports, as an administrator would by hand.
int CmdSetPort(const Args& a) {
    if (a.size() != 3) return Fail("setport NAME PORTS", ERROR_INVALID_PARAMETER);
    PRINTER_DEFAULTSA defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    if (!OpenPrinterA(const_cast<char*>(a[1].c_str()), &printer, &defaults)) return Fail("OpenPrinterA", GetLastError());
    DWORD needed = 0;
    GetPrinterA(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> block(needed + 1);
    BOOL done = GetPrinterA(printer, 2, block.data(), needed, &needed);
    if (done) {
        reinterpret_cast<PRINTER_INFO_2A*>(block.data())->pPortName = const_cast<char*>(a[2].c_str());
        done = SetPrinterA(printer, 2, block.data(), 0);
    }
    DWORD error = GetLastError();
    ClosePrinter(printer);
    return done ? 0 : Fail("SetPrinterA", error);
}

int CmdPrinters(const Args&) {
    std::vector<BYTE> block;
    DWORD count = 0;
    if (!Enumerate([](LPBYTE b, DWORD s, DWORD* n, DWORD* c) {
            return EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, b, s, n, c);
        }, &block, &count))
        return Fail("EnumPrintersA", GetLastError());
    const PRINTER_INFO_2A* p = reinterpret_cast<const PRINTER_INFO_2A*>(block.data());
    for (DWORD i = 0; i < count; ++i)
        std::printf("%s|%s|0x%lx\n", Text(p[i].pPrinterName), Text(p[i].pPortName),
                    static_cast<unsigned long>(p[i].Attributes));
    return 0;
}

int CmdPrinters4(const Args&) {
    std::vector<BYTE> block;
    DWORD count = 0;
    if (!Enumerate([](LPBYTE b, DWORD s, DWORD* n, DWORD* c) {
            return EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 4, b, s, n, c);
        }, &block, &count))
        return Fail("EnumPrintersA", GetLastError());
    const PRINTER_INFO_4A* p = reinterpret_cast<const PRINTER_INFO_4A*>(block.data());
    for (DWORD i = 0; i < count; ++i)
        std::printf("%s|0x%lx\n", Text(p[i].pPrinterName), static_cast<unsigned long>(p[i].Attributes));
    return 0;
}

int CmdPorts(const Args&) {
    std::vector<BYTE> block;
    DWORD count = 0;
    if (!Enumerate([](LPBYTE b, DWORD s, DWORD* n, DWORD* c) { return EnumPortsA(nullptr, 2, b, s, n, c); }, &block,
                   &count))
        return Fail("EnumPortsA", GetLastError());
    const PORT_INFO_2A* p = reinterpret_cast<const PORT_INFO_2A*>(block.data());
    for (DWORD i = 0; i < count; ++i) std::printf("%s|%s\n", Text(p[i].pPortName), Text(p[i].pMonitorName));
    return 0;
}

int CmdMonitors(const Args&) {
    std::vector<BYTE> block;
    DWORD count = 0;
    if (!Enumerate([](LPBYTE b, DWORD s, DWORD* n, DWORD* c) { return EnumMonitorsA(nullptr, 2, b, s, n, c); },
                   &block, &count))
        return Fail("EnumMonitorsA", GetLastError());
    const MONITOR_INFO_2A* m = reinterpret_cast<const MONITOR_INFO_2A*>(block.data());
    for (DWORD i = 0; i < count; ++i)
        std::printf("%s|%s|%s\n", Text(m[i].pName), Text(m[i].pEnvironment), Text(m[i].pDLLName));
    return 0;
}

void DumpKey(HKEY key, const std::string& name, REGSAM view) {
    std::printf("[%s]\n", name.c_str());
    for (DWORD i = 0;; ++i) {
        char value[16384];
        DWORD valueSize = sizeof value, type = 0, dataSize = 0;
        if (RegEnumValueA(key, i, value, &valueSize, nullptr, &type, nullptr, &dataSize) != ERROR_SUCCESS) break;
        std::vector<BYTE> data(dataSize + 2, 0);
        valueSize = sizeof value;
        if (RegEnumValueA(key, i, value, &valueSize, nullptr, &type, data.data(), &dataSize) != ERROR_SUCCESS) break;
        if (type == REG_SZ || type == REG_EXPAND_SZ) {
            std::printf("\"%s\"=%s:%s\n", value, type == REG_SZ ? "sz" : "expand",
                        reinterpret_cast<const char*>(data.data()));
        } else if (type == REG_DWORD && dataSize == 4) {
            DWORD d;
            std::memcpy(&d, data.data(), 4);
            std::printf("\"%s\"=dword:%lu\n", value, static_cast<unsigned long>(d));
        } else {
            std::printf("\"%s\"=hex(%lu):%lu bytes\n", value, static_cast<unsigned long>(type),
                        static_cast<unsigned long>(dataSize));
        }
    }
    for (DWORD i = 0;; ++i) {
        char sub[512];
        DWORD subSize = sizeof sub;
        if (RegEnumKeyExA(key, i, sub, &subSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        HKEY child;
        if (RegOpenKeyExA(key, sub, 0, KEY_READ | view, &child) != ERROR_SUCCESS) continue;
        DumpKey(child, name + "\\" + sub, view);
        RegCloseKey(child);
    }
}

int CmdRegDump(const Args& a) {
    REGSAM view;
    HKEY root;
    std::string path;
    if (a.size() != 3 || !ParseView(a[1], &view) || !SplitKey(a[2], &root, &path))
        return Fail("regdump VIEW KEY", ERROR_INVALID_PARAMETER);
    HKEY key;
    LONG r = RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, &key);
    if (r != ERROR_SUCCESS) {
        std::printf("[%s] missing\n", a[2].c_str());
        return 0;
    }
    DumpKey(key, a[2], view);
    RegCloseKey(key);
    return 0;
}

int CmdRegGet(const Args& a) {
    REGSAM view;
    HKEY root;
    std::string path;
    if (a.size() != 5 || !ParseView(a[1], &view) || !SplitKey(a[2], &root, &path))
        return Fail("regget VIEW KEY VALUE FILE", ERROR_INVALID_PARAMETER);
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return 2;
    DWORD size = 0, type = 0;
    LONG r = RegQueryValueExA(key, a[3].c_str(), nullptr, &type, nullptr, &size);
    std::vector<BYTE> data(size ? size : 1);
    if (r == ERROR_SUCCESS) r = RegQueryValueExA(key, a[3].c_str(), nullptr, &type, data.data(), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS) return 2;
    FILE* out = std::fopen(a[4].c_str(), "wb");
    if (!out) return Fail("fopen", GetLastError());
    std::fwrite(data.data(), 1, size, out);
    std::fclose(out);
    return 0;
}

int CmdRegSet(const Args& a) {
    REGSAM view;
    HKEY root;
    std::string path;
    if (a.size() < 3 || !ParseView(a[1], &view) || !SplitKey(a[2], &root, &path))
        return Fail("regset VIEW KEY NAME=TYPE:DATA...", ERROR_INVALID_PARAMETER);
    HKEY key;
    LONG r = RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, &key, nullptr);
    if (r != ERROR_SUCCESS) return Fail("RegCreateKeyExA", static_cast<DWORD>(r));
    for (size_t i = 3; i < a.size(); ++i) {
        size_t eq = a[i].find('='), colon = a[i].find(':', eq == std::string::npos ? 0 : eq);
        if (eq == std::string::npos || colon == std::string::npos) {
            RegCloseKey(key);
            return Fail("regset: NAME=TYPE:DATA", ERROR_INVALID_PARAMETER);
        }
        std::string name = a[i].substr(0, eq), type = a[i].substr(eq + 1, colon - eq - 1), data = a[i].substr(colon + 1);
        if (type == "dword") {
            DWORD d = static_cast<DWORD>(std::strtoul(data.c_str(), nullptr, 0));
            r = RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&d), 4);
        } else if (type == "sz" || type == "expand") {
            r = RegSetValueExA(key, name.c_str(), 0, type == "sz" ? REG_SZ : REG_EXPAND_SZ,
                               reinterpret_cast<const BYTE*>(data.c_str()), static_cast<DWORD>(data.size() + 1));
        } else {
            r = ERROR_INVALID_PARAMETER;
        }
        if (r != ERROR_SUCCESS) {
            RegCloseKey(key);
            return Fail("RegSetValueExA", static_cast<DWORD>(r));
        }
    }
    RegCloseKey(key);
    return 0;
}

int CmdRegDelete(const Args& a) {
    REGSAM view;
    HKEY root;
    std::string path;
    if (a.size() != 3 || !ParseView(a[1], &view) || !SplitKey(a[2], &root, &path) || path.empty())
        return Fail("regdelete VIEW KEY", ERROR_INVALID_PARAMETER);
    size_t slash = path.rfind('\\');
    std::string parent = slash == std::string::npos ? "" : path.substr(0, slash);
    std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    HKEY key;
    if (RegOpenKeyExA(root, parent.c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) return 0;
    LONG r = RegDeleteTreeA(key, leaf.c_str());
    RegCloseKey(key);
    return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND ? 0 : Fail("RegDeleteTreeA", static_cast<DWORD>(r));
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

int CmdHoldMutex(const Args& a) {
    if (a.size() != 4) return Fail("holdmutex NAME READY RELEASE", ERROR_INVALID_PARAMETER);
    HANDLE mutex = CreateMutexA(nullptr, TRUE, a[1].c_str());
    if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS) return Fail("CreateMutexA", GetLastError());
    HANDLE ready = CreateFileA(a[2].c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
    // At most two minutes, so that a failed script never leaves it behind.
    for (int i = 0; i < 1200 && !Exists(a[3]); ++i) Sleep(100);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    return 0;
}

int CmdAddMonitor(const Args& a) {
    if (a.size() != 4) return Fail("addmonitor NAME ENV DLL", ERROR_INVALID_PARAMETER);
    MONITOR_INFO_2A info;
    info.pName = const_cast<char*>(a[1].c_str());
    info.pEnvironment = a[2] == "-" ? nullptr : const_cast<char*>(a[2].c_str());
    info.pDLLName = const_cast<char*>(a[3].c_str());
    BOOL ok = AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    std::printf("addmonitor %lu\n", ok ? 0ul : static_cast<unsigned long>(GetLastError()));
    return 0;
}

std::wstring Widen(const std::string& text) {
    wchar_t units[1024];
    int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, units, 1024);
    return n > 0 ? std::wstring(units) : std::wstring();
}

int CmdXcv(const Args& a) {
    if (a.size() != 5) return Fail("xcv MONITOR ACCESS COMMAND DATA", ERROR_INVALID_PARAMETER);
    std::wstring name = Widen(",XcvMonitor " + a[1]);
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, static_cast<ACCESS_MASK>(std::strtoul(a[2].c_str(), nullptr, 0))};
    HANDLE xcv = nullptr;
    if (!OpenPrinterW(&name[0], &xcv, &defaults)) return Fail("OpenPrinterW", GetLastError());
    std::vector<BYTE> input;
    const std::string& data = a[4];
    if (data.rfind("record:", 0) == 0) {
        // A configuration record: zeros but for its PortName field.
        input.assign(11608, 0);
        std::wstring port = Widen(data.substr(7));
        std::memcpy(input.data() + 11588, port.c_str(), std::min<size_t>(port.size() + 1, 10) * sizeof(wchar_t));
    } else if (data.rfind("bytes:", 0) == 0) {
        input.assign(std::strtoul(data.c_str() + 6, nullptr, 10), 0);
    } else {
        std::wstring port = Widen(data);
        const BYTE* bytes = reinterpret_cast<const BYTE*>(port.c_str());
        input.assign(bytes, bytes + (port.size() + 1) * sizeof(wchar_t));
    }
    std::wstring command = Widen(a[3]);
    BYTE output[4];
    DWORD needed = 0, status = 0;
    BOOL ok = XcvDataW(xcv, command.c_str(), input.empty() ? nullptr : input.data(), static_cast<DWORD>(input.size()),
                       output, 0, &needed, &status);
    DWORD error = GetLastError();
    ClosePrinter(xcv);
    if (!ok) return Fail("XcvDataW", error);
    std::printf("%s %s %lu\n", a[3].c_str(), data.c_str(), static_cast<unsigned long>(status));
    return 0;
}

int CmdEnumPorts(const Args& a) {
    if (a.size() != 2) return Fail("enumports LEVEL", ERROR_INVALID_PARAMETER);
    DWORD level = static_cast<DWORD>(std::strtoul(a[1].c_str(), nullptr, 10));
    std::vector<BYTE> block;
    DWORD count = 0;
    if (!Enumerate([level](LPBYTE b, DWORD s, DWORD* n, DWORD* c) { return EnumPortsA(nullptr, level, b, s, n, c); },
                   &block, &count)) {
        std::printf("error %lu\n", static_cast<unsigned long>(GetLastError()));
        return 0;
    }
    for (DWORD i = 0; i < count; ++i) {
        if (level == 1) {
            std::printf("%s\n", Text(reinterpret_cast<const PORT_INFO_1A*>(block.data())[i].pName));
        } else {
            const PORT_INFO_2A& p = reinterpret_cast<const PORT_INFO_2A*>(block.data())[i];
            std::printf("%s|%s|%s|%lu\n", Text(p.pPortName), Text(p.pMonitorName), Text(p.pDescription),
                        static_cast<unsigned long>(p.fPortType));
        }
    }
    return 0;
}

int CmdVersion(const Args&) {
    OSVERSIONINFOEXA v;
    std::memset(&v, 0, sizeof v);
    v.dwOSVersionInfoSize = sizeof v;
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&v))) return Fail("GetVersionExA", GetLastError());
    BOOL wow64 = FALSE;
    typedef BOOL(WINAPI * IsWow64Fn)(HANDLE, PBOOL);
    IsWow64Fn isWow64 = reinterpret_cast<IsWow64Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "IsWow64Process")));
    if (isWow64) isWow64(GetCurrentProcess(), &wow64);
    std::printf("%lu.%lu platform %lu product %u wow64 %d\n", static_cast<unsigned long>(v.dwMajorVersion),
                static_cast<unsigned long>(v.dwMinorVersion), static_cast<unsigned long>(v.dwPlatformId),
                static_cast<unsigned>(v.wProductType), wow64 ? 1 : 0);
    return 0;
}

int Run(const Args& a) {
    struct Command {
        const char* name;
        int (*run)(const Args&);
    };
    static const Command commands[] = {
        {"addprinter", CmdAddPrinter}, {"setport", CmdSetPort}, {"printers", CmdPrinters}, {"printers4", CmdPrinters4}, {"ports", CmdPorts},
        {"monitors", CmdMonitors},     {"regdump", CmdRegDump},   {"regget", CmdRegGet},       {"regset", CmdRegSet},
        {"regdelete", CmdRegDelete},   {"holdmutex", CmdHoldMutex}, {"version", CmdVersion},
        {"addmonitor", CmdAddMonitor}, {"xcv", CmdXcv},             {"enumports", CmdEnumPorts},
    };
    for (const Command& c : commands)
        if (a[0] == c.name) return c.run(a);
    std::fprintf(stderr, "wine_helper: unknown command %s\n", a[0].c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    Args current;
    for (int i = 1; i <= argc; ++i) {
        if (i == argc || std::strcmp(argv[i], "--") == 0) {
            if (current.empty()) continue;
            int r = Run(current);
            std::fflush(stdout);
            if (r != 0) return r;
            current.clear();
        } else {
            current.push_back(argv[i]);
        }
    }
    return 0;
}
