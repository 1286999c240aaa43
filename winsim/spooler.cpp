// The spooler's common ground: hives, keys, the port table and ClosePrinter.
#include "winsim/spooler.h"

#include <map>

#include "internal.h"

namespace winsim {

const char* const kPrintKey = "SYSTEM\\CurrentControlSet\\Control\\Print";
const char* const kMonitorsKey = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors";
const char* const kPrintersKey = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";
const char* const kLocalMonitor = "Local Port";

bool SpoolerHive(const char* server, std::string* hive, DWORD* error) {
    std::string name = server ? server : "";
    while (!name.empty() && name[0] == '\\') name.erase(0, 1);
    if (name.empty() || EqualNoCase(name, Config().computerName)) {
        *hive = "registry/HKLM";
        return true;
    }
    for (const auto& known : Config().servers) {
        std::string k = known;
        while (!k.empty() && k[0] == '\\') k.erase(0, 1);
        if (EqualNoCase(k, name) && std::string(server).rfind("\\\\", 0) == 0) {
            *hive = "servers/" + Lower(k) + "/registry/HKLM";
            return true;
        }
    }
    *error = RPC_S_SERVER_UNAVAILABLE;
    return false;
}

std::string MonitorKey(const std::string& monitor) { return std::string(kMonitorsKey) + "\\" + monitor; }
std::string PortsKey(const std::string& monitor) { return MonitorKey(monitor) + "\\Ports"; }
std::string PrinterKey(const std::string& printer) { return std::string(kPrintersKey) + "\\" + printer; }

const std::vector<PortEntry>& ListPorts(const std::string& hive) {
    // The table of each hive, made again when a key came or went.
    struct Table {
        uint64_t generation = 0;
        std::vector<PortEntry> ports;
    };
    static std::map<std::string, Table> tables;
    uint64_t generation = FolderGeneration();
    Table& table = tables[hive];
    if (table.generation != generation) {
        table.ports.clear();
        for (const auto& monitor : reg::Subkeys(hive, kMonitorsKey))
            for (const auto& port : reg::Subkeys(hive, PortsKey(monitor))) table.ports.push_back({port, monitor});
        table.generation = generation;
    }
    return table.ports;
}

std::string PortMonitor(const std::string& hive, const std::string& port) {
    for (const auto& monitor : reg::Subkeys(hive, kMonitorsKey))
        if (reg::KeyExists(hive, PortsKey(monitor) + "\\" + port)) return monitor;
    return std::string();
}

bool CreateSpooler(const std::string& hive) {
    if (!reg::CreateKey(hive, PortsKey(kLocalMonitor)) || !reg::CreateKey(hive, kPrintersKey)) return false;
    reg::SetValue(hive, MonitorKey(kLocalMonitor), "Driver", reg::Sz("localspl.dll"));
    for (const char* port : {"COM1:", "COM2:", "COM3:", "COM4:", "FILE:", "LPT1:", "LPT2:", "LPT3:", "nul:",
                             "PORTPROMPT:"})
        if (!reg::CreateKey(hive, PortsKey(kLocalMonitor) + "\\" + port)) return false;
    return true;
}

}  // namespace winsim

using namespace winsim;

extern "C" BOOL WINAPI ClosePrinter(HANDLE printer) {
    if (!ReleaseHandle(printer, PrinterObject::Kind)) return Fail(ERROR_INVALID_HANDLE);
    return TRUE;
}
