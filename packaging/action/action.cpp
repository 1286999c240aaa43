// VormoAction.dll: the custom actions of Vormo.msi, run by Windows Installer
// from the package's Binary table.
//
//   PrepareRuns         immediate, after CostFinalize: checks every property
//                       (settings.cpp), decides what this run of the package
//                       runs, and hands each deferred action its data
//                       (CustomActionData: fields separated by line feeds,
//                       which no checked value can hold)
//   RunUninstaller      deferred, before the package's files go: Install.exe -u
//   SecureIniFile       deferred, after the files are in place: Vormo.ini in the
//                       package's folder for Administrators and SYSTEM only
//   CheckBeforeInstall  deferred: VormoCheck.exe with Install.exe's switches;
//                       errors stop the package before Install.exe changes anything
//   RunInstaller        deferred: Install.exe
//
// VormoCheck's console output goes into the Windows Installer log, a line
// each, after its name, with every AuthText value left out. Install.exe's
// goes nowhere: its install log holds it.
#include <aclapi.h>
#include <msi.h>
#include <msiquery.h>
#include <sddl.h>
#include <windows.h>

#include <string>
#include <vector>

#include "packaging/action/settings.h"
#include "platform/handles.h"

namespace {

using vormo_package::kSettingCount;
using vormo_package::kSettings;
using vormo_package::Resolved;
using vormo_package::RunKind;

struct MsiHandleTraits {
    static MSIHANDLE Empty() { return 0; }
    static bool Valid(MSIHANDLE h) { return h != 0; }
    static void Close(MSIHANDLE h) { MsiCloseHandle(h); }
};
using MsiRecord = platform::Owner<MSIHANDLE, MsiHandleTraits>;

struct LocalTraits {
    static HLOCAL Empty() { return nullptr; }
    static bool Valid(HLOCAL h) { return h != nullptr; }
    static void Close(HLOCAL h) { LocalFree(h); }
};
using LocalBlock = platform::Owner<HLOCAL, LocalTraits>;

struct AttributeListTraits {
    static LPPROC_THREAD_ATTRIBUTE_LIST Empty() { return nullptr; }
    static bool Valid(LPPROC_THREAD_ATTRIBUTE_LIST h) { return h != nullptr; }
    static void Close(LPPROC_THREAD_ATTRIBUTE_LIST h) { DeleteProcThreadAttributeList(h); }
};
using AttributeList = platform::Owner<LPPROC_THREAD_ATTRIBUTE_LIST, AttributeListTraits>;

// The private properties of this package: lower-case letters, so that no
// command line can set them.
const wchar_t kArgumentsProperty[] = L"VormoArguments";
// The remembered configuration as the Registry table writes it.
const wchar_t* const kRememberProperties[kSettingCount] = {L"VormoEdition", L"VormoConfig",  L"VormoIniFile",
                                                           L"VormoNoCopy",  L"VormoLogFile", L"VormoServer"};
// The deferred actions, by name: a deferred action reads its data from the
// property of its own name, and runs only when that property is set.
const wchar_t kRunUninstaller[] = L"RunUninstaller";
const wchar_t kSecureIniFile[] = L"SecureIniFile";
const wchar_t kCheckBeforeInstall[] = L"CheckBeforeInstall";
const wchar_t kRunInstaller[] = L"RunInstaller";
// The component that holds Install.exe: its action state says whether this
// run takes the package's files.
const wchar_t kInstallerComponent[] = L"Installer";

const wchar_t kInstallExe[] = L"Install.exe";
const wchar_t kCheckExe[] = L"VormoCheck.exe";
const wchar_t kIniFileName[] = L"Vormo.ini";
// Administrators and the local system, full access; nothing inherited.
const wchar_t kAdministratorsOnly[] = L"D:P(A;;FA;;;BA)(A;;FA;;;SY)";

// VormoCheck's exit codes.
constexpr DWORD kCheckClean = 0;
constexpr DWORD kCheckWarnings = 1;
constexpr DWORD kCheckErrors = 2;

// Room kept after the package's folder for a program's name in it.
constexpr size_t kProgramNameRoom = 20;
// A program's output goes into the log up to this many bytes, in lines of at
// most kMaxLoggedLineBytes; the rest is counted, not logged.
constexpr DWORD kMaxLoggedOutputBytes = 4u << 20;
constexpr size_t kMaxLoggedLineBytes = 2048;
constexpr DWORD kOutputChunkBytes = 64u << 10;
// Names tried for the temporary output file before giving up.
constexpr UINT kMaxTempNameAttempts = 100;
// Products of this upgrade code looked at: far more than can be installed at once.
constexpr DWORD kMaxRelatedProducts = 64;
// A product code with its braces, and its terminator.
constexpr DWORD kProductCodeSize = 39;

std::wstring Property(MSIHANDLE install, const wchar_t* name) {
    wchar_t none[1] = L"";
    DWORD size = 0;
    if (MsiGetPropertyW(install, name, none, &size) != ERROR_MORE_DATA) return L"";
    std::wstring value(size + 1, L'\0');
    DWORD length = size + 1;
    if (MsiGetPropertyW(install, name, &value[0], &length) != ERROR_SUCCESS) return L"";
    value.resize(length);
    return value;
}

// A log line or message as a record template: the installer formats a
// template ("[Name]" is a property, "{...}" a group, and it formats the
// values it puts in too), so every bracket and brace of the text is escaped.
void Message(MSIHANDLE install, INSTALLMESSAGE kind, const std::wstring& text) {
    std::wstring escaped;
    escaped.reserve(text.size());
    for (wchar_t c : text) {
        if (c == L'[' || c == L']' || c == L'{' || c == L'}') {
            escaped += L"[\\";
            escaped += c;
            escaped += L']';
        } else {
            escaped += c;
        }
    }
    MsiRecord record(MsiCreateRecord(0));
    if (!record) return;
    if (MsiRecordSetStringW(record.get(), 0, escaped.c_str()) != ERROR_SUCCESS) return;
    MsiProcessMessage(install, kind, record.get());
}

void Log(MSIHANDLE install, const std::wstring& text) { Message(install, INSTALLMESSAGE_INFO, text); }

UINT Fail(MSIHANDLE install, const std::wstring& text) {
    Message(install, INSTALLMESSAGE(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR), text);
    return ERROR_INSTALL_FAILURE;
}

// The access list of the INI file (and of the check's output): Administrators
// and SYSTEM only, nothing inherited.
bool AdministratorsOnly(LocalBlock* descriptor) {
    PSECURITY_DESCRIPTOR made = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnly, SDDL_REVISION_1, &made, nullptr))
        return false;
    descriptor->reset(made);
    return true;
}

