// Shared harness of the fuzz targets: one simulated machine per fuzzing
// process, put back as it was after every input, the installer's console
// output captured per input, and checks that end the run with a report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/edition.h"
#include "winsim/machine.h"

namespace fuzz_support {

// Makes the machine on the first call (a fresh temporary folder with the
// sample distribution), opens it, lets `prepare` add what the target needs,
// and takes the state to which every input's end returns. Later calls do
// nothing.
void StartMachine(const winsim::NewOptions& options, void (*prepare)() = nullptr);
winsim::NewOptions DefaultOptions();
const std::string& MachineDir();

// Begins one input: the install log closed, current directory C:\Dist, no
// faults but the target's own, console capture emptied.
void BeginInput();
// Ends one input: every handle and block the installer was given must be
// back; the machine returns to its state after StartMachine. Returns what
// the installer printed on the console.
std::string EndInput();

// Faults that stay for the whole fuzzing process (BeginInput sets them again).
void KeepFault(const std::string& function, const std::string& argument, DWORD error);

// Ends the process with a report when the condition does not hold, so that
// libFuzzer keeps the input as a crash.
void Check(bool condition, const char* what, const std::string& detail = std::string());

// The input split at a separator byte (empty pieces kept).
std::vector<std::string> Split(const uint8_t* data, size_t size, char separator);

// Host file helpers for the open machine.
void WriteMachineFile(const std::string& winPath, const std::string& content);

// Checks that a string field of `size` bytes is terminated within the field
// and zero from its terminator on.
// Whether the spooler will take the printer onto the port: the printer
// opens with full access and the port is one the spooler knows.
bool Assignable(const std::string& printer, const std::string& port);
// The lines the assignment prints for printers named onto ports, in order:
// success for an assignable printer, the error line otherwise.
std::string AssignmentLines(const std::vector<std::pair<std::string, std::string>>& printerAndPort);
// The edition's name of the port of section n.
std::string PortName(const EditionProfile& edition, int n);

void CheckField(const char* field, size_t size, const char* name);
void CheckWideField(const WCHAR* field, size_t units, const char* name);

}  // namespace fuzz_support
