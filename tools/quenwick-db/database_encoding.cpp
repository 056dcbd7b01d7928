#include "database_encoding.h"

#include <limits>

#include "base/little_endian.h"
#include "database/database_writer.h"

namespace quenwick::dbtool {

std::optional<std::vector<std::uint8_t>> EncodeDatabase(std::span<const Definition* const> definitions,
                                                        std::string& error) {
  if (definitions.size() > std::numeric_limits<std::uint32_t>::max()) {
    error = "too many Definitions for one database";
    return std::nullopt;
  }
  std::vector<std::uint8_t> out = LittleEndianBytes(definitions.size(), 4);
  for (const Definition* definition : definitions) AppendDefinition(out, *definition);
  return out;
}

std::optional<std::vector<std::uint8_t>> EncodeResource(std::span<const std::uint8_t> database,
                                                        std::string& error) {
  if (database.size() > std::numeric_limits<std::uint32_t>::max()) {
    error = "a database of 4 GiB or more cannot declare its size";
    return std::nullopt;
  }
  auto resource = MakeResource(database);
  if (resource.empty()) {
    error = "zlib could not compress the database";
    return std::nullopt;
  }
  return resource;
}

}  // namespace quenwick::dbtool
