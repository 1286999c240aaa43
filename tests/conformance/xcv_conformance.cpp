// The Xcv channel of a port monitor: OpenPrinterW on ",XcvMonitor NAME",
// XcvDataW and ClosePrinter.
#include <string>

#include "check.h"

namespace {

struct Wide {
    explicit Wide(const char* text) { MultiByteToWideChar(CP_ACP, 0, text, -1, units, 260); }
    WCHAR units[260] = {};
};

BOOL OpenXcv(const char* name, HANDLE* handle) {
    Wide wide(name);
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
    *handle = nullptr;
    return OpenPrinterW(wide.units, handle, &defaults);
}

// Where the answer of Wine is known and winsim imitates it, but Windows'
// own answer has not been seen.
bool KnownAnswer() {
#ifdef _WIN32
    return conformance::UnderWine();
#else
    return true;
#endif
}

}  // namespace

CONFORMANCE_CASE(XcvChannelOfTheLocalMonitorAnswersUnknownCommandsWith87) {
    HANDLE xcv = nullptr;
    CHECK(OpenXcv(",XcvMonitor Local Port", &xcv));
    CHECK(xcv != nullptr);
    Wide command("WinsimNoSuchCommand");
    BYTE output[4];
    DWORD needed = 0, status = 0;
    CHECK(XcvDataW(xcv, command.units, nullptr, 0, output, 0, &needed, &status));
    CHECK_EQ(status, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    CHECK(ClosePrinter(xcv));
}

CONFORMANCE_CASE(XcvChannelOfAnUnknownMonitorIsRefused) {
    HANDLE xcv = nullptr;
    SetLastError(0);
    CHECK(!OpenXcv(",XcvMonitor WinsimNoSuchMonitor", &xcv));
    if (KnownAnswer()) CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_PORT));
    else CHECK(GetLastError() != 0);
}

CONFORMANCE_CASE(XcvChannelOfAnUnknownServerIsRefused) {
    HANDLE xcv = nullptr;
    CHECK(!OpenXcv("\\\\WINSIMNOSUCHSERVER\\,XcvMonitor Local Port", &xcv));
    // Windows cannot reach the server; Wine refuses remote names outright.
    CHECK_EQ(GetLastError(),
             static_cast<DWORD>(conformance::UnderWine() ? ERROR_INVALID_PRINTER_NAME : RPC_S_SERVER_UNAVAILABLE));
}
