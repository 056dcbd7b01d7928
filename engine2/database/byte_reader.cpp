#include "database/byte_reader.h"

#include <bit>
#include <cstring>

#include "base/little_endian.h"

namespace quenwick {

void ByteReader::Fail() {
  if (!failed_) {
    failed_ = true;
    failure_offset_ = offset_;
  }
}

bool ByteReader::PeekU32(std::uint32_t& out) const {
  if (failed_ || remaining() < 4) return false;
  out = LoadLe32(data_.data() + offset_);
  return true;
}

bool ByteReader::ReadU32(std::uint32_t& out) {
  if (!PeekU32(out)) {
    Fail();
    return false;
  }
  offset_ += 4;
  return true;
}

namespace {

std::uint64_t Load64(const std::uint8_t* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// Number of code units before the first zero unit among the `units` units at
// `p`, or `units` when there is none. Texts are scanned four units at a time:
// this scan is most of the work of loading a database.
std::size_t UnitsBeforeTerminator(const std::uint8_t* p, std::size_t units) {
  std::size_t length = 0;
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::uint64_t kLow = 0x0001000100010001ull;
    constexpr std::uint64_t kHigh = 0x8000800080008000ull;
    while (units - length >= 4) {
      const std::uint64_t word = Load64(p + 2 * length);
      // Non-zero exactly when one of the four 16-bit units is zero.
      if (((word - kLow) & ~word & kHigh) != 0) break;
      length += 4;
    }
  }
  while (length < units && (p[2 * length] != 0 || p[2 * length + 1] != 0)) ++length;
  return length;
}

}  // namespace

bool ByteReader::ReadText(std::u16string& out) {
  if (failed_) return false;
  // Find the terminator first so that a damaged text allocates nothing.
  const std::uint8_t* p = data_.data() + offset_;
  const std::size_t units = remaining() / 2;
  const std::size_t length = UnitsBeforeTerminator(p, units);
  if (length == units) {
    Fail();
    return false;
  }
  out.resize(length);
  if constexpr (std::endian::native == std::endian::little) {
    if (length != 0) std::memcpy(out.data(), p, 2 * length);
  } else {
    for (std::size_t i = 0; i < length; ++i) {
      out[i] = static_cast<char16_t>(LoadLe16(p + 2 * i));
    }
  }
  offset_ += 2 * length + 2;
  return true;
}

bool ByteReader::ReadBytes(std::uint8_t* out, std::size_t count) {
  if (failed_ || remaining() < count) {
    Fail();
    return false;
  }
  if (count != 0) std::memcpy(out, data_.data() + offset_, count);
  offset_ += count;
  return true;
}

}  // namespace quenwick
