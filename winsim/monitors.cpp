// The spooler's monitors: AddMonitorA, DeleteMonitorA and EnumMonitorsA, and how `winsim show`
// lists the monitors and the event-log sources.
//
// A monitor lives where Windows keeps it: the key Monitors\NAME below the
// spooler's Print key, with "Driver" (the DLL's file name) and "Environment".
// Its ports are subkeys of that key, so deleting the monitor takes them along.
#include <cstdio>
#include <cstring>
#include <set>

#include "internal.h"
#include "winsim/spooler.h"

namespace winsim {
namespace {

const char kEnvX86[] = "Windows NT x86";
const char kEnvX64[] = "Windows x64";
const char kEnv9x[] = "Windows 4.0";
const char kEventLogKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application";

// The environment of the machine's own spooler.
const char* OwnEnvironment() {
    if (Config().platform == VER_PLATFORM_WIN32_WINDOWS) return kEnv9x;
    return Config().is64 ? kEnvX64 : kEnvX86;
}

// The environment a monitor is registered for: none or empty means the
// spooler's own; 64-bit Windows also takes 32-bit monitors. Empty when the
// spooler does not know the name.
std::string ResolveEnvironment(const char* requested) {
    if (!requested || !*requested) return OwnEnvironment();
    if (EqualNoCase(requested, OwnEnvironment())) return OwnEnvironment();
    if (Config().is64 && EqualNoCase(requested, kEnvX86)) return kEnvX86;
    return std::string();
}

// The system directory that holds the DLLs of an environment: the native
// System32 for the machine's own, SysWOW64 for 32-bit monitors on 64-bit Windows.
// The spooler is a native process, so no redirection applies.
bool DllPresent(const std::string& environment, const std::string& dll) {
    std::string folder = Config().is64 && environment == kEnvX86 ? "C:\\Windows\\SysWOW64" : "C:\\Windows\\System32";
    std::string abs = AbsoluteWinPath(folder + "\\" + dll);
    return !abs.empty() && IsRegularFile(HostPath(abs));
}

// Windows' own modules, which are no port monitors: the spooler finds no
// monitor entry in them.
const char* const kSystemModules[] = {"advapi32", "comdlg32", "gdi32",   "kernel32", "msvcrt", "ntdll",
                                      "ole32",    "shell32",  "user32",  "version",  "winspool"};

// True when the spooler finds the entry of a port monitor in the DLL: any
// DLL stands for a monitor but Windows' own modules and one whose entry a
// `missing` rule takes away (winsim does not read a DLL's exports).
bool MonitorDll(const std::string& dll) {
    std::string module = ModuleName(dll);
    for (const char* system : kSystemModules)
        if (module == system) return false;
    return !ExportMissing(module, kMonitorEntry);
}

// The ports named in a printer's port list ("P1,P2" with optional blanks).
std::vector<std::string> PortList(const std::string& text) {
    std::vector<std::string> ports;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t comma = text.find(',', pos);
        if (comma == std::string::npos) comma = text.size();
        std::string port = Trim(text.substr(pos, comma - pos));
        if (!port.empty()) ports.push_back(port);
        pos = comma + 1;
    }
    return ports;
}

// True when a printer of the spooler prints to one of the monitor's ports.
bool MonitorInUse(const std::string& hive, const std::string& monitor) {
    std::set<std::string> ports;
    for (const auto& port : reg::Subkeys(hive, PortsKey(monitor))) ports.insert(Lower(port));
    if (ports.empty()) return false;
    for (const auto& printer : reg::Subkeys(hive, kPrintersKey)) {
        RegValue value;
        if (!reg::GetValue(hive, PrinterKey(printer), "Port", &value)) continue;
        for (const auto& used : PortList(reg::SzText(value)))
            if (ports.count(Lower(used))) return true;
    }
    return false;
}

std::string ServerSuffix(const char* server) {
    std::string name = server ? server : "";
    std::string hive;
    DWORD error = 0;
    if (name.empty() || (SpoolerHive(server, &hive, &error) && hive == "registry/HKLM")) return std::string();
    return " on " + name;
}

std::string Text(const RegValue& value) { return AnsiToUtf8(reg::SzText(value)); }

void ShowMonitorsOf(const std::string& hive, std::string* out) {
    std::vector<std::string> monitors = reg::Subkeys(hive, kMonitorsKey);
    if (monitors.empty()) *out += "  (none)\n";
    for (const auto& monitor : monitors) {
        RegValue driver, environment;
        std::string line = "  " + AnsiToUtf8(monitor) + "  (";
        line += reg::GetValue(hive, MonitorKey(monitor), "Driver", &driver) ? Text(driver) : "no DLL";
        if (reg::GetValue(hive, MonitorKey(monitor), "Environment", &environment)) line += ", " + Text(environment);
        *out += line + ")\n";
    }
}

}  // namespace

