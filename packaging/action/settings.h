// What the package's properties ask of Install.exe, decided before anything
// on the machine changes: every value checked, the configuration the package
// remembers merged in, and the one argument list that Install.exe and the
// pre-flight check get. Nothing here calls Windows: the custom action DLL
// (action.cpp) reads the properties and hands them in.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace vormo_package {

// The longest path the installer's ANSI file and profile calls can open
// (MAX_PATH less the terminator).
constexpr size_t kMaxPathLength = 259;
// The longest print server name: two backslashes and a DNS name of 253 characters.
constexpr size_t kMaxServerLength = 255;

// The site's configuration: the properties that shape Install.exe's work,
// each remembered (a value of the package's registry key, read back into
// SAVED<property> by AppSearch) and used again by repairs, removals and
// later versions.
enum Setting { kEdition, kConfig, kIniFile, kNoCopy, kLogFile, kServer, kSettingCount };

enum class ValueKind { Edition, Config, Flag, Path, Server };

struct SettingInfo {
    const wchar_t* property;   // on the command line: EDITION
    const wchar_t* saved;      // read back by AppSearch: SAVEDEDITION
    const wchar_t* valueName;  // the registry value it is remembered in: Edition
    ValueKind kind;
};
extern const SettingInfo kSettings[kSettingCount];

// Per-run switches: checked like the others, never remembered.
extern const wchar_t kIgnoreErrors[];  // IGNOREERRORS=1: Install.exe -e; a failed -u does not keep the package
extern const wchar_t kRedeploy[];      // REDEPLOY=1: a repair or second installation runs Install.exe again
extern const wchar_t kSkipCheck[];     // SKIPCHECK=1: no pre-flight check before Install.exe

// Where the remembered values live (HKLM, 32-bit view), for messages.
extern const wchar_t kRememberedKey[];

// What this run of the package is.
enum class RunKind {
    Install,      // a first installation
    Upgrade,      // a first installation of this version over an older one
    Maintenance,  // this version again: a second installation or a repair
    Removal,      // the package's files go (the product, or its feature)
};

struct Request {
    RunKind kind = RunKind::Install;
    // A property's value ("" when it is not set).
    std::function<std::wstring(const wchar_t*)> property;
    // True when the text survives the way to an ANSI program unchanged: every
    // character has its own character in the system's ANSI code page.
    std::function<bool(const std::wstring&)> fitsAnsiCodePage;
};

struct Resolved {
    std::wstring refusal;  // empty when the run may go on; else the message that stops it
    // Each setting in its one spelling: Standard/Enterprise, Ini/Registry,
    // 0/1, a path or server name or "".
    std::wstring values[kSettingCount];
    bool ignoreErrors = false;
    bool redeploy = false;
    bool skipCheck = false;
};

// Checks every value and merges the remembered configuration in: a value on
// the command line wins in an installation or an upgrade, and must equal the
// remembered one in maintenance and removal; the edition never changes while
// a version of the package is installed.
Resolved Resolve(const Request& request);

// Install.exe's switches for the resolved settings, one value per quoted
// argument: "-a -r \"-iPATH\" -c -e \"-lPATH\" \"\\\\SERVER\"" (each only when
// it applies), after "-u " for an uninstallation. No value can add, remove
// or change a switch: values hold no quote, no control character and no
// backslash at their end.
std::wstring InstallerArguments(const Resolved& settings, bool uninstall);

// The checks of one value, alone: its one spelling in *normalized, or false.
bool NormalizeValue(ValueKind kind, const std::wstring& value, const Request& request, std::wstring* normalized);

}  // namespace vormo_package