bool FitsAnsiCodePage(const std::wstring& text) {
    if (text.empty()) return true;
    int length = static_cast<int>(text.size());
    if (GetACP() == CP_UTF8)
        return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), length, nullptr, 0, nullptr, nullptr) >
               0;
    BOOL usedDefault = FALSE;
    int bytes =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), length, nullptr, 0, nullptr, &usedDefault);
    return bytes > 0 && !usedDefault;
}

std::wstring NumberText(DWORD n) { return std::to_wstring(n); }
std::wstring ExitCodeText(DWORD code) { return code == 0xFFFFFFFFu ? L"-1" : NumberText(code); }

// A deferred action's data, split at its line feeds.
std::vector<std::wstring> ActionData(MSIHANDLE install) {
    std::wstring data = Property(install, L"CustomActionData");
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (;;) {
        size_t end = data.find(L'\n', start);
        fields.push_back(data.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return fields;
}

// Is another version of this product installed? During a major upgrade the
// new version is registered before the old one is removed (RemoveExistingProducts
// comes after InstallExecute).
bool AnotherVersionInstalled(MSIHANDLE install) {
    const std::wstring upgradeCode = Property(install, L"UpgradeCode");
    const std::wstring productCode = Property(install, L"ProductCode");
    if (upgradeCode.empty()) return false;
    wchar_t product[kProductCodeSize];
    for (DWORD i = 0; i < kMaxRelatedProducts; ++i) {
        if (MsiEnumRelatedProductsW(upgradeCode.c_str(), 0, i, product) != ERROR_SUCCESS) return false;
        if (CompareStringOrdinal(product, -1, productCode.c_str(), -1, TRUE) != CSTR_EQUAL) return true;
    }
    return false;
}

// A line of VormoCheck's output as the log gets it: a port's AuthText (a
// password, in clear) and whatever follows it on the line are left out.
std::wstring WithoutSecrets(const std::wstring& line) {
    const wchar_t kSecretKey[] = L"AuthText=";
    size_t at = line.find(kSecretKey);
    if (at == std::wstring::npos) return line;
    return line.substr(0, at + (sizeof kSecretKey / sizeof kSecretKey[0]) - 1) + L"(not logged)";
}

// Writes the first bytes of a program's output into the log, a line each.
void LogOutput(MSIHANDLE install, HANDLE file, const wchar_t* label) {
    LARGE_INTEGER start = {}, size = {};
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN) || !GetFileSizeEx(file, &size)) return;
    std::string line, chunk(kOutputChunkBytes, '\0');
    auto flush = [&]() {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::wstring text;
        int n = MultiByteToWideChar(CP_ACP, 0, line.data(), static_cast<int>(line.size()), nullptr, 0);
        if (n > 0) {
            text.resize(static_cast<size_t>(n));
            MultiByteToWideChar(CP_ACP, 0, line.data(), static_cast<int>(line.size()), &text[0], n);
        }
        Log(install, std::wstring(label) + L": " + WithoutSecrets(text));
        line.clear();
    };
    DWORD logged = 0;
    while (logged < kMaxLoggedOutputBytes) {
        DWORD want =
            kMaxLoggedOutputBytes - logged < kOutputChunkBytes ? kMaxLoggedOutputBytes - logged : kOutputChunkBytes;
        DWORD read = 0;
        if (!ReadFile(file, &chunk[0], want, &read, nullptr) || read == 0) break;
        logged += read;
        for (DWORD i = 0; i < read; ++i) {
            if (chunk[i] == '\n') {
                flush();
                continue;
            }
            line += chunk[i];
            if (line.size() >= kMaxLoggedLineBytes) flush();
        }
    }
    if (!line.empty()) flush();
    if (size.QuadPart > logged)
        Log(install, std::wstring(label) + L": (" + std::to_wstring(size.QuadPart - logged) +
                         L" more bytes of output not logged)");
}

