// The writing side of the database, as the tool uses it: Definitions to a
// decompressed database and a decompressed database to the resource form.
// Both go through the program's own element classes and writer.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/definition.h"

namespace quenwick::dbtool {

// The decompressed database: the count and every record, and nothing after
// the last record.
std::optional<std::vector<std::uint8_t>> EncodeDatabase(std::span<const Definition* const> definitions,
                                                        std::string& error);

// The resource: the declared size (exactly the database's length) and the
// zlib stream.
std::optional<std::vector<std::uint8_t>> EncodeResource(std::span<const std::uint8_t> database,
                                                        std::string& error);

}  // namespace quenwick::dbtool
