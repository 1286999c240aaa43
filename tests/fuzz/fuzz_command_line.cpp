// The command line: the input is split at zero bytes into argument 0 (the
// program path) and the arguments after it. The parse is held against the
// switch table, then the whole run goes through RunInstaller on a machine
// whose Windows is not supported and whose file copies fail, so that a run
// without "-e" stops after the version check and one with "-e" goes through
// every step quickly. Checks:
// the options, the configuration-file path, the banner, usage and heading
// lines with the server name as given, the closing line, the log holding
// the console text with CR LF, and no handle or block left open.
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "support/machine.h"
#include "base/edition.h"
#include "run/run_driver.h"

using fuzz_support::Check;
using testing_support::Crlf;

namespace {

// The run options as the switch table defines them.
struct Expected {
    bool uninstall = false, ignoreErrors = false, configFromRegistry = false, copyFiles = true, showUsage = false,
         obsolete = false, enterprise = false;
    const char* serverName = nullptr;
    const char* logFilePath = nullptr;
    const char* iniFilePath = nullptr;
};

Expected Model(int argc, char** argv) {
    Expected e;
    auto is = [](const char* a, const char* x, const char* y) { return !std::strcmp(a, x) || !std::strcmp(a, y); };
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (is(a, "-?", "/?")) e.showUsage = true;
        else if (is(a, "-a", "-A")) e.enterprise = true;
        else if (is(a, "-u", "-U")) e.uninstall = true;
        else if (is(a, "-e", "-E")) e.ignoreErrors = true;
        else if (is(a, "-r", "-R")) e.configFromRegistry = true;
        else if (is(a, "-c", "-C")) e.copyFiles = false;
        else if (is(a, "-s", "-S")) continue;
        else if (is(a, "-f", "-F")) e.obsolete = true;
        else if (a[0] == '-' && (a[1] == 'l' || a[1] == 'L')) e.logFilePath = a + 2;
        else if (a[0] == '-' && (a[1] == 'i' || a[1] == 'I')) e.iniFilePath = a + 2;
        else e.serverName = a;
    }
    return e;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Copies fail at once: a run with "-e" reports them and goes on, without
// spending its time on the client application's files.
void Prepare() { fuzz_support::KeepFault("CopyFileA", "*", ERROR_ACCESS_DENIED); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 8192) return 0;
    winsim::NewOptions options = fuzz_support::DefaultOptions();
    options.os = "nt351";  // not supported: the sequences stop at once unless "-e"
    fuzz_support::StartMachine(options, Prepare);

    std::vector<std::string> args = fuzz_support::Split(data, size, '\0');
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    int argc = static_cast<int>(args.size());
    Expected e = Model(argc, argv.data());

    fuzz_support::BeginInput();
    RunOptions parsed;
    ParseCommandLine(argc, argv.data(), &parsed);
    Check(parsed.uninstall == e.uninstall && parsed.ignoreErrors == e.ignoreErrors &&
              parsed.configFromRegistry == e.configFromRegistry && parsed.copyFiles == e.copyFiles &&
              parsed.showUsage == e.showUsage && parsed.obsoleteClientSwitch == e.obsolete &&
              parsed.enterprise == e.enterprise,
          "switches parsed as the table says");
    Check(parsed.serverName == e.serverName && parsed.logFilePath == e.logFilePath &&
              parsed.iniFilePath == e.iniFilePath,
          "texts refer to the arguments themselves");

    RunResources resources;
    bool result = RunInstaller(argc, argv.data(), &resources);
    ReleaseRunResources(&resources);
    Check(ExitCodeFor(result) == (result ? 0 : -1), "exit code 0 or -1");

    // The configuration-file path, as the run made it in the folder it moved
    // to: the "-i" value cut to 1023 characters, or the INI file beside the
    // installer.
    std::string config = MakeRunPlan(parsed).sections.configFilePath;
    Check(config.size() <= 1023, "configuration-file path within 1023 characters");
    if (e.iniFilePath && *e.iniFilePath)
        Check(config == std::string(e.iniFilePath).substr(0, 1023), "the -i value is the configuration-file path",
              config);
    else
        Check(EndsWith(config, "\\Vormo.ini"), "the INI file beside the installer", config);

    // The log: the "-l" file or the default one, read before the machine is
    // put back. It ends with what the console showed, with CR LF.
    std::string logPath = e.logFilePath && *e.logFilePath ? e.logFilePath : "C:\\Windows\\VOPortInstall.log";
    std::string logHost = winsim::MapPath(logPath);
    std::string log;
    bool logRead = !logHost.empty() && winsim::ReadWholeFile(logHost, &log);
    std::string out = fuzz_support::EndInput();

    if (out.empty()) {
        Check(!result, "a run that printed nothing failed (its log could not be opened)");
        return 0;
    }
    Check(logRead && EndsWith(log, Crlf(out)), "the log holds the console text", logPath);

    std::string word = e.enterprise ? "VormoE" : "Vormo";
    std::string banner = testing_support::Banner(word);
    Check(out.compare(0, banner.size(), banner) == 0, "the banner comes first", out.substr(0, 200));
    if (e.showUsage) {
        Check(out == banner + testing_support::kUsageText && !result, "usage only", out.substr(0, 300));
        return 0;
    }
    std::string rest = out.substr(banner.size());
    if (e.obsolete) {
        const char note[] = "NOTE: The -f switch is obsolete, the client application is un/installed automaticaly\n";
        Check(rest.compare(0, sizeof note - 1, note) == 0, "the note follows the banner");
        rest = rest.substr(sizeof note - 1);
    }
    std::string server = e.serverName ? std::string(" on server ") + e.serverName : std::string();
    if (argc <= 1) {
        const std::string heading = "\nInstalling Vormo Port Monitor ...\n";
        Check(rest.compare(0, heading.size(), heading) == 0, "the plain heading", rest.substr(0, 300));
    } else if (e.uninstall) {
        std::string heading = "\nUninstalling " + word + " Port Monitor" + server + "...\n";
        Check(rest.compare(0, heading.size(), heading) == 0, "the uninstall heading", rest.substr(0, 300));
        Check(EndsWith(rest, result ? "\n" + word + " Port Monitor UnInstalled Sucessfully.\n"
                                    : std::string("\n Port Monitor Not Completely UnInstalled!\n")),
              "the uninstall closing line");
    } else {
        std::string heading = "\nInstalling " + word + " Port Monitor" + server + "...\n";
        if (e.ignoreErrors) heading += "[IGNORE ERRORS Switch is Enabled!]\n";
        if (e.configFromRegistry) heading += "  (config will be read from registry)\n";
        if (!e.copyFiles) heading += "  No files will be copied\n";
        Check(rest.compare(0, heading.size(), heading) == 0, "the install heading", rest.substr(0, 300));
        Check(EndsWith(rest, "\n" + word + (result ? " Port Monitor Installed Sucessfully.\n"
                                                   : " Port Monitor Not Installed!\n")),
              "the install closing line");
    }
    return 0;
}
