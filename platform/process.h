// What the process needs from its platform beyond the Windows API: attaching
// to the machine it runs on, the console and the install log file.
#pragma once

#include <cstddef>

namespace platform {

// Prepares the process before the installer runs. On Windows there is nothing
// to do; on the simulated Windows it attaches to the machine named by the
// environment variable WINSIM_MACHINE. False (with a message on standard
// error) when there is no machine to run on.
bool AttachProcess();
// Ends the process with the given exit code (-1 arrives as 4294967295 on Windows).
void DetachProcess();

// Writes text to standard output as one piece; the C runtime's text mode
// applies on Windows.
void WriteConsole(const char* text, size_t length);

// Writes a file whole, its bytes as given (no line-end translation), replacing
// what was there; false when it cannot be written.
bool WriteWholeFile(const char* path, const char* data, size_t length);

// The install log: a text file opened for appending, its handle not
// inherited by child processes, line ends written as CR LF.
bool OpenAppendLog(const char* path);
void WriteAppendLog(const char* text, size_t length);
void CloseAppendLog();

}  // namespace platform
