// Stand-in port monitor for the tests under Wine.
//
// It answers what the installer relies on over the Xcv channel ("AddPort",
// "SetPortData" with the 11608-byte configuration record, "DeletePort") and
// lists its ports through EnumPorts. Ports live in the registry where port
// monitors keep them, below the monitor's own key:
//
//   HKLM\SYSTEM\CurrentControlSet\Control\Print\Monitors\<monitor>\Ports\<port>
//     "Record" (REG_BINARY): the last record sent with "SetPortData"
//
// so they outlive the process and disappear with the monitor's registration.
// The monitor finds its own name as the Monitors subkey whose "Driver" value
// names this DLL. Answers: 0 for success; "AddPort" of an existing port 183
// (ERROR_ALREADY_EXISTS); "DeletePort" of a missing port and "SetPortData" for
// an unknown port 2; a port name with a backslash 123; malformed input or an
// unknown command 87; a channel opened without administer access 5. These are
// the answers of winsim's stand-in monitor, so both builds meet the same one.
//
// Test control, read at every command from HKLM\SOFTWARE\Vormo Monitor
// Stand-in (the 64-bit view where there is one):
//   "Refuse"  (REG_SZ) "Command:Port:Code[;Command:Port:Code...]": answer Code
//             to Command for Port ("*" for any port) instead of doing it;
//   "Journal" (REG_SZ) a file to which every command is appended as a line
//             "Command Port Status".
// The control key lies outside the monitor's own key because removing the
// monitor (DeleteMonitor) deletes that key with everything in it.
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

#include "wire/port_fields.h"