// Runs a program of the package's folder with ARGS and waits for its end.
// With LOGGED, its console output (both streams) goes into a temporary file
// that it alone inherits, then into the log. False, with the reason, when it
// could not be started.
bool Run(MSIHANDLE install, const std::wstring& folder, const wchar_t* program, const std::wstring& args, bool logged,
         DWORD* exitCode, std::wstring* problem) {
    const std::wstring path = folder + program;
    std::wstring commandLine = L"\"" + path + L"\"";
    if (!args.empty()) commandLine += L" " + args;
    PROCESS_INFORMATION info = {};
    if (!logged) {
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        if (!CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                            CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT, nullptr, folder.c_str(), &startup, &info)) {
            *problem = L"it could not be started (error " + NumberText(GetLastError()) + L")";
            return false;
        }
        platform::KernelHandle process(info.hProcess), thread(info.hThread);
        if (WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(process.get(), exitCode)) {
            *problem = L"its end could not be awaited (error " + NumberText(GetLastError()) + L")";
            return false;
        }
        return true;
    }
    // The output holds what the check reads of the port sections: a file of
    // a new name that only Administrators and SYSTEM may open, gone once the
    // last handle to it closes.
    wchar_t tempFolder[MAX_PATH + 1], tempName[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH + 1, tempFolder);
    LocalBlock descriptor;
    if (n == 0 || n > MAX_PATH || !AdministratorsOnly(&descriptor)) {
        *problem = L"no temporary file for its output (error " + NumberText(GetLastError()) + L")";
        return false;
    }
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, descriptor.get(), TRUE};
    platform::KernelHandle output;
    const UINT seed = GetTickCount() ^ GetCurrentProcessId();
    for (UINT attempt = 0; attempt < kMaxTempNameAttempts && !output; ++attempt) {
        UINT unique = (seed + attempt) & 0xFFFF;
        if (GetTempFileNameW(tempFolder, L"vmo", unique ? unique : 1, tempName) == 0) break;
        output.reset(CreateFileW(tempName, GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inheritable, CREATE_NEW,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        if (!output && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (!output) {
        *problem = L"no temporary file for its output (error " + NumberText(GetLastError()) + L")";
        return false;
    }

    // Only the output file is inherited, whatever else this process holds.
    SIZE_T listSize = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
    std::vector<unsigned char> listRoom(listSize);
    AttributeList list;
    HANDLE inherited[1] = {output.get()};
    if (listSize == 0 || !InitializeProcThreadAttributeList(
                             reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listRoom.data()), 1, 0, &listSize)) {
        *problem = L"no attribute list (error " + NumberText(GetLastError()) + L")";
        return false;
    }
    list.reset(reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listRoom.data()));
    if (!UpdateProcThreadAttribute(list.get(), 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited, sizeof inherited,
                                   nullptr, nullptr)) {
        *problem = L"no handle list (error " + NumberText(GetLastError()) + L")";
        return false;
    }

    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdOutput = output.get();
    startup.StartupInfo.hStdError = output.get();
    startup.lpAttributeList = list.get();
    if (!CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                        CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT | CREATE_UNICODE_ENVIRONMENT, nullptr,
                        folder.c_str(), &startup.StartupInfo, &info)) {
        *problem = L"it could not be started (error " + NumberText(GetLastError()) + L")";
        return false;
    }
    platform::KernelHandle process(info.hProcess), thread(info.hThread);
    if (WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(process.get(), exitCode)) {
        *problem = L"its end could not be awaited (error " + NumberText(GetLastError()) + L")";
        return false;
    }
    LogOutput(install, output.get(), program);
    return true;
}

