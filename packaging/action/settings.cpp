#include "packaging/action/settings.h"

#include <initializer_list>

namespace vormo_package {

const SettingInfo kSettings[kSettingCount] = {
    {L"EDITION", L"SAVEDEDITION", L"Edition", ValueKind::Edition},
    {L"CONFIG", L"SAVEDCONFIG", L"Config", ValueKind::Config},
    {L"INIFILE", L"SAVEDINIFILE", L"IniFile", ValueKind::Path},
    {L"NOCOPY", L"SAVEDNOCOPY", L"NoCopy", ValueKind::Flag},
    {L"LOGFILE", L"SAVEDLOGFILE", L"LogFile", ValueKind::Path},
    {L"SERVER", L"SAVEDSERVER", L"Server", ValueKind::Server},
};

const wchar_t kIgnoreErrors[] = L"IGNOREERRORS";
const wchar_t kRedeploy[] = L"REDEPLOY";
const wchar_t kSkipCheck[] = L"SKIPCHECK";
const wchar_t kRememberedKey[] = L"HKLM\\SOFTWARE\\Oxlen Corporation\\Vormo Port Monitor Setup";

namespace {

// A value shown in a message is cut here, so that no value floods the log.
constexpr size_t kMaxShownValueLength = 300;

bool IsAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }
bool IsAsciiDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool IsControl(wchar_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }
wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool SameIgnoringAsciiCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

// A full path that reaches Install.exe as one argument and names one file.
bool IsPath(const std::wstring& p, const Request& request) {
    if (p.empty() || p.size() > kMaxPathLength) return false;
    size_t rest = 0;
    if (p.size() > 3 && IsAsciiLetter(p[0]) && p[1] == L':' && p[2] == L'\\') {
        rest = 3;
    } else if (p.size() > 2 && p[0] == L'\\' && p[1] == L'\\') {
        // \\server\share\file: a server, a share and a name below it; no
        // device path (\\.\ or \\?\).
        size_t server_end = p.find(L'\\', 2);
        if (server_end == std::wstring::npos || server_end == 2) return false;
        if (p.compare(2, server_end - 2, L".") == 0) return false;
        size_t share_end = p.find(L'\\', server_end + 1);
        if (share_end == std::wstring::npos || share_end == server_end + 1) return false;
        rest = share_end + 1;
    } else {
        return false;
    }
    if (rest >= p.size()) return false;
    for (size_t i = 0; i < p.size(); ++i) {
        wchar_t c = p[i];
        if (IsControl(c)) return false;
        switch (c) {
            case L'"':
            case L'*':
            case L'?':
            case L'<':
            case L'>':
            case L'|':
                return false;
            case L':':
                if (i != 1) return false;  // the drive's colon only: no stream names
                break;
            default:
                break;
        }
    }
    wchar_t last = p.back();
    if (last == L'\\' || last == L'/') return false;
    return request.fitsAnsiCodePage && request.fitsAnsiCodePage(p);
}

// \\NAME: a NetBIOS or DNS name, or an IPv4 address.
bool IsServer(const std::wstring& s) {
    if (s.size() < 3 || s.size() > kMaxServerLength || s[0] != L'\\' || s[1] != L'\\') return false;
    if (!IsAsciiLetter(s[2]) && !IsAsciiDigit(s[2])) return false;
    for (size_t i = 2; i < s.size(); ++i) {
        wchar_t c = s[i];
        if (!IsAsciiLetter(c) && !IsAsciiDigit(c) && c != L'-' && c != L'_' && c != L'.') return false;
    }
    return true;
}

const wchar_t* Default(Setting s) {
    switch (s) {
        case kEdition:
            return L"Standard";
        case kConfig:
            return L"Ini";
        case kNoCopy:
            return L"0";
        default:
            return L"";
    }
}

std::wstring Rule(const wchar_t* property, ValueKind kind) {
    std::wstring p = property;
    switch (kind) {
        case ValueKind::Edition:
            return p + L" must be Standard or Enterprise";
        case ValueKind::Config:
            return p + L" must be Ini or Registry";
        case ValueKind::Flag:
            return p + L" must be 0 or 1";
        case ValueKind::Path:
            return p +
                   L" must be a full path (C:\\folder\\file or \\\\server\\share\\file) of at most 259 characters, "
                   L"without quotes, control characters, * ? < > |, a colon after the drive or a backslash at its "
                   L"end, in characters of the system's ANSI code page";
        case ValueKind::Server:
            return p +
                   L" must be a print server's name such as \\\\PRINTSRV: two backslashes, then letters, digits, "
                   L"\"-\", \"_\" or \".\", at most 255 characters in all";
    }
    return p;
}

// A value as a message shows it: control characters as "?", cut when long.
std::wstring Shown(const std::wstring& value) {
    std::wstring shown = L"\"";
    for (size_t i = 0; i < value.size() && i < kMaxShownValueLength; ++i)
        shown += IsControl(value[i]) ? L'?' : value[i];
    shown += value.size() > kMaxShownValueLength ? L"...\"" : L"\"";
    return shown;
}

const wchar_t kNothingChanged[] = L" Nothing was changed.";

// A value of a small set, written in any ASCII case: its one spelling.
bool OneOf(const std::wstring& value, std::initializer_list<const wchar_t*> spellings, std::wstring* normalized) {
    for (const wchar_t* spelling : spellings) {
        if (!SameIgnoringAsciiCase(value, spelling)) continue;
        *normalized = spelling;
        return true;
    }
    return false;
}

}  // namespace

