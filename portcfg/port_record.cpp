#include "portcfg/port_record.h"

#include <cstring>

namespace {

// Converts an 8-bit string of `from` bytes into a UTF-16 field of `units`
// units, terminator included. The field is zero beforehand; its last unit
// stays zero, so the field is terminated whatever the conversion answers. A
// source terminated within its bytes is converted with its terminator; one
// that is not gets its first from - 1 bytes converted, never more than its
// field holds. The field's UTF-16 units are the WCHARs the conversion writes.
void Convert(MultiByteToWideCharProc convert, const char* source, size_t from, char16_t* target, size_t units) {
    if (!convert) return;
    bool terminated = std::memchr(source, '\0', from) != nullptr;
    convert(CP_ACP, 0, source, terminated ? -1 : static_cast<int>(from - 1), reinterpret_cast<LPWSTR>(target),
            static_cast<int>(units));
    target[units - 1] = 0;
}

}  // namespace

void BuildPortRecord(const PortSettings* s, PortRecord* r, MultiByteToWideCharProc convert) {
    static_assert(sizeof r->PortName / sizeof r->PortName[0] >= sizeof s->PortName, "the name fits its field");
    std::memset(r, 0, sizeof *r);
    Convert(convert, s->PortName, sizeof s->PortName, r->PortName, kPortNameSize);
    for (const PortField& field : kPortFields) {
        if (field.kind == PortFieldKind::Text)
            Convert(convert, TextOf(s, field), kPortStringSize, TextIn(r, field), kPortStringSize);
        else
            *NumberIn(r, field) = NumberOf(s, field);
    }
}
