// Names without regard to case in the ANSI code page (Windows-1252): files and
// folders (looked up and matched by wildcards), registry keys and values,
// profile sections and keys, and lstrcmpiA.
#include <cstring>
#include <string>

#include "check.h"
#include "platform/handles.h"

namespace {

const char kKey[] = "Software\\WinsimConformanceNames";

bool Ascii(const std::string& text) {
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

}  // namespace

// Windows folds names by upper-casing them with the system's table (as
// LCMapStringA with LCMAP_UPPERCASE does): in
// Windows-1252 that pairs a-z, the accented letters (but the signs 0xD7 and
// 0xF7), and s, z, o-e and y with their marks, and nothing else. lstrcmpiA
// compares words: ligatures and sharp s weigh as the letters they stand for,
// the soft hyphen weighs nothing.
CONFORMANCE_CASE(NamesMatchWithoutRegardToCaseInCodePage1252) {
    const struct Row {
        const char *made, *asked;
        bool sameName;  // as a file, registry or profile name
        bool sameWord;  // to lstrcmpiA
    } rows[] = {
        {"Vormo", "VORMO", true, true},
        {"Caf\xE9", "CAF\xC9", true, true},         // e acute
        {"\x9A", "\x8A", true, true},               // s caron
        {"\x9C", "\x8C", true, true},               // oe ligature
        {"\x9E", "\x8E", true, true},               // z caron
        {"\xFF", "\x9F", true, true},               // y diaeresis
        {"\xE6", "\xC6", true, true},               // ae ligature
        {"\xFE", "\xDE", true, true},               // thorn
        {"\xF7", "\xD7", false, false},             // division and multiplication signs are no pair
        {"Stra\xDF" "e", "STRASSE", false, true},   // sharp s
        {"\xE6", "AE", false, true},
        {"\x9C", "OE", false, true},
        {"\xFE", "TH", false, true},
        {"a\xAD" "b", "AB", false, true},           // soft hyphen
        {"\x88", "^", false, true},                 // modifier circumflex
        {"\xE9", "E", false, false},
    };
    std::string profile;
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
        std::string n = "n" + std::to_string(i) + "-", k = "k" + std::to_string(i) + "-";
        profile += "[" + n + rows[i].made + "]\r\n" + k + rows[i].made + "=1\r\n";
    }
    std::string ini = conformance::Scratch() + "\\names.ini";
    CHECK(conformance::WriteBytes(ini, profile));
    platform::RegKey key;
    CHECK_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.out(), nullptr),
             ERROR_SUCCESS);
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
        const Row& row = rows[i];
        std::string n = "n" + std::to_string(i) + "-", k = "k" + std::to_string(i) + "-";
        std::string made = n + row.made, asked = n + row.asked, trace = "row " + std::to_string(i);
        CHECK_STR(trace + (lstrcmpiA(row.made, row.asked) == 0 ? " same" : " other"),
                  trace + (row.sameWord ? " same" : " other"));
        CHECK_EQ(lstrcmpiA(row.asked, row.made), -lstrcmpiA(row.made, row.asked));
        // The upper-case form of the system's table, character by character.
        std::string upperMade = row.made, upperAsked = row.asked;
        CHECK_EQ(LCMapStringA(LOCALE_SYSTEM_DEFAULT, LCMAP_UPPERCASE, row.made, static_cast<int>(upperMade.size()),
                              &upperMade[0], static_cast<int>(upperMade.size())),
                 static_cast<int>(upperMade.size()));
        LCMapStringA(LOCALE_SYSTEM_DEFAULT, LCMAP_UPPERCASE, row.asked, static_cast<int>(upperAsked.size()),
                     &upperAsked[0], static_cast<int>(upperAsked.size()));
        CHECK_STR(trace + (upperMade == upperAsked ? " same" : " other"), trace + (row.sameName ? " same" : " other"));

        // A folder of the one name, found under the other.
        CHECK(CreateDirectoryA((conformance::Scratch() + "\\" + made).c_str(), nullptr));
        DWORD attributes = GetFileAttributesA((conformance::Scratch() + "\\" + asked).c_str());
        CHECK_STR(trace + (attributes != INVALID_FILE_ATTRIBUTES ? " found" : " missing"),
                  trace + (row.sameName ? " found" : " missing"));
        WIN32_FIND_DATAA data;
        platform::FindHandle wild(FindFirstFileA((conformance::Scratch() + "\\" + n + "*" + row.asked).c_str(), &data));
        CHECK_STR(trace + (wild.valid() ? " matched" : " unmatched"), trace + (row.sameName ? " matched" : " unmatched"));

        // A registry key and a value.
        platform::RegKey made_key, asked_key;
        CHECK_EQ(RegCreateKeyExA(key.get(), made.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, made_key.out(),
                                 nullptr),
                 ERROR_SUCCESS);
        LSTATUS opened = RegOpenKeyExA(key.get(), asked.c_str(), 0, KEY_READ, asked_key.out());
        CHECK_EQ(opened, row.sameName ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
        DWORD one = 1;
        CHECK_EQ(RegSetValueExA(key.get(), made.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
                 ERROR_SUCCESS);
        CHECK_EQ(RegQueryValueExA(key.get(), asked.c_str(), nullptr, nullptr, nullptr, nullptr),
                 row.sameName ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);

        // A profile section and key. Wine folds only a-z in profile names.
        char value[8] = {};
        GetPrivateProfileStringA(asked.c_str(), (k + row.asked).c_str(), "0", value, sizeof value, ini.c_str());
        bool sameInProfile = row.sameName && (!conformance::UnderWine() || (Ascii(row.made) && Ascii(row.asked)));
        CHECK_STR(trace + " " + value, trace + (sameInProfile ? " 1" : " 0"));
    }
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i)
        RegDeleteKeyA(key.get(), ("n" + std::to_string(i) + "-" + rows[i].made).c_str());
    key.reset();
    CHECK_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, kKey), ERROR_SUCCESS);
}
