// Entries in the local event log under the source "VormoPort".
#pragma once

#include "platform/win32.h"

bool ReportEventText(const char* text, WORD eventType);
bool ReportSuccessEvent(const char* text);
