// The pre-flight check over an INI file of any bytes (a first line "E"
// selects the Enterprise edition): the check must run to its end without a
// fault, change nothing (no port, no printer, no journal line), its exit code
// must follow its findings, and its JSON report must be one valid document.
#include <nlohmann/json.hpp>
#include <string>

#include "check/preflight.h"
#include "fuzz/fuzz_support.h"
#include "support/machine.h"

using fuzz_support::Check;

namespace {

const char kIni[] = "C:\\Dist\\Vormo.ini";

winsim::NewOptions Options() {
    winsim::NewOptions options = fuzz_support::DefaultOptions();
    options.printers.push_back({"Office Laser", "LPT1:", PRINTER_ATTRIBUTE_LOCAL});
    return options;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 16384) return 0;
    fuzz_support::StartMachine(Options());
    std::string text(reinterpret_cast<const char*>(data), size);
    fuzz_support::BeginInput();
    fuzz_support::WriteMachineFile(kIni, text);
    RunOptions options;
    options.enterprise = text.compare(0, 2, "E\n") == 0;
    const RunPlan plan = MakeRunPlan(options);
    std::string journal = winsim::ReadJournal();
    PreflightReport report = RunPreflight(options, plan);
    int code = ExitCodeOf(report);
    Check(code == (CountOf(report, Severity::Error) ? 2 : CountOf(report, Severity::Warning) ? 1 : 0),
          "the exit code follows the findings");
    Check(winsim::ReadJournal() == journal, "the check writes nothing");
    nlohmann::json parsed = nlohmann::json::parse(JsonReport(report), nullptr, false);
    Check(!parsed.is_discarded() && parsed["exitCode"] == code, "the JSON report is one document");
    Check(!TextReport(report).empty(), "a text report");
    fuzz_support::EndInput();
    return 0;
}
