// The profile functions' lists over an INI file of any bytes: the names of
// its sections (GetPrivateProfileSectionNamesA, and GetPrivateProfileStringA
// without a section) and the entries of its first sections
// (GetPrivateProfileSectionA), each read whole and then into a block of
// exactly every size around the points where an entry stops fitting. Each
// answer is held to the rule Windows answers by: a list of non-empty entries,
// each ended by a zero, the list by one more; a block with room for the list
// and one byte more gets it whole; a smaller one (of 2 bytes or more) gets as
// much of it as fits before two closing zeros, and the answer size - 2.
// Nothing is ever written outside the block (AddressSanitizer watches it).
#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"

using fuzz_support::Check;

namespace {

const char kIni[] = "C:\\Dist\\lists.ini";
const size_t kMaxInput = 4096;
// Room for any list of an input of kMaxInput bytes.
const DWORD kWhole = 1u << 16;
// Lists up to this long are read into every block size; longer ones around
// each entry's end and the list's.
const DWORD kEverySize = 600;
const size_t kSectionsRead = 8;

using Fill = DWORD (*)(LPSTR buffer, DWORD size, const char* section);

DWORD Names(LPSTR buffer, DWORD size, const char*) { return GetPrivateProfileSectionNamesA(buffer, size, kIni); }
DWORD NamesByString(LPSTR buffer, DWORD size, const char*) {
    return GetPrivateProfileStringA(nullptr, nullptr, "", buffer, size, kIni);
}
DWORD Entries(LPSTR buffer, DWORD size, const char* section) {
    return GetPrivateProfileSectionA(section, buffer, size, kIni);
}

// The whole list, entry by entry; checks its form.
std::string Whole(Fill fill, const char* section, const char* what) {
    std::vector<char> block(kWhole, '#');
    DWORD n = fill(block.data(), kWhole, section);
    Check(n + 2 <= kWhole, "a whole list fits the large block", what);
    Check(block[n] == '\0' && (n == 0 || block[n - 1] == '\0'), "a list ends in two zeros", what);
    for (DWORD at = 0; at < n; at += static_cast<DWORD>(std::strlen(block.data() + at)) + 1)
        Check(block[at] != '\0', "no entry of a list is empty", what);
    return std::string(block.data(), n);
}

void CheckAtSize(Fill fill, const char* section, const std::string& list, DWORD size, const char* what) {
    // A block of exactly `size` bytes, so that a write past it is seen.
    std::unique_ptr<char[]> block(new char[size]);
    std::memset(block.get(), '#', size);
    DWORD n = fill(block.get(), size, section);
    std::string detail = std::string(what) + " in " + std::to_string(size) + " of " + std::to_string(list.size());
    DWORD length = static_cast<DWORD>(list.size());
    if (size >= length + 2) {
        Check(n == length && std::memcmp(block.get(), list.data(), length) == 0 && block[length] == '\0',
              "a block with a byte to spare gets the whole list", detail);
    } else if (size >= 2) {
        Check(n == size - 2 && std::memcmp(block.get(), list.data(), size - 2) == 0 && block[size - 2] == '\0' &&
                  block[size - 1] == '\0',
              "a smaller block gets what fits, two zeros and size - 2", detail);
    } else {
        Check(n == 0 && block[0] == '\0', "a block of 1 byte gets an empty list", detail);
    }
}

void CheckEverySize(Fill fill, const char* section, const char* what) {
    std::string list = Whole(fill, section, what);
    DWORD length = static_cast<DWORD>(list.size());
    std::set<DWORD> sizes;
    if (length <= kEverySize) {
        for (DWORD s = 1; s <= length + 3; ++s) sizes.insert(s);
    } else {
        for (DWORD end = 0; end <= length; ++end)
            if (end == length || list[end] == '\0')
                for (DWORD s = end > 2 ? end - 2 : 1; s <= end + 3; ++s) sizes.insert(s);
    }
    for (DWORD size : sizes) CheckAtSize(fill, section, list, size, what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaxInput) return 0;
    fuzz_support::StartMachine(fuzz_support::DefaultOptions());
    fuzz_support::BeginInput();
    fuzz_support::WriteMachineFile(kIni, std::string(reinterpret_cast<const char*>(data), size));

    CheckEverySize(Names, nullptr, "section names");
    std::string names = Whole(Names, nullptr, "section names");
    Check(Whole(NamesByString, nullptr, "names by GetPrivateProfileStringA") == names,
          "GetPrivateProfileStringA without a section lists the same names");
    CheckEverySize(NamesByString, nullptr, "names by GetPrivateProfileStringA");
    size_t read = 0;
    for (size_t at = 0; at < names.size() && read < kSectionsRead; at += std::strlen(names.c_str() + at) + 1, ++read) {
        std::string section = names.c_str() + at;
        CheckEverySize(Entries, section.c_str(), "entries of a section");
    }

    std::string out = fuzz_support::EndInput();
    Check(out.empty(), "nothing printed", out.substr(0, 200));
    return 0;
}