void ShowMonitors(std::string* out) {
    *out += "\nMonitors:\n";
    ShowMonitorsOf("registry/HKLM", out);
    for (const auto& server : Config().servers) {
        std::string hive;
        DWORD error = 0;
        if (!SpoolerHive(server.c_str(), &hive, &error)) continue;
        *out += "\nMonitors of " + server + ":\n";
        ShowMonitorsOf(hive, out);
    }
}

namespace {

std::string ValueText(const RegValue& value) {
    switch (value.type) {
        case REG_SZ:
            return "REG_SZ \"" + Text(value) + "\"";
        case REG_EXPAND_SZ:
            return "REG_EXPAND_SZ \"" + Text(value) + "\"";
        case REG_DWORD:
            if (value.data.size() == 4) return "REG_DWORD " + std::to_string(reg::DwordOf(value));
            break;
        default:
            break;
    }
    std::string text = "type " + std::to_string(value.type) + ",";
    for (unsigned char c : value.data) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02x", c);
        text += hex;
    }
    return text;
}

}  // namespace

void ShowEventSources(std::string* out) {
    *out += "\nEvent-log sources (Application):\n";
    std::vector<std::string> sources = reg::Subkeys("registry/HKLM", kEventLogKey);
    if (sources.empty()) *out += "  (none)\n";
    for (const auto& source : sources) {
        std::string key = std::string(kEventLogKey) + "\\" + source;
        *out += "  " + AnsiToUtf8(source) + "\n";
        for (const auto& nv : reg::Values("registry/HKLM", key))
            *out += "    " + AnsiToUtf8(nv.first) + " = " + ValueText(nv.second) + "\n";
    }
}

}  // namespace winsim

using namespace winsim;

