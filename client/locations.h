// Folders below the Program Files folder, and flat copies and deletions.
#pragma once

#include "platform/win32.h"

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
