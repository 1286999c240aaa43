// The client's data files: the fonts of "FontFiles" and the subnet mapping
// file "server_subnet.csv", placed below the Program Files folder and removed
// again.
#include <cstring>

#include "client/client_files.h"
#include "client/locations.h"
#include "platform/handles.h"
#include "run/edition.h"
#include "run/output.h"

namespace {

const char kFontSource[] = "FontFiles";
const char kSubnetFile[] = "server_subnet.csv";

// True when the installer folder (the current directory) holds an entry of
// that name, file or folder.
bool InstallerFolderHas(const char* name) {
    WIN32_FIND_DATAA data;
    std::memset(&data, 0, sizeof data);
    platform::FindHandle find(FindFirstFileA(name, &data));
    return find.valid();
}

unsigned char FoldCase(unsigned char c) { return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c; }

// Compares two paths without regard to case; a double-byte character of the
// ANSI code page is compared as one unit, exactly.
bool SamePathNoCase(const char* a, const char* b) {
    const auto* x = reinterpret_cast<const unsigned char*>(a);
    const auto* y = reinterpret_cast<const unsigned char*>(b);
    while (*x && *y) {
        bool leadX = IsDBCSLeadByte(*x) && x[1] != 0;
        bool leadY = IsDBCSLeadByte(*y) && y[1] != 0;
        if (leadX || leadY) {
            if (!leadX || !leadY || x[0] != y[0] || x[1] != y[1]) return false;
            x += 2;
            y += 2;
            continue;
        }
        if (FoldCase(*x) != FoldCase(*y)) return false;
        ++x;
        ++y;
    }
    return *x == 0 && *y == 0;
}

}  // namespace

bool InstallFontFiles() {
    if (!InstallerFolderHas(kFontSource)) return true;
    PrintText("  - Installing Font Files\n");
    char fontFolder[1000] = {};
    if (!GetProgramFilesSubfolder(Edition().fontFolder, fontFolder, sizeof fontFolder)) return false;
    CreateDirectoryPath(fontFolder);
    return CopyFiles(kFontSource, fontFolder, "*.*");
}

bool InstallSubnetMappingFile() {
    if (!InstallerFolderHas(kSubnetFile)) return true;
    PrintText("  - Installing Subnet Mapping File\n");
    char productFolder[1000] = {};
    if (!GetProgramFilesSubfolder(Edition().productFolder, productFolder, sizeof productFolder)) return false;
    // Started from the product folder itself: the file is in place already.
    char current[MAX_PATH] = {};
    DWORD n = GetCurrentDirectoryA(sizeof current, current);
    if (n > 0 && n < sizeof current && SamePathNoCase(current, productFolder)) return true;
    // The product folder is not made here: when it is missing, the copy fails.
    return CopyFiles(".", productFolder, kSubnetFile);
}

bool RemoveSubnetMappingFile() {
    char productFolder[1000] = {};
    if (!GetProgramFilesSubfolder(Edition().productFolder, productFolder, sizeof productFolder)) return false;
    DeleteFiles(productFolder, kSubnetFile);
    return true;
}

bool RemoveFontFiles() {
    char fontFolder[1000] = {};
    if (!GetProgramFilesSubfolder(Edition().fontFolder, fontFolder, sizeof fontFolder)) return false;
    DeleteFiles(fontFolder, "*.*");
    RemoveDirectoryA(fontFolder);
    // Then the product folder and the maker's folder above it, each only
    // when nothing else is left in it.
    char* cut = LastBackslash(fontFolder);
    if (!cut) return true;
    *cut = '\0';
    RemoveDirectoryA(fontFolder);
    cut = LastBackslash(fontFolder);
    if (cut) {
        *cut = '\0';
        RemoveDirectoryA(fontFolder);
    }
    return true;
}
