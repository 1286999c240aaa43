// The spooler's answers on the installer's path beyond the port change: the
// printer's device mode in its record, the levels of the printer list and
// record with the two-call protocol, opening printers by other names and
// with other rights, and a DLL that is no monitor. Wine's spooler tests state
// Windows' answers. The printers are the runner's (and the host set-up's):
// "Office Laser" on LPT1:, "Front Desk" on LPT2:.
#include <cstring>
#include <string>
#include <vector>

#include "check.h"
#include "platform/handles.h"

namespace {

char kOfficeLaser[] = "Office Laser";

HANDLE Open(const char* name, const PRINTER_DEFAULTSA* defaults) {
    HANDLE h = nullptr;
    if (!OpenPrinterA(const_cast<LPSTR>(name), &h, const_cast<PRINTER_DEFAULTSA*>(defaults))) return nullptr;
    return h;
}

// The level-2 record of a printer in a block of its own, read with the
// two-call protocol; empty when it cannot be read.
std::vector<BYTE> Record(HANDLE printer) {
    DWORD size = 0;
    GetPrinterA(printer, 2, nullptr, 0, &size);
    std::vector<BYTE> block(size);
    if (size < sizeof(PRINTER_INFO_2A) || !GetPrinterA(printer, 2, block.data(), size, &size)) block.clear();
    return block;
}

const PRINTER_INFO_2A* Info(const std::vector<BYTE>& block) {
    return reinterpret_cast<const PRINTER_INFO_2A*>(block.data());
}

}  // namespace

// The record of a printer carries its device mode inside the block, named
// for the printer; a record written back with a changed paper size changes
// the printer's, and one written back unchanged (as the installer writes it)
// changes nothing.
CONFORMANCE_CASE(PrinterRecordCarriesTheDeviceMode) {
    PRINTER_DEFAULTSA all = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    platform::Printer printer(Open(kOfficeLaser, &all));
    CHECK(printer);
    if (!printer) return;
    std::vector<BYTE> block = Record(printer.get());
    CHECK(!block.empty());
    if (block.empty()) return;
    const DEVMODEA* dm = Info(block)->pDevMode;
    CHECK(dm != nullptr);
    if (!dm) return;
    const BYTE* at = reinterpret_cast<const BYTE*>(dm);
    CHECK(at >= block.data() + sizeof(PRINTER_INFO_2A) && at + dm->dmSize + dm->dmDriverExtra <= block.data() + block.size());
    CHECK(dm->dmSize >= offsetof(DEVMODEA, dmFields) + sizeof(DWORD));
    CHECK(std::strncmp(reinterpret_cast<const char*>(dm->dmDeviceName), kOfficeLaser, CCHDEVICENAME - 2) == 0);
    const short before = dm->dmPaperSize, other = before == DMPAPER_A4 ? DMPAPER_LETTER : DMPAPER_A4;
    std::string port = Info(block)->pPortName ? Info(block)->pPortName : "";

    for (short paper : {other, before}) {
        auto* info = reinterpret_cast<PRINTER_INFO_2A*>(block.data());
        info->pDevMode->dmPaperSize = paper;
        info->pDevMode->dmFields |= DM_PAPERSIZE;
        CHECK(SetPrinterA(printer.get(), 2, block.data(), 0));
        block = Record(printer.get());
        CHECK(!block.empty() && Info(block)->pDevMode && Info(block)->pDevMode->dmPaperSize == paper);
        if (block.empty() || !Info(block)->pDevMode) return;
    }
    // Written back whole, unchanged.
    CHECK(SetPrinterA(printer.get(), 2, block.data(), 0));
    std::vector<BYTE> again = Record(printer.get());
    CHECK(!again.empty() && Info(again)->pDevMode && Info(again)->pDevMode->dmPaperSize == before &&
          Info(again)->pPortName && port == Info(again)->pPortName);
}

// The two-call protocol of the local printer list (levels 2, 4 and 5) and of
// a printer's record (the same levels): no block, a block of size 0 and one
// byte too small are told the size with 122; that size and one more succeed.
// Levels the list does not have are refused with 124.
CONFORMANCE_CASE(PrinterListAndRecordLevelsSizeProtocol) {
    PRINTER_DEFAULTSA use = {nullptr, nullptr, PRINTER_ACCESS_USE};
    platform::Printer printer(Open(kOfficeLaser, &use));
    CHECK(printer);
    if (!printer) return;
    for (int list = 0; list < 2; ++list) {
        for (DWORD level : {DWORD(2), DWORD(4), DWORD(5)}) {
            auto call = [&](LPBYTE block, DWORD size, DWORD* needed, DWORD* returned) {
                *returned = 0;
                return list ? EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, level, block, size, needed, returned)
                            : GetPrinterA(printer.get(), level, block, size, needed);
            };
            std::string what = std::string(list ? "list" : "record") + " level " + std::to_string(level) + ": ";
            DWORD needed = 0, returned = 7;
            BOOL ok = call(nullptr, 0, &needed, &returned);
            CHECK_STR(what + std::to_string(ok) + " " + std::to_string(GetLastError()) + " " + std::to_string(returned),
                      what + "0 122 0");
            if (needed == 0 || needed > 1 << 20) continue;
            std::vector<BYTE> block(needed + 1);
            for (DWORD size : {DWORD(0), needed - 1, needed, needed + 1}) {
                DWORD told = 0;
                ok = call(block.data(), size, &told, &returned);
                DWORD error = ok ? 0 : GetLastError();
                std::string expected = size >= needed ? "1 0" : "0 122";
                CHECK_STR(what + std::to_string(size) + ": " + std::to_string(ok) + " " + std::to_string(error) + " " +
                              std::to_string(told),
                          what + std::to_string(size) + ": " + expected + " " + std::to_string(needed));
            }
            // The first entry names a printer inside the block.
            const char* name = level == 2 ? reinterpret_cast<PRINTER_INFO_2A*>(block.data())->pPrinterName
                               : level == 4 ? reinterpret_cast<PRINTER_INFO_4A*>(block.data())->pPrinterName
                                            : reinterpret_cast<PRINTER_INFO_5A*>(block.data())->pPrinterName;
            const char* begin = reinterpret_cast<const char*>(block.data());
            CHECK(name && name >= begin && name < begin + needed && std::memchr(name, 0, begin + needed - name));
            if (list) CHECK(returned >= 2);
        }
    }
    for (DWORD level : {DWORD(0), DWORD(3), DWORD(6)}) {
        DWORD needed = 0, returned = 0;
        CHECK(!EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, level, nullptr, 0, &needed, &returned));
        CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
    }
}

