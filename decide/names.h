// Names as Windows matches them where it looks one up: profile sections and
// keys, registry keys and values, printers. Two names are one when their
// upper-case forms in the ANSI code page are the same (the system's table, as
// LCMapStringA with LCMAP_UPPERCASE applies it); unlike lstrcmpiA, which
// compares words, sharp s is not "ss", a ligature is not two letters and an
// invisible character such as the soft hyphen counts.
#pragma once

#include <string>

std::string UpperCaseForm(const std::string& name);
bool SameName(const std::string& a, const std::string& b);

// The characters of a name that show nothing or look like a blank (control
// characters, the no-break space, the soft hyphen), written as <U+00AD>;
// empty when it has none.
std::string InvisibleCharacters(const std::string& name);
