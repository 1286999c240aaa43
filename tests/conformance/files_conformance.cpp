// Files and folders as Windows answers for them.
#include <cstring>

#include "check.h"
#include "platform/handles.h"

namespace {

std::string P(const char* name) { return conformance::Scratch() + "\\" + name; }

void MakeFile(const std::string& path) {
    // Copy a file that every system has, then make sure it is writable.
    char system[MAX_PATH];
    GetSystemDirectoryA(system, sizeof system);
    CreateDirectoryA(conformance::Scratch().c_str(), nullptr);
    std::string source = conformance::Scratch() + "\\.source";
    if (GetFileAttributesA(source.c_str()) == INVALID_FILE_ATTRIBUTES)
        CopyFileA((std::string(system) + "\\cmd.exe").c_str(), source.c_str(), FALSE);
    CopyFileA(source.c_str(), path.c_str(), FALSE);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace

CONFORMANCE_CASE(DirectoryQueriesUseTheSizeProtocol) {
    char small[4];
    UINT needed = GetWindowsDirectoryA(small, sizeof small);
    char full[MAX_PATH];
    UINT length = GetWindowsDirectoryA(full, sizeof full);
    CHECK_EQ(needed, length + 1);  // a short buffer: the size with the terminator
    CHECK_EQ(static_cast<size_t>(length), std::strlen(full));
    DWORD cwdNeeded = GetCurrentDirectoryA(2, small);
    DWORD cwdLength = GetCurrentDirectoryA(sizeof full, full);
    CHECK_EQ(cwdNeeded, cwdLength + 1);
}

CONFORMANCE_CASE(CreateDirectoryOnAnExistingFolderGives183) {
    CHECK(CreateDirectoryA(P("a").c_str(), nullptr));
    CHECK(!CreateDirectoryA(P("a").c_str(), nullptr));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CHECK(!CreateDirectoryA(P("missing\\b").c_str(), nullptr));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    CHECK(CreateDirectoryA(("\\\\?\\" + P("c")).c_str(), nullptr));
    CHECK(GetFileAttributesA(P("C").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

CONFORMANCE_CASE(RemoveDirectoryTakesOnlyAnEmptyFolder) {
    CreateDirectoryA(P("full").c_str(), nullptr);
    MakeFile(P("full\\x.txt"));
    CHECK(!RemoveDirectoryA(P("full").c_str()));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    CHECK(DeleteFileA(P("full\\x.txt").c_str()));
    CHECK(RemoveDirectoryA(P("FULL").c_str()));
}

CONFORMANCE_CASE(ReadOnlyFilesResistDeletionAndReplacement) {
    MakeFile(P("ro.dll"));
    MakeFile(P("new.dll"));
    CHECK(SetFileAttributesA(P("ro.dll").c_str(), FILE_ATTRIBUTE_READONLY));
    CHECK(!DeleteFileA(P("ro.dll").c_str()));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    if (!conformance::UnderWine()) {
        // Windows refuses to replace a read-only file; Wine run by root replaces it.
        CHECK(!CopyFileA(P("new.dll").c_str(), P("ro.dll").c_str(), FALSE));
        CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    CHECK(SetFileAttributesA(P("ro.dll").c_str(), FILE_ATTRIBUTE_NORMAL));
    CHECK(CopyFileA(P("new.dll").c_str(), P("RO.DLL").c_str(), FALSE));
    CHECK(!CopyFileA(P("new.dll").c_str(), P("ro.dll").c_str(), TRUE));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    CHECK(DeleteFileA(P("ro.dll").c_str()));
    CHECK(!DeleteFileA(P("ro.dll").c_str()));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

CONFORMANCE_CASE(FindFirstFileReportsDotsFoldersAndNoMatch) {
    CreateDirectoryA(P("sub").c_str(), nullptr);
    MakeFile(P("one.ttf"));
    WIN32_FIND_DATAA data;
    platform::FindHandle find(FindFirstFileA(P("*.*").c_str(), &data));
    CHECK(find.valid());
    std::vector<std::string> names;
    bool subIsFolder = false;
    if (find) {
        do {
            names.push_back(data.cFileName);
            if (std::string(data.cFileName) == "sub") subIsFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        } while (FindNextFileA(find.get(), &data));
        CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    }
    CHECK(names.size() >= 4);
    if (names.size() >= 2) {
        CHECK_STR(names[0], ".");
        CHECK_STR(names[1], "..");
    }
    CHECK(subIsFolder);
    platform::FindHandle none(FindFirstFileA(P("*.xyz").c_str(), &data));
    CHECK(!none.valid());
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    platform::FindHandle exact(FindFirstFileA(P("ONE.TTF").c_str(), &data));
    CHECK(exact.valid());
}

CONFORMANCE_CASE(CurrentDirectoryResolvesRelativeNames) {
    char saved[MAX_PATH];
    GetCurrentDirectoryA(sizeof saved, saved);
    MakeFile(P("rel.txt"));
    CHECK(SetCurrentDirectoryA((conformance::Scratch() + "\\").c_str()));
    CHECK(GetFileAttributesA("rel.txt") != INVALID_FILE_ATTRIBUTES);
    CHECK(GetFileAttributesA(".\\REL.TXT") != INVALID_FILE_ATTRIBUTES);
    char now[MAX_PATH];
    GetCurrentDirectoryA(sizeof now, now);
    CHECK_STR(now, conformance::Scratch());
    CHECK(!SetCurrentDirectoryA(P("nowhere").c_str()));
    SetCurrentDirectoryA(saved);
}

// Symbolic links made before the run, by the host set-up or by the Wine
// runner from the Unix side: C:\conformance-links\folder leads to a folder
// outside drive C:'s own tree that holds inside.txt, C:\conformance-links\file
// to a file there. Nothing here deletes through them.
CONFORMANCE_CASE(SymbolicLinksAreReparsePoints) {
#ifdef _WIN32
    if (!conformance::UnderWine()) return;  // made only where the runner makes them
#endif
    const std::string links = "C:\\conformance-links";
    const DWORD folderLink = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    // Wine does not report a link to a file as a reparse point.
    const DWORD fileLink = FILE_ATTRIBUTE_ARCHIVE | (conformance::UnderWine() ? 0 : FILE_ATTRIBUTE_REPARSE_POINT);
    CHECK_EQ(GetFileAttributesA((links + "\\folder").c_str()), folderLink);
    CHECK_EQ(GetFileAttributesA((links + "\\file").c_str()), fileLink);
    WIN32_FIND_DATAA data;
    std::memset(&data, 0xCD, sizeof data);
    platform::FindHandle find(FindFirstFileA((links + "\\*").c_str(), &data));
    CHECK(find.valid());
    int seen = 0;
    if (find) {
        do {
            std::string name = data.cFileName;
            if (name == "folder") {
                ++seen;
                CHECK_EQ(data.dwFileAttributes, folderLink);
                // The reparse tag; Wine leaves the field as the caller left it.
                CHECK_EQ(data.dwReserved0,
                         conformance::UnderWine() ? 0xCDCDCDCDu : static_cast<DWORD>(IO_REPARSE_TAG_SYMLINK));
            } else if (name == "file") {
                ++seen;
                CHECK_EQ(data.dwFileAttributes, fileLink);
            }
        } while (FindNextFileA(find.get(), &data));
    }
    CHECK_EQ(seen, 2);
    // A path through the folder link reaches what the folder holds.
    CHECK_EQ(GetFileAttributesA((links + "\\folder\\inside.txt").c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    platform::FindHandle inside(FindFirstFileA((links + "\\FOLDER\\*.txt").c_str(), &data));
    CHECK(inside.valid());
    CHECK_STR(data.cFileName, "inside.txt");
}
