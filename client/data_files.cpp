// The client's data files: the fonts of "FontFiles" and the subnet mapping
// file "server_subnet.csv", placed below the Program Files folder and removed
// again.
#include <cstring>

#include "base/output.h"
#include "client/client_files.h"
#include "client/locations.h"
#include "platform/handles.h"

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

}  // namespace

bool InstallFontFiles(const EditionProfile& edition) {
    if (!InstallerFolderHas(kFontSource)) return true;
    PrintText("  - Installing Font Files\n");
    char fontFolder[kDataFolderSize] = {};
    if (!GetProgramFilesSubfolder(edition.fontFolder, fontFolder, sizeof fontFolder)) return false;
    CreateDirectoryPath(fontFolder);
    return CopyFiles(kFontSource, fontFolder, "*.*");
}

bool InstallSubnetMappingFile(const EditionProfile& edition) {
    if (!InstallerFolderHas(kSubnetFile)) return true;
    PrintText("  - Installing Subnet Mapping File\n");
    char productFolder[kDataFolderSize] = {};
    if (!GetProgramFilesSubfolder(edition.productFolder, productFolder, sizeof productFolder)) return false;
    // Started from the product folder itself: the file is in place already.
    if (RunsFromFolder(productFolder)) return true;
    // The product folder is not made here: when it is missing, the copy fails.
    return CopyFiles(".", productFolder, kSubnetFile);
}

bool RunsFromFolder(const char* folder) {
    char current[kCurrentDirectorySize] = {};
    DWORD n = GetCurrentDirectoryA(sizeof current, current);
    // Without regard to case, double-byte characters as units.
    return n > 0 && n < sizeof current && lstrcmpiA(current, folder) == 0;
}

bool RemoveSubnetMappingFile(const EditionProfile& edition) {
    char productFolder[kDataFolderSize] = {};
    if (!GetProgramFilesSubfolder(edition.productFolder, productFolder, sizeof productFolder)) return false;
    // Never through a link: a product folder that is one, or lies behind one,
    // is not entered.
    if (FirstLinkLevel(productFolder, edition.productFolder) == 0) DeleteFiles(productFolder, kSubnetFile);
    return true;
}

bool RemoveFontFiles(const EditionProfile& edition) {
    char fontFolder[kDataFolderSize] = {};
    if (!GetProgramFilesSubfolder(edition.fontFolder, fontFolder, sizeof fontFolder)) return false;
    // No link on the way is entered: a link in place of the font folder, the
    // product folder or the maker's folder goes as a link, and what lies
    // behind it stays.
    int level = PathLevels(edition.fontFolder);
    const int link = FirstLinkLevel(fontFolder, edition.fontFolder);
    if (MayEnterLevel(link, level)) DeleteFiles(fontFolder, "*.*");
    RemoveLevel(fontFolder, link, level);
    // Then the product folder and the maker's folder above it, each only
    // when nothing else is left in it.
    char* cut = LastBackslash(fontFolder);
    if (!cut) return true;
    *cut = '\0';
    RemoveLevel(fontFolder, link, --level);
    cut = LastBackslash(fontFolder);
    if (cut) {
        *cut = '\0';
        RemoveLevel(fontFolder, link, --level);
    }
    return true;
}
