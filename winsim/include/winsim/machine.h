// winsim's machine model: a simulated Windows machine kept in a folder.
//
//   DIR/machine.conf    the machine's description (key=value lines)
//   DIR/faults          injected failures, one rule per line (see faults below)
//   DIR/drive_c/        drive C:, names matched without regard to case
//   DIR/attributes      file attributes that the Linux file system cannot keep
//   DIR/registry/HKLM/  the registry: one folder per key, its values in values.reg
//   DIR/registry/HKCU/
//   DIR/servers/NAME/   print servers the machine knows, each with a registry of its own
//   DIR/journal.log     what leaves no other trace: processes, events, Xcv commands
//   DIR/staging/        winsim's own files while they are written or deleted, one
//                       folder per process (see CleanStaging in internal.h)
//   DIR/changes         a count of the changes made to the machine (8 bytes), which
//                       tells each process when what it keeps of the folder is stale
//
// Every change reaches the disk before the API call that made it returns; files
// are written to a temporary name in DIR/staging/ and renamed into place (a file
// that a program copies is written in place, as on Windows).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "winsim/api.h"

namespace winsim {

// ---- machine --------------------------------------------------------------

struct MachineConfig {
    std::string os = "7-x64";  // the name given to `winsim new --os`
    DWORD major = 6, minor = 1, build = 7601, platform = VER_PLATFORM_WIN32_NT;
    BYTE productType = VER_NT_WORKSTATION;
    bool is64 = true;              // 64-bit Windows: a 32-bit process runs under WOW64
    UINT codePage = 1252;          // the ANSI code page
    std::string computerName = "WINSIM";
    DWORD stopperExitCode = 0;     // exit code of the client stopper
    std::map<std::string, std::string> env;  // environment variables (COMSPEC ...)
    std::vector<std::string> servers;        // print servers the machine knows ("\\NAME")
};

// Opens the machine in DIR for this process: reads its description and its
// faults. Returns false, with the reason in *error ("DIR/faults:3: ..."), when
// DIR holds no machine or a line of machine.conf or faults does not parse; the
// form without error prints the reason to standard error.
bool OpenMachine(const std::string& dir, std::string* error);
bool OpenMachine(const std::string& dir);
// Forgets the open machine (handles still open are reported by OpenHandleCount).
void CloseMachine();
bool MachineIsOpen();
const std::string& MachineDir();
MachineConfig& Config();
bool SaveConfig();
// Reads a machine description; false when the file is missing or a line does
// not parse (the reason in *error).
bool LoadConfig(const std::string& dir, MachineConfig* config, std::string* error = nullptr);
bool WriteConfig(const std::string& dir, const MachineConfig& config);

// The process state that Windows keeps per process.
struct ProcessState {
    std::string currentDirectory = "C:\\";
    bool redirectionDisabled = false;
    DWORD lastError = 0;
};
ProcessState& Process();

// ---- faults ---------------------------------------------------------------
// One rule per line of DIR/faults (an argument with blanks in double quotes):
//   FUNCTION ARGUMENT ERROR [COUNT]  the next COUNT calls (all, when COUNT is
//                                    absent) of FUNCTION whose argument matches
//                                    ARGUMENT (without regard to case; "*"
//                                    matches any) fail with ERROR
//   missing MODULE EXPORT            GetProcAddress answers NULL for the export;
//                                    with the export InitializePrintMonitor2
//                                    (any DLL), the spooler finds no monitor
//                                    in the DLL
//   delay CreateMutexA MS [COUNT]    a new owner of a named mutex keeps it MS
//                                    milliseconds before going on
// FUNCTION is one of the fault points winsim has (FaultPoints()), spelled
// exactly; ERROR and MS are numbers (decimal or 0x...), COUNT a number of
// at least 1. A rule that names no fault point, or whose numbers do not
// parse, is refused.
struct FaultRule {
    std::string function, argument;
    DWORD error = 0;
    long remaining = -1;  // -1: every call
};
// The functions that take fault rules ("Xcv:AddPort" for the stand-in
// monitor's answer, "RegOpenKeyExA:KEY_WOW64_32KEY" for an explicit view ...).
std::vector<std::string> FaultPoints();
// Adds a rule in-process; a rule winsim could never apply (an unknown
// function, a count below 1 other than -1) ends the process with a message,
// so that no test silently tests nothing.
void AddFault(const std::string& function, const std::string& argument, DWORD error, long count = -1);
void ClearFaults();
// True when a rule applies to this call; its error goes to *error.
bool TakeFault(const std::string& function, const std::string& argument, DWORD* error);
// True when any fault rule is set: a call that is made very often asks this
// first, before it spells out its arguments for TakeFault.
bool AnyFaultRules();
bool ExportMissing(const std::string& module, const std::string& name);
// Parses one line of a faults file. A blank line or a comment adds nothing;
// false, with the reason in *error, for a line that is no rule.
bool ParseFaultLine(const std::string& line, std::vector<FaultRule>* rules,
                    std::vector<std::pair<std::string, std::string>>* missing, std::string* error);

// ---- journal --------------------------------------------------------------
void Journal(const std::string& line);
std::string ReadJournal();

// ---- last error helpers ---------------------------------------------------
inline BOOL Fail(DWORD error) {
    Process().lastError = error;
    return FALSE;
}
inline void SetError(DWORD error) { Process().lastError = error; }

// ---- handles --------------------------------------------------------------
struct Object {
    explicit Object(const char* k) : kind(k) {}
    virtual ~Object() = default;
    const char* kind;
};
HANDLE NewHandle(std::unique_ptr<Object> object);
// The object behind a handle, when it is of that kind.
Object* LookupHandle(HANDLE h, const char* kind);
template <class T>
T* Lookup(HANDLE h) {
    return static_cast<T*>(LookupHandle(h, T::Kind));
}
bool ReleaseHandle(HANDLE h, const char* kind);
size_t OpenHandleCount();
size_t OpenBlockCount();  // GlobalAlloc blocks not yet freed
std::vector<std::string> OpenHandleKinds();

// ---- text -----------------------------------------------------------------
// Names compare as Windows compares them: without regard to case in the ANSI
// code page (Windows-1252), where a-z, the accented letters and s, z, o-e and
// y with their marks have an upper-case partner and nothing else has. Lower
// folds a name to the form in which equal names are equal strings.
std::string Lower(const std::string& s);
bool EqualNoCase(const std::string& a, const std::string& b);
std::string Trim(const std::string& s);
// ANSI <-> UTF-8 for display, in the machine's code page.
std::string AnsiToUtf8(const std::string& s);
std::string Utf16ToUtf8(const std::u16string& s);
std::u16string AnsiToUtf16(const std::string& s, UINT codePage);
std::string Utf16ToAnsi(const std::u16string& s);

// ---- files ----------------------------------------------------------------
// Makes a Windows path absolute against the current directory, strips the
// "\\?\" prefix, folds "." and "..", and turns "/" into "\". Returns an empty
// string for a path that names no place on drive C:.
std::string AbsoluteWinPath(const std::string& path);
// Applies System32 redirection for a 32-bit process on 64-bit Windows.
std::string Redirect(const std::string& absWinPath);
// The host path of an absolute Windows path: existing components are found
// without regard to case, the rest keep the case given.
std::string HostPath(const std::string& absWinPath);
// AbsoluteWinPath + Redirect + HostPath; empty when the path is not on C:.
std::string MapPath(const std::string& path);
DWORD StoredAttributes(const std::string& hostPath);  // 0 when none stored
void StoreAttributes(const std::string& hostPath, DWORD attributes);
void ForgetAttributes(const std::string& hostPath);  // a file and everything below it
// Writes a whole file atomically (temporary file, then rename).
bool WriteFileAtomic(const std::string& hostPath, const std::string& content);
bool ReadWholeFile(const std::string& hostPath, std::string* content);
// Tells winsim that a file of the machine was made by other means than its
// own calls (the install log, opened for appending).
void NoteNewFile(const std::string& hostPath);
// Tells winsim that the machine folder was changed by other means than its
// calls while the machine is open (a test putting a machine back as it was):
// every process of the machine lets go of what it keeps of the folder.
void MachineChangedOutside();

// ---- registry -------------------------------------------------------------
// A hive is a folder below the machine folder: "registry/HKLM",
// "registry/HKCU" or a server's "servers/NAME/registry/HKLM".
struct RegValue {
    DWORD type = REG_NONE;
    std::string data;  // raw bytes
};
namespace reg {
std::string HiveDir(const std::string& hive);
bool KeyExists(const std::string& hive, const std::string& path);
bool CreateKey(const std::string& hive, const std::string& path);
// A key and everything below it; a damaged key (see DamagedKey) goes too,
// a link as a link.
bool DeleteTree(const std::string& hive, const std::string& path);
// True when a link of the host stands in the registry in the key's place, or
// in place of its values file: such a key is no key (it does not open, is
// not listed), is never followed, and can only be deleted.
bool DamagedKey(const std::string& hive, const std::string& path);
std::vector<std::string> Subkeys(const std::string& hive, const std::string& path);
// The index-th of Subkeys' names, without copying the others; false past the end.
bool SubkeyAt(const std::string& hive, const std::string& path, size_t index, std::string* name);
// A key's values live in its values.reg, in regedit's text (README, winsim).
// A value winsim does not change keeps its lines there byte for byte. A
// values.reg that does not parse is never guessed at nor rewritten: the calls
// for that key's values fail with ERROR_REGISTRY_CORRUPT in *error (the
// first time in the process, standard error says "FILE:LINE: reason"). A
// missing key or value gives ERROR_FILE_NOT_FOUND; a file that cannot be
// written ERROR_ACCESS_DENIED.
bool GetValue(const std::string& hive, const std::string& path, const std::string& name, RegValue* value,
              DWORD* error = nullptr);
std::vector<std::pair<std::string, RegValue>> Values(const std::string& hive, const std::string& path,
                                                     DWORD* error = nullptr);
bool SetValue(const std::string& hive, const std::string& path, const std::string& name, const RegValue& value,
              DWORD* error = nullptr);
// Sets several values of one key with one write of its values.reg.
bool SetValues(const std::string& hive, const std::string& path,
               const std::vector<std::pair<std::string, RegValue>>& values, DWORD* error = nullptr);
bool DeleteValue(const std::string& hive, const std::string& path, const std::string& name, DWORD* error = nullptr);
// Hands the values of every subkey of a key to visit, subkey by subkey in
// the order of Subkeys (a damaged subkey is left out, one whose values do not
// parse has none): the key's path is walked once for them all, and the values
// are lent, not copied (valid during the call).
struct ValueRef {
    const std::string* name;
    const RegValue* value;
};
void ForEachSubkeyValues(const std::string& hive, const std::string& path,
                         const std::function<void(const std::string& subkey, const std::vector<ValueRef>& values)>& visit);
// Every values.reg of the machine (its own registry and its servers') that
// does not parse, as "FILE:LINE: reason".
std::vector<std::string> DamagedValueFiles();
RegValue Sz(const std::string& text);        // REG_SZ with its terminator
RegValue Dword(DWORD value);
std::string SzText(const RegValue& value);   // the text up to the first zero
DWORD DwordOf(const RegValue& value, DWORD fallback = 0);
// The path a 32-bit process reaches for HKLM\path with the given view flags.
std::string ViewPath(const std::string& hive, const std::string& path, REGSAM access);
// regedit-style text of one key and everything below it.
std::string Export(const std::string& hive, const std::string& path, const std::string& rootLabel);
}  // namespace reg

// ---- building machines ----------------------------------------------------
struct NewPrinter {
    std::string name, ports = "LPT1:";
    DWORD attributes = PRINTER_ATTRIBUTE_LOCAL;
    // The rest of the printer's definition, as a freshly added printer has it.
    std::string driver = "Generic / Text Only", printProcessor = "winprint", datatype = "RAW";
    std::string shareName = "", comment = "", location = "", separatorFile = "", parameters = "";
    DWORD priority = 1, defaultPriority = 0, startTime = 0, untilTime = 0;
};
// A key of the machine's registry with values: hive "registry/HKLM" or
// "registry/HKCU", the path below it.
struct NewRegistryKey {
    std::string hive, path;
    std::vector<std::pair<std::string, RegValue>> values;
};
// A monitor of the spooler and its ports (keys below Monitors\NAME\Ports,
// with the values each holds, such as the stand-in monitor's "Record"). A
// monitor that is not registered (no "Driver") is no monitor the spooler
// lists, only the key its ports are kept under.
struct NewMonitor {
    std::string name;
    bool registered = true;
    std::string environment, driver;
    std::vector<NewRegistryKey> ports;  // the hive is not used; the path is the port's name
};
// A file or folder on drive C:; a file's content is a placeholder of zeros.
struct NewFile {
    std::string path;  // absolute Windows path
    bool folder = false;
    uint64_t size = 0;
    bool readOnly = false;
};
struct NewOptions {
    std::string os = "7-x64";
    bool dotNet = true;
    std::string distSource;  // a folder laid into C:\Dist ("" for none)
    std::vector<NewPrinter> printers;
    std::vector<std::string> servers;
    // A machine as a capture describes it (winsim new --from). With captured
    // set, the version below replaces os's, the monitors replace the standard
    // local monitor and its ports, and the keys are laid in place of the
    // values that they describe (the .NET Framework's, ProgramFilesDir, the
    // Run keys): none of those is laid by default.
    bool captured = false;
    DWORD platform = 0, major = 0, minor = 0, build = 0;
    BYTE productType = 0;
    bool is64 = false;
    std::vector<NewMonitor> monitors;
    std::vector<NewRegistryKey> keys;
    std::vector<NewFile> files;
};
// Known names for --os; false for an unknown name.
bool ApplyOsName(const std::string& name, MachineConfig* config);
std::vector<std::string> OsNames();
// Makes a fresh machine in DIR (which must not hold one yet).
bool CreateMachine(const std::string& dir, const NewOptions& options, std::string* error);
// Reads a capture (VormoCheck --capture) into the options of the machine it
// describes. False, with the reason in *error, for a document that is no
// capture winsim can rebuild: malformed, of another format, a member of the
// wrong type or out of bounds, a name or path that no machine could hold.
bool ReadCapture(const std::string& text, NewOptions* options, std::string* error);
// Makes in DIR the machine that the capture in a host file describes, with
// the other options as given (the distribution, print servers). DIR must be
// a new or an empty folder: a capture that is refused makes nothing, and a
// rebuild that fails half-way takes away what it made (the reason, naming
// the file, in *error).
enum class Rebuild { kMade, kRefused, kFailed };
Rebuild RebuildMachine(const std::string& dir, const std::string& captureFile, NewOptions options,
                       std::string* error);
// Copies a host folder tree into the machine at a Windows path.
bool LayFolder(const std::string& hostSource, const std::string& winTarget);

// The registry paths where the spooler keeps its state.
extern const char* const kPrintKey;     // SYSTEM\CurrentControlSet\Control\Print
extern const char* const kMonitorsKey;  // ...\Print\Monitors
extern const char* const kPrintersKey;  // ...\Print\Printers

// The machine as `winsim show` prints it.
std::string ShowMachine();

}  // namespace winsim
