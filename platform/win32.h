// The one header through which product code reaches the Windows API.
// On Windows it is the real SDK; elsewhere it is winsim, the simulated Windows.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <winspool.h>
// The SDK maps WriteConsole to WriteConsoleA; the platform's own
// platform::WriteConsole (process.h) keeps its name.
#undef WriteConsole
// The signature of IsWow64Process, which is bound at run time.
typedef BOOL(WINAPI* LPFN_ISWOW64PROCESS)(HANDLE, PBOOL);
#else
#include "winsim/api.h"
#endif
