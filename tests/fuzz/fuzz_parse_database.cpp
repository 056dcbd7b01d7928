// libFuzzer target: the database walk and every element Read over arbitrary
// decompressed bytes. Whatever the bytes, the parse must not read past them,
// crash, hang or leak; what it accepts must serialize back to the bytes it
// was read from.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "database/database_writer.h"
#include "database/load_definitions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  const quenwick::LoadResult result = quenwick::ParseDatabase(input);
  if (result.status != quenwick::LoadStatus::kOk) return 0;

  // Accepted: writing it again gives the bytes up to the end of the last
  // record (the rest is filler).
  const std::vector<std::uint8_t> again = quenwick::SerializeDatabase(result.definitions);
  if (again.size() > size || !std::equal(again.begin(), again.end(), input.begin())) std::abort();
  return 0;
}