// Names and rights OpenPrinterA takes: a printer named in other case, the Xcv
// channel of a monitor, the print server (no name); rights that do not
// allow the record to be written back; names and arguments it refuses.
CONFORMANCE_CASE(OpenPrinterNamesRightsAndRefusals) {
    PRINTER_DEFAULTSA all = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    PRINTER_DEFAULTSA none = {nullptr, nullptr, 0};
    PRINTER_DEFAULTSA use = {nullptr, nullptr, PRINTER_ACCESS_USE};
    PRINTER_DEFAULTSA administer = {nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
    const struct Row {
        const char* name;
        const PRINTER_DEFAULTSA* defaults;
        DWORD error;     // of the open (0: it opens)
        DWORD setError;  // of SetPrinterA level 2 writing the record back (0: written)
    } rows[] = {
        {"Office Laser", &all, 0, 0},
        {"office laser", &all, 0, 0},
        {"OFFICE LASER", nullptr, 0, ERROR_ACCESS_DENIED},
        {"Office Laser", &none, 0, ERROR_ACCESS_DENIED},
        {"Office Laser", &use, 0, ERROR_ACCESS_DENIED},
        {"", nullptr, ERROR_INVALID_PRINTER_NAME, 0},
        {"illegal,name", nullptr, ERROR_INVALID_PRINTER_NAME, 0},
    };
    for (const auto& row : rows) {
        std::string what = std::string("'") + row.name + "': ";
        SetLastError(0);
        platform::Printer printer(Open(row.name, row.defaults));
        DWORD error = printer ? 0 : GetLastError();
        // Wine refuses an empty name with 87, as Windows 9x did.
        bool empty = conformance::UnderWine() && !*row.name;
        CHECK_STR(what + std::to_string(error), what + std::to_string(empty ? ERROR_INVALID_PARAMETER : row.error));
        if (!printer) continue;
        std::vector<BYTE> block = Record(printer.get());
        CHECK(!block.empty());
        if (block.empty()) continue;
        // The record names the printer as it was made, whatever name opened it.
        CHECK_STR(what + Info(block)->pPrinterName, what + kOfficeLaser);
        BOOL set = SetPrinterA(printer.get(), 2, block.data(), 0);
        DWORD setError = set ? 0 : GetLastError();
        // Wine writes the record whatever rights the handle has.
        if (!conformance::UnderWine()) CHECK_STR(what + std::to_string(setError), what + std::to_string(row.setError));
    }

    // The Xcv channel of the local monitor, opened through the ANSI call.
    platform::Printer xcv(Open(",XcvMonitor Local Port", &administer));
    CHECK(xcv);
    // The print server's own handle; rights no one holds are refused.
    platform::Printer server(Open(nullptr, nullptr));
    CHECK(server);
    PRINTER_DEFAULTSA everything = {nullptr, nullptr, 0xFFFFFFFFu};
    HANDLE h = nullptr;
    BOOL opened = OpenPrinterA(nullptr, &h, &everything);
    DWORD error = GetLastError();
    if (opened) ClosePrinter(h);
    // Wine grants them.
    if (!conformance::UnderWine()) CHECK(!opened && error == static_cast<DWORD>(ERROR_ACCESS_DENIED));
    // No place for the handle; no handle to close.
    CHECK(!OpenPrinterA(kOfficeLaser, nullptr, nullptr) && GetLastError() == static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    CHECK(!ClosePrinter(nullptr) && GetLastError() == static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// The spooler finds no monitor's entry in a DLL that is no monitor: 127.
// After a monitor is added the last error is 0 (programs rely on it).
CONFORMANCE_CASE(AddMonitorOfADllThatIsNoMonitor) {
    char name[] = "winsim conformance monitor";
    char version[] = "version.dll", localspl[] = "localspl.dll";
    MONITOR_INFO_2A record = {name, nullptr, version};
    SetLastError(0);
    CHECK(!AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&record)));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    record.pDLLName = localspl;
    SetLastError(0xDEADBEEF);
    CHECK(AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&record)));
    CHECK_EQ(GetLastError(), 0u);
    CHECK(DeleteMonitorA(nullptr, nullptr, name));
}
