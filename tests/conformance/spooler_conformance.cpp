// The spooler's printers and port table: size protocol, names, monitors.
#include <cstring>
#include <string>
#include <vector>

#include "check.h"
#include "platform/handles.h"

namespace {

// True when the text lies wholly inside [begin, end).
bool Inside(const char* text, const BYTE* begin, const BYTE* end) {
    const char* b = reinterpret_cast<const char*>(begin);
    const char* e = reinterpret_cast<const char*>(end);
    if (!text || text < b || text >= e) return false;
    return std::memchr(text, 0, static_cast<size_t>(e - text)) != nullptr;
}

}  // namespace

CONFORMANCE_CASE(PrinterListSizeProtocol) {
    DWORD needed = 0, returned = 0;
    BOOL empty = EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 4, nullptr, 0, &needed, &returned);
    if (empty) {
        // Nothing to list: success at once, nothing needed.
        CHECK_EQ(needed, 0u);
        CHECK_EQ(returned, 0u);
        return;
    }
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    CHECK(needed >= sizeof(PRINTER_INFO_4A));
    std::vector<BYTE> block(needed + 1);
    DWORD again = 0;
    CHECK(!EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 4, block.data(), needed - 1, &again, &returned));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    CHECK_EQ(again, needed);
    CHECK(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 4, block.data(), needed, &again, &returned));
    CHECK(returned >= 1);
    CHECK(returned * sizeof(PRINTER_INFO_4A) <= needed);
    const auto* printers = reinterpret_cast<const PRINTER_INFO_4A*>(block.data());
    for (DWORD i = 0; i < returned && i * sizeof(PRINTER_INFO_4A) < needed; ++i)
        CHECK(Inside(printers[i].pPrinterName, block.data() + returned * sizeof(PRINTER_INFO_4A),
                     block.data() + needed));
}

// Level 2 lists the same printers with their whole records: names, port
// lists and attributes, the strings packed after the records.
CONFORMANCE_CASE(PrinterListAtLevel2) {
    DWORD needed4 = 0, returned4 = 0;
    EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 4, nullptr, 0, &needed4, &returned4);
    std::vector<BYTE> list4(needed4 + 1);
    CHECK(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 4, list4.data(), needed4, &needed4, &returned4));
    DWORD needed = 0, returned = 0;
    BOOL empty = EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned);
    if (empty) {
        CHECK_EQ(returned4, 0u);
        return;
    }
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    CHECK(needed >= sizeof(PRINTER_INFO_2A));
    std::vector<BYTE> block(needed + 1);
    DWORD again = 0;
    CHECK(!EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, block.data(), needed - 1, &again, &returned));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    CHECK_EQ(again, needed);
    CHECK(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, block.data(), needed, &again, &returned));
    CHECK_EQ(returned, returned4);
    CHECK(returned * sizeof(PRINTER_INFO_2A) <= needed);
    const auto* printers = reinterpret_cast<const PRINTER_INFO_2A*>(block.data());
    const auto* printers4 = reinterpret_cast<const PRINTER_INFO_4A*>(list4.data());
    const BYTE* strings = block.data() + returned * sizeof(PRINTER_INFO_2A);
    for (DWORD i = 0; i < returned && (i + 1) * sizeof(PRINTER_INFO_2A) <= needed && i < returned4; ++i) {
        CHECK(Inside(printers[i].pPrinterName, strings, block.data() + needed));
        CHECK(Inside(printers[i].pPortName, strings, block.data() + needed));
        CHECK_STR(printers[i].pPrinterName ? printers[i].pPrinterName : "", printers4[i].pPrinterName);
        CHECK_EQ(printers[i].Attributes, printers4[i].Attributes);
        std::string name = printers[i].pPrinterName ? printers[i].pPrinterName : "";
        if (name == "Office Laser") CHECK_STR(printers[i].pPortName, "LPT1:");
        if (name == "Front Desk") CHECK_STR(printers[i].pPortName, "LPT2:");
    }
}

