// Printers and the port table: OpenPrinterA, GetPrinterA, SetPrinterA,
// EnumPrintersA, EnumPortsA.
//
// A printer is the key Print\Printers\NAME of the spooler's hive, with the
// values under which Windows keeps a printer's definition:
//   "Name", "Share Name", "Port", "Printer Driver", "Description" (the comment),
//   "Location", "Separator File", "Print Processor", "Datatype", "Parameters"
//   (strings), "Attributes", "Priority", "Default Priority", "StartTime",
//   "UntilTime", "Status", "dnsTimeout", "txTimeout" (numbers) and
//   "Default DevMode", the printer's device mode (DEVMODEA, REG_BINARY).
//   "Port" is the port list: one port name, or several separated by commas
//   for a pooled printer.
//
// Answers go into the caller's block: the structures first, then the device
// modes (each on an 8-byte boundary) and strings (each with its terminator)
// they point to, packed after them. A block too small for that gets nothing
// but ERROR_INSUFFICIENT_BUFFER and the size.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "internal.h"
#include "winsim/spooler.h"

namespace winsim {
namespace {

constexpr DWORD kPortTypeWrite = 0x0001;  // PORT_TYPE_WRITE
// The access a printer handle may ask for: the printer's and the print
// server's own rights, the standard rights, the generic rights and
// MAXIMUM_ALLOWED. Anything else (ACCESS_SYSTEM_SECURITY, unknown bits) is
// refused with 5.
constexpr DWORD kKnownAccess = 0xF0000000u | 0x02000000u | 0x001F0000u | PRINTER_ACCESS_ADMINISTER |
                               PRINTER_ACCESS_USE | 0x00000040u | SERVER_ACCESS_ADMINISTER | SERVER_ACCESS_ENUMERATE;
constexpr DWORD kGenericAll = 0x10000000u;
// A new printer's timeouts (level 5), in milliseconds.
constexpr DWORD kDeviceNotSelectedTimeout = 15000, kTransmissionRetryTimeout = 45000;
// A device mode must reach at least to the end of its dmFields.
constexpr size_t kDevModeMinimum = offsetof(DEVMODEA, dmFields) + sizeof(DWORD);
// Where a device mode starts in an answer's block.
constexpr size_t kDevModeAlignment = 8;
const char kDevModeValue[] = "Default DevMode";

// A printer's definition as the spooler keeps it.
struct PrinterDefinition {
    std::string name, shareName, port, driver, comment, location, sepFile, printProcessor, datatype, parameters;
    DWORD attributes = 0, priority = 1, defaultPriority = 0, startTime = 0, untilTime = 0, status = 0;
    DWORD notSelectedTimeout = kDeviceNotSelectedTimeout, retryTimeout = kTransmissionRetryTimeout;
    std::string devMode;  // the DEVMODEA bytes, its dmSize and dmDriverExtra
};

struct StringField {
    const char* value;
    std::string PrinterDefinition::*member;
};
const StringField kStringFields[] = {
    {"Name", &PrinterDefinition::name},
    {"Share Name", &PrinterDefinition::shareName},
    {"Port", &PrinterDefinition::port},
    {"Printer Driver", &PrinterDefinition::driver},
    {"Description", &PrinterDefinition::comment},
    {"Location", &PrinterDefinition::location},
    {"Separator File", &PrinterDefinition::sepFile},
    {"Print Processor", &PrinterDefinition::printProcessor},
    {"Datatype", &PrinterDefinition::datatype},
    {"Parameters", &PrinterDefinition::parameters},
};

struct NumberField {
    const char* value;
    DWORD PrinterDefinition::*member;
};
const NumberField kNumberFields[] = {
    {"Attributes", &PrinterDefinition::attributes},
    {"Priority", &PrinterDefinition::priority},
    {"Default Priority", &PrinterDefinition::defaultPriority},
    {"StartTime", &PrinterDefinition::startTime},
    {"UntilTime", &PrinterDefinition::untilTime},
    {"Status", &PrinterDefinition::status},
    {"dnsTimeout", &PrinterDefinition::notSelectedTimeout},
    {"txTimeout", &PrinterDefinition::retryTimeout},
};

// A name that can stand for a printer's key: not empty, no backslash (it
// would reach into the key's subkeys) and no comma (the spooler refuses both
// in printer names).
bool PlausiblePrinterName(const char* name) {
    return name && *name && std::strchr(name, '\\') == nullptr && std::strchr(name, ',') == nullptr;
}

// The bytes of a device mode that its own header tells (dmSize, then
// dmDriverExtra more); empty when the header is no device mode's: dmSize
// short of dmFields or longer than DEVMODEA, or more bytes told than `limit`.
std::string DevModeBytes(const BYTE* data, size_t limit) {
    if (!data || limit < kDevModeMinimum) return std::string();
    DEVMODEA head;
    std::memcpy(&head, data, kDevModeMinimum);
    size_t total = static_cast<size_t>(head.dmSize) + head.dmDriverExtra;
    if (head.dmSize < kDevModeMinimum || head.dmSize > sizeof(DEVMODEA) || total > limit) return std::string();
    return std::string(reinterpret_cast<const char*>(data), total);
}

// The device mode of a printer that has none stored: what a new printer of
// winsim's generic driver gets (portrait, Letter, one copy).
std::string DefaultDevMode(const std::string& printer) {
    DEVMODEA dm;
    std::memset(&dm, 0, sizeof dm);
    std::memcpy(dm.dmDeviceName, printer.data(), std::min<size_t>(printer.size(), CCHDEVICENAME - 1));
    dm.dmSpecVersion = DM_SPECVERSION;
    dm.dmDriverVersion = 1;
    dm.dmSize = sizeof dm;
    dm.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_FORMNAME;
    dm.dmOrientation = DMORIENT_PORTRAIT;
    dm.dmPaperSize = DMPAPER_LETTER;
    dm.dmCopies = 1;
    std::memcpy(dm.dmFormName, "Letter", sizeof "Letter");
    return std::string(reinterpret_cast<const char*>(&dm), sizeof dm);
}

const std::string& NameOf(const std::pair<std::string, RegValue>& nv) { return nv.first; }
const RegValue& ValueOf(const std::pair<std::string, RegValue>& nv) { return nv.second; }
const std::string& NameOf(const reg::ValueRef& ref) { return *ref.name; }
const RegValue& ValueOf(const reg::ValueRef& ref) { return *ref.value; }

// A printer from the values of its key (pairs of name and value, or values
// lent by reg::ForEachSubkeyValues).
template <class Values>
void TakePrinter(const std::string& name, const Values& values, PrinterDefinition* p) {
    // The value names of the fields, compared without regard to case.
    static const std::vector<std::string> stringNames = [] {
        std::vector<std::string> names;
        for (const auto& f : kStringFields) names.push_back(f.value);
        return names;
    }();
    static const std::vector<std::string> numberNames = [] {
        std::vector<std::string> names;
        for (const auto& f : kNumberFields) names.push_back(f.value);
        return names;
    }();
    static const std::string devModeName = kDevModeValue;
    *p = PrinterDefinition();
    p->name = name;
    for (const auto& nv : values) {
        const std::string& value = NameOf(nv);
        const RegValue& data = ValueOf(nv);
        for (size_t i = 0; i < stringNames.size(); ++i)
            if (value.size() == stringNames[i].size() && EqualNoCase(value, stringNames[i]))
                p->*kStringFields[i].member = reg::SzText(data);
        for (size_t i = 0; i < numberNames.size(); ++i)
            if (value.size() == numberNames[i].size() && EqualNoCase(value, numberNames[i]))
                p->*kNumberFields[i].member = reg::DwordOf(data, p->*kNumberFields[i].member);
        if (value.size() == devModeName.size() && EqualNoCase(value, devModeName) &&
            DevModeBytes(reinterpret_cast<const BYTE*>(data.data.data()), data.data.size()).size() ==
                data.data.size())
            p->devMode = data.data;
    }
    if (p->name.empty()) p->name = name;
    if (p->devMode.empty()) p->devMode = DefaultDevMode(p->name);
}

bool LoadPrinter(const std::string& hive, const std::string& name, PrinterDefinition* p) {
    if (!PlausiblePrinterName(name.c_str())) return false;
    std::string key = PrinterKey(name);
    if (!reg::KeyExists(hive, key)) return false;
    TakePrinter(name, reg::Values(hive, key), p);
    return true;
}

// Places what the structures point to into a caller's block, one after the
// other behind the structures. Without a block it only counts, so that the
// same filling measures the answer first.
class Packer {
public:
    Packer(LPBYTE base, size_t start) : base_(base), next_(start) {}
    LPSTR Put(const std::string& text) {
        LPSTR at = base_ ? reinterpret_cast<LPSTR>(base_ + next_) : nullptr;
        if (at) std::memcpy(at, text.c_str(), text.size() + 1);
        next_ += text.size() + 1;
        return at;
    }
    LPDEVMODEA PutDevMode(const std::string& bytes) {
        next_ = (next_ + kDevModeAlignment - 1) / kDevModeAlignment * kDevModeAlignment;
        LPDEVMODEA at = base_ ? reinterpret_cast<LPDEVMODEA>(base_ + next_) : nullptr;
        if (at) std::memcpy(at, bytes.data(), bytes.size());
        next_ += bytes.size();
        return at;
    }
    size_t End() const { return next_; }

private:
    LPBYTE base_;
    size_t next_;
};

// The size of a level's structure; 0 for a level winsim does not answer.
size_t InfoSize(DWORD level) {
    switch (level) {
        case 2: return sizeof(PRINTER_INFO_2A);
        case 4: return sizeof(PRINTER_INFO_4A);
        case 5: return sizeof(PRINTER_INFO_5A);
        default: return 0;
    }
}

// Fills a printer's structure of a level (when `info` is given) and packs
// what it points to.
void FillInfo(DWORD level, const PrinterDefinition& p, LPBYTE info, Packer* pack) {
    if (level == 4) {
        PRINTER_INFO_4A four = {};
        four.pPrinterName = pack->Put(p.name);
        four.pServerName = nullptr;  // a printer of the local spooler
        four.Attributes = p.attributes;
        if (info) std::memcpy(info, &four, sizeof four);
        return;
    }
    if (level == 5) {
        PRINTER_INFO_5A five = {};
        five.pPrinterName = pack->Put(p.name);
        five.pPortName = pack->Put(p.port);
        five.Attributes = p.attributes;
        five.DeviceNotSelectedTimeout = p.notSelectedTimeout;
        five.TransmissionRetryTimeout = p.retryTimeout;
        if (info) std::memcpy(info, &five, sizeof five);
        return;
    }
    PRINTER_INFO_2A two = {};
    two.pServerName = nullptr;
    two.pDevMode = pack->PutDevMode(p.devMode);
    two.pPrinterName = pack->Put(p.name);
    two.pShareName = pack->Put(p.shareName);
    two.pPortName = pack->Put(p.port);
    two.pDriverName = pack->Put(p.driver);
    two.pComment = pack->Put(p.comment);
    two.pLocation = pack->Put(p.location);
    two.pSepFile = pack->Put(p.sepFile);
    two.pPrintProcessor = pack->Put(p.printProcessor);
    two.pDatatype = pack->Put(p.datatype);
    two.pParameters = pack->Put(p.parameters);
    two.pSecurityDescriptor = nullptr;
    two.Attributes = p.attributes;
    two.Priority = p.priority;
    two.DefaultPriority = p.defaultPriority;
    two.StartTime = p.startTime;
    two.UntilTime = p.untilTime;
    two.Status = p.status;
    if (info) std::memcpy(info, &two, sizeof two);
}

// Bytes of a size-protocol answer, guarded against a count that no DWORD holds.
bool FitsDword(size_t size) { return size <= 0xFFFFFFFFu; }

// The answer of a level for printers: its size, and when `block` is given
// (of at least that size) the answer in it.
size_t PackPrinters(DWORD level, const std::vector<PrinterDefinition>& printers, LPBYTE block) {
    size_t each = InfoSize(level);
    Packer pack(block, printers.size() * each);
    for (size_t i = 0; i < printers.size(); ++i) FillInfo(level, printers[i], block ? block + i * each : nullptr, &pack);
    return pack.End();
}

std::vector<std::string> SplitPortList(const std::string& list) {
    std::vector<std::string> entries;
    size_t start = 0;
    while (true) {
        size_t comma = list.find(',', start);
        entries.push_back(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return entries;
}

// Every entry of a port list must name a port that the spooler knows.
bool PortListKnown(const std::string& hive, const std::string& list) {
    for (const auto& entry : SplitPortList(list)) {
        if (entry.empty() || entry.find('\\') != std::string::npos) return false;
        if (PortMonitor(hive, entry).empty()) return false;
    }
    return true;
}

// A handle of a printer (not of an Xcv channel or of the print server).
PrinterObject* PrinterHandle(HANDLE h) {
    auto* object = Lookup<PrinterObject>(h);
    return object && !object->xcv && !object->server ? object : nullptr;
}

// The rights a handle gets for the access asked for: none asked means the
// right to use the printer; the generic rights stand for the printer's.
DWORD GrantedAccess(DWORD desired) {
    if (desired == 0) return PRINTER_ACCESS_USE;
    if (desired & kGenericAll) desired |= PRINTER_ALL_ACCESS;
    if (desired & (GENERIC_READ | GENERIC_WRITE | 0x20000000u)) desired |= PRINTER_ACCESS_USE;
    return desired;
}

}  // namespace

// ---- winsim new / show ------------------------------------------------------

// The values of a printer that `winsim new` lays out: its whole definition
// as a freshly added printer has it, its device mode included.
std::vector<std::pair<std::string, RegValue>> NewPrinterValues(const NewPrinter& p) {
    RegValue devMode;
    devMode.type = REG_BINARY;
    devMode.data = DefaultDevMode(p.name);
    return {{"Name", reg::Sz(p.name)},
            {"Port", reg::Sz(p.ports)},
            {"Attributes", reg::Dword(p.attributes)},
            {"Printer Driver", reg::Sz(p.driver)},
            {"Print Processor", reg::Sz(p.printProcessor)},
            {"Datatype", reg::Sz(p.datatype)},
            {"Priority", reg::Dword(p.priority)},
            {"Share Name", reg::Sz(p.shareName)},
            {"Description", reg::Sz(p.comment)},
            {"Location", reg::Sz(p.location)},
            {"Separator File", reg::Sz(p.separatorFile)},
            {"Parameters", reg::Sz(p.parameters)},
            {"Default Priority", reg::Dword(p.defaultPriority)},
            {"StartTime", reg::Dword(p.startTime)},
            {"UntilTime", reg::Dword(p.untilTime)},
            {"Status", reg::Dword(0)},
            {kDevModeValue, devMode}};
}

namespace {

std::string AttributeWords(DWORD attributes) {
    std::string words;
    if (attributes & PRINTER_ATTRIBUTE_LOCAL) words += "local";
    if (attributes & PRINTER_ATTRIBUTE_NETWORK) words += words.empty() ? "network" : ", network";
    return words.empty() ? std::string() : " (" + words + ")";
}

}  // namespace

void ShowPrinters(std::string* out) {
    *out += "\nPrinters:\n";
    const std::string hive = "registry/HKLM";
    auto names = reg::Subkeys(hive, kPrintersKey);
    if (names.empty()) *out += "  (none)\n";
    for (const auto& name : names) {
        PrinterDefinition p;
        if (!LoadPrinter(hive, name, &p)) continue;
        char attributes[32];
        std::snprintf(attributes, sizeof attributes, "0x%08x", static_cast<unsigned>(p.attributes));
        *out += "  '" + AnsiToUtf8(p.name) + "' on " + AnsiToUtf8(p.port) + ", attributes " + attributes +
                AttributeWords(p.attributes) + "\n";
    }
}

}  // namespace winsim

using namespace winsim;

extern "C" {

BOOL WINAPI OpenPrinterA(LPSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSA defaults) {
    if (!printer) return Fail(ERROR_INVALID_PARAMETER);
    *printer = nullptr;
    DWORD desired = defaults ? defaults->DesiredAccess : 0;
    std::string text = name ? name : "";
    // The Xcv channel of a monitor, as OpenPrinterW opens it.
    if (name && text.find(kXcvMonitorPrefix) != std::string::npos) {
        DWORD error;
        if (TakeFault("OpenPrinterA", text, &error)) return Fail(error);
        return OpenXcv(text, desired, printer);
    }
    if (desired & ~kKnownAccess) return Fail(ERROR_ACCESS_DENIED);
    // No name, or the local computer's: the print server's handle.
    bool server = !name || EqualNoCase(text, "\\\\" + Config().computerName);
    if (!server && !PlausiblePrinterName(name)) return Fail(ERROR_INVALID_PRINTER_NAME);
    std::string hive = "registry/HKLM";
    if (!server && !reg::KeyExists(hive, PrinterKey(name))) return Fail(ERROR_INVALID_PRINTER_NAME);
    DWORD error;
    if (TakeFault("OpenPrinterA", text, &error)) return Fail(error);
    auto object = std::make_unique<PrinterObject>();
    object->hive = hive;
    object->server = server;
    object->printer = text;
    object->access = GrantedAccess(desired);
    *printer = NewHandle(std::move(object));
    return TRUE;
}

BOOL WINAPI GetPrinterA(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
    PrinterObject* object = PrinterHandle(printer);
    if (!object) return Fail(ERROR_INVALID_HANDLE);
    if (InfoSize(level) == 0) return Fail(ERROR_INVALID_LEVEL);
    if (!needed) return Fail(RPC_X_NULL_REF_POINTER);
    DWORD error;
    if (TakeFault("GetPrinterA", object->printer, &error)) return Fail(error);
    std::vector<PrinterDefinition> p(1);
    if (!LoadPrinter(object->hive, object->printer, &p[0])) return Fail(ERROR_INVALID_PRINTER_NAME);
    size_t want = PackPrinters(level, p, nullptr);
    if (!FitsDword(want)) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    *needed = static_cast<DWORD>(want);
    if (!buffer || size < want) return Fail(ERROR_INSUFFICIENT_BUFFER);
    PackPrinters(level, p, buffer);
    return TRUE;
}

BOOL WINAPI SetPrinterA(HANDLE printer, DWORD level, LPBYTE buffer, DWORD command) {
    PrinterObject* object = PrinterHandle(printer);
    if (!object) return Fail(ERROR_INVALID_HANDLE);
    if (level != 2) return Fail(ERROR_INVALID_LEVEL);
    // Pausing, resuming and purging are not simulated.
    if (command != 0) return Fail(ERROR_NOT_SUPPORTED);
    if (!buffer) return Fail(ERROR_INVALID_PARAMETER);
    if (!(object->access & PRINTER_ACCESS_ADMINISTER)) return Fail(ERROR_ACCESS_DENIED);
    DWORD error;
    if (TakeFault("SetPrinterA", object->printer, &error)) return Fail(error);
    PrinterDefinition old;
    if (!LoadPrinter(object->hive, object->printer, &old)) return Fail(ERROR_INVALID_PRINTER_NAME);
    const auto* info = reinterpret_cast<const PRINTER_INFO_2A*>(buffer);
    // Renaming a printer is not simulated.
    if (info->pPrinterName && !EqualNoCase(info->pPrinterName, old.name)) return Fail(ERROR_NOT_SUPPORTED);
    if (info->pPortName && !PortListKnown(object->hive, info->pPortName)) return Fail(ERROR_UNKNOWN_PORT);
    // A device mode is taken as its header tells its size.
    std::string devMode;
    if (info->pDevMode) {
        devMode = DevModeBytes(reinterpret_cast<const BYTE*>(info->pDevMode), 0xFFFFFFFFu);
        if (devMode.empty()) return Fail(ERROR_INVALID_PARAMETER);
    }

    // A field whose pointer is null keeps its value; the numbers are always
    // taken, except the bits that say where the printer lives.
    PrinterDefinition p = old;
    auto take = [](std::string* field, LPCSTR text) {
        if (text) *field = text;
    };
    take(&p.shareName, info->pShareName);
    take(&p.port, info->pPortName);
    take(&p.driver, info->pDriverName);
    take(&p.comment, info->pComment);
    take(&p.location, info->pLocation);
    take(&p.sepFile, info->pSepFile);
    take(&p.printProcessor, info->pPrintProcessor);
    take(&p.datatype, info->pDatatype);
    take(&p.parameters, info->pParameters);
    if (!devMode.empty()) p.devMode = devMode;
    const DWORD placement = PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_NETWORK;
    p.attributes = (info->Attributes & ~placement) | (old.attributes & placement);
    p.priority = info->Priority;
    p.defaultPriority = info->DefaultPriority;
    p.startTime = info->StartTime;
    p.untilTime = info->UntilTime;

    // Only what changed is written.
    std::string key = PrinterKey(object->printer);
    for (const auto& f : kStringFields)
        if (p.*f.member != old.*f.member && !reg::SetValue(object->hive, key, f.value, reg::Sz(p.*f.member)))
            return Fail(ERROR_ACCESS_DENIED);
    for (const auto& f : kNumberFields)
        if (p.*f.member != old.*f.member && !reg::SetValue(object->hive, key, f.value, reg::Dword(p.*f.member)))
            return Fail(ERROR_ACCESS_DENIED);
    if (p.devMode != old.devMode) {
        RegValue value;
        value.type = REG_BINARY;
        value.data = p.devMode;
        if (!reg::SetValue(object->hive, key, kDevModeValue, value)) return Fail(ERROR_ACCESS_DENIED);
    }
    if (p.port != old.port) Journal("printer " + old.name + " port " + old.port + " -> " + p.port);
    return TRUE;
}

BOOL WINAPI EnumPrintersA(DWORD flags, LPSTR, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                          LPDWORD returned) {
    if (!needed || !returned) return Fail(RPC_X_NULL_REF_POINTER);
    *needed = 0;
    *returned = 0;
    if (InfoSize(level) == 0) return Fail(ERROR_INVALID_LEVEL);
    DWORD error;
    if (TakeFault("EnumPrintersA", "*", &error)) return Fail(error);
    // With PRINTER_ENUM_LOCAL the name is not looked at: the printers of
    // this machine's spooler are listed. Connections to other servers are
    // not simulated, so any other request lists nothing.
    std::vector<PrinterDefinition> printers;
    if (flags & PRINTER_ENUM_LOCAL) {
        // Every printer's key read in one walk, as LoadPrinter reads one.
        reg::ForEachSubkeyValues("registry/HKLM", kPrintersKey,
                                 [&printers](const std::string& name, const std::vector<reg::ValueRef>& values) {
                                     if (!PlausiblePrinterName(name.c_str())) return;
                                     printers.emplace_back();
                                     TakePrinter(name, values, &printers.back());
                                 });
    }
    if (printers.empty()) return TRUE;
    size_t want = PackPrinters(level, printers, nullptr);
    if (!FitsDword(want)) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    *needed = static_cast<DWORD>(want);
    if (!buffer || size < want) return Fail(ERROR_INSUFFICIENT_BUFFER);
    PackPrinters(level, printers, buffer);
    *returned = static_cast<DWORD>(printers.size());
    return TRUE;
}

BOOL WINAPI EnumPortsA(LPSTR server, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
    if (!needed || !returned) return Fail(RPC_X_NULL_REF_POINTER);
    *needed = 0;
    *returned = 0;
    std::string hive;
    DWORD error = 0;
    if (!SpoolerHive(server, &hive, &error)) return Fail(error);
    if (level != 1 && level != 2) return Fail(ERROR_INVALID_LEVEL);
    if (TakeFault("EnumPortsA", "*", &error)) return Fail(error);
    // Level 1 names the ports; level 2 adds the monitor, which describes its
    // ports by its own name.
    const std::vector<PortEntry>& ports = ListPorts(hive);
    size_t each = level == 1 ? sizeof(PORT_INFO_1A) : sizeof(PORT_INFO_2A);
    size_t want = ports.size() * each;
    for (const auto& port : ports) want += port.name.size() + 1 + (level == 1 ? 0 : 2 * (port.monitor.size() + 1));
    if (!FitsDword(want)) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    *needed = static_cast<DWORD>(want);
    if (ports.empty()) return TRUE;
    if (!buffer || size < want) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memset(buffer, 0, ports.size() * each);
    Packer pack(buffer, ports.size() * each);
    for (size_t i = 0; i < ports.size(); ++i) {
        if (level == 1) {
            reinterpret_cast<PORT_INFO_1A*>(buffer)[i].pName = pack.Put(ports[i].name);
            continue;
        }
        auto& info = reinterpret_cast<PORT_INFO_2A*>(buffer)[i];
        info.pPortName = pack.Put(ports[i].name);
        info.pMonitorName = pack.Put(ports[i].monitor);
        info.pDescription = pack.Put(ports[i].monitor);
        info.fPortType = kPortTypeWrite;
        info.Reserved = 0;
    }
    *returned = static_cast<DWORD>(ports.size());
    return TRUE;
}

}  // extern "C"
