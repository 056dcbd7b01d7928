// Loading a database of 10,000 generated Definitions (shaped like the shipped
// ones): zlib's uncompress alone, the parse alone, and the whole load through
// LoadDefinitions. The whole load should cost at most twice the uncompress
// alone, and its peak heap stay under three times the decompressed size.
//
// Peak heap is counted by replacing the global operator new and delete in this
// program; zlib's own inflate state (about 40 KB, from malloc) is not counted.
// Times are this thread's CPU time of the operation alone (see ThreadSeconds).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "base/little_endian.h"
#include "database/load_definitions.h"
#include "platform/sim/sim_machine.h"
#include "support/database_generator.h"

namespace {

// Two measures of the heap: what the allocator holds for the program (usable
// sizes, malloc's rounding included) and what the program asked for. Each
// block carries a header with its requested size and whether it was counted;
// counting is switched on only while the peak is measured, so the timed loads
// run at the allocator's own speed.
bool g_counting = false;
std::size_t g_heapInUse = 0;
std::size_t g_heapPeak = 0;
std::size_t g_requestedInUse = 0;
std::size_t g_requestedPeak = 0;
constexpr std::size_t kHeader = alignof(std::max_align_t);
struct BlockHeader {
  std::size_t size;
  bool counted;
};
static_assert(sizeof(BlockHeader) <= kHeader);

}  // namespace

void* operator new(std::size_t size) {
  auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
  if (block == nullptr) throw std::bad_alloc();
  const BlockHeader header{size, g_counting};
  std::memcpy(block, &header, sizeof header);
  if (g_counting) {
    g_heapInUse += malloc_usable_size(block) - kHeader;
    g_heapPeak = std::max(g_heapPeak, g_heapInUse);
    g_requestedInUse += size;
    g_requestedPeak = std::max(g_requestedPeak, g_requestedInUse);
  }
  return block + kHeader;
}
void operator delete(void* p) noexcept {
  if (p == nullptr) return;
  auto* block = static_cast<unsigned char*>(p) - kHeader;
  BlockHeader header{};
  std::memcpy(&header, block, sizeof header);
  if (header.counted) {
    g_heapInUse -= malloc_usable_size(block) - kHeader;
    g_requestedInUse -= header.size;
  }
  std::free(block);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace {

constexpr std::uint32_t kDefinitions = 10000;

struct Fixture {
  std::vector<std::uint8_t> database;
  std::vector<std::uint8_t> resource;
};

const Fixture& TheDatabase() {
  static const Fixture fixture = [] {
    Fixture f;
    const auto db = quenwick::testdb::GenerateDatabase(kDefinitions, 2026);
    f.database = db.Bytes();
    f.resource = db.Resource();
    return f;
  }();
  return fixture;
}

// The machine running the benchmarks is often busy with builds, so every
// benchmark times its operation in this thread's CPU time, and only the
// operation: freeing what it produced is left out (teardown is not loading).
double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Each benchmark runs on two heaps (the benchmark argument):
//  - warm (0): memory freed by the previous iteration stays with the process,
//    so the time is the load's own work;
//  - cold (1): the heap is trimmed between iterations, so every load faults
//    its memory in afresh, as the program's one load at start-up does.
// main() keeps glibc from consolidating freed blocks lazily, which would
// otherwise bill the previous iteration's frees to the next load.
enum Heap { kWarm = 0, kCold = 1 };
void AfterIteration(const benchmark::State& state) {
  if (state.range(0) == kCold) malloc_trim(0);
}

// What the load does before parsing: a buffer of the declared size, then the
// one-shot uncompress into it.
std::unique_ptr<std::uint8_t[]> UncompressOnce(const std::vector<std::uint8_t>& resource) {
  const std::uint32_t declared = quenwick::LoadLe32(resource.data());
  auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(declared);
  uLongf produced = declared;
  if (uncompress(buffer.get(), &produced, resource.data() + 4, resource.size() - 4) != Z_OK) std::abort();
  return buffer;
}

double g_uncompressSeconds[2] = {0, 0};  // per call and heap, from BM_UncompressOnly

void BM_UncompressOnly(benchmark::State& state) {
  const Fixture& f = TheDatabase();
  double total = 0;
  for (auto _ : state) {
    const double start = ThreadSeconds();
    auto buffer = UncompressOnce(f.resource);
    const double took = ThreadSeconds() - start;
    state.SetIterationTime(took);
    total += took;
    benchmark::DoNotOptimize(buffer.get());
    buffer.reset();
    AfterIteration(state);
  }
  g_uncompressSeconds[state.range(0)] = total / static_cast<double>(state.iterations());
  state.counters["decompressed_bytes"] = static_cast<double>(f.database.size());
  state.counters["resource_bytes"] = static_cast<double>(f.resource.size());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.database.size()));
}