extern "C" {

BOOL WINAPI AddMonitorA(LPSTR server, DWORD level, LPBYTE monitor) {
    if (level != 2) return Fail(ERROR_INVALID_LEVEL);
    // Windows leaves the last error as it was for a missing record.
    if (!monitor) return FALSE;
    std::string hive;
    DWORD error = 0;
    if (!SpoolerHive(server, &hive, &error)) return Fail(error);
    const auto* info = reinterpret_cast<const MONITOR_INFO_2A*>(monitor);
    std::string name = info->pName ? info->pName : "";
    if (TakeFault("AddMonitorA", name, &error)) return Fail(error);
    if (name.empty()) return Fail(ERROR_INVALID_PARAMETER);
    std::string environment = ResolveEnvironment(info->pEnvironment);
    if (environment.empty()) return Fail(ERROR_INVALID_ENVIRONMENT);
    std::string dll = info->pDLLName ? info->pDLLName : "";
    if (dll.empty()) return Fail(ERROR_INVALID_PARAMETER);
    // The spooler loads the DLL during the call; one it cannot load is refused.
    if (!DllPresent(environment, dll)) return Fail(ERROR_INVALID_PARAMETER);
    // A DLL without the monitor's entry point is refused.
    if (!MonitorDll(dll)) return Fail(ERROR_PROC_NOT_FOUND);
    // A key that holds ports but no "Driver" yet is not an installed monitor.
    std::string key = MonitorKey(name);
    RegValue driver;
    if (reg::GetValue(hive, key, "Driver", &driver)) return Fail(ERROR_PRINT_MONITOR_ALREADY_INSTALLED);
    if (!reg::CreateKey(hive, key) || !reg::SetValue(hive, key, "Driver", reg::Sz(dll)) ||
        !reg::SetValue(hive, key, "Environment", reg::Sz(environment)))
        return Fail(ERROR_ACCESS_DENIED);
    Journal("monitor added " + name + ServerSuffix(server) + " (" + dll + ", " + environment + ")");
    // Windows clears the last error on success (callers rely on it).
    SetError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI EnumMonitorsA(LPSTR server, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
    if (!needed || !returned) return Fail(RPC_X_NULL_REF_POINTER);
    *needed = 0;
    *returned = 0;
    std::string hive;
    DWORD error = 0;
    if (!SpoolerHive(server, &hive, &error)) return Fail(error);
    if (level != 1 && level != 2) return Fail(ERROR_INVALID_LEVEL);
    if (TakeFault("EnumMonitorsA", "*", &error)) return Fail(error);
    // A monitor is a key with the DLL the spooler loaded ("Driver"); one
    // without an environment of its own runs in the spooler's.
    struct Listed {
        std::string name, environment, dll;
    };
    std::vector<Listed> monitors;
    for (const auto& monitor : reg::Subkeys(hive, kMonitorsKey)) {
        RegValue driver, environment;
        if (!reg::GetValue(hive, MonitorKey(monitor), "Driver", &driver)) continue;
        bool own = !reg::GetValue(hive, MonitorKey(monitor), "Environment", &environment);
        monitors.push_back({monitor, own ? std::string(OwnEnvironment()) : reg::SzText(environment), reg::SzText(driver)});
    }
    const size_t record = level == 2 ? sizeof(MONITOR_INFO_2A) : sizeof(MONITOR_INFO_1A);
    size_t want = monitors.size() * record;
    for (const auto& m : monitors)
        want += m.name.size() + 1 + (level == 2 ? m.environment.size() + 1 + m.dll.size() + 1 : 0);
    *needed = static_cast<DWORD>(want);
    if (monitors.empty()) return TRUE;
    if (!buffer || size < want) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memset(buffer, 0, monitors.size() * record);
    size_t next = monitors.size() * record;
    auto put = [&](const std::string& text) {
        LPSTR at = reinterpret_cast<LPSTR>(buffer + next);
        std::memcpy(at, text.c_str(), text.size() + 1);
        next += text.size() + 1;
        return at;
    };
    for (size_t i = 0; i < monitors.size(); ++i) {
        if (level == 1) {
            reinterpret_cast<MONITOR_INFO_1A*>(buffer)[i].pName = put(monitors[i].name);
            continue;
        }
        auto* info = reinterpret_cast<MONITOR_INFO_2A*>(buffer) + i;
        info->pName = put(monitors[i].name);
        info->pEnvironment = put(monitors[i].environment);
        info->pDLLName = put(monitors[i].dll);
    }
    *returned = static_cast<DWORD>(monitors.size());
    return TRUE;
}

BOOL WINAPI DeleteMonitorA(LPSTR server, LPSTR, LPSTR monitorName) {
    // The environment is not looked at: Windows deletes the monitor of that
    // name whatever environment is given.
    std::string hive;
    DWORD error = 0;
    if (!SpoolerHive(server, &hive, &error)) return Fail(error);
    std::string name = monitorName ? monitorName : "";
    if (name.empty()) return Fail(ERROR_INVALID_PARAMETER);
    if (TakeFault("DeleteMonitorA", name, &error)) return Fail(error);
    std::string key = MonitorKey(name);
    if (!reg::KeyExists(hive, key)) return Fail(ERROR_UNKNOWN_PRINT_MONITOR);
    if (MonitorInUse(hive, name)) return Fail(ERROR_PRINT_MONITOR_IN_USE);
    if (!reg::DeleteTree(hive, key)) return Fail(ERROR_ACCESS_DENIED);
    Journal("monitor deleted " + name + ServerSuffix(server));
    return TRUE;
}

}  // extern "C"
