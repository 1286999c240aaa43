#include "portcfg/xcv_transport.h"

#include <cstdio>
#include <cstring>

#include "platform/handles.h"
#include "run/edition.h"
#include "run/output.h"

namespace {

constexpr size_t kXcvNameSize = 260;       // the 8-bit Xcv name
constexpr size_t kXcvWideNameSize = 520;   // its UTF-16 form
constexpr size_t kPortLineSize = 1023;     // a formatted line, as the output layer holds it

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

// Opens the Xcv channel of the edition's monitor; prints why when it cannot.
void OpenChannel(const SpoolerEntryPoints& entries, const char* serverName, platform::Printer* channel) {
    char name[kXcvNameSize];
    if (!FormatXcvName(name, serverName, Edition().productWord)) {
        PrintText("Cannot open port monitor, server name too long\n");
        return;
    }
    WCHAR wideName[kXcvWideNameSize] = {};
    entries.multiByteToWideChar(CP_ACP, 0, name, -1, wideName, static_cast<int>(kXcvWideNameSize));
    wideName[kXcvWideNameSize - 1] = 0;
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
    HANDLE handle = nullptr;
    if (!entries.openPrinterW(wideName, &handle, &defaults)) {
        PrintFormatted("Cannot open port monitor, error code: %i\n", static_cast<int>(GetLastError()));
        return;
    }
    channel->reset(handle);
}

// The New-port line. The line holds at most 1023 characters; a longer one
// loses the end of AuthText, never its line break.
#define NEW_PORT_LINE "    New - IP:%s:%i, Desc:%s, Queue:%s, Type:%d %.*s\n"
void PrintNewPortLine(const PortSettings& s) {
    int head = std::snprintf(nullptr, 0, NEW_PORT_LINE, s.ServerIP[0], static_cast<int>(s.ServerPort), s.Description,
                             s.Queue, static_cast<int>(s.AuthType), 0, "");
    int room = head < 0 ? 0 : static_cast<int>(kPortLineSize) - head;
    if (room < 0) room = 0;
    int authLength = static_cast<int>(std::strlen(s.AuthText));
    if (authLength > room) authLength = room;
    PrintFormatted(NEW_PORT_LINE, s.ServerIP[0], static_cast<int>(s.ServerPort), s.Description, s.Queue,
                   static_cast<int>(s.AuthType), authLength, s.AuthText);
}
#undef NEW_PORT_LINE

}  // namespace

bool WritePortConfiguration(const PortSettings* settings, HANDLE xcv, const SpoolerEntryPoints* entries) {
    if (!settings || !entries || !entries->xcvDataW || !entries->multiByteToWideChar) return false;
    MultiByteToWideCharProc convert = entries->multiByteToWideChar;
    XcvDataWProc xcvData = entries->xcvDataW;

    PortRecord record;
    BuildPortRecord(settings, &record, convert);
    WCHAR addPort[8] = {}, setPortData[12] = {}, deletePort[11] = {};
    convert(CP_ACP, 0, "AddPort", -1, addPort, 8);
    convert(CP_ACP, 0, "SetPortData", -1, setPortData, 12);
    convert(CP_ACP, 0, "DeletePort", -1, deletePort, 11);

    // "AddPort" and "DeletePort" carry the port name, the record's own name
    // field with its terminator.
    PBYTE portName = reinterpret_cast<PBYTE>(record.PortName);
    DWORD nameLength = 0;
    while (nameLength < kPortNameSize - 1 && record.PortName[nameLength] != 0) ++nameLength;
    DWORD nameSize = (nameLength + 1) * static_cast<DWORD>(sizeof(WCHAR));
    BYTE scratch[4] = {};
    DWORD needed = 0, status = 0;

    DWORD error;
    BOOL called = xcvData(xcv, addPort, portName, nameSize, scratch, 0, &needed, &status);
    error = CommandError(called, status);
    if (error == 0) {
        status = 0;
        called = xcvData(xcv, setPortData, reinterpret_cast<PBYTE>(&record), kPortRecordSize, nullptr, 0, &needed,
                         &status);
        error = CommandError(called, status);
        if (error != 0) {
            // The half-made port does not stay; how the deletion goes does not matter.
            DWORD deleteStatus = 0;
            xcvData(xcv, deletePort, portName, nameSize, scratch, 0, &needed, &deleteStatus);
        }
    }
    if (error != 0) PrintFormatted("Cannot write configuration, error code: %lu\n", static_cast<unsigned long>(error));
    return error == 0;
}

int AddPortConfiguration(bool fromIniFile, int* portCount, const char* serverName) {
    int written = 0;
    if (portCount) *portCount = 0;
    int result = 1;
    if (serverName && serverName[0] == '\0') serverName = nullptr;

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
    if (entries.openPrinterW && entries.multiByteToWideChar) OpenChannel(entries, serverName, &channel);

    int n = 1;
    for (;; ++n) {
        PortSettings settings;
        if (!ReadPortSection(n, fromIniFile, &settings)) break;
        if (!FormatPortName(n, settings.PortName)) {
            // Past the last number the port-name format can name: the scan
            // ends here, reported like a port that could not be created.
            PrintFormatted("Cannot write configuration, error code: %lu\n",
                           static_cast<unsigned long>(ERROR_INVALID_NAME));
            result = 0;
            break;
        }
        if (!channel || !entries.xcvDataW || !entries.multiByteToWideChar) {
            result = 0;
            break;
        }
        if (!WritePortConfiguration(&settings, channel.get(), &entries)) {
            result = 0;
            break;
        }
        PrintNewPortLine(settings);
    }
    written = n - 1;
    if (portCount) *portCount = written;
    return result;
}
