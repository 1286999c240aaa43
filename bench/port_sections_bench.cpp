// Reading and writing 10, 100 and 999 port sections through winsim, from the
// INI file and from the registry.
//
//   ReadSections/ini|registry/N   ReadPortSection for sections 1 to N + 1
//                                 (the last one ends the scan), on one machine
//   AddPorts/ini|registry/N       AddPortConfiguration end to end on a fresh
//                                 machine per run: N ports created and
//                                 configured over the Xcv channel
//
// items_per_second is sections per second; the time per section should not
// grow with N.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "portcfg/port_settings.h"
#include "portcfg/xcv_transport.h"
#include "base/edition.h"
#include "support/machine.h"
#include "winsim/spooler.h"

namespace {

const char kHklm[] = "registry/HKLM";

// A section as an administrator writes one: a dozen keys, the rest defaults.
struct Value {
    const char* key;
    std::string text;
    bool number;
};
std::vector<Value> SectionValues(int k) {
    std::string n = std::to_string(k);
    return {{"Description", "Port " + n + " of the benchmark", false},
            {"ServerIP", "10.1." + std::to_string(k / 250) + "." + std::to_string(k % 250), false},
            {"ServerIP2", "10.2.0." + std::to_string(k % 250), false},
            {"IPLoadBalancing", "50", true},
            {"IPLoadBalancing2", "50", true},
            {"ServerPort", "9100", true},
            {"Queue", "queue" + n, false},
            {"AuthType", "1", true},
            {"AuthText", "", false},
            {"NetworkTimeout", "30", true},
            {"LogFileSizeLimit", "10", true},
            {"ServerDeliveryMode2", "1", true},
            {"AssignPrinter", "Printer " + n, false}};
}

void Prepare(const testing_support::TempMachine& m, bool fromIni, int sections) {
    winsim::reg::CreateKey(kHklm, winsim::PortsKey("Vormo"));
    winsim::reg::SetValue(kHklm, winsim::MonitorKey("Vormo"), "Driver", winsim::reg::Sz("VORMOVS64.DLL"));
    if (fromIni) {
        std::string text = "; benchmark sections\n";
        for (int k = 1; k <= sections; ++k) {
            text += "\n[" + std::to_string(k) + "]\n";
            for (const auto& v : SectionValues(k)) text += std::string(v.key) + "=" + v.text + "\n";
        }
        m.Write("C:\\Dist\\Vormo.ini", text);
        return;
    }
    // The 32-bit view of a 64-bit machine, where the installer reads.
    std::string base = "SOFTWARE\\Wow6432Node\\Oxlen Corporation\\Vormo\\PortInstallCfg\\";
    for (int k = 1; k <= sections; ++k) {
        std::string key = base + std::to_string(k);
        winsim::reg::CreateKey(kHklm, key);
        for (const auto& v : SectionValues(k))
            winsim::reg::SetValue(kHklm, key, v.key,
                                  v.number ? winsim::reg::Dword(static_cast<DWORD>(std::stoul(v.text)))
                                           : winsim::reg::Sz(v.text));
    }
}

void ReadSections(benchmark::State& state, bool fromIni) {
    int sections = static_cast<int>(state.range(0));
    testing_support::TempMachine m;
    Prepare(m, fromIni, sections);
    const RunPlan plan = testing_support::TestPlan(kStandardEdition, fromIni);
    for (auto _ : state) {
        int found = 0;
        for (int k = 1; k <= sections + 1; ++k) {
            PortSettings settings;
            if (ReadPortSection(k, plan, &settings)) ++found;
        }
        if (found != sections) state.SkipWithError("sections went missing");
    }
    state.SetItemsProcessed(state.iterations() * sections);
}

void AddPorts(benchmark::State& state, bool fromIni) {
    int sections = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        auto m = std::make_unique<testing_support::TempMachine>();
        Prepare(*m, fromIni, sections);
        testing_support::BeginCapture();
        int count = 0;
        state.ResumeTiming();
        bool result = AddPortConfiguration(testing_support::TestPlan(kStandardEdition, fromIni), &count);
        state.PauseTiming();
        testing_support::EndCapture();
        if (!result || count != sections) state.SkipWithError("ports went missing");
        m.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * sections);
}

}  // namespace

BENCHMARK_CAPTURE(ReadSections, ini, true)->Arg(10)->Arg(100)->Arg(999)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReadSections, registry, false)->Arg(10)->Arg(100)->Arg(999)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(AddPorts, ini, true)->Arg(10)->Arg(100)->Arg(999)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(AddPorts, registry, false)->Arg(10)->Arg(100)->Arg(999)->Iterations(3)->Unit(benchmark::kMillisecond);
