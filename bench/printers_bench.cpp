// Printer disconnection at scale: local printers of three ports each against
// a spooler with 2,000 ports of the monitor. The port table is fetched anew
// for every port-list entry; the other benchmarks show what one fetch and
// one printer's own work cost beside it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "printers/printer_bindings.h"
#include "base/edition.h"
#include "support/machine.h"
#include "winsim/spooler.h"

namespace {

const char kHive[] = "registry/HKLM";
const int kMonitorPorts = 2000;

std::string PortName(int n) {
    char name[16];
    std::snprintf(name, sizeof name, "Vormo%03d", n);
    return name;
}

std::string PrinterName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "Printer %04d", i);
    return name;
}

// Printer i uses LPT1: and two ports of the monitor: three entries, two of
// which the disconnection takes out.
std::string PortsOfPrinter(int i) {
    return "LPT1:," + PortName(1 + (2 * i) % kMonitorPorts) + "," + PortName(2 + (2 * i) % kMonitorPorts);
}

void AddPrinter(int i) {
    std::string key = winsim::PrinterKey(PrinterName(i));
    winsim::reg::CreateKey(kHive, key);
    winsim::reg::SetValue(kHive, key, "Name", winsim::reg::Sz(PrinterName(i)));
    winsim::reg::SetValue(kHive, key, "Port", winsim::reg::Sz(PortsOfPrinter(i)));
    winsim::reg::SetValue(kHive, key, "Attributes", winsim::reg::Dword(PRINTER_ATTRIBUTE_LOCAL));
    winsim::reg::SetValue(kHive, key, "Printer Driver", winsim::reg::Sz("Generic / Text Only"));
    winsim::reg::SetValue(kHive, key, "Print Processor", winsim::reg::Sz("winprint"));
    winsim::reg::SetValue(kHive, key, "Datatype", winsim::reg::Sz("RAW"));
    winsim::reg::SetValue(kHive, key, "Priority", winsim::reg::Dword(1));
}

// One machine per printer count, made once: the monitor's 2,000 ports and
// the printers.
class Spooler {
public:
    explicit Spooler(int printers) : printers_(printers) {
        winsim::NewOptions options;  // no distribution: only the spooler matters here
        dir_ = testing_support::NewMachineDir(options);
        winsim::OpenMachine(dir_);
        for (int n = 1; n <= kMonitorPorts; ++n)
            winsim::reg::CreateKey(kHive, winsim::PortsKey("Vormo") + "\\" + PortName(n));
        for (int i = 0; i < printers_; ++i) AddPrinter(i);
    }
    ~Spooler() {
        winsim::CloseMachine();
        testing_support::RemoveTree(dir_);
    }
    void Open() const { winsim::OpenMachine(dir_); }
    void ResetPorts() const {
        for (int i = 0; i < printers_; ++i)
            winsim::reg::SetValue(kHive, winsim::PrinterKey(PrinterName(i)), "Port", winsim::reg::Sz(PortsOfPrinter(i)));
    }

private:
    int printers_;
    std::string dir_;
};

const Spooler& SpoolerWith(int printers) {
    static std::map<int, std::unique_ptr<Spooler>> spoolers;
    auto& s = spoolers[printers];
    if (!s) s = std::make_unique<Spooler>(printers);
    s->Open();
    return *s;
}

void BM_DisconnectPrinters(benchmark::State& state) {
    const Spooler& spooler = SpoolerWith(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        spooler.ResetPorts();
        testing_support::BeginCapture();
        state.ResumeTiming();
        DisconnectPrinters("Vormo");
        state.PauseTiming();
        std::string out = testing_support::EndCapture();
        benchmark::DoNotOptimize(out);
        state.ResumeTiming();
    }
    state.counters["printers"] = static_cast<double>(state.range(0));
    state.counters["table_fetches"] = 3.0 * static_cast<double>(state.range(0));
}
BENCHMARK(BM_DisconnectPrinters)->Arg(250)->Arg(500)->Arg(1000)->Unit(benchmark::kSecond)->Iterations(1);

// One fetch of the port table and its search, as every entry costs it.
void BM_PortTableFetch(benchmark::State& state) {
    SpoolerWith(1000);
    testing_support::BeginCapture();
    for (auto _ : state) benchmark::DoNotOptimize(IsMonitorPort("LPT1:", "Vormo"));
    testing_support::EndCapture();
}
BENCHMARK(BM_PortTableFetch)->Unit(benchmark::kMillisecond);

// One printer's own work without the port table: open, read the record
// twice, write it back, close.
void BM_PrinterRecordRoundTrip(benchmark::State& state) {
    SpoolerWith(1000);
    int flip = 0;
    for (auto _ : state) benchmark::DoNotOptimize(SetPrinterPort(PrinterName(7).c_str(), (flip ^= 1) ? "LPT1:" : "LPT2:"));
}
BENCHMARK(BM_PrinterRecordRoundTrip)->Unit(benchmark::kMillisecond);

}  // namespace
