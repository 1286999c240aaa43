// The capture of a machine (VormoCheck --capture) and its rebuild (winsim new
// --from): random machines made with winsim's API come back from their
// capture as machines whose capture is the same document, byte for byte; a
// capture that is no capture winsim can rebuild is refused, naming the file
// and the reason, and nothing is written outside the folder of the machine.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "support/machine.h"
#include "winsim/machine.h"
#include "winsim/spooler.h"
#include "wire/port_fields.h"

using nlohmann::json;
using testing_support::NewMachineDir;
using testing_support::RemoveTree;
using testing_support::RunHostProgram;
using testing_support::RunResult;

namespace {

// The capture of a machine folder, as `winsim run DIR VormoCheck.exe
// --capture` writes it into the machine; empty when it failed.
std::string Capture(const std::string& dir, bool secrets) {
    std::vector<std::string> args = {"--capture", "C:\\capture.json"};
    if (secrets) args.push_back("--secrets");
    RunResult r = RunHostProgram(CHECK_BINARY, dir, args, "C:\\Dist\\VormoCheck.exe");
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    std::string text;
    winsim::ReadWholeFile(dir + "/drive_c/capture.json", &text);
    ::unlink((dir + "/drive_c/capture.json").c_str());
    return text;
}

// `winsim new DIR --from FILE`, run in the scratch folder.
RunResult Rebuild(const std::string& scratch, const std::string& dir, const std::string& file) {
    return RunHostProgram(WINSIM_BINARY, scratch, {"new", dir, "--from", file}, "winsim");
}

std::string TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/capture-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    EXPECT_NE(::mkdtemp(buffer.data()), nullptr);
    return buffer.data();
}

std::set<std::string> Listing(const std::string& dir) {
    std::set<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) names.insert(e->d_name);
        ::closedir(d);
    }
    return names;
}

// ---- random machines ----------------------------------------------------------

class Generator {
public:
    explicit Generator(unsigned seed) : random_(seed) {}

