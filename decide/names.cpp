#include "decide/names.h"

#include <cstdio>

#include "platform/win32.h"

std::string UpperCaseForm(const std::string& name) {
    if (name.empty()) return name;
    std::string upper(name.size(), '\0');
    int n = LCMapStringA(LOCALE_SYSTEM_DEFAULT, LCMAP_UPPERCASE, name.data(), static_cast<int>(name.size()), &upper[0],
                         static_cast<int>(upper.size()));
    // A form of another length (a double-byte code page that could not be
    // mapped) is none: the name stands for itself.
    return n == static_cast<int>(name.size()) ? upper : name;
}

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && (a == b || UpperCaseForm(a) == UpperCaseForm(b));
}

std::string InvisibleCharacters(const std::string& name) {
    std::string found;
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7F && u != 0xA0 && u != 0xAD) continue;
        // The character as the ANSI code page has it, by its Unicode number.
        WCHAR wide[2] = {};
        if (MultiByteToWideChar(CP_ACP, 0, &c, 1, wide, 1) != 1) wide[0] = u;
        char text[sizeof "<U+FFFF>"];
        std::snprintf(text, sizeof text, "<U+%04X>", static_cast<unsigned>(wide[0]));
        if (found.find(text) == std::string::npos) found += text;
    }
    return found;
}
