// The capture of a machine's print state (VormoCheck --capture writes it,
// winsim new --from reads it): the shared vocabulary of the JSON document,
// its format number and the folders its files are named below. The members
// themselves are described in the README ("Capturing a machine").
#pragma once

#include <cstddef>
#include <cstdint>

#include "wire/port_fields.h"

// The format of the document; a reader refuses any other.
constexpr int kCaptureFormat = 1;

// The folders a captured file or folder is named below, by the root's name in
// the document: the Windows directory, the native system directory (System32
// seen without redirection), SysWOW64, and the Program Files folders of the
// 64-bit and the 32-bit registry view ("ProgramFilesDir").
enum class CaptureRoot { Windows, System, SystemWow64, ProgramFiles, ProgramFilesX86 };
struct CaptureRootName {
    CaptureRoot root;
    const char* name;
};
constexpr CaptureRootName kCaptureRoots[] = {
    {CaptureRoot::Windows, "windows"},
    {CaptureRoot::System, "system"},
    {CaptureRoot::SystemWow64, "systemWow64"},
    {CaptureRoot::ProgramFiles, "programFiles"},
    {CaptureRoot::ProgramFilesX86, "programFilesX86"},
};

// A port record's fields cover it whole, without a gap: a record whose every
// string ends within its field with zeros after it is told entirely by its
// fields' values.
constexpr std::size_t PortFieldBytes() {
    std::size_t bytes = kPortNameSize * sizeof(char16_t);
    for (const PortField& field : kPortFields)
        bytes += field.kind == PortFieldKind::Text ? kPortStringSize * sizeof(char16_t) : sizeof(std::uint32_t);
    return bytes;
}
static_assert(PortFieldBytes() == kPortRecordSize, "the fields of the table and PortName fill the record");

// A captured path (a root's path, a backslash and the path below it) holds at
// most 1499 characters, as the installer's own folder walks have it.
constexpr std::size_t kCaptureMaxPath = 1499;

// The bytes of a file laid as a placeholder of a captured size are bounded
// (1 TiB, written sparse).
constexpr std::uint64_t kCaptureMaxFileSize = 1ull << 40;