    int Int(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
    bool Chance(int percent) { return Int(1, 100) <= percent; }
    DWORD Number() { return Chance(50) ? static_cast<DWORD>(Int(0, 9)) : static_cast<DWORD>(random_()); }

    // A name of 1 to 12 characters of the code page, some of them what a
    // store of files might take for something else ("/", "%", ".", "..").
    std::string Name() {
        static const std::vector<std::string> hostile = {"..", ".", "values.reg", "a/b", "%2F", "con", "x.tmp.1"};
        if (Chance(15)) return hostile[static_cast<size_t>(Int(0, static_cast<int>(hostile.size()) - 1))];
        static const char kChars[] = "abcXYZ019 _-.%/'\"!\xe9\xdf\x80\x81\xff\x9c";
        std::string name;
        for (int n = Int(1, 12); n > 0; --n) name += kChars[Int(0, sizeof kChars - 2)];
        return name;
    }
    // A name unique among those given before (without regard to case).
    std::string Unique(std::set<std::string>* taken) {
        for (;;) {
            std::string name = Name();
            if (taken->insert(winsim::Lower(name)).second) return name;
        }
    }
    // A file name: no character that Windows refuses in one, no "." or "..".
    std::string FileName(std::set<std::string>* taken) {
        for (;;) {
            std::string name = Unique(taken);
            if (name != "." && name != ".." && name.find_first_of("/\"") == std::string::npos) return name;
        }
    }
    std::string Text() {
        static const char kChars[] = "ab ,:;=\\\"%\xe4\xb5\x81";
        std::string text;
        for (int n = Int(0, 20); n > 0; --n) text += kChars[Int(0, sizeof kChars - 2)];
        return text;
    }

    winsim::RegValue Value(bool authText) {
        winsim::RegValue v;
        switch (Int(0, 6)) {
            case 0:
                v = winsim::reg::Sz(Text());
                break;
            case 1:
                v = winsim::reg::Sz(Text());
                v.type = REG_EXPAND_SZ;
                break;
            case 2:
                v = winsim::reg::Dword(Number());
                break;
            case 3:
                v.type = REG_SZ;
                v.data = Text();
                break;  // no terminator
            default:
                v.type = static_cast<DWORD>(Int(0, 11));
                for (int n = Int(0, 9); n > 0; --n) v.data += static_cast<char>(Int(0, 255));
        }
        if (authText && Chance(50)) v = winsim::reg::Sz("secret " + Text());
        return v;
    }

    // A port record: the installer's kind (fields whole), or bytes it would
    // not write (a string without its end, bytes after one, another size).
    winsim::RegValue Record(const std::string& port) {
        PortRecord r;
        std::memset(&r, 0, sizeof r);
        for (const PortField& f : kPortFields) {
            if (f.kind == PortFieldKind::Number) {
                *NumberIn(&r, f) = Chance(70) ? f.numberDefault : Number();
                continue;
            }
            std::string text = Chance(60) ? std::string(f.textDefault) : Text();
            std::u16string wide = winsim::AnsiToUtf16(text, 1252);
            // A lone surrogate, which no text of the capture can hold.
            if (f.recordOffset == 0 && Chance(10)) wide = std::u16string(1, static_cast<char16_t>(Int(0xD800, 0xDFFF)));
            std::memcpy(TextIn(&r, f), wide.data(), wide.size() * 2);
        }
        std::u16string name = winsim::AnsiToUtf16(port.substr(0, kPortNameSize - 1), 1252);
        std::memcpy(r.PortName, name.data(), name.size() * 2);
        winsim::RegValue v;
        v.type = REG_BINARY;
        v.data.assign(reinterpret_cast<const char*>(&r), sizeof r);
        if (Chance(10)) v.data[static_cast<size_t>(Int(0, 519))] |= 1;  // in Description, beyond its end
        if (Chance(5)) v.data.resize(static_cast<size_t>(Int(0, 6000)));
        if (Chance(5)) v.type = REG_NONE;
        return v;
    }

    // The machine's making options: a Windows, the .NET Framework or not,
    // printers of every kind of definition.
    winsim::NewOptions Options() {
        winsim::NewOptions o = testing_support::TempMachine::DefaultOptions();
        static const char* const kOs[] = {"7-x64", "7-x86", "xp", "2003-x64", "8.1-x64", "2012r2-x64", "98"};
        o.os = kOs[Int(0, 6)];
        o.dotNet = Chance(70);
        std::set<std::string> printers;
        for (int p = Int(0, 5); p > 0; --p) {
            winsim::NewPrinter printer;
            printer.name = Unique(&printers);
            printer.ports = Chance(50) ? "LPT1:" : Text();
            printer.attributes = Chance(50) ? PRINTER_ATTRIBUTE_LOCAL : Number();
            printer.driver = Text();
            printer.comment = Text();
            printer.priority = Number();
            printer.untilTime = Number();
            o.printers.push_back(printer);
        }
        return o;
    }

    // The rest through the Windows API of the open machine: its version, the
    // keys the capture takes (both registry views), monitors with port keys
    // and records, the product's files and folders.
    void Populate() {
        winsim::MachineConfig& config = winsim::Config();
        config.build = Number();
        config.productType = static_cast<BYTE>(Int(0, 3));
        winsim::SaveConfig();
        REGSAM native = config.is64 ? KEY_WOW64_64KEY : 0;
        auto set = [&](HKEY root, const std::string& path, const std::string& name, const winsim::RegValue& v) {
            platform::RegKey key;
            ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | native, nullptr, key.out(),
                                      nullptr),
                      ERROR_SUCCESS)
                << path;
            if (name.empty()) return;
            ASSERT_EQ(RegSetValueExA(key.get(), name.c_str(), 0, v.type, reinterpret_cast<const BYTE*>(v.data.data()),
                                     static_cast<DWORD>(v.data.size())),
                      ERROR_SUCCESS);
        };
        std::vector<std::string> roots = {"SOFTWARE\\Oxlen Corporation",
                                          "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\VormoPort"};
        if (config.is64) roots.push_back("SOFTWARE\\Wow6432Node\\Oxlen Corporation");
        for (const auto& root : roots) {
            std::set<std::string> subkeys;
            for (int k = Int(0, 3); k > 0; --k) {
                std::string path = root;
                if (Chance(70)) path += "\\" + Unique(&subkeys) + (Chance(50) ? "\\" + Name() : "");
                set(HKEY_LOCAL_MACHINE, path, "", winsim::RegValue());
                std::set<std::string> names;
                for (int v = Int(0, 4); v > 0; --v) {
                    std::string name = Chance(20) ? "AuthText" : Name();
                    if (names.insert(winsim::Lower(name)).second)
                        set(HKEY_LOCAL_MACHINE, path, name, Value(name == "AuthText"));
                }
            }
        }
        if (Chance(30))
            set(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "Vormo Client",
                winsim::reg::Sz("\"C:\\x\\Vormo Client.exe\""));
        if (Chance(50))
            set(HKEY_CURRENT_USER, "Volatile Environment\\" + std::to_string(Int(0, 3)) + "\\Oxlen Vormo Client",
                "LastJobOwner", winsim::reg::Sz(Text()));
        // Monitors: the two of the product, and another.
        std::set<std::string> ports = {
            "com1:", "com2:", "com3:", "com4:", "file:", "lpt1:", "lpt2:", "lpt3:", "nul:", "portprompt:"};
        const std::string monitors = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\";
        for (const std::string& monitor : {std::string("Vormo"), std::string("VormoE"), Name()}) {
            if (Chance(40)) continue;
            set(HKEY_LOCAL_MACHINE, monitors + monitor, Chance(80) ? "Driver" : "", winsim::reg::Sz(Text()));
            for (int p = Int(0, 4); p > 0; --p) {
                std::string port = Unique(&ports);
                set(HKEY_LOCAL_MACHINE, monitors + monitor + "\\Ports\\" + port, Chance(80) ? "Record" : "",
                    Record(port));
            }
        }
        // Files: the product's in the system directories, a tree below Program Files.
        auto file = [&](const std::string& path, size_t size, bool readOnly) {
            ASSERT_TRUE(winsim::WriteFileAtomic(winsim::MapPath(path), std::string(size, 'x'))) << path;
            if (readOnly) {
                ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
            }
        };
        Wow64DisableWow64FsRedirection(nullptr);
        for (const char* name : {"VORMOVS.DLL", "VORMO64UI.DLL", "VormoEvent.dll", "VORMOE64.DLL"}) {
            if (Chance(40))
                file(std::string("C:\\Windows\\") + (config.is64 && Chance(50) ? "SysWOW64\\" : "System32\\") + name,
                     static_cast<size_t>(Int(0, 5000)), Chance(20));
        }
        std::string folder = config.is64 ? "C:\\Program Files (x86)\\Oxlen" : "C:\\Program Files\\Oxlen";
        if (Chance(20)) return;
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
        std::set<std::string> names;
        for (int f = Int(0, 6); f > 0; --f) {
            std::string path = folder + "\\" + FileName(&names);
            if (Chance(60)) {
                file(path, static_cast<size_t>(Int(0, 5000)), Chance(20));
                continue;
            }
            ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path;
            if (Chance(50)) file(path + "\\" + FileName(&names), 7, false);
        }
    }

