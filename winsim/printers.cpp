// Printers and the port table: OpenPrinterA, GetPrinterA, SetPrinterA,
// EnumPrintersA (levels 2 and 4), EnumPortsA.
//
// A printer is the key Print\Printers\NAME of the spooler's hive, with the
// values under which Windows keeps a printer's definition:
//   "Name", "Share Name", "Port", "Printer Driver", "Description" (the comment),
//   "Location", "Separator File", "Print Processor", "Datatype", "Parameters"
//   (strings) and "Attributes", "Priority", "Default Priority", "StartTime",
//   "UntilTime", "Status" (numbers). "Port" is the port list: one port name,
//   or several separated by commas for a pooled printer.
//
// Answers go into the caller's block: the structures first, then the strings
// they point to, each with its terminator, packed after them. A block too
// small for that gets nothing but ERROR_INSUFFICIENT_BUFFER and the size.
#include <cstring>
#include <map>

#include "internal.h"
#include "winsim/spooler.h"

namespace winsim {
namespace {

constexpr DWORD kAccessAdminister = 0x00000004;  // PRINTER_ACCESS_ADMINISTER
constexpr DWORD kAccessUse = 0x00000008;        // PRINTER_ACCESS_USE
constexpr DWORD kPortTypeWrite = 0x0001;        // PORT_TYPE_WRITE

// A printer's definition as the spooler keeps it.
struct PrinterDefinition {
    std::string name, shareName, port, driver, comment, location, sepFile, printProcessor, datatype, parameters;
    DWORD attributes = 0, priority = 1, defaultPriority = 0, startTime = 0, untilTime = 0, status = 0;
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
};

// A name that can stand for a printer's key: not empty, no backslash (it
// would reach into the key's subkeys) and no comma (the spooler refuses both
// in printer names).
bool PlausiblePrinterName(const char* name) {
    return name && *name && std::strchr(name, '\\') == nullptr && std::strchr(name, ',') == nullptr;
}

const std::string& NameOf(const std::pair<std::string, RegValue>& nv) { return nv.first; }
const RegValue& ValueOf(const std::pair<std::string, RegValue>& nv) { return nv.second; }
const std::string& NameOf(const reg::ValueRef& ref) { return *ref.name; }
const RegValue& ValueOf(const reg::ValueRef& ref) { return *ref.value; }

// A printer from the values of its key.
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
    *p = PrinterDefinition();
    p->name = name;
    for (const auto& nv : values) {
        const std::string& value = NameOf(nv);
        for (size_t i = 0; i < stringNames.size(); ++i)
            if (value.size() == stringNames[i].size() && EqualNoCase(value, stringNames[i]))
                p->*kStringFields[i].member = reg::SzText(ValueOf(nv));
        for (size_t i = 0; i < numberNames.size(); ++i)
            if (value.size() == numberNames[i].size() && EqualNoCase(value, numberNames[i]))
                p->*kNumberFields[i].member = reg::DwordOf(ValueOf(nv), p->*kNumberFields[i].member);
    }
    if (p->name.empty()) p->name = name;
}

bool LoadPrinter(const std::string& hive, const std::string& name, PrinterDefinition* p) {
    if (!PlausiblePrinterName(name.c_str())) return false;
    std::string key = PrinterKey(name);
    if (!reg::KeyExists(hive, key)) return false;
    TakePrinter(name, reg::Values(hive, key), p);
    return true;
}

// Places strings into a caller's block, one after the other, behind the
// structures.
class Packer {
public:
    Packer(LPBYTE base, size_t stringsAt) : base_(base), next_(stringsAt) {}
    LPSTR Put(const std::string& text) {
        LPSTR at = reinterpret_cast<LPSTR>(base_ + next_);
        std::memcpy(at, text.c_str(), text.size() + 1);
        next_ += Size(text);
        return at;
    }
    // Bytes a string takes in the block.
    static size_t Size(const std::string& text) { return text.size() + 1; }

private:
    LPBYTE base_;
    size_t next_;
};

size_t InfoSize(const PrinterDefinition& p) {
    size_t size = sizeof(PRINTER_INFO_2A);
    for (const auto& f : kStringFields) size += Packer::Size(p.*f.member);
    return size;
}

// A printer's level-2 record, its strings packed where the packer stands.
void FillInfo2(const PrinterDefinition& p, PRINTER_INFO_2A* info, Packer* pack) {
    std::memset(info, 0, sizeof *info);
    info->pServerName = nullptr;  // a printer of the local spooler
    info->pPrinterName = pack->Put(p.name);
    info->pShareName = pack->Put(p.shareName);
    info->pPortName = pack->Put(p.port);
    info->pDriverName = pack->Put(p.driver);
    info->pComment = pack->Put(p.comment);
    info->pLocation = pack->Put(p.location);
    info->pDevMode = nullptr;
    info->pSepFile = pack->Put(p.sepFile);
    info->pPrintProcessor = pack->Put(p.printProcessor);
    info->pDatatype = pack->Put(p.datatype);
    info->pParameters = pack->Put(p.parameters);
    info->pSecurityDescriptor = nullptr;
    info->Attributes = p.attributes;
    info->Priority = p.priority;
    info->DefaultPriority = p.defaultPriority;
    info->StartTime = p.startTime;
    info->UntilTime = p.untilTime;
    info->Status = p.status;
    info->cJobs = 0;
    info->AveragePPM = 0;
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

PrinterObject* PrinterHandle(HANDLE h) {
    auto* object = Lookup<PrinterObject>(h);
    return object && !object->xcv ? object : nullptr;
}

// Bytes of a size-protocol answer, guarded against a count that no DWORD holds.
bool FitsDword(size_t size) { return size <= 0xFFFFFFFFu; }

}  // namespace

// ---- winsim new / show ------------------------------------------------------

// Completes the printers that `winsim new` lays out with the rest of a
// printer's definition, as a freshly added printer has it.
bool CompletePrinters(const NewOptions& options, std::string*) {
    const std::string hive = "registry/HKLM";
    const std::pair<const char*, RegValue> defaults[] = {
        {"Share Name", reg::Sz("")},     {"Description", reg::Sz("")},
        {"Location", reg::Sz("")},       {"Separator File", reg::Sz("")},
        {"Parameters", reg::Sz("")},     {"Default Priority", reg::Dword(0)},
        {"StartTime", reg::Dword(0)},    {"UntilTime", reg::Dword(0)},
        {"Status", reg::Dword(0)},
    };
    for (const auto& printer : options.printers) {
        std::string key = PrinterKey(printer.name);
        if (!reg::KeyExists(hive, key)) return false;
        for (const auto& d : defaults)
            if (!reg::GetValue(hive, key, d.first, nullptr) && !reg::SetValue(hive, key, d.first, d.second))
                return false;
    }
    return true;
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
    // winsim keeps no print-server handles: a printer must be named.
    if (!name || !*name) return Fail(ERROR_INVALID_PARAMETER);
    if (!PlausiblePrinterName(name)) return Fail(ERROR_INVALID_PRINTER_NAME);
    std::string hive = "registry/HKLM";
    if (!reg::KeyExists(hive, PrinterKey(name))) return Fail(ERROR_INVALID_PRINTER_NAME);
    DWORD error;
    if (TakeFault("OpenPrinterA", name, &error)) return Fail(error);
    auto object = std::make_unique<PrinterObject>();
    object->hive = hive;
    object->printer = name;
    object->access = defaults ? defaults->DesiredAccess : kAccessUse;
    *printer = NewHandle(std::move(object));
    return TRUE;
}

BOOL WINAPI GetPrinterA(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
    PrinterObject* object = PrinterHandle(printer);
    if (!object) return Fail(ERROR_INVALID_HANDLE);
    if (level != 2) return Fail(ERROR_INVALID_LEVEL);
    if (!needed) return Fail(RPC_X_NULL_REF_POINTER);
    DWORD error;
    if (TakeFault("GetPrinterA", object->printer, &error)) return Fail(error);
    PrinterDefinition p;
    if (!LoadPrinter(object->hive, object->printer, &p)) return Fail(ERROR_INVALID_PRINTER_NAME);
    size_t want = InfoSize(p);
    if (!FitsDword(want)) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    *needed = static_cast<DWORD>(want);
    if (!buffer || size < want) return Fail(ERROR_INSUFFICIENT_BUFFER);
    Packer pack(buffer, sizeof(PRINTER_INFO_2A));
    FillInfo2(p, reinterpret_cast<PRINTER_INFO_2A*>(buffer), &pack);
    return TRUE;
}

BOOL WINAPI SetPrinterA(HANDLE printer, DWORD level, LPBYTE buffer, DWORD command) {
    PrinterObject* object = PrinterHandle(printer);
    if (!object) return Fail(ERROR_INVALID_HANDLE);
    if (level != 2) return Fail(ERROR_INVALID_LEVEL);
    // Pausing, resuming and purging are not simulated.
    if (command != 0) return Fail(ERROR_NOT_SUPPORTED);
    if (!buffer) return Fail(ERROR_INVALID_PARAMETER);
    if (!(object->access & kAccessAdminister)) return Fail(ERROR_ACCESS_DENIED);
    DWORD error;
    if (TakeFault("SetPrinterA", object->printer, &error)) return Fail(error);
    PrinterDefinition old;
    if (!LoadPrinter(object->hive, object->printer, &old)) return Fail(ERROR_INVALID_PRINTER_NAME);
    const auto* info = reinterpret_cast<const PRINTER_INFO_2A*>(buffer);
    // Renaming a printer is not simulated.
    if (info->pPrinterName && !EqualNoCase(info->pPrinterName, old.name)) return Fail(ERROR_NOT_SUPPORTED);
    if (info->pPortName && !PortListKnown(object->hive, info->pPortName)) return Fail(ERROR_UNKNOWN_PORT);

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
    const DWORD placement = PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_NETWORK;
    p.attributes = (info->Attributes & ~placement) | (old.attributes & placement);
    p.priority = info->Priority;
    p.defaultPriority = info->DefaultPriority;
    p.startTime = info->StartTime;
    p.untilTime = info->UntilTime;

    std::string key = PrinterKey(object->printer);
    for (const auto& f : kStringFields)
        if (p.*f.member != old.*f.member && !reg::SetValue(object->hive, key, f.value, reg::Sz(p.*f.member)))
            return Fail(ERROR_ACCESS_DENIED);
    for (const auto& f : kNumberFields)
        if (p.*f.member != old.*f.member && !reg::SetValue(object->hive, key, f.value, reg::Dword(p.*f.member)))
            return Fail(ERROR_ACCESS_DENIED);
    if (p.port != old.port) Journal("printer " + old.name + " port " + old.port + " -> " + p.port);
    return TRUE;
}

BOOL WINAPI EnumPrintersA(DWORD flags, LPSTR, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                          LPDWORD returned) {
    if (!needed || !returned) return Fail(RPC_X_NULL_REF_POINTER);
    *needed = 0;
    *returned = 0;
    if (level != 2 && level != 4) return Fail(ERROR_INVALID_LEVEL);
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
    // The records first, then the strings they point to.
    const size_t record = level == 2 ? sizeof(PRINTER_INFO_2A) : sizeof(PRINTER_INFO_4A);
    size_t want = printers.size() * record;
    for (const auto& p : printers) want += level == 2 ? InfoSize(p) - sizeof(PRINTER_INFO_2A) : Packer::Size(p.name);
    if (!FitsDword(want)) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    *needed = static_cast<DWORD>(want);
    if (!buffer || size < want) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memset(buffer, 0, printers.size() * record);
    Packer pack(buffer, printers.size() * record);
    for (size_t i = 0; i < printers.size(); ++i) {
        if (level == 2) {
            FillInfo2(printers[i], reinterpret_cast<PRINTER_INFO_2A*>(buffer) + i, &pack);
            continue;
        }
        auto* info = reinterpret_cast<PRINTER_INFO_4A*>(buffer) + i;
        info->pPrinterName = pack.Put(printers[i].name);
        info->pServerName = nullptr;
        info->Attributes = printers[i].attributes;
    }
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
    if (level != 2) return Fail(ERROR_INVALID_LEVEL);
    if (TakeFault("EnumPortsA", "*", &error)) return Fail(error);
    // A monitor describes its ports by its own name.
    const std::vector<PortEntry>& ports = ListPorts(hive);
    size_t want = ports.size() * sizeof(PORT_INFO_2A);
    for (const auto& port : ports) want += Packer::Size(port.name) + 2 * Packer::Size(port.monitor);
    if (!FitsDword(want)) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    *needed = static_cast<DWORD>(want);
    if (ports.empty()) return TRUE;
    if (!buffer || size < want) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memset(buffer, 0, ports.size() * sizeof(PORT_INFO_2A));
    auto* infos = reinterpret_cast<PORT_INFO_2A*>(buffer);
    Packer pack(buffer, ports.size() * sizeof(PORT_INFO_2A));
    for (size_t i = 0; i < ports.size(); ++i) {
        infos[i].pPortName = pack.Put(ports[i].name);
        infos[i].pMonitorName = pack.Put(ports[i].monitor);
        infos[i].pDescription = pack.Put(ports[i].monitor);
        infos[i].fPortType = kPortTypeWrite;
        infos[i].Reserved = 0;
    }
    *returned = static_cast<DWORD>(ports.size());
    return TRUE;
}

}  // extern "C"