// The package's folder as the deferred actions get it: with its backslash at
// the end, and fit to stand in a quoted command line.
bool PackageFolder(MSIHANDLE install, std::wstring* folder) {
    wchar_t none[1] = L"";
    DWORD size = 0;
    if (MsiGetTargetPathW(install, L"INSTALLDIR", none, &size) != ERROR_MORE_DATA) return false;
    std::wstring path(size + 1, L'\0');
    DWORD length = size + 1;
    if (MsiGetTargetPathW(install, L"INSTALLDIR", &path[0], &length) != ERROR_SUCCESS) return false;
    path.resize(length);
    if (path.empty() || path.size() + kProgramNameRoom > MAX_PATH) return false;
    for (wchar_t c : path) {
        if (c < 0x20 || c == L'"' || c == L'\n') return false;
    }
    if (path.back() != L'\\') path += L'\\';
    *folder = path;
    return true;
}

UINT Prepare(MSIHANDLE install) {
    INSTALLSTATE installed = INSTALLSTATE_UNKNOWN, action = INSTALLSTATE_UNKNOWN;
    bool removal = MsiGetComponentStateW(install, kInstallerComponent, &installed, &action) == ERROR_SUCCESS &&
                   action == INSTALLSTATE_ABSENT;
    removal = removal || CompareStringOrdinal(Property(install, L"REMOVE").c_str(), -1, L"ALL", -1, TRUE) == CSTR_EQUAL;

    vormo_package::Request request;
    if (removal) {
        // Replaced by another version: its Install.exe has replaced the
        // monitor, and Install.exe -u would take it away again.
        if (!Property(install, L"UPGRADINGPRODUCTCODE").empty() || AnotherVersionInstalled(install)) {
            Log(install, L"Vormo: another version of the package replaces this one: Install.exe -u is not run.");
            return ERROR_SUCCESS;
        }
        request.kind = RunKind::Removal;
    } else if (!Property(install, L"Installed").empty()) {
        request.kind = RunKind::Maintenance;
    } else if (!Property(install, L"WIX_UPGRADE_DETECTED").empty()) {
        request.kind = RunKind::Upgrade;
    }
    request.property = [install](const wchar_t* name) { return Property(install, name); };
    request.fitsAnsiCodePage = FitsAnsiCodePage;

    Resolved settings = vormo_package::Resolve(request);
    if (!settings.refusal.empty()) return Fail(install, settings.refusal);
    std::wstring folder;
    if (!PackageFolder(install, &folder))
        return Fail(install, L"INSTALLDIR is refused: the package's folder must be a path of at most " +
                                 NumberText(MAX_PATH - kProgramNameRoom) +
                                 L" characters without quotes or control characters. Nothing was changed.");

    for (int i = 0; i < kSettingCount; ++i)
        MsiSetPropertyW(install, kRememberProperties[i], settings.values[i].c_str());
    const std::wstring args = vormo_package::InstallerArguments(settings, removal);
    MsiSetPropertyW(install, kArgumentsProperty, args.c_str());

    if (removal) {
        MsiSetPropertyW(install, kRunUninstaller,
                        (folder + L"\n" + args + L"\n" + (settings.ignoreErrors ? L"1" : L"0")).c_str());
        Log(install, L"Vormo: the removal runs Install.exe " + args + L".");
        return ERROR_SUCCESS;
    }
    MsiSetPropertyW(install, kSecureIniFile, folder.c_str());
    if (request.kind == RunKind::Maintenance && !settings.redeploy) {
        Log(install,
            L"Vormo: the package is installed already: its files are repaired and Install.exe is not run "
            L"(REDEPLOY=1 runs it again).");
        return ERROR_SUCCESS;
    }
    const std::wstring data = folder + L"\n" + args;
    if (settings.skipCheck) {
        Log(install, L"Vormo: SKIPCHECK=1: no pre-flight check before Install.exe.");
    } else {
        MsiSetPropertyW(install, kCheckBeforeInstall, data.c_str());
    }
    MsiSetPropertyW(install, kRunInstaller, data.c_str());
    Log(install, args.empty() ? std::wstring(L"Vormo: the installation runs Install.exe without arguments.")
                              : L"Vormo: the installation runs Install.exe " + args + L".");
    return ERROR_SUCCESS;
}