private:
    std::mt19937 random_;
};

}  // namespace

// Capture, rebuild, capture again: the same document, with and without the
// secrets; some of the machines first get an installation of the sample
// distribution, some an uninstallation after it.
TEST(Capture, RandomMachinesComeBackFromTheirCaptureAsTheSameDocument) {
    const int kCases = 30;
    std::string scratch = TempDir();
    for (int c = 0; c < kCases; ++c) {
        SCOPED_TRACE("case " + std::to_string(c));
        Generator g(static_cast<unsigned>(1000 + c));
        std::string first = NewMachineDir(g.Options());
        ASSERT_TRUE(winsim::OpenMachine(first));
        g.Populate();
        winsim::CloseMachine();
        ASSERT_FALSE(HasFatalFailure());
        if (g.Chance(30)) testing_support::RunInstaller(first, {"-e"});
        if (g.Chance(20)) testing_support::RunInstaller(first, {"-u"});
        bool secrets = g.Chance(50);
        std::string capture = Capture(first, secrets);
        ASSERT_FALSE(capture.empty());
        std::string file = scratch + "/capture.json", second = scratch + "/rebuilt";
        ASSERT_TRUE(winsim::WriteFileAtomic(file, capture));
        RunResult r = Rebuild(scratch, second, file);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        std::string again = Capture(second, secrets);
        EXPECT_EQ(capture, again) << "first capture: " << capture;
        // Nothing outside the machine's folder: the scratch folder holds the
        // capture and the machine, and the rebuilt machine nothing else.
        EXPECT_EQ(Listing(scratch), (std::set<std::string>{".", "..", "capture.json", "rebuilt"}));
        const std::set<std::string> machine = {".",      "..",          "attributes",   "changes",  "drive_c",
                                               "faults", "journal.log", "machine.conf", "registry", "staging"};
        for (const auto& name : Listing(second)) EXPECT_EQ(machine.count(name), 1u) << name;
        RemoveTree(first);
        RemoveTree(second);
        if (HasFatalFailure() || HasNonfatalFailure()) break;
    }
    RemoveTree(scratch);
}

