// Folders below the Program Files folder, and flat copies and deletions.
#pragma once

#include <cstddef>

#include "platform/win32.h"

// Bounds of the folders and paths of the client's deployment:
// the font, product and WebBrowser folders are found in 1000-byte buffers;
constexpr size_t kDataFolderSize = 1000;
// the client folder in 512 bytes when installing, 500 when removing;
constexpr size_t kClientFolderInstallSize = 512;
constexpr size_t kClientFolderRemovalSize = 500;
// a folder created with all its parents holds at most 503 characters (its
// "\\?\" form 507);
constexpr size_t kCreatePathSize = 508;
// a folder with a file name in it, in the flat copies and deletions, at most
// 1499 characters;
constexpr size_t kWalkPathSize = 1500;
// the command that removes the WebBrowser folder at most 1099 characters;
constexpr size_t kRemovalCommandSize = 1100;
// the current directory is asked for with room for 259 characters.
constexpr size_t kCurrentDirectorySize = MAX_PATH;

// The WebBrowser and client folders below the Program Files folder.
constexpr char kWebBrowserFolderPath[] = "Oxlen\\Vormo Client\\WebBrowser";
constexpr char kClientFolderPath[] = "Oxlen\\Vormo Client\\Client";

bool GetProgramFilesSubfolder(const char* relativePath, char* buffer, DWORD bufferSize);
bool GetWebBrowserFolder(char* buffer, DWORD bufferSize);
bool GetClientFolder(char* buffer, DWORD bufferSize);

// Creates an absolute folder path ("C:\...") with all missing parents.
bool CreateDirectoryPath(const char* path);
// The last backslash of a path, read in double-byte-aware units; null when none.
char* LastBackslash(char* path);
// Appends "\" unless the path is empty or ends in one; bufferSize bounds the result.
void AppendBackslash(char* path, DWORD bufferSize);
// Writes folder and name one after the other into out. Does nothing (false)
// when any of them is missing; a result that does not fit leaves out empty
// (false), never a cut path that could name another file.
bool JoinPath(const char* folder, const char* name, char* out, DWORD outSize);

typedef bool (*FileStep)(const WIN32_FIND_DATAA* file, void* context);
bool ForEachFile(const char* folder, const char* pattern, FileStep step, void* context);
bool CopyFiles(const char* sourceFolder, const char* targetFolder, const char* pattern);
bool DeleteFiles(const char* folder, const char* pattern);
bool RemoveWebBrowserFolder();

// Junctions and symbolic links on the way to a folder found below the Program
// Files folder. A folder's levels are the folders of the relative path it was
// found by, 1 for the first ("Oxlen"). A removal never enters a link: it may
// take away the folder of a level when no link lies above that level (a link
// in its place goes as a link), and may delete what is in it only when no
// link lies at that level or above.

// The number of folders in a relative path.
int PathLevels(const char* relativePath);
// The level of the first link from the Program Files folder down to the
// folder, the folder itself included; 0 when there is none. The folder is
// the Program Files folder, a backslash and relativePath, as the lookups make
// it.
int FirstLinkLevel(const char* folder, const char* relativePath);
// True when what is in the folder of a level may be deleted.
inline bool MayEnterLevel(int firstLink, int level) { return firstLink == 0 || firstLink > level; }
// Takes away the folder of a level as the rule above allows: a folder with
// RemoveDirectoryA (only when empty), a link in its place as a link; nothing
// behind a link. False when nothing was removed.
bool RemoveLevel(const char* path, int firstLink, int level);