UINT CheckFirst(MSIHANDLE install) {
    std::vector<std::wstring> data = ActionData(install);
    if (data.size() != 2) return Fail(install, L"The pre-flight check got no data from the package.");
    DWORD code = 0;
    std::wstring problem;
    if (!Run(install, data[0], kCheckExe, data[1], true, &code, &problem))
        return Fail(install, L"The pre-flight check VormoCheck.exe did not run: " + problem +
                                 L". Install.exe was not run. SKIPCHECK=1 installs without the check.");
    if (code == kCheckClean || code == kCheckWarnings) {
        Log(install, code == kCheckClean ? L"Vormo: the pre-flight check found nothing in the way."
                                         : L"Vormo: the pre-flight check found warnings only (the lines of "
                                           L"VormoCheck.exe above); the installation goes on.");
        return ERROR_SUCCESS;
    }
    return Fail(install,
                std::wstring(code == kCheckErrors ? L"The pre-flight check found errors"
                                                  : L"The pre-flight check could not judge the machine") +
                    L" (VormoCheck.exe exit code " + ExitCodeText(code) +
                    L"; its findings are in the Windows "
                    L"Installer log, in the lines that begin with \"VormoCheck.exe:\"). Install.exe was not run; "
                    L"the package's files are rolled back. Mend what it names, or give SKIPCHECK=1 to install "
                    L"without the check.");
}