// Captures that winsim refuses, each with the member and the reason, the file
// named, exit code 2 and no folder made.
TEST(Capture, CapturesThatAreNoCaptureAreRefusedAndMakeNothing) {
    std::string scratch = TempDir();
    winsim::NewOptions options = testing_support::TempMachine::DefaultOptions();
    options.printers.push_back({"Office Laser", "LPT1:", PRINTER_ATTRIBUTE_LOCAL});
    std::string machine = NewMachineDir(options);
    testing_support::RunInstaller(machine, {});
    const json base = json::parse(Capture(machine, false));
    RemoveTree(machine);
    struct Case {
        const char* what;
        std::function<void(json*)> change;  // null: the text below is the capture
        const char* text;
        const char* reason;
    };
    auto record = [](json* d) -> json& {
        for (auto& p : (*d)["ports"])
            if (p.contains("record")) return p["record"];
        return (*d)["ports"][0]["record"];
    };
    auto key = [](json* d, const std::string& path) -> json& {
        for (auto& k : (*d)["registry"])
            if (k["key"] == path) return k;
        return (*d)["registry"][0];
    };
    const std::vector<Case> cases = {
        {"no JSON", nullptr, "{\"format\": 1,", "the document: no JSON document (malformed)"},
        {"not an object", nullptr, "[1]", "the document: no capture: it has no format number"},
        {"another format", [](json* d) { (*d)["format"] = 2; }, nullptr,
         "format: format 2 is not the capture format 1"},
        {"a format as text", [](json* d) { (*d)["format"] = "1"; }, nullptr, "format: format \"1\" is not"},
        {"a member missing", [](json* d) { d->erase("files"); }, nullptr,
         "the document: the member \"files\" is missing"},
        {"an unknown member", [](json* d) { (*d)["extra"] = 1; }, nullptr, "the document: an unknown member \"extra\""},
        {"a number as text", [](json* d) { (*d)["windows"]["major"] = "6"; }, nullptr,
         "windows.major: a whole number from 0 to 4294967295 expected"},
        {"a negative number", [](json* d) { (*d)["printers"][0]["priority"] = -1; }, nullptr,
         "printers[0].priority: a whole number"},
        {"a number too large", [](json* d) { (*d)["windows"]["productType"] = 256; }, nullptr,
         "windows.productType: a whole number from 0 to 255 expected"},
        {"a fraction", [](json* d) { (*d)["windows"]["build"] = 7601.5; }, nullptr, "windows.build: a whole number"},
        {"another code page", [](json* d) { (*d)["windows"]["codePage"] = 932; }, nullptr,
         "windows.codePage: winsim models the code page 1252 only"},
        {"a character outside the code page", [](json* d) { (*d)["printers"][0]["comment"] = "\xe4\xb8\xad"; }, nullptr,
         "printers[0].comment: a character outside the code page 1252"},
        {"a zero character", [](json* d) { (*d)["printers"][0]["driver"] = std::string("a\0b", 3); }, nullptr,
         "printers[0].driver: a zero character"},
        {"a printer name with a backslash", [](json* d) { (*d)["printers"][0]["name"] = "..\\..\\x"; }, nullptr,
         "printers[0].name: a backslash in a name"},
        {"a printer name with a comma", [](json* d) { (*d)["printers"][0]["name"] = "a,b"; }, nullptr,
         "printers[0].name: a comma in a name"},
        {"a printer named twice", [](json* d) { (*d)["printers"].push_back((*d)["printers"][0]); }, nullptr,
         "printers[1].name: a printer named twice"},
        {"a name too long", [](json* d) { (*d)["monitors"][0]["name"] = std::string(256, 'm'); }, nullptr,
         "monitors[0].name: longer than 255 characters"},
        {"a port named twice",
         [](json* d) {
             (*d)["ports"].push_back({{"name", "lpt1:"}, {"monitor", "x"}});
         },
         nullptr, "a port named twice"},
        {"a port without its monitor", [](json* d) { (*d)["ports"][0].erase("monitor"); }, nullptr,
         "ports[0]: the member \"monitor\" is missing"},
        {"a record field unknown", [&](json* d) { record(d)["fields"]["Port"] = 1; }, nullptr,
         "record.fields.Port: no field of a port record"},
        {"a record text too long", [&](json* d) { record(d)["fields"]["Queue"] = std::string(260, 'q'); }, nullptr,
         "record.fields.Queue: longer than 259 characters"},
        {"record bytes that are no hex",
         [&](json* d) {
             record(d) = {{"type", 3}, {"hex", "0g"}};
         },
         nullptr, "record.hex: pairs of hex digits expected"},
        {"a key outside the hives", [](json* d) { (*d)["registry"][0]["key"] = "HKU\\x"; }, nullptr,
         "registry[0].key: a key below HKLM\\ or HKCU\\ expected"},
        {"an empty key name", [](json* d) { (*d)["registry"][0]["key"] = "HKLM\\SOFTWARE\\\\x"; }, nullptr,
         "registry[0].key: an empty name"},
        {"a value name with a line break",
         [&](json* d) {
             key(d, "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion")["values"]["a\nb"] = {{"dword", 1}};
         },
         nullptr, "a control character in a value name"},
        {"a value of no form",
         [&](json* d) {
             key(d, "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion")["values"]["x"] = {{"qword", 1}};
         },
         nullptr, "a value of one of the capture's forms expected"},
        {"a file path up and out", [](json* d) { (*d)["files"][0]["path"] = "..\\..\\..\\etc\\passwd"; }, nullptr,
         "files[0].path: a path of names, without . or .. or \\\\"},
        {"a file path with a slash", [](json* d) { (*d)["files"][0]["path"] = "a/../../b"; }, nullptr,
         "files[0].path: a character that no file name holds"},
        {"a folder below a system root",
         [](json* d) {
             (*d)["files"][0]["root"] = "system";
             (*d)["files"][0]["path"] = "a\\b";
         },
         nullptr, "files[0].path: a file name without a folder expected below this root"},
        {"an unknown root", [](json* d) { (*d)["files"][0]["root"] = "/"; }, nullptr,
         "files[0].root: no root of a capture"},
        {"a size too large",
         [](json* d) {
             for (auto& f : (*d)["files"])
                 if (f["kind"] == "file") f["size"] = 1ull << 41;
         },
         nullptr, "size: a whole number from 0 to 1099511627776 expected"},
        {"SysWOW64 on 32-bit Windows",
         [](json* d) {
             (*d)["windows"]["wow64"] = false;
             (*d)["files"][0]["root"] = "systemWow64";
         },
         nullptr, "files[0].root: SysWOW64 on a 32-bit Windows"},
        {"Program Files that no ProgramFilesDir names",
         [](json* d) {
             json kept = json::array();
             for (auto& k : (*d)["registry"])
                 if (k["key"].get<std::string>().find("CurrentVersion") == std::string::npos) kept.push_back(k);
             (*d)["registry"] = kept;
         },
         nullptr, "files below a Program Files folder that the capture's ProgramFilesDir does not name"},
    };
    std::string parent = scratch + "/machines";
    ASSERT_EQ(::mkdir(parent.c_str(), 0755), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string text = c.text ? std::string(c.text) : std::string();
        if (c.change) {
            json d = base;
            c.change(&d);
            text = d.dump(2);
        }
        std::string file = scratch + "/refused.json";
        ASSERT_TRUE(winsim::WriteFileAtomic(file, text));
        RunResult r = Rebuild(scratch, parent + "/m", file);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find("winsim: " + file + ": "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
        EXPECT_EQ(Listing(parent), (std::set<std::string>{".", ".."}));
    }
    // The check's side: a capture it cannot write, and its switches misused.
    struct CheckCase {
        std::vector<std::string> args;
        const char* says;
    };
    const std::vector<CheckCase> checks = {
        {{"--capture", "C:\\No such folder\\capture.json"}, "cannot write the capture to C:\\No such folder"},
        {{"--capture"}, "--capture needs a file name"},
        {{"--secrets"}, "usage: VormoCheck"},
        {{"--capture", "C:\\c.json", "--json"}, "usage: VormoCheck"},
    };
    machine = NewMachineDir(options);
    for (const CheckCase& c : checks) {
        RunResult r = RunHostProgram(CHECK_BINARY, machine, c.args, "C:\\Dist\\VormoCheck.exe");
        EXPECT_EQ(r.exitCode, 3) << c.says;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
    }
    RemoveTree(machine);
    // A folder that holds anything is no place for a rebuild; a rebuild that
    // fails half-way (a file where a folder must be made) takes away what it
    // made, down to the folder it was given.
    std::string file = scratch + "/capture.json";
    ASSERT_TRUE(winsim::WriteFileAtomic(file, base.dump()));
    ASSERT_EQ(::mkdir((parent + "/m").c_str(), 0755), 0);
    ASSERT_TRUE(winsim::WriteFileAtomic(parent + "/m/keep", "mine"));
    RunResult r = Rebuild(scratch, parent + "/m", file);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("a capture is rebuilt into a new or empty folder only"), std::string::npos) << r.err;
    EXPECT_EQ(Listing(parent + "/m"), (std::set<std::string>{".", "..", "keep"}));
    ::unlink((parent + "/m/keep").c_str());
    json clash = base;
    for (auto& f : clash["files"]) {
        if (f["kind"] != "file" || f["root"] != "programFilesX86") continue;
        clash["files"].push_back(
            {{"root", f["root"]}, {"path", f["path"].get<std::string>() + "\\below"}, {"kind", "folder"}});
        break;
    }
    ASSERT_TRUE(winsim::WriteFileAtomic(file, clash.dump()));
    r = Rebuild(scratch, parent + "/m", file);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(Listing(parent + "/m"), (std::set<std::string>{".", ".."}));
    RemoveTree(scratch);
}