namespace {

const wchar_t kMonitorsKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors";
const wchar_t kControlKey[] = L"SOFTWARE\\Vormo Monitor Stand-in";
const wchar_t kPortDescription[] = L"Vormo Network Port (stand-in)";

// The configuration record's wire format, as the installer builds it.
const DWORD kRecordSize = kPortRecordSize;
const DWORD kRecordPortNameOffset = offsetof(PortRecord, PortName);
const DWORD kRecordPortNameUnits = kPortNameSize;
static_assert(sizeof(wchar_t) == sizeof(char16_t), "the record's text is UTF-16");
const size_t kNameUnits = 260;  // port and monitor names, terminator included

HMODULE g_module = nullptr;

struct Monitor {
    wchar_t name[kNameUnits];
};

struct XcvChannel {
    Monitor* monitor;
    ACCESS_MASK access;
};

struct PortHandle {
    Monitor* monitor;
    wchar_t name[kNameUnits];
};

class Key {
public:
    Key() = default;
    ~Key() {
        if (h_) RegCloseKey(h_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY* out() { return &h_; }
    HKEY get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    HKEY h_ = nullptr;
};

bool CopyName(wchar_t* out, size_t units, const wchar_t* in) {
    size_t n = std::wcslen(in);
    if (n + 1 > units) return false;
    std::wmemcpy(out, in, n + 1);
    return true;
}

// Joins the parts into out; false when they do not fit.
bool Join(wchar_t* out, size_t units, const wchar_t* a, const wchar_t* b, const wchar_t* c = L"",
          const wchar_t* d = L"", const wchar_t* e = L"") {
    int n = std::swprintf(out, units, L"%ls%ls%ls%ls%ls", a, b, c, d, e);
    return n >= 0 && static_cast<size_t>(n) < units;
}

const wchar_t* BaseName(const wchar_t* path) {
    const wchar_t* slash = std::wcsrchr(path, L'\\');
    const wchar_t* colon = std::wcsrchr(path, L':');
    if (colon > slash) slash = colon;
    return slash ? slash + 1 : path;
}

// The Monitors subkey whose "Driver" names this DLL.
bool FindOwnName(wchar_t* name, size_t units) {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(g_module, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    const wchar_t* self = BaseName(path);
    Key monitors;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMonitorsKey, 0, KEY_READ, monitors.out()) != ERROR_SUCCESS) return false;
    for (DWORD i = 0;; ++i) {
        wchar_t sub[kNameUnits];
        DWORD subUnits = kNameUnits;
        if (RegEnumKeyExW(monitors.get(), i, sub, &subUnits, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return false;
        Key entry;
        if (RegOpenKeyExW(monitors.get(), sub, 0, KEY_READ, entry.out()) != ERROR_SUCCESS) continue;
        wchar_t driver[MAX_PATH + 1];
        DWORD type = 0, size = sizeof driver - sizeof(wchar_t);
        if (RegQueryValueExW(entry.get(), L"Driver", nullptr, &type, reinterpret_cast<BYTE*>(driver), &size) !=
                ERROR_SUCCESS ||
            type != REG_SZ)
            continue;
        driver[size / sizeof(wchar_t)] = L'\0';
        if (_wcsicmp(BaseName(driver), self) == 0) return CopyName(name, units, sub);
    }
}

bool PortsKeyPath(const Monitor* m, wchar_t* out, size_t units) {
    return m->name[0] && Join(out, units, kMonitorsKey, L"\\", m->name, L"\\Ports");
}

bool PortKeyPath(const Monitor* m, const wchar_t* port, wchar_t* out, size_t units) {
    return m->name[0] && Join(out, units, kMonitorsKey, L"\\", m->name, L"\\Ports\\", port);
}

bool PortExists(const Monitor* m, const wchar_t* port) {
    wchar_t path[1024];
    if (!PortKeyPath(m, port, path, 1024)) return false;
    Key key;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key.out()) == ERROR_SUCCESS;
}

// A string value of the control key, or false.
bool ReadControl(const wchar_t* value, wchar_t* out, size_t units) {
    Key key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kControlKey, 0, KEY_READ | KEY_WOW64_64KEY, key.out()) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = static_cast<DWORD>((units - 1) * sizeof(wchar_t));
    if (RegQueryValueExW(key.get(), value, nullptr, &type, reinterpret_cast<BYTE*>(out), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    out[size / sizeof(wchar_t)] = L'\0';
    return true;
}

// The code a "Refuse" rule tells the monitor to answer, or 0.
DWORD RefusalFor(const wchar_t* command, const wchar_t* port) {
    wchar_t rules[2048];
    if (!ReadControl(L"Refuse", rules, 2048)) return 0;
    for (wchar_t* rule = rules; rule && *rule;) {
        wchar_t* next = std::wcschr(rule, L';');
        if (next) *next++ = L'\0';
        wchar_t* first = std::wcschr(rule, L':');
        wchar_t* second = first ? std::wcschr(first + 1, L':') : nullptr;
        if (second) {
            *first = L'\0';
            *second = L'\0';
            const wchar_t* rulePort = first + 1;
            DWORD code = static_cast<DWORD>(std::wcstoul(second + 1, nullptr, 10));
            if (code != 0 && std::wcscmp(rule, command) == 0 &&
                (std::wcscmp(rulePort, L"*") == 0 || _wcsicmp(rulePort, port) == 0))
                return code;
        }
        rule = next;
    }
    return 0;
}

void Journal(const wchar_t* command, const wchar_t* port, DWORD status) {
    wchar_t path[MAX_PATH];
    if (!ReadControl(L"Journal", path, MAX_PATH)) return;
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    char line[700];
    int n = std::snprintf(line, sizeof line, "%ls %ls %lu\r\n", command, port, static_cast<unsigned long>(status));
    if (n > 0) {
        DWORD written = 0;
        DWORD length = static_cast<size_t>(n) < sizeof line ? static_cast<DWORD>(n) : sizeof line - 1;
        WriteFile(file, line, length, &written, nullptr);
    }
    CloseHandle(file);
}

// A port name sent as UTF-16 with its terminator, at most 259 characters.
bool PortNameFromInput(const BYTE* data, DWORD size, wchar_t* name) {
    if (!data || size < 2 * sizeof(wchar_t) || size % sizeof(wchar_t) != 0) return false;
    size_t units = size / sizeof(wchar_t);
    if (units > kNameUnits) units = kNameUnits;
    std::memcpy(name, data, units * sizeof(wchar_t));
    size_t length = 0;
    while (length < units && name[length]) ++length;
    return length != 0 && length != units;
}

// The PortName field of a configuration record: 10 units with a terminator.
bool PortNameFromRecord(const BYTE* data, DWORD size, wchar_t* name) {
    if (!data || size != kRecordSize) return false;
    std::memcpy(name, data + kRecordPortNameOffset, kRecordPortNameUnits * sizeof(wchar_t));
    size_t length = 0;
    while (length < kRecordPortNameUnits && name[length]) ++length;
    if (length == 0 || length == kRecordPortNameUnits) return false;
    return std::wcschr(name, L'\\') == nullptr;
}

DWORD AddPort(const Monitor* m, const wchar_t* port) {
    if (PortExists(m, port)) return ERROR_ALREADY_EXISTS;
    wchar_t path[1024];
    if (!PortKeyPath(m, port, path, 1024)) return ERROR_INVALID_PARAMETER;
    Key key;
    DWORD disposition = 0;
    LONG r = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                             key.out(), &disposition);
    return static_cast<DWORD>(r);
}

DWORD SetPortData(const Monitor* m, const wchar_t* port, const BYTE* record) {
    if (!PortExists(m, port)) return ERROR_FILE_NOT_FOUND;
    wchar_t path[1024];
    if (!PortKeyPath(m, port, path, 1024)) return ERROR_INVALID_PARAMETER;
    Key key;
    LONG r = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_SET_VALUE, key.out());
    if (r != ERROR_SUCCESS) return static_cast<DWORD>(r);
    return static_cast<DWORD>(RegSetValueExW(key.get(), L"Record", 0, REG_BINARY, record, kRecordSize));
}

DWORD DeletePort(const Monitor* m, const wchar_t* port) {
    if (!PortExists(m, port)) return ERROR_FILE_NOT_FOUND;
    wchar_t path[1024];
    if (!PortsKeyPath(m, path, 1024)) return ERROR_INVALID_PARAMETER;
    Key ports;
    LONG r = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS, ports.out());
    if (r != ERROR_SUCCESS) return static_cast<DWORD>(r);
    return static_cast<DWORD>(RegDeleteTreeW(ports.get(), port));
}

// ---- MONITOR2 entry points ----

BOOL WINAPI EnumPortsEntry(HANDLE hMonitor, LPWSTR /*pName*/, DWORD level, LPBYTE ports, DWORD cbBuf,
                           LPDWORD pcbNeeded, LPDWORD pcReturned) {
    const Monitor* m = static_cast<const Monitor*>(hMonitor);
    if (pcReturned) *pcReturned = 0;
    if (level != 1 && level != 2) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    if (!pcbNeeded || !pcReturned) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Two walks over the monitor's Ports key: one for the size, one to fill.
    wchar_t path[1024];
    Key key;
    bool open = m && PortsKeyPath(m, path, 1024) &&
                RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key.out()) == ERROR_SUCCESS;
    const wchar_t* monitorName = m ? m->name : L"";
    DWORD entry = level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
    DWORD needed = 0, count = 0;
    wchar_t name[kNameUnits];
    for (DWORD i = 0; open; ++i) {
        DWORD units = kNameUnits;
        if (RegEnumKeyExW(key.get(), i, name, &units, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        needed += entry + static_cast<DWORD>((units + 1) * sizeof(wchar_t));
        if (level == 2)
            needed += static_cast<DWORD>((std::wcslen(monitorName) + 1 + std::wcslen(kPortDescription) + 1) *
                                         sizeof(wchar_t));
        ++count;
    }
    *pcbNeeded = needed;
    if (cbBuf < needed || (!ports && needed)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    // Structures first, their strings packed from the end of the block.
    BYTE* end = ports + needed;
    auto put = [&end](const wchar_t* text) {
        size_t bytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
        end -= bytes;
        std::memcpy(end, text, bytes);
        return reinterpret_cast<LPWSTR>(end);
    };
    DWORD filled = 0;
    for (DWORD i = 0; filled < count; ++i) {
        DWORD units = kNameUnits;
        if (RegEnumKeyExW(key.get(), i, name, &units, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if (level == 1) {
            PORT_INFO_1W* info = reinterpret_cast<PORT_INFO_1W*>(ports) + filled;
            info->pName = put(name);
        } else {
            PORT_INFO_2W* info = reinterpret_cast<PORT_INFO_2W*>(ports) + filled;
            info->pPortName = put(name);
            info->pMonitorName = put(monitorName);
            info->pDescription = put(kPortDescription);
            info->fPortType = PORT_TYPE_WRITE | PORT_TYPE_NET_ATTACHED;
            info->Reserved = 0;
        }
        ++filled;
    }
    count = filled;
    *pcReturned = count;
    return TRUE;
}

BOOL WINAPI OpenPortEntry(HANDLE hMonitor, LPWSTR pName, PHANDLE pHandle) {
    Monitor* m = static_cast<Monitor*>(hMonitor);
    if (!pHandle || !pName || !m) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *pHandle = nullptr;
    if (!PortExists(m, pName)) {
        SetLastError(ERROR_UNKNOWN_PORT);
        return FALSE;
    }
    PortHandle* port = new (std::nothrow) PortHandle();
    if (!port || !CopyName(port->name, kNameUnits, pName)) {
        delete port;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    port->monitor = m;
    *pHandle = port;
    return TRUE;
}

BOOL WINAPI StartDocPortEntry(HANDLE hPort, LPWSTR, DWORD, DWORD, LPBYTE) { return hPort != nullptr; }

// Jobs are accepted and dropped: the stand-in has no server to send them to.
BOOL WINAPI WritePortEntry(HANDLE hPort, LPBYTE, DWORD cbBuf, LPDWORD pcbWritten) {
    if (!hPort || !pcbWritten) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *pcbWritten = cbBuf;
    return TRUE;
}

BOOL WINAPI ReadPortEntry(HANDLE, LPBYTE, DWORD, LPDWORD pcbRead) {
    if (pcbRead) *pcbRead = 0;
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

BOOL WINAPI EndDocPortEntry(HANDLE hPort) { return hPort != nullptr; }

BOOL WINAPI ClosePortEntry(HANDLE hPort) {
    delete static_cast<PortHandle*>(hPort);
    return TRUE;
}

BOOL WINAPI XcvOpenPortEntry(HANDLE hMonitor, LPCWSTR pszObject, ACCESS_MASK grantedAccess, PHANDLE phXcv) {
    Monitor* m = static_cast<Monitor*>(hMonitor);
    if (!phXcv || !m) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The spooler names the monitor when the channel is ",XcvMonitor NAME".
    if (!m->name[0] && pszObject && pszObject[0]) CopyName(m->name, kNameUnits, pszObject);
    XcvChannel* xcv = new (std::nothrow) XcvChannel{m, grantedAccess};
    if (!xcv) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    *phXcv = xcv;
    return TRUE;
}

DWORD WINAPI XcvDataPortEntry(HANDLE hXcv, LPCWSTR command, PBYTE input, DWORD inputSize, PBYTE /*output*/,
                              DWORD /*outputSize*/, PDWORD outputNeeded) {
    const XcvChannel* xcv = static_cast<const XcvChannel*>(hXcv);
    if (outputNeeded) *outputNeeded = 0;
    if (!xcv || !command) return ERROR_INVALID_PARAMETER;
    enum { kAdd, kSet, kDelete } which;
    // Command names match with exact case.
    if (std::wcscmp(command, L"AddPort") == 0) which = kAdd;
    else if (std::wcscmp(command, L"SetPortData") == 0) which = kSet;
    else if (std::wcscmp(command, L"DeletePort") == 0) which = kDelete;
    else {
        Journal(command, L"-", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    wchar_t port[kNameUnits];
    bool named = which == kSet ? PortNameFromRecord(input, inputSize, port) : PortNameFromInput(input, inputSize, port);
    DWORD status;
    if (!named) {
        status = ERROR_INVALID_PARAMETER;
        CopyName(port, kNameUnits, L"-");
    } else if (std::wcschr(port, L'\\')) {
        status = ERROR_INVALID_NAME;
    } else if (!(xcv->access & SERVER_ACCESS_ADMINISTER)) {
        status = ERROR_ACCESS_DENIED;
    } else if ((status = RefusalFor(command, port)) != 0) {
    } else if (which == kAdd) {
        status = AddPort(xcv->monitor, port);
    } else if (which == kSet) {
        status = SetPortData(xcv->monitor, port, input);
    } else {
        status = DeletePort(xcv->monitor, port);
    }
    Journal(command, port, status);
    return status;
}

BOOL WINAPI XcvClosePortEntry(HANDLE hXcv) {
    delete static_cast<XcvChannel*>(hXcv);
    return TRUE;
}

VOID WINAPI ShutdownEntry(HANDLE hMonitor) { delete static_cast<Monitor*>(hMonitor); }

MONITOR2 g_entries = [] {
    MONITOR2 e;
    std::memset(&e, 0, sizeof e);
    e.cbSize = sizeof e;
    e.pfnEnumPorts = EnumPortsEntry;
    e.pfnOpenPort = OpenPortEntry;
    e.pfnStartDocPort = StartDocPortEntry;
    e.pfnWritePort = WritePortEntry;
    e.pfnReadPort = ReadPortEntry;
    e.pfnEndDocPort = EndDocPortEntry;
    e.pfnClosePort = ClosePortEntry;
    e.pfnXcvOpenPort = XcvOpenPortEntry;
    e.pfnXcvDataPort = XcvDataPortEntry;
    e.pfnXcvClosePort = XcvClosePortEntry;
    e.pfnShutdown = ShutdownEntry;
    return e;
}();

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" __declspec(dllexport) LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT init, PHANDLE phMonitor) {
    if (!init || !phMonitor) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Monitor* m = new (std::nothrow) Monitor();
    if (!m) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    m->name[0] = L'\0';
    FindOwnName(m->name, kNameUnits);
    *phMonitor = m;
    return &g_entries;
}
