// One scan pass over a generated database of 1,000 Definitions on the
// simulated machine: the time it takes, and the platform calls each kind of
// precondition makes, reported as counters: watch them when a change touches
// the scan (a clean machine: 2 per shell-folder file check, 3 per
// environment one, 1 per missing key, 4 per value read).
#include <benchmark/benchmark.h>

#include <map>
#include <string>

#include "platform/sim/sim_machine.h"
#include "support/scan_workload.h"

namespace quenwick {
namespace {

using namespace testing_support;

constexpr std::size_t kDefinitions = 1000;

void ReportCallsPerKind(benchmark::State& state, const std::map<PreconditionKind, KindCalls>& byKind) {
  std::size_t total = 0;
  for (const auto& [kind, entry] : byKind) {
    total += entry.calls;
    state.counters[std::string("calls/") + KindName(kind)] =
        entry.evaluated ? static_cast<double>(entry.calls) / static_cast<double>(entry.evaluated) : 0.0;
    state.counters[std::string("checks/") + KindName(kind)] = static_cast<double>(entry.evaluated);
  }
  state.counters["calls/pass"] = static_cast<double>(total);
}

void ScanPass(benchmark::State& state, bool infected) {
  auto machine = sim::SimMachine::Standard();
  sim::ScopedPlatform scope(*machine);
  PrepareWorkloadMachine(*machine);
  if (infected) PlantTraces(*machine, kDefinitions);
  const ScanWorkload workload = MakeScanDatabase(kDefinitions);
  machine->SetCallLogging(false);

  std::int64_t found = 0;
  for (auto _ : state) {
    for (const auto& definition : workload.definitions) {
      if (definition->Scan() == 1) ++found;
    }
  }
  benchmark::DoNotOptimize(found);

  // The calls of one pass, outside the timed loop.
  std::map<PreconditionKind, KindCalls> byKind;
  machine->ResetCallLog();
  state.counters["found"] = static_cast<double>(AccountedScan(workload, *machine, byKind));
  ReportCallsPerKind(state, byKind);
  state.counters["definitions/s"] = benchmark::Counter(
      static_cast<double>(kDefinitions) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_ScanPassCleanMachine(benchmark::State& state) { ScanPass(state, false); }
void BM_ScanPassInfectedMachine(benchmark::State& state) { ScanPass(state, true); }

BENCHMARK(BM_ScanPassCleanMachine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanPassInfectedMachine)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quenwick

BENCHMARK_MAIN();
