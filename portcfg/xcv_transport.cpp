#include "portcfg/xcv_transport.h"

#include <cstdio>
#include <cstring>

#include "base/output.h"
#include "platform/handles.h"

namespace {

// The New-port line holds what a formatted line holds.
constexpr size_t kPortLineLength = kOutputLineSize - 1;

// The error code of an Xcv command: the last error when the call itself
// failed, else the monitor's status. A failed call that leaves no last error
// still counts as a failure.
DWORD CommandError(BOOL called, DWORD status) {
    if (called) return status;
    DWORD error = GetLastError();
    return error != 0 ? error : static_cast<DWORD>(ERROR_INVALID_FUNCTION);
}

// Formats the Xcv name of the monitor: ",XcvMonitor NAME" for the local
// spooler, "SERVER\,XcvMonitor NAME" for a server. False when it does not fit.
bool FormatXcvName(char (&name)[kXcvNameSize], const char* serverName, const char* monitorName) {
    int length = serverName ? std::snprintf(name, sizeof name, "%s\\,XcvMonitor %s", serverName, monitorName)
                            : std::snprintf(name, sizeof name, ",XcvMonitor %s", monitorName);
    return length >= 0 && static_cast<size_t>(length) < sizeof name;
}

enum ChannelOutcome { ChannelOpened, ServerNameTooLong, ChannelRefused };
struct ChannelOpening {
    ChannelOutcome outcome;
    DWORD error;  // the last error of a refused open
};

// Opens the Xcv channel of a monitor into *channel.
ChannelOpening OpenChannel(const SpoolerEntryPoints& entries, const char* serverName, const char* monitorName,
                           platform::Printer* channel) {
    char name[kXcvNameSize];
    if (!FormatXcvName(name, serverName, monitorName)) return {ServerNameTooLong, 0};
    // The UTF-16 name: at most one unit per character of the 8-bit one.
    WCHAR wideName[2 * kXcvNameSize] = {};
    const int wideUnits = static_cast<int>(sizeof wideName / sizeof wideName[0]);
    entries.multiByteToWideChar(CP_ACP, 0, name, -1, wideName, wideUnits);
    wideName[wideUnits - 1] = 0;
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
    HANDLE handle = nullptr;
    if (!entries.openPrinterW(wideName, &handle, &defaults)) return {ChannelRefused, GetLastError()};
    channel->reset(handle);
    return {ChannelOpened, 0};
}

void PrintChannelFailure(const ChannelOpening& opening) {
    if (opening.outcome == ServerNameTooLong) PrintText("Cannot open port monitor, server name too long\n");
    if (opening.outcome == ChannelRefused)
        PrintFormatted("Cannot open port monitor, error code: %i\n", static_cast<int>(opening.error));
}

void PrintWriteFailure(DWORD error) {
    PrintFormatted("Cannot write configuration, error code: %lu\n", static_cast<unsigned long>(error));
}

// The New-port line. A line longer than a formatted line holds loses the end
// of AuthText, never its line break.
#define NEW_PORT_LINE "    New - IP:%s:%i, Desc:%s, Queue:%s, Type:%d %.*s\n"
void PrintNewPortLine(const PortSettings& s) {
    int head = std::snprintf(nullptr, 0, NEW_PORT_LINE, s.ServerIP[0], static_cast<int>(s.ServerPort), s.Description,
                             s.Queue, static_cast<int>(s.AuthType), 0, "");
    int room = head < 0 ? 0 : static_cast<int>(kPortLineLength) - head;
    if (room < 0) room = 0;
    int authLength = static_cast<int>(std::strlen(s.AuthText));
    if (authLength > room) authLength = room;
    PrintFormatted(NEW_PORT_LINE, s.ServerIP[0], static_cast<int>(s.ServerPort), s.Description, s.Queue,
                   static_cast<int>(s.AuthType), authLength, s.AuthText);
}
#undef NEW_PORT_LINE

// A command name in UTF-16, in a buffer of exactly its length with terminator.
template <size_t Units>
void WideCommand(MultiByteToWideCharProc convert, const char (&name)[Units], WCHAR (&wide)[Units]) {
    convert(CP_ACP, 0, name, -1, wide, static_cast<int>(Units));
}

}  // namespace

