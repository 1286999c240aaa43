// The package's property checks and argument list (packaging/action/settings.cpp),
// which VormoAction.dll runs inside Windows Installer.
#include "packaging/action/settings.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using namespace vormo_package;

using Properties = std::map<std::wstring, std::wstring>;

// A character the test's ANSI code page does not hold.
const wchar_t kOutsideCodePage = L'\x2603';

Request MakeRequest(RunKind kind, const Properties& properties) {
    Request r;
    r.kind = kind;
    r.property = [properties](const wchar_t* name) {
        auto it = properties.find(name);
        return it == properties.end() ? std::wstring() : it->second;
    };
    r.fitsAnsiCodePage = [](const std::wstring& s) { return s.find(kOutsideCodePage) == std::wstring::npos; };
    return r;
}

// The arguments a program built with the Microsoft C runtime sees in a
// command line (the rules CommandLineToArgvW documents).
std::vector<std::wstring> ParseArguments(const std::wstring& line) {
    std::vector<std::wstring> args;
    const size_t n = line.size();
    size_t i = 0;
    for (;;) {
        while (i < n && (line[i] == L' ' || line[i] == L'\t')) ++i;
        if (i == n) return args;
        std::wstring arg;
        bool quoted = false;
        while (i < n && (quoted || (line[i] != L' ' && line[i] != L'\t'))) {
            if (line[i] == L'\\') {
                size_t backslashes = 0;
                while (i < n && line[i] == L'\\') ++backslashes, ++i;
                bool quoteFollows = i < n && line[i] == L'"';
                arg.append(quoteFollows ? backslashes / 2 : backslashes, L'\\');
                if (quoteFollows && backslashes % 2) arg += line[i++];
            } else if (line[i] == L'"') {
                quoted = !quoted;
                ++i;
            } else {
                arg += line[i++];
            }
        }
        args.push_back(arg);
    }
}

struct ValueCase {
    ValueKind kind;
    std::wstring value;
    bool accepted;
    std::wstring normalized = L"";  // when accepted; empty: the value itself
};

TEST(PackageSettings, EachValueIsCheckedAndSpelledOneWay) {
    const std::wstring longName(253, L'n');
    const std::wstring longPath = L"C:\\" + std::wstring(256, L'p');  // 259 characters
    const ValueCase cases[] = {
        {ValueKind::Server, L"\\\\PRINTSRV", true},
        {ValueKind::Server, L"\\\\print-srv_2.example.com", true},
        {ValueKind::Server, L"\\\\10.1.0.20", true},
        {ValueKind::Server, L"\\\\" + longName, true},
        {ValueKind::Server, L"\\\\" + longName + L"n", false},
        {ValueKind::Server, L"-u", false},
        {ValueKind::Server, L"/u", false},
        {ValueKind::Server, L"PRINTSRV", false},
        {ValueKind::Server, L"\\\\", false},
        {ValueKind::Server, L"\\\\srv\\", false},
        {ValueKind::Server, L"\\\\srv\\share", false},
        {ValueKind::Server, L"\\\\srv\" -u", false},
        {ValueKind::Server, L"\\\\srv -u", false},
        {ValueKind::Server, L"\\\\-u", false},
        {ValueKind::Server, L"\\\\.srv", false},
        {ValueKind::Path, L"C:\\Sites\\Vormo.ini", true},
        {ValueKind::Path, L"d:\\Site [old]\\{x}\\Caf\xe9.ini", true},
        {ValueKind::Path, L"\\\\files\\vormo$\\site.ini", true},
        {ValueKind::Path, longPath, true},
        {ValueKind::Path, longPath + L"p", false},
        {ValueKind::Path, L"Vormo.ini", false},
        {ValueKind::Path, L"-iC:\\x.ini", false},
        {ValueKind::Path, L"C:Vormo.ini", false},
        {ValueKind::Path, L"C:\\", false},
        {ValueKind::Path, L"C:\\Logs\\", false},
        {ValueKind::Path, L"C:\\Logs/", false},
        {ValueKind::Path, L"C:\\a\"b.ini", false},
        {ValueKind::Path, L"C:\\a\tb.ini", false},
        {ValueKind::Path, L"C:\\a\nb.ini", false},
        {ValueKind::Path,
         L"C:\\a\x85"
         L"b.ini",
         false},
        {ValueKind::Path, L"C:\\a.ini:secret", false},
        {ValueKind::Path, L"C:\\*.ini", false},
        {ValueKind::Path, L"C:\\a|b.ini", false},
        {ValueKind::Path, L"\\\\?\\C:\\a.ini", false},
        {ValueKind::Path, L"\\\\.\\C:\\a.ini", false},
        {ValueKind::Path, L"\\\\files\\share", false},
        {ValueKind::Path, L"\\\\files\\\\a.ini", false},
        {ValueKind::Path, std::wstring(L"C:\\snow") + kOutsideCodePage + L".ini", false},
        {ValueKind::Edition, L"enterprise", true, L"Enterprise"},
        {ValueKind::Edition, L"STANDARD", true, L"Standard"},
        {ValueKind::Edition, L"Gold", false},
        {ValueKind::Edition, L"Enterprise ", false},
        {ValueKind::Config, L"registry", true, L"Registry"},
        {ValueKind::Config, L"INI", true, L"Ini"},
        {ValueKind::Config, L"-r", false},
        {ValueKind::Flag, L"1", true},
        {ValueKind::Flag, L"0", true},
        {ValueKind::Flag, L"yes", false},
        {ValueKind::Flag, L"2", false},
    };
    const Request request = MakeRequest(RunKind::Install, {});
    for (const ValueCase& c : cases) {
        std::wstring normalized = L"(unchanged)";
        bool accepted = NormalizeValue(c.kind, c.value, request, &normalized);
        EXPECT_EQ(accepted, c.accepted) << std::string(c.value.begin(), c.value.end());
        if (accepted && c.accepted) {
            EXPECT_TRUE(normalized == (c.normalized.empty() ? c.value : c.normalized));
        }
    }
}

