// What the client deployment relies on: long-path folder creation, searches
// by exact name, the order of a folder listing, the current directory's
// letter case, processes and their exit codes, rmdir through the command
// interpreter, and the registry views of "ProgramFilesDir" and the Run key.
#include <cstring>
#include <string>
#include <vector>

#include "check.h"
#include "platform/handles.h"

namespace {

std::string P(const std::string& name) { return conformance::Scratch() + "\\" + name; }

void MakeFile(const std::string& path) {
    char system[MAX_PATH];
    GetSystemDirectoryA(system, sizeof system);
    CopyFileA((std::string(system) + "\\cmd.exe").c_str(), path.c_str(), FALSE);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

bool Wow64() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

std::string Comspec() {
    char comspec[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableA("COMSPEC", comspec, sizeof comspec);
    return n > 0 && n < sizeof comspec ? comspec : "";
}

// Runs a command line with the given application name and waits; the exit
// code, or -1 when the start failed (last error kept).
long RunAndWait(const std::string& application, const std::string& commandLine) {
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    std::memset(&info, 0, sizeof info);
    if (!CreateProcessA(application.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return -1;
    platform::KernelHandle process(info.hProcess);
    platform::KernelHandle thread(info.hThread);
    if (WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0) return -2;
    DWORD code = 0;
    if (!GetExitCodeProcess(process.get(), &code)) return -3;
    return static_cast<long>(code);
}

std::string ReadProgramFilesDir(REGSAM view) {
    platform::RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0, KEY_QUERY_VALUE | view,
                      key.out()) != ERROR_SUCCESS)
        return "(no key)";
    char value[MAX_PATH] = {};
    DWORD size = sizeof value - 1;
    if (RegQueryValueExA(key.get(), "ProgramFilesDir", nullptr, nullptr, reinterpret_cast<LPBYTE>(value), &size) !=
        ERROR_SUCCESS)
        return "(no value)";
    return value;
}

}  // namespace

CONFORMANCE_CASE(LongPathPrefixedFolderLevels) {
    std::string prefixed = "\\\\?\\" + P("level1");
    CHECK(CreateDirectoryA(prefixed.c_str(), nullptr));
    CHECK(!CreateDirectoryA(prefixed.c_str(), nullptr));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    // A missing parent, with the prefix: the level cannot be made.
    CHECK(!CreateDirectoryA(("\\\\?\\" + P("missing\\level2")).c_str(), nullptr));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    // The whole path again with a trailing backslash: it exists already.
    CHECK(!CreateDirectoryA((prefixed + "\\").c_str(), nullptr));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    // A file in the way of a level.
    MakeFile(P("file"));
    CHECK(!CreateDirectoryA(("\\\\?\\" + P("file")).c_str(), nullptr));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
}

CONFORMANCE_CASE(SearchByExactNameFindsFilesAndFolders) {
    CreateDirectoryA(P("FontFiles").c_str(), nullptr);
    MakeFile(P("server_subnet.csv"));
    char saved[MAX_PATH];
    GetCurrentDirectoryA(sizeof saved, saved);
    CHECK(SetCurrentDirectoryA(conformance::Scratch().c_str()));
    WIN32_FIND_DATAA data;
    {
        platform::FindHandle folder(FindFirstFileA("fontfiles", &data));
        CHECK(folder.valid());
        CHECK((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
        platform::FindHandle file(FindFirstFileA("SERVER_SUBNET.CSV", &data));
        CHECK(file.valid());
        CHECK((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0);
        platform::FindHandle none(FindFirstFileA("server_subnet.txt", &data));
        CHECK(!none.valid());
        CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        // An empty folder still lists "." and "..".
        platform::FindHandle empty(FindFirstFileA("FontFiles\\*.*", &data));
        CHECK(empty.valid());
        CHECK_STR(data.cFileName, ".");
        // A folder that does not exist.
        platform::FindHandle missing(FindFirstFileA("NoFolder\\*.*", &data));
        CHECK(!missing.valid());
        CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    }
    SetCurrentDirectoryA(saved);
}

CONFORMANCE_CASE(FolderListingOrderIsByUpperCaseNames) {
    // NTFS lists names in the order of their upper-case forms, so "_" (after
    // "Z") comes after letters. Wine lists in the order of the host's file
    // system, which promises none.
    for (const char* name : {"b_x.ttf", "Bz.ttf", "a-b.ttf", "A.ttf"}) MakeFile(P(name));
    WIN32_FIND_DATAA data;
    platform::FindHandle find(FindFirstFileA(P("*.ttf").c_str(), &data));
    CHECK(find.valid());
    std::vector<std::string> names;
    if (find) {
        do names.push_back(data.cFileName);
        while (FindNextFileA(find.get(), &data));
    }
    CHECK_EQ(names.size(), static_cast<size_t>(4));
    if (!conformance::UnderWine() && names.size() == 4) {
        CHECK_STR(names[0], "a-b.ttf");
        CHECK_STR(names[1], "A.ttf");
        CHECK_STR(names[2], "Bz.ttf");
        CHECK_STR(names[3], "b_x.ttf");
    }
}

CONFORMANCE_CASE(CopyIntoAMissingFolderGivesPathNotFound) {
    MakeFile(P("a.ttf"));
    CHECK(!CopyFileA(P("a.ttf").c_str(), P("missing\\a.ttf").c_str(), FALSE));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    CHECK(!CopyFileA(P("absent.ttf").c_str(), P("b.ttf").c_str(), FALSE));
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

CONFORMANCE_CASE(CurrentDirectoryKeepsTheLetterCaseGiven) {
    CreateDirectoryA(P("Product").c_str(), nullptr);
    char saved[MAX_PATH];
    GetCurrentDirectoryA(sizeof saved, saved);
    std::string upper = P("PRODUCT");
    CHECK(SetCurrentDirectoryA(upper.c_str()));
    char now[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof now, now);
    CHECK_STR(now, upper);
    SetCurrentDirectoryA(saved);
}

CONFORMANCE_CASE(ApplicationNameIsTakenWithoutSearch) {
    char saved[MAX_PATH];
    GetCurrentDirectoryA(sizeof saved, saved);
    CHECK(SetCurrentDirectoryA(conformance::Scratch().c_str()));
    // "cmd.exe" is in the system directory, not in the current one.
    CHECK_EQ(RunAndWait("cmd.exe", "cmd.exe /c exit 0"), -1L);
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    CHECK_EQ(RunAndWait(P("NoSuchProgram.exe"), "NoSuchProgram.exe"), -1L);
    CHECK_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetCurrentDirectoryA(saved);
}

CONFORMANCE_CASE(ExitCodeOfAWaitedChild) {
    std::string comspec = Comspec();
    CHECK(!comspec.empty());
    CHECK_EQ(RunAndWait(comspec, "\"" + comspec + "\" /c exit 3"), 3L);
    CHECK_EQ(RunAndWait(comspec, "\"" + comspec + "\" /c exit 0"), 0L);
}

CONFORMANCE_CASE(RmdirThroughTheCommandInterpreter) {
    std::string comspec = Comspec();
    std::string folder = P("Vormo Client (x86)\\WebBrowser");
    CreateDirectoryA(P("Vormo Client (x86)").c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "\\cache").c_str(), nullptr);
    MakeFile(folder + "\\cache\\page.html");
    MakeFile(folder + "\\cookies.txt");
    std::string command = "\"" + comspec + "\" /c rmdir \"" + folder + "\" /S /Q";
    CHECK_EQ(RunAndWait(comspec, command), 0L);
    CHECK_EQ(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES);
    CHECK(GetFileAttributesA(P("Vormo Client (x86)").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    // A folder that is not there: a nonzero exit status on Windows; Wine's
    // rmdir reports the error without setting one.
    long missing = RunAndWait(comspec, command);
    if (!conformance::UnderWine()) CHECK(missing != 0);
    else CHECK(missing >= 0);
}

CONFORMANCE_CASE(ProgramFilesDirPerRegistryView) {
    if (Wow64()) {
        // The process's default view is the 32-bit one.
        CHECK_STR(ReadProgramFilesDir(0), "C:\\Program Files (x86)");
        CHECK_STR(ReadProgramFilesDir(KEY_WOW64_32KEY), "C:\\Program Files (x86)");
        CHECK_STR(ReadProgramFilesDir(KEY_WOW64_64KEY), "C:\\Program Files");
    } else {
        CHECK_STR(ReadProgramFilesDir(0), "C:\\Program Files");
        CHECK_STR(ReadProgramFilesDir(KEY_WOW64_32KEY), "C:\\Program Files");
    }
}

CONFORMANCE_CASE(RunKeyValueOfA32BitProcessLandsInThe32BitView) {
    const char run[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    const char name[] = "WinsimConformance";
    platform::RegKey key;
    CHECK_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, run, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.out()), ERROR_SUCCESS);
    if (!key) return;
    const char data[] = "\"C:\\x\\Vormo Client.exe\"";
    CHECK_EQ(RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), sizeof data),
             ERROR_SUCCESS);
    CHECK_EQ(RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), sizeof data),
             ERROR_SUCCESS);
    platform::RegKey view32, view64;
    CHECK_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, run, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, view32.out()), ERROR_SUCCESS);
    DWORD size = 0;
    CHECK_EQ(RegQueryValueExA(view32.get(), name, nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    CHECK_EQ(size, static_cast<DWORD>(sizeof data));
    if (Wow64()) {
        CHECK_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, run, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, view64.out()),
                 ERROR_SUCCESS);
        CHECK_EQ(RegQueryValueExA(view64.get(), name, nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    }
    CHECK_EQ(RegDeleteValueA(key.get(), name), ERROR_SUCCESS);
    CHECK_EQ(RegDeleteValueA(key.get(), name), ERROR_FILE_NOT_FOUND);
}

CONFORMANCE_CASE(DeleteKeyWithASubkeyIsRefusedWithAccessDenied) {
    const char parent[] = "Software\\WinsimConformanceClient";
    platform::RegKey child;
    CHECK_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\WinsimConformanceClient\\Data\\Cache", 0, nullptr, 0,
                             KEY_ALL_ACCESS, nullptr, child.out(), nullptr),
             ERROR_SUCCESS);
    child.reset();
    platform::RegKey key;
    CHECK_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, parent, 0, KEY_ALL_ACCESS, key.out()), ERROR_SUCCESS);
    CHECK_EQ(RegDeleteKeyA(key.get(), "Data"), ERROR_ACCESS_DENIED);
    CHECK_EQ(RegDeleteKeyA(key.get(), "Data\\Cache"), ERROR_SUCCESS);
    CHECK_EQ(RegDeleteKeyA(key.get(), "Data"), ERROR_SUCCESS);
    key.reset();
    CHECK_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, parent), ERROR_SUCCESS);
}