bool NormalizeValue(ValueKind kind, const std::wstring& value, const Request& request, std::wstring* normalized) {
    switch (kind) {
        case ValueKind::Edition:
            return OneOf(value, {L"Standard", L"Enterprise"}, normalized);
        case ValueKind::Config:
            return OneOf(value, {L"Ini", L"Registry"}, normalized);
        case ValueKind::Flag:
            if (value != L"0" && value != L"1") return false;
            *normalized = value;
            return true;
        case ValueKind::Path:
            if (!IsPath(value, request)) return false;
            *normalized = value;
            return true;
        case ValueKind::Server:
            if (!IsServer(value)) return false;
            *normalized = value;
            return true;
    }
    return false;
}

Resolved Resolve(const Request& request) {
    Resolved r;
    auto refuse = [&r](const std::wstring& message) {
        r.refusal = message + kNothingChanged;
        return r;
    };

    struct RunSwitch {
        const wchar_t* property;
        bool* value;
    } switches[] = {{kIgnoreErrors, &r.ignoreErrors}, {kRedeploy, &r.redeploy}, {kSkipCheck, &r.skipCheck}};
    for (const RunSwitch& s : switches) {
        std::wstring given = request.property(s.property), normalized;
        if (given.empty()) continue;
        if (!NormalizeValue(ValueKind::Flag, given, request, &normalized))
            return refuse(std::wstring(s.property) + L"=" + Shown(given) + L" is refused: " +
                          Rule(s.property, ValueKind::Flag) + L".");
        *s.value = normalized == L"1";
    }

    // The edition is always remembered: without it nothing is.
    const bool remembered = !request.property(kSettings[kEdition].saved).empty();
    const bool keepsConfiguration = request.kind == RunKind::Maintenance || request.kind == RunKind::Removal;
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingInfo& s = kSettings[i];
        const std::wstring given = request.property(s.property);
        std::wstring givenValue, savedValue;
        if (!given.empty() && !NormalizeValue(s.kind, given, request, &givenValue))
            return refuse(std::wstring(s.property) + L"=" + Shown(given) + L" is refused: " + Rule(s.property, s.kind) +
                          L".");
        bool savedValid = false;
        std::wstring saved;
        if (remembered) {
            saved = request.property(s.saved);
            // An empty remembered value is the setting's default.
            savedValid = saved.empty() ? (savedValue = Default(static_cast<Setting>(i)), true)
                                       : NormalizeValue(s.kind, saved, request, &savedValue);
        }
        if (!given.empty()) {
            if (remembered && savedValid && !SameIgnoringAsciiCase(givenValue, savedValue)) {
                if (i == kEdition && request.kind != RunKind::Install)
                    return refuse(
                        L"The edition cannot be changed while a version of the package is installed (it was "
                        L"installed as " +
                        savedValue + L"): remove the package, then install it with EDITION=" + givenValue + L".");
                if (keepsConfiguration)
                    return refuse(std::wstring(s.property) + L"=" + Shown(given) +
                                  L" differs from the configuration the package was installed with (" + s.property +
                                  L"=" + Shown(savedValue) +
                                  L"). A repair, a second installation and a removal keep that "
                                  L"configuration: leave " +
                                  s.property + L" out, or give it to a new version of the package.");
            }
            r.values[i] = givenValue;
        } else if (remembered) {
            if (!savedValid)
                return refuse(L"The remembered value " + std::wstring(s.valueName) + L"=" + Shown(saved) + L" in " +
                              kRememberedKey + L" is refused: " + Rule(s.property, s.kind) + L". Give " + s.property +
                              L" on the command line to replace it.");
            r.values[i] = savedValue;
        } else {
            r.values[i] = Default(static_cast<Setting>(i));
        }
    }
    return r;
}

std::wstring InstallerArguments(const Resolved& settings, bool uninstall) {
    std::wstring args;
    auto add = [&args](const std::wstring& arg) {
        if (!args.empty()) args += L' ';
        args += arg;
    };
    const std::wstring* v = settings.values;
    if (uninstall) add(L"-u");
    if (v[kEdition] == L"Enterprise") add(L"-a");
    if (v[kConfig] == L"Registry") add(L"-r");
    if (!v[kIniFile].empty()) add(L"\"-i" + v[kIniFile] + L"\"");
    if (v[kNoCopy] == L"1") add(L"-c");
    if (settings.ignoreErrors) add(L"-e");
    if (!v[kLogFile].empty()) add(L"\"-l" + v[kLogFile] + L"\"");
    if (!v[kServer].empty()) add(L"\"" + v[kServer] + L"\"");
    return args;
}

}  // namespace vormo_package
