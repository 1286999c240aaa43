// Shared helpers of the client deployment tests.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "support/machine.h"
#include "winsim/machine.h"

namespace client_test {

const char kHklm[] = "registry/HKLM";
const char kHkcu[] = "registry/HKCU";
const char kCurrentVersion64[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char kCurrentVersion32[] = "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion";
const char kRun32[] = "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRun64[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// Where the client's folders land on the default machine (64-bit Windows 7,
// the installer a 32-bit process).
const char kProduct[] = "C:\\Program Files (x86)\\Oxlen\\Vormo Client";
const char kFonts[] = "C:\\Program Files (x86)\\Oxlen\\Vormo Client\\Font";
const char kClient[] = "C:\\Program Files (x86)\\Oxlen\\Vormo Client\\Client";
const char kWebBrowser[] = "C:\\Program Files (x86)\\Oxlen\\Vormo Client\\WebBrowser";

inline winsim::NewOptions ThirtyTwoBitMachine() {
    winsim::NewOptions options = testing_support::TempMachine::DefaultOptions();
    options.os = "7-x86";
    return options;
}

// The run driver makes the installer's folder the current directory.
inline void EnterDistribution() { ASSERT_TRUE(SetCurrentDirectoryA("C:\\Dist")); }

// "ProgramFilesDir" in both registry views; an empty text removes it.
inline void SetProgramFilesDir(const std::string& text) {
    for (const char* key : {kCurrentVersion64, kCurrentVersion32}) {
        if (text.empty()) winsim::reg::DeleteValue(kHklm, key, "ProgramFilesDir");
        else winsim::reg::SetValue(kHklm, key, "ProgramFilesDir", winsim::reg::Sz(text));
    }
}

// The "process" lines of the journal: what was started, in order.
inline std::vector<std::string> StartedProcesses() {
    std::vector<std::string> lines;
    std::istringstream in(winsim::ReadJournal());
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("process ", 0) == 0) lines.push_back(line.substr(8));
    return lines;
}

inline std::string Capture(void (*run)()) {
    testing_support::BeginCapture();
    run();
    return testing_support::EndCapture();
}

inline bool IsReadOnly(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

inline bool IsFolder(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace client_test