// The monitors with the DLL each was loaded from; the standard local ports'
// monitor among them ("Local Port"; Wine may list it as "Local Monitor").
CONFORMANCE_CASE(MonitorListSizeProtocolAndTheLocalMonitor) {
    for (DWORD level : {1u, 2u}) {
        DWORD needed = 0, returned = 0;
        CHECK(!EnumMonitorsA(nullptr, level, nullptr, 0, &needed, &returned));
        CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        const size_t record = level == 2 ? sizeof(MONITOR_INFO_2A) : sizeof(MONITOR_INFO_1A);
        CHECK(needed > record);
        if (needed <= record) return;
        std::vector<BYTE> block(needed);
        DWORD again = 0;
        CHECK(!EnumMonitorsA(nullptr, level, block.data(), needed - 1, &again, &returned));
        CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        CHECK_EQ(again, needed);
        CHECK(EnumMonitorsA(nullptr, level, block.data(), needed, &again, &returned));
        CHECK(returned >= 1);
        CHECK(returned * record <= needed);
        const BYTE* strings = block.data() + returned * record;
        bool local = false;
        for (DWORD i = 0; i < returned && (i + 1) * record <= needed; ++i) {
            const char* name = level == 2 ? reinterpret_cast<const MONITOR_INFO_2A*>(block.data())[i].pName
                                          : reinterpret_cast<const MONITOR_INFO_1A*>(block.data())[i].pName;
            CHECK(Inside(name, strings, block.data() + needed));
            // Wine names the local ports' monitor "Local Monitor" in EnumPortsA
            // and may list it as either.
            local = local || (name && (std::strcmp(name, "Local Port") == 0 ||
                                       (conformance::UnderWine() && std::strcmp(name, "Local Monitor") == 0)));
            if (level != 2) continue;
            const auto& info = reinterpret_cast<const MONITOR_INFO_2A*>(block.data())[i];
            CHECK(Inside(info.pEnvironment, strings, block.data() + needed));
            CHECK(Inside(info.pDLLName, strings, block.data() + needed));
            if (name && std::strcmp(name, "Local Port") == 0) CHECK(lstrcmpiA(info.pDLLName, "localspl.dll") == 0);
        }
        CHECK(local);
    }
    DWORD needed = 0, returned = 0;
    CHECK(!EnumMonitorsA(nullptr, 3, nullptr, 0, &needed, &returned));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
}

CONFORMANCE_CASE(OpenPrinterOfAnUnknownPrinterGives1801) {
    PRINTER_DEFAULTSA defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE h = nullptr;
    char name[] = "Winsim Conformance No Such Printer";
    CHECK(!OpenPrinterA(name, &h, &defaults));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
    CHECK(!OpenPrinterA(name, &h, nullptr));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
    // Names that no local printer can have.
    char withBackslash[] = "Winsim\\Conformance";
    CHECK(!OpenPrinterA(withBackslash, &h, &defaults));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
    char withComma[] = "Winsim,Conformance";
    CHECK(!OpenPrinterA(withComma, &h, &defaults));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
}

CONFORMANCE_CASE(PortTableSizeProtocolAndTheLocalPorts) {
    DWORD needed = 0, returned = 0;
    CHECK(!EnumPortsA(nullptr, 2, nullptr, 0, &needed, &returned));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    CHECK(needed > sizeof(PORT_INFO_2A));
    if (needed <= sizeof(PORT_INFO_2A)) return;
    std::vector<BYTE> block(needed);
    DWORD again = 0;
    CHECK(!EnumPortsA(nullptr, 2, block.data(), needed - 1, &again, &returned));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    CHECK_EQ(again, needed);
    CHECK(EnumPortsA(nullptr, 2, block.data(), needed, &again, &returned));
    CHECK(returned >= 1);
    CHECK(returned * sizeof(PORT_INFO_2A) <= needed);
    // The size comes back through a pointer that must be given.
    DWORD count = 0;
    CHECK(!EnumPortsA(nullptr, 2, nullptr, 0, nullptr, &count));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(RPC_X_NULL_REF_POINTER));
    const auto* ports = reinterpret_cast<const PORT_INFO_2A*>(block.data());
    const BYTE* strings = block.data() + returned * sizeof(PORT_INFO_2A);
    std::string monitorOfLpt1;
    size_t packed = returned * sizeof(PORT_INFO_2A);
    for (DWORD i = 0; i < returned && (i + 1) * sizeof(PORT_INFO_2A) <= needed; ++i) {
        CHECK(Inside(ports[i].pPortName, strings, block.data() + needed));
        CHECK(Inside(ports[i].pMonitorName, strings, block.data() + needed));
        for (const char* s : {ports[i].pPortName, ports[i].pMonitorName, ports[i].pDescription})
            if (s) packed += std::strlen(s) + 1;
        if (ports[i].pPortName && ports[i].pMonitorName && std::strcmp(ports[i].pPortName, "LPT1:") == 0)
            monitorOfLpt1 = ports[i].pMonitorName;
    }
    CHECK(packed <= needed);
    // The standard local ports belong to "Local Port"; Wine names that
    // monitor "Local Monitor".
    CHECK_STR(monitorOfLpt1, conformance::UnderWine() ? "Local Monitor" : "Local Port");
}

