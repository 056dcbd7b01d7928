// Little-endian integers in byte buffers: the order of the database, of
// registry DWORDs and of the PE format, whatever the machine's own order.
// The callers check that the bytes are there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quenwick {

constexpr std::uint16_t LoadLe16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

constexpr std::uint32_t LoadLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

constexpr void StoreLe16(std::uint8_t* p, std::uint16_t value) {
  p[0] = static_cast<std::uint8_t>(value);
  p[1] = static_cast<std::uint8_t>(value >> 8);
}

constexpr void StoreLe32(std::uint8_t* p, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Appends the `byteCount` low bytes of `value`, lowest first.
inline void AppendLittleEndian(std::vector<std::uint8_t>& out, std::uint64_t value, std::size_t byteCount) {
  for (std::size_t i = 0; i < byteCount; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// The `byteCount` low bytes of `value`, lowest first (4 for a REG_DWORD, 8
// for a REG_QWORD).
inline std::vector<std::uint8_t> LittleEndianBytes(std::uint64_t value, std::size_t byteCount) {
  std::vector<std::uint8_t> out;
  AppendLittleEndian(out, value, byteCount);
  return out;
}

}  // namespace quenwick
