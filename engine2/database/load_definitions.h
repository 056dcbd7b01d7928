// Loading the Definition database from the program's own "IDR_V2" resource.
#pragma once

#include <memory>
#include <span>
#include <vector>

#include "engine/definition.h"

namespace quenwick {

enum class LoadStatus {
  kOk,
  kResourceFailure,  // missing, unloadable, empty, unlockable or damaged
  kMemoryFailure,    // no memory for the decompressed data or the list
};

struct LoadResult {
  LoadStatus status = LoadStatus::kOk;
  std::vector<std::unique_ptr<Definition>> definitions;
};

// Finds, decompresses and parses the resource. Damaged data of any kind is a
// resource failure; nothing is read past the data.
LoadResult LoadDefinitions();

// Parses a decompressed database (a u32 count, then the records). Damage is
// reported as kResourceFailure with no Definitions.
LoadResult ParseDatabase(std::span<const std::uint8_t> data);

}  // namespace quenwick