// Every value the checks accept reaches Install.exe as exactly the argument
// meant: values made of the characters that could split or join arguments.
TEST(PackageSettings, NoAcceptedValueAddsRemovesOrChangesASwitch) {
    const std::wstring pieces[] = {L"C:\\", L"\\\\", L"\\", L"\"", L" ", L"-u", L"a", L"\t", L"/", L"x.ini", L"s"};
    const size_t n = sizeof pieces / sizeof pieces[0];
    const Request request = MakeRequest(RunKind::Install, {});
    int accepted = 0;
    for (size_t a = 0; a < n; ++a)
        for (size_t b = 0; b < n; ++b)
            for (size_t c = 0; c < n; ++c)
                for (size_t d = 0; d < n; ++d) {
                    const std::wstring value = pieces[a] + pieces[b] + pieces[c] + pieces[d];
                    for (ValueKind kind : {ValueKind::Path, ValueKind::Server}) {
                        std::wstring normalized;
                        if (!NormalizeValue(kind, value, request, &normalized)) continue;
                        ++accepted;
                        Resolved r;
                        r.values[kEdition] = L"Enterprise";
                        r.values[kNoCopy] = L"1";
                        r.ignoreErrors = true;
                        std::vector<std::wstring> expected = {L"-u", L"-a"};
                        if (kind == ValueKind::Path) {
                            r.values[kIniFile] = r.values[kLogFile] = normalized;
                            expected.insert(expected.end(), {L"-i" + normalized, L"-c", L"-e", L"-l" + normalized});
                        } else {
                            r.values[kServer] = normalized;
                            expected.insert(expected.end(), {L"-c", L"-e", normalized});
                        }
                        EXPECT_TRUE(ParseArguments(InstallerArguments(r, true)) == expected)
                            << std::string(value.begin(), value.end());
                    }
                }
    EXPECT_GT(accepted, 100);
}

TEST(PackageSettings, ArgumentListsOfTheSwitchTable) {
    Resolved none;
    none.values[kEdition] = L"Standard";
    none.values[kConfig] = L"Ini";
    none.values[kNoCopy] = L"0";
    EXPECT_TRUE(InstallerArguments(none, false).empty());  // without arguments: no batch file
    EXPECT_TRUE(InstallerArguments(none, true) == L"-u");
    Resolved all;
    const std::wstring values[kSettingCount] = {L"Enterprise", L"Registry",  L"C:\\Site\\V.ini",
                                                L"1",          L"C:\\l.log", L"\\\\S"};
    for (int i = 0; i < kSettingCount; ++i) all.values[i] = values[i];
    all.ignoreErrors = true;
    EXPECT_TRUE(InstallerArguments(all, false) == L"-a -r \"-iC:\\Site\\V.ini\" -c -e \"-lC:\\l.log\" \"\\\\S\"");
}

struct RunCase {
    const char* what;
    RunKind kind;
    Properties properties;
    const wchar_t* refusalStart;  // null: accepted
    const wchar_t* arguments;     // when accepted
};

