#include "base/event_report.h"

#include "platform/handles.h"

namespace {
const DWORD kEventId = 0xC0020001u;
}

bool ReportEventText(const char* text, WORD eventType) {
    // Always the local computer's log, also when the run targets a print server.
    platform::EventSource source(RegisterEventSourceA(nullptr, "VormoPort"));
    if (!source) return false;
    LPCSTR strings[1] = {text};
    return ReportEventA(source.get(), eventType, 0, kEventId, nullptr, 1, 0, strings, nullptr) != FALSE;
}

bool ReportSuccessEvent(const char* text) { return ReportEventText(text, EVENTLOG_SUCCESS); }