UINT Install(MSIHANDLE install) {
    std::vector<std::wstring> data = ActionData(install);
    if (data.size() != 2) return Fail(install, L"Install.exe got no data from the package.");
    DWORD code = 0;
    std::wstring problem;
    if (!Run(install, data[0], kInstallExe, data[1], false, &code, &problem))
        return Fail(install, L"Install.exe did not run: " + problem + L".");
    if (code == 0) return ERROR_SUCCESS;
    return Fail(install, L"Install.exe failed (exit code " + ExitCodeText(code) +
                             L"); its install log says where it "
                             L"stopped. The package's files are rolled back.");
}

UINT Uninstall(MSIHANDLE install) {
    std::vector<std::wstring> data = ActionData(install);
    if (data.size() != 3) return Fail(install, L"Install.exe -u got no data from the package.");
    const bool ignoreErrors = data[2] == L"1";
    DWORD code = 0;
    std::wstring problem;
    bool ran = Run(install, data[0], kInstallExe, data[1], false, &code, &problem);
    if (ran && code == 0) return ERROR_SUCCESS;
    const std::wstring what = ran ? L"Install.exe -u failed (exit code " + ExitCodeText(code) + L")"
                                  : L"Install.exe -u did not run: " + problem;
    if (ignoreErrors) {
        Log(install, L"Vormo: " + what + L"; IGNOREERRORS=1: the package is removed all the same.");
        return ERROR_SUCCESS;
    }
    return Fail(install, what +
                             L". The package stays installed. Mend the cause and remove it again, or remove it "
                             L"with IGNOREERRORS=1, which leaves what Install.exe -u could not remove behind.");
}

UINT Secure(MSIHANDLE install) {
    std::vector<std::wstring> data = ActionData(install);
    if (data.size() != 1 || data[0].empty())
        return Fail(install, L"The INI file's protection got no data from the package.");
    std::wstring path = data[0] + kIniFileName;
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        Log(install, L"Vormo: no " + std::wstring(kIniFileName) + L" in the package's folder to protect.");
        return ERROR_SUCCESS;
    }
    LocalBlock descriptor;
    if (!AdministratorsOnly(&descriptor))
        return Fail(install,
                    L"The permissions of " + path + L" could not be made (error " + NumberText(GetLastError()) + L").");
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted) || !present || !dacl)
        return Fail(install, L"The permissions of " + path + L" could not be made.");
    DWORD error =
        SetNamedSecurityInfoW(&path[0], SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, dacl, nullptr);
    if (error != ERROR_SUCCESS)
        return Fail(install, L"The permissions of " + path + L" could not be set (error " + NumberText(error) +
                                 L"): it would stay readable by every user. The package's files are rolled back.");
    Log(install, L"Vormo: " + path + L" is readable by Administrators and SYSTEM only.");
    return ERROR_SUCCESS;
}

}  // namespace

// The entry points, undecorated (-Wl,--kill-at) as the CustomAction table names them.
extern "C" {
__declspec(dllexport) UINT __stdcall PrepareRuns(MSIHANDLE install) { return Prepare(install); }
__declspec(dllexport) UINT __stdcall RunUninstaller(MSIHANDLE install) { return Uninstall(install); }
__declspec(dllexport) UINT __stdcall SecureIniFile(MSIHANDLE install) { return Secure(install); }
__declspec(dllexport) UINT __stdcall CheckBeforeInstall(MSIHANDLE install) { return CheckFirst(install); }
__declspec(dllexport) UINT __stdcall RunInstaller(MSIHANDLE install) { return Install(install); }
}