TEST(PackageSettings, RememberedConfigurationAndTheKindOfRun) {
    const Properties saved = {
        {L"SAVEDEDITION", L"Standard"}, {L"SAVEDINIFILE", L"C:\\Site\\A.ini"}, {L"SAVEDSERVER", L"\\\\S"}};
    auto with = [&saved](Properties extra) {
        Properties p = saved;
        for (auto& e : extra) p[e.first] = e.second;
        return p;
    };
    const RunCase cases[] = {
        {"first installation, nothing given", RunKind::Install, {}, nullptr, L""},
        {"first installation, a remembered configuration left behind", RunKind::Install,
         with({{L"EDITION", L"Enterprise"}}), nullptr, L"-a \"-iC:\\Site\\A.ini\" \"\\\\S\""},
        {"upgrade: the remembered values", RunKind::Upgrade, saved, nullptr, L"\"-iC:\\Site\\A.ini\" \"\\\\S\""},
        {"upgrade: a new value wins", RunKind::Upgrade,
         with({{L"INIFILE", L"C:\\Site\\B.ini"}, {L"CONFIG", L"registry"}}), nullptr,
         L"-r \"-iC:\\Site\\B.ini\" \"\\\\S\""},
        {"upgrade: another edition", RunKind::Upgrade, with({{L"EDITION", L"Enterprise"}}),
         L"The edition cannot be changed while a version of the package is installed (it was installed as Standard)",
         nullptr},
        {"repair: another edition", RunKind::Maintenance, with({{L"EDITION", L"enterprise"}}),
         L"The edition cannot be changed", nullptr},
        {"repair: the same values, in other case", RunKind::Maintenance,
         with({{L"EDITION", L"STANDARD"}, {L"INIFILE", L"c:\\site\\a.INI"}, {L"REDEPLOY", L"1"}}), nullptr,
         L"\"-ic:\\site\\a.INI\" \"\\\\S\""},
        {"repair: another INI file", RunKind::Maintenance, with({{L"INIFILE", L"C:\\Site\\B.ini"}}),
         L"INIFILE=\"C:\\Site\\B.ini\" differs from the configuration the package was installed with "
         L"(INIFILE=\"C:\\Site\\A.ini\")",
         nullptr},
        {"removal: a value the installation did not have", RunKind::Removal, with({{L"LOGFILE", L"C:\\l.log"}}),
         L"LOGFILE=\"C:\\l.log\" differs from the configuration the package was installed with (LOGFILE=\"\")",
         nullptr},
        {"removal: IGNOREERRORS is per run", RunKind::Removal, with({{L"IGNOREERRORS", L"1"}}), nullptr,
         L"\"-iC:\\Site\\A.ini\" -e \"\\\\S\""},
        {"removal: a remembered value that would split", RunKind::Removal, with({{L"SAVEDSERVER", L"\\\\S\" -u"}}),
         L"The remembered value Server=\"\\\\S\" -u\" in HKLM\\SOFTWARE\\Oxlen Corporation\\Vormo Port Monitor Setup "
         L"is refused",
         nullptr},
        {"removal: the command line replaces a bad remembered value", RunKind::Removal,
         with({{L"SAVEDSERVER", L"\\\\S\" -u"}, {L"SERVER", L"\\\\T"}}), nullptr, L"\"-iC:\\Site\\A.ini\" \"\\\\T\""},
        {"a run switch out of its set",
         RunKind::Install,
         {{L"SKIPCHECK", L"yes"}},
         L"SKIPCHECK=\"yes\" is refused: SKIPCHECK must be 0 or 1.",
         nullptr},
    };
    for (const RunCase& c : cases) {
        Resolved r = Resolve(MakeRequest(c.kind, c.properties));
        if (c.refusalStart) {
            EXPECT_EQ(r.refusal.compare(0, std::wstring(c.refusalStart).size(), c.refusalStart), 0)
                << c.what << ": " << std::string(r.refusal.begin(), r.refusal.end());
            EXPECT_EQ(r.refusal.substr(r.refusal.size() - 20), L"Nothing was changed.") << c.what;
        } else {
            EXPECT_TRUE(r.refusal.empty()) << c.what << ": " << std::string(r.refusal.begin(), r.refusal.end());
            std::wstring args = InstallerArguments(r, false);
            EXPECT_TRUE(args == c.arguments) << c.what << ": " << std::string(args.begin(), args.end());
        }
    }
}

}  // namespace
