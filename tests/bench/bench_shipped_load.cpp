// Loading the shipped database: the compressed resource that quenwick.exe
// embeds, built from definitions/, loaded the way the program does at start-up
// (find the resource, uncompress it, parse every Definition) on the simulated
// machine. The resource comes from a file, so that the benchmark follows
// whatever definitions/ holds:
//   quenwick-db build definitions -o shipped.db --resource shipped.res
//   QUENWICK_BENCH_RESOURCE=shipped.res ./build-bench/tests/bench/bench_shipped_load
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "database/load_definitions.h"
#include "platform/sim/sim_machine.h"

namespace {

constexpr char kResourceVariable[] = "QUENWICK_BENCH_RESOURCE";

std::vector<std::uint8_t> ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void BM_LoadShippedDatabase(benchmark::State& state) {
  const char* path = std::getenv(kResourceVariable);
  if (path == nullptr) {
    state.SkipWithError("set QUENWICK_BENCH_RESOURCE to the resource of `quenwick-db build --resource`");
    return;
  }
  const std::vector<std::uint8_t> resource = ReadFile(path);
  if (resource.empty()) {
    state.SkipWithError("the resource file cannot be read or is empty");
    return;
  }
  auto machine = quenwick::sim::SimMachine::Standard();
  machine->SetResource(u"IDR_V2", u"RT_RCDATA", resource);
  quenwick::sim::ScopedPlatform scope(*machine);

  std::size_t definitions = 0;
  for (auto _ : state) {
    quenwick::LoadResult result = quenwick::LoadDefinitions();
    if (result.status != quenwick::LoadStatus::kOk) {
      state.SkipWithError("the database does not load");
      return;
    }
    definitions = result.definitions.size();
    // Freeing the Definitions is not part of the load.
    state.PauseTiming();
    result = {};
    state.ResumeTiming();
  }
  state.counters["definitions"] = static_cast<double>(definitions);
  state.counters["resource_bytes"] = static_cast<double>(resource.size());
}

BENCHMARK(BM_LoadShippedDatabase)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
