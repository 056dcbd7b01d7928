// libFuzzer target: the whole load from the resource (declared size and zlib
// stream) through LoadDefinitions, on the simulated machine whose "IDR_V2"
// resource is the input.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "database/load_definitions.h"
#include "platform/sim/sim_machine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Loading needs nothing of the machine but its resources: an empty machine
  // keeps the runs fast.
  auto machine = std::make_unique<quenwick::sim::SimMachine>();
  machine->SetResource(u"IDR_V2", u"RT_RCDATA", std::vector<std::uint8_t>(data, data + size));
  quenwick::sim::ScopedPlatform scope(*machine);
  const quenwick::LoadResult result = quenwick::LoadDefinitions();
  // Either outcome is fine; a failure must leave no Definitions behind.
  if (result.status != quenwick::LoadStatus::kOk && !result.definitions.empty()) __builtin_trap();
  return 0;
}
