// The profile functions' lists at every fill level of the caller's buffer,
// the lines a section listing leaves out, and the arguments Windows answers
// apart. Wine's own profile tests state Windows' answers: a list that fills
// the buffer exactly is answered with size - 2, a line holding only a zero
// byte is no entry, an empty key name gives the default.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "check.h"

namespace {

std::string P(const char* name) { return conformance::Scratch() + "\\" + name; }

const std::string kZero(1, '\0');

// Bytes as a failure message can show them: a zero byte as "\0".
std::string Shown(const std::string& bytes) {
    std::string out;
    for (char c : bytes) out += c ? std::string(1, c) : std::string("\\0");
    return out;
}

}  // namespace

// Both listing calls into buffers of every size around the points where the
// list stops fitting: the whole list (10 bytes of entries and the closing
// zero) and the first two entries filling all but one byte of the buffer.
// A cut list keeps what fits of the entry that did not, then two zeros; the
// answer is size - 2, also for a list that fills the buffer exactly.
CONFORMANCE_CASE(ProfileListsAtEveryFillLevel) {
    // The names of one file's sections and the entries of the other's
    // section "s" are the same list, so both calls answer each row alike.
    std::string names = P("names.ini"), section = P("section.ini");
    CHECK(conformance::WriteBytes(names, "[ab]\r\n[c]\r\n[defg]\r\n"));
    CHECK(conformance::WriteBytes(section, "[s]\r\nab\r\nc\r\ndefg\r\n"));
    const struct Row {
        DWORD size;
        DWORD answer;
        const char* bytes;  // the buffer's first `size` bytes
        size_t length;
    } rows[] = {
        {5, 3, "ab\0\0\0", 5},
        {6, 4, "ab\0c\0\0", 6},         // "ab" and "c" fill all but one byte
        {9, 7, "ab\0c\0de\0\0", 9},     // the whole list less 2
        {10, 8, "ab\0c\0def\0\0", 10},  // less 1
        {11, 9, "ab\0c\0defg\0\0", 11}, // exactly: size - 2
        {12, 10, "ab\0c\0defg\0\0#", 12},
    };
    for (int call = 0; call < 2; ++call) {
        for (const auto& row : rows) {
            std::vector<char> buffer(row.size + 1, '#');
            DWORD n = call == 0 ? GetPrivateProfileSectionNamesA(buffer.data(), row.size, names.c_str())
                                : GetPrivateProfileSectionA("s", buffer.data(), row.size, section.c_str());
            std::string what = std::string(call == 0 ? "names" : "section") + " in " + std::to_string(row.size) + ": ";
            std::string expected(row.bytes, row.length), got(buffer.data(), row.length);
            // Wine's names call leaves the last byte of a cut list as it was.
            bool cut = row.answer == row.size - 2;
            if (conformance::UnderWine() && call == 0 && cut) {
                expected.pop_back();
                got.pop_back();
            }
            CHECK_STR(what + std::to_string(n) + " " + Shown(got), what + std::to_string(row.answer) + " " + Shown(expected));
        }
    }
}

// The entries of a section as the section call lists them.
CONFORMANCE_CASE(ProfileSectionLeavesOutLinesWithoutAName) {
    const struct Row {
        const char* what;
        std::string file;
        std::string list;  // the entries, each ended by a zero
    } rows[] = {
        {"a line holding only a zero byte", "[s]\r\na=1\r\n" + kZero + "\r\n", std::string("a=1\0", 4)},
        {"... as the last bytes of the file", "[s]\r\n=val5\r\n" + kZero, std::string("=val5\0", 6)},
        {"... before an entry", "[s]\r\n" + kZero + "\r\nb=2\r\n", std::string("b=2\0", 4)},
        {"blanks and a zero byte", "[s]\r\n  " + kZero + "  \r\nb\r\n", std::string("b\0", 2)},
    };
    std::string file = P("zero.ini");
    for (const auto& row : rows) {
        CHECK(conformance::WriteBytes(file, row.file));
        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        DWORD n = GetPrivateProfileSectionA("s", buffer, sizeof buffer, file.c_str());
        CHECK_STR(std::string(row.what) + ": " + Shown(std::string(buffer, n)), std::string(row.what) + ": " + Shown(row.list));
        CHECK_EQ(buffer[n], '\0');
    }
}

// Arguments the profile functions answer apart: missing ones, an empty key
// name, the last error the section call leaves. The file named by no name
// is win.ini in the Windows directory, whose sections a fresh Windows has.
CONFORMANCE_CASE(ProfileArgumentsAndLastErrors) {
    std::string file = P("args.ini");
    CHECK(conformance::WriteBytes(file, "[s]\r\nk=v\r\n[empty]\r\n"));
    const char* f = file.c_str();
    char buffer[100];
    const DWORD kAnyError = 0xFFFFFFFF;
    const std::string absent = P("absent.ini");
    const struct Row {
        const char* what;
        std::function<DWORD()> call;
        DWORD answer;
        DWORD error;  // the last error after the call (kAnyError: not looked at)
    } rows[] = {
        {"an empty key name gives the default",
         [&] { return GetPrivateProfileStringA("s", "", "default", buffer, sizeof buffer, f); }, 7, kAnyError},
        {"section call without a section, buffer or file",
         [&] { return GetPrivateProfileSectionA(nullptr, nullptr, 0, nullptr); }, 0, ERROR_INVALID_PARAMETER},
        {"section call without a section or buffer",
         [&] { return GetPrivateProfileSectionA(nullptr, nullptr, 0, f); }, 0, ERROR_INVALID_PARAMETER},
        {"section call without a buffer", [&] { return GetPrivateProfileSectionA("s", nullptr, 0, f); }, 0,
         ERROR_INVALID_PARAMETER},
        {"section call without a section", [&] { return GetPrivateProfileSectionA(nullptr, buffer, sizeof buffer, f); },
         0, ERROR_INVALID_PARAMETER},
        // Wine leaves the last error as it was.
        {"section call without a file: a section win.ini lacks",
         [&] { return GetPrivateProfileSectionA("s", buffer, sizeof buffer, nullptr); }, 0,
         conformance::UnderWine() ? kAnyError : DWORD(ERROR_FILE_NOT_FOUND)},
        {"section call of a section with an entry",
         [&] { return GetPrivateProfileSectionA("s", buffer, sizeof buffer, f); }, 4, ERROR_SUCCESS},
        {"section call of an empty section",
         [&] { return GetPrivateProfileSectionA("empty", buffer, sizeof buffer, f); }, 0, ERROR_SUCCESS},
        {"number without a section, key or file: win.ini's first section name",
         [&] { return GetPrivateProfileIntA(nullptr, nullptr, 70, nullptr); }, 0, kAnyError},
        {"number without a section or key in a missing file: the default",
         [&] { return GetPrivateProfileIntA(nullptr, nullptr, 70, absent.c_str()); }, 70, kAnyError},
    };
    for (const auto& row : rows) {
        SetLastError(0xDEADBEEF);
        DWORD n = row.call();
        DWORD error = GetLastError();
        std::string what = std::string(row.what) + ": ";
        CHECK_STR(what + std::to_string(n), what + std::to_string(row.answer));
        if (row.error != kAnyError) CHECK_STR(what + std::to_string(error), what + std::to_string(row.error));
    }
}
