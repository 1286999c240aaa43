// The Xcv name and the New-port line with long values. The input, split at
// zero bytes: the server name (empty: the local spooler), then Description,
// ServerIP, Queue and AuthText of port section 1, then ServerPort and
// AuthType (4 bytes each, little-endian), all written to the registry. The
// machine knows the print server \\PRINTSRV; the monitor is registered
// there and locally. AddPortConfiguration then opens the channel and writes
// the port. Checks: a server name too long for the Xcv name is refused with
// its line; a port written has its record and a New-port line of at most
// 1023 characters that is exact up to the end of AuthText, which alone is
// cut, and always ends with its line break.
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "support/machine.h"
#include "fuzz/port_fields.h"
#include "platform/handles.h"
#include "portcfg/xcv_transport.h"
#include "winsim/spooler.h"

using fuzz_support::Check;

namespace {

const char kServer[] = "\\\\PRINTSRV";
const char kServerHive[] = "servers/printsrv/registry/HKLM";

void RegisterMonitor(const std::string& hive) {
    winsim::reg::CreateKey(hive, winsim::PortsKey("Vormo"));
    winsim::reg::SetValue(hive, winsim::MonitorKey("Vormo"), "Driver", winsim::reg::Sz("VORMOVS64.DLL"));
}

void Prepare() {
    RegisterMonitor("registry/HKLM");
    RegisterMonitor(kServerHive);
}

winsim::NewOptions Options() {
    winsim::NewOptions options = fuzz_support::DefaultOptions();
    options.servers.push_back(kServer);
    return options;
}

DWORD Le32(const std::string& bytes, DWORD fallback) {
    if (bytes.size() < 4) return fallback;
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    return static_cast<DWORD>(b[0]) | static_cast<DWORD>(b[1]) << 8 | static_cast<DWORD>(b[2]) << 16 |
           static_cast<DWORD>(b[3]) << 24;
}

// What a string value of section 1 yields: at most 259 characters, or the
// default when it does not fit the field.
std::string Field(const std::string& value) { return value.size() + 1 <= kPortStringSize ? value : std::string(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    fuzz_support::StartMachine(Options(), Prepare);
    std::vector<std::string> pieces = fuzz_support::Split(data, size, '\0');
    pieces.resize(7);
    const std::string& server = pieces[0];
    const char* names[] = {"Description", "ServerIP", "Queue", "AuthText"};

    fuzz_support::BeginInput();
    {
        platform::RegKey key;
        std::string path = std::string(kStandardEdition.portInstallCfgKey) + "\\1";
        Check(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.out(),
                              nullptr) == ERROR_SUCCESS,
              "section 1 created");
        for (int i = 0; i < 4; ++i)
            RegSetValueExA(key.get(), names[i], 0, REG_SZ, reinterpret_cast<const BYTE*>(pieces[i + 1].c_str()),
                           static_cast<DWORD>(pieces[i + 1].size() + 1));
        for (int i = 0; i < 2; ++i)
            if (pieces[5 + i].size() >= 4)
                RegSetValueExA(key.get(), i == 0 ? "ServerPort" : "AuthType", 0, REG_DWORD,
                               reinterpret_cast<const BYTE*>(pieces[5 + i].data()), 4);
    }
    int count = -1;
    RunPlan plan = testing_support::TestPlan(kStandardEdition, false);
    SetPrintServer(&plan, server.empty() ? nullptr : server.c_str());
    int result = AddPortConfiguration(plan, &count) ? 1 : 0;
    bool local = server.empty();
    // The spooler the name reached: the local one (no server, or the
    // machine's own name) or \\PRINTSRV.
    winsim::RegValue record;
    bool stored = false;
    for (const char* hive : {"registry/HKLM", kServerHive})
        stored = stored || winsim::reg::GetValue(hive, winsim::PortsKey("Vormo") + "\\Vormo001", "Record", &record);
    std::string out = fuzz_support::EndInput();

    std::string desc = Field(pieces[1]), ip = Field(pieces[2]), queue = Field(pieces[3]), auth = Field(pieces[4]);
    Check(count == 0 || count == 1, "one section at most", std::to_string(count));
    Check((result == 1) == (count == 1 || ip.empty()), "success when the port is written or there is none");

    // The Xcv name ",XcvMonitor Vormo" or "SERVER\,XcvMonitor Vormo" must fit
    // its 260 characters; a longer one is refused before the spooler sees it.
    bool fits = local || server.size() + std::string("\\,XcvMonitor Vormo").size() < 260;
    if (!fits) {
        std::string refused = "Cannot open port monitor, server name too long\n";
        Check(out.compare(0, refused.size(), refused) == 0 && count == 0, "a server name that does not fit", out);
        return 0;
    }
    // A spooler that the name reaches (none, the machine's own name or
    // \\PRINTSRV) takes the port of a section with a ServerIP.
    std::string hive;
    DWORD error = 0;
    bool reachable = local || winsim::SpoolerHive(server.c_str(), &hive, &error);
    Check(count == (reachable && !ip.empty() ? 1 : 0), "the port is written where the spooler is reached", out);
    if (count == 0) {
        Check(out.find("    New - ") == std::string::npos, "no New-port line without a port");
        return 0;
    }

    Check(stored && record.data.size() == kPortRecordSize, "the port received its record");
    PortRecord r;
    std::memcpy(&r, record.data.data(), sizeof r);
    UINT cp = winsim::Config().codePage;
    Check(port_fields::Wide(r.PortName, kPortNameSize) == u"Vormo001", "the record names its port");
    Check(port_fields::Wide(r.Description, kPortStringSize) == winsim::AnsiToUtf16(desc, cp), "Description");
    Check(port_fields::Wide(r.AuthText, kPortStringSize) == winsim::AnsiToUtf16(auth, cp), "AuthText");

    std::string head = "    New - IP:" + ip + ":" + std::to_string(static_cast<int>(Le32(pieces[5], 9100))) +
                       ", Desc:" + desc + ", Queue:" + queue +
                       ", Type:" + std::to_string(static_cast<int>(Le32(pieces[6], 1))) + " ";
    size_t room = 1023 - 1 - head.size();  // the line break always stays
    std::string line = head + auth.substr(0, room) + "\n";
    Check(line.size() <= 1023, "the New-port line within 1023 characters");
    Check(out == line, "the New-port line", out.substr(0, 1100));
    return 0;
}
