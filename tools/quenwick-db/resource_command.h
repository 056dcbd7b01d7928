// The embedded form of a database: what the "IDR_V2" resource holds.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quenwick::db {

// zlib level used for the resource; the program only ever decompresses, so
// the slowest, smallest setting costs nothing at run time.
inline constexpr int kResourceCompressionLevel = 9;

// The resource bytes for a decompressed database: its length as an unsigned
// 32-bit little-endian number, then the zlib stream. Nothing when the
// database is too large to declare (4 GiB or more) or zlib fails.
std::optional<std::vector<std::uint8_t>> EncodeResource(std::span<const std::uint8_t> database);

}  // namespace quenwick::db