DWORD WritePortConfiguration(const PortSettings* settings, HANDLE xcv, const SpoolerEntryPoints* entries) {
    if (!settings || !entries || !entries->xcvDataW || !entries->multiByteToWideChar) return ERROR_INVALID_PARAMETER;
    MultiByteToWideCharProc convert = entries->multiByteToWideChar;
    XcvDataWProc xcvData = entries->xcvDataW;

    PortRecord record;
    BuildPortRecord(settings, &record, convert);
    WCHAR addPort[sizeof "AddPort"] = {}, setPortData[sizeof "SetPortData"] = {}, deletePort[sizeof "DeletePort"] = {};
    WideCommand(convert, "AddPort", addPort);
    WideCommand(convert, "SetPortData", setPortData);
    WideCommand(convert, "DeletePort", deletePort);

    // "AddPort" and "DeletePort" carry the port name, the record's own name
    // field with its terminator.
    PBYTE portName = reinterpret_cast<PBYTE>(record.PortName);
    DWORD nameLength = 0;
    while (nameLength < kPortNameSize - 1 && record.PortName[nameLength] != 0) ++nameLength;
    DWORD nameSize = (nameLength + 1) * static_cast<DWORD>(sizeof(WCHAR));
    BYTE scratch[4] = {};
    DWORD needed = 0, status = 0;

    BOOL called = xcvData(xcv, addPort, portName, nameSize, scratch, 0, &needed, &status);
    DWORD error = CommandError(called, status);
    if (error != 0) return error;
    status = 0;
    called = xcvData(xcv, setPortData, reinterpret_cast<PBYTE>(&record), kPortRecordSize, nullptr, 0, &needed, &status);
    error = CommandError(called, status);
    if (error != 0) {
        // The half-made port does not stay; how the deletion goes does not matter.
        DWORD deleteStatus = 0;
        xcvData(xcv, deletePort, portName, nameSize, scratch, 0, &needed, &deleteStatus);
    }
    return error;
}

bool AddPortConfiguration(const RunPlan& plan, int* portCount) {
    if (portCount) *portCount = 0;
    bool result = true;

    platform::Library spooler(LoadLibraryA("winspool.drv"));
    platform::Library kernel(LoadLibraryA("kernel32.dll"));
    SpoolerEntryPoints entries;
    if (spooler && kernel) {
        entries.openPrinterW = platform::BindProc<OpenPrinterWProc>(spooler.get(), "OpenPrinterW");
        entries.xcvDataW = platform::BindProc<XcvDataWProc>(spooler.get(), "XcvDataW");
        entries.multiByteToWideChar = platform::BindProc<MultiByteToWideCharProc>(kernel.get(), "MultiByteToWideChar");
    }

    // Declared after the libraries: closed before they are freed.
    platform::Printer channel;
    if (entries.openPrinterW && entries.multiByteToWideChar)
        PrintChannelFailure(OpenChannel(entries, plan.xcvServer, plan.edition.productWord, &channel));

    int n = 1;
    for (;; ++n) {
        PortSettings settings;
        SectionScan scan = ScanPortSection(n, plan, &settings);
        if (scan == SectionScan::End) break;
        if (scan == SectionScan::PastLastName) {
            // Past the last number the port-name format can name: the scan
            // ends here, reported like a port that could not be created.
            PrintWriteFailure(ERROR_INVALID_NAME);
            result = false;
            break;
        }
        if (!channel || !entries.xcvDataW || !entries.multiByteToWideChar) {
            result = false;
            break;
        }
        DWORD error = WritePortConfiguration(&settings, channel.get(), &entries);
        if (error != 0) {
            PrintWriteFailure(error);
            result = false;
            break;
        }
        PrintNewPortLine(settings);
    }
    if (portCount) *portCount = n - 1;
    return result;
}
