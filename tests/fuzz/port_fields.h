// Checks of the fuzz targets that read port sections, over the table of the
// port's fields: every string field is checked for its terminator and zero
// tail, every record field against the settings it was built from.
#pragma once

#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "portcfg/port_record.h"
#include "wire/port_fields.h"

namespace port_fields {

// "AssignPrinter", "AssignPrinter2" ...: the number only from 2 on.
inline std::string Numbered(const char* base, int k) { return k < 2 ? base : base + std::to_string(k); }

// Every string field is terminated and zero from its terminator on; the port
// name is left empty by the reader.
inline void CheckSettings(const PortSettings& s) {
    for (const PortField& field : kPortFields)
        if (field.kind == PortFieldKind::Text) fuzz_support::CheckField(TextOf(&s, field), kPortStringSize, field.key);
    for (char c : s.PortName) fuzz_support::Check(c == 0, "the reader leaves PortName empty");
}

// The text a UTF-16 field holds, as 16-bit units.
inline std::u16string Wide(const WCHAR* field, size_t units) {
    std::u16string out;
    for (size_t i = 0; i < units && field[i]; ++i) out += static_cast<char16_t>(field[i]);
    return out;
}

// The record holds every field of the settings: strings converted in the
// machine's code page, each terminated and zero-padded; integers unchanged.
inline void CheckRecord(const PortSettings& s, const PortRecord& r) {
    UINT cp = winsim::Config().codePage;
    auto same = [&](const char* text, const WCHAR* wide, size_t units, const char* name) {
        fuzz_support::CheckWideField(wide, units, name);
        fuzz_support::Check(Wide(wide, units) == winsim::AnsiToUtf16(text, cp), "record string converted", name);
    };
    for (const PortField& field : kPortFields) {
        if (field.kind == PortFieldKind::Text)
            same(TextOf(&s, field), TextOf(&r, field), kPortStringSize, field.key);
        else
            fuzz_support::Check(NumberOf(&s, field) == NumberOf(&r, field), "integer copied", field.key);
    }
    same(s.PortName, r.PortName, kPortNameSize, "PortName");
}

}  // namespace port_fields