void BM_ParseDatabaseOnly(benchmark::State& state) {
  const Fixture& f = TheDatabase();
  for (auto _ : state) {
    const double start = ThreadSeconds();
    quenwick::LoadResult result = quenwick::ParseDatabase(f.database);
    state.SetIterationTime(ThreadSeconds() - start);
    if (result.definitions.size() != kDefinitions) std::abort();
    result = {};
    AfterIteration(state);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.database.size()));
}

void BM_LoadDefinitions(benchmark::State& state) {
  const Fixture& f = TheDatabase();
  auto machine = quenwick::sim::SimMachine::Standard();
  machine->SetResource(u"IDR_V2", u"RT_RCDATA", f.resource);
  quenwick::sim::ScopedPlatform scope(*machine);

  // Peak heap of one load, the resulting Definitions included.
  {
    g_heapInUse = g_heapPeak = g_requestedInUse = g_requestedPeak = 0;
    g_counting = true;
    quenwick::LoadResult result = quenwick::LoadDefinitions();
    g_counting = false;
    if (result.status != quenwick::LoadStatus::kOk || result.definitions.size() != kDefinitions) std::abort();
    const auto size = static_cast<double>(f.database.size());
    state.counters["peak_heap_bytes"] = static_cast<double>(g_heapPeak);
    state.counters["peak_over_decompressed"] = static_cast<double>(g_heapPeak) / size;
    state.counters["peak_requested_over_decompressed"] = static_cast<double>(g_requestedPeak) / size;
    state.counters["kept_over_decompressed"] = static_cast<double>(g_heapInUse) / size;
  }

  double total = 0;
  for (auto _ : state) {
    const double start = ThreadSeconds();
    quenwick::LoadResult result = quenwick::LoadDefinitions();
    const double took = ThreadSeconds() - start;
    state.SetIterationTime(took);
    total += took;
    if (result.definitions.size() != kDefinitions) std::abort();
    result = {};
    AfterIteration(state);
  }
  const double uncompress = g_uncompressSeconds[state.range(0)];
  if (uncompress > 0) {
    state.counters["load_over_uncompress"] = total / static_cast<double>(state.iterations()) / uncompress;
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.database.size()));
}

// Registered in this order so that each load finds its uncompress figure.
BENCHMARK(BM_UncompressOnly)->Arg(kWarm)->Arg(kCold)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseDatabaseOnly)->Arg(kWarm)->Arg(kCold)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadDefinitions)->Arg(kWarm)->Arg(kCold)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // No fast bins: freed blocks are merged when freed (outside the timings),
  // not on the next large allocation (inside them). The decompressed buffer
  // comes from the heap, not from a fresh mapping each time, and nothing is
  // trimmed automatically: the cold runs trim explicitly.
  constexpr int kLargestHeapBlock = 32 << 20;  // glibc's upper limit
  mallopt(M_MXFAST, 0);
  mallopt(M_MMAP_THRESHOLD, kLargestHeapBlock);
  mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max());
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