CONFORMANCE_CASE(PortNamesCompareWithoutRegardToCaseInCodePage1252) {
    struct Pair {
        const char *a, *b;
        bool equal;
    } pairs[] = {
        {"LPT1:", "lpt1:", true},
        {"Vormo001", "VORMO001", true},
        {"\xE9t\xE9", "\xC9T\xC9", true},  // e acute
        {"\x9A", "\x8A", true},            // s caron
        {"\x9C", "\x8C", true},            // oe ligature
        {"\x9E", "\x8E", true},            // z caron
        {"\xFF", "\x9F", true},            // y diaeresis
        {"\xFE", "\xDE", true},            // thorn
        {"\x5E", "\x88", true},          // circumflex and modifier circumflex
        {"Vormo\xAD""001", "Vormo001", true},  // the soft hyphen weighs nothing
        {"\xDF", "ss", true},             // sharp s
        {"\xE6", "AE", true},             // ae ligature
        {"\x8C", "oe", true},             // oe ligature
        {"\xFE", "th", true},             // thorn
        {"co-op", "coop", false},
        {"\xE9", "e", false},
        {"Vormo001", "Vormo001 ", false},
        {"Vormo001", " Vormo001", false},
        {"Vormo001", "Vormo01", false},
    };
    for (const auto& p : pairs) {
        int order = lstrcmpiA(p.a, p.b);
        if (p.equal) CHECK_EQ(order, 0);
        else CHECK(order != 0);
        CHECK_EQ(lstrcmpiA(p.b, p.a), -order);
    }
}

namespace {

std::string PortOf(HANDLE printer) {
    DWORD size = 0;
    GetPrinterA(printer, 2, nullptr, 0, &size);
    std::vector<BYTE> block(size + 1);
    if (!GetPrinterA(printer, 2, block.data(), size, &size)) return "(unreadable)";
    const char* port = reinterpret_cast<const PRINTER_INFO_2A*>(block.data())->pPortName;
    return port ? port : "(none)";
}

}  // namespace

// GetPrinterA level 2 with the two-call protocol, and SetPrinterA level 2
// moving a printer to another port and back. The printers are the runner's
// (and the host set-up's): "Office Laser" on LPT1:, "Front Desk" on LPT2:.
CONFORMANCE_CASE(PrinterRecordSizeProtocolAndPortChange) {
    DWORD needed = 0, returned = 0;
    EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 4, nullptr, 0, &needed, &returned);
    std::vector<BYTE> list(needed + 1);
    CHECK(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 4, list.data(), needed, &needed, &returned));
    CHECK(returned >= 1);
    if (returned == 0) return;
    std::string name = reinterpret_cast<const PRINTER_INFO_4A*>(list.data())->pPrinterName;
    PRINTER_DEFAULTSA defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE h = nullptr;
    CHECK(OpenPrinterA(&name[0], &h, &defaults));
    platform::Printer printer(h);
    if (!printer) return;

    DWORD size = 0;
    CHECK(!GetPrinterA(h, 2, nullptr, 0, &size));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    CHECK(size > sizeof(PRINTER_INFO_2A));
    std::vector<BYTE> block(size + 1);
    DWORD again = 0;
    CHECK(!GetPrinterA(h, 2, block.data(), size - 1, &again));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    CHECK_EQ(again, size);
    CHECK(GetPrinterA(h, 2, block.data(), size, &again));
    auto* info = reinterpret_cast<PRINTER_INFO_2A*>(block.data());
    const BYTE* strings = block.data() + sizeof(PRINTER_INFO_2A);
    CHECK(Inside(info->pPrinterName, strings, block.data() + size));
    CHECK(Inside(info->pPortName, strings, block.data() + size));
    CHECK_STR(info->pPrinterName, name);
    std::string port = info->pPortName ? info->pPortName : "";

    char file[] = "FILE:";
    info->pPortName = file;
    CHECK(SetPrinterA(h, 2, block.data(), 0));
    CHECK_STR(PortOf(h), "FILE:");
    // A port the spooler does not know is refused; Wine takes it.
    char unknown[] = "WINSIMNOSUCHPORT:";
    info->pPortName = unknown;
    BOOL taken = SetPrinterA(h, 2, block.data(), 0);
    DWORD error = GetLastError();
    if (conformance::UnderWine()) {
        CHECK(taken);
    } else {
        CHECK(!taken);
        CHECK_EQ(error, static_cast<DWORD>(ERROR_UNKNOWN_PORT));
        CHECK_STR(PortOf(h), "FILE:");
    }
    info->pPortName = &port[0];
    CHECK(SetPrinterA(h, 2, block.data(), 0));
    CHECK_STR(PortOf(h), port);
}
