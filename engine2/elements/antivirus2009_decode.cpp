#include "elements/antivirus2009_decode.h"

#include "base/text.h"
#include "system/system_text.h"

namespace quenwick {
namespace {

constexpr char16_t kTableBase = u':';    // the first character minus this picks the table
constexpr char16_t kPaddingMark = u'!';  // each one at the end drops one decoded byte
constexpr std::size_t kGroupLength = 4;  // characters per group
constexpr std::size_t kBytesPerGroup = 3;
constexpr unsigned kBitsPerCharacter = 6;
constexpr std::uint8_t kIndexMask = 0x3F;  // the part of a byte looked up in the table
constexpr std::uint8_t kKeptMask = 0xC0;   // the part of a byte kept as it is
constexpr std::size_t kExeSuffixLength = 4;

// One group's 24 bits. A character below ":" gives a negative value whose
// sign bits spill over the places of the characters after it; the family's
// encoder relies on that, so it is kept (computed in unsigned arithmetic).
std::uint32_t GroupAccumulator(std::u16string_view group) {
  std::uint32_t accumulator = 0;
  for (std::size_t i = 0; i < kGroupLength; ++i) {
    const std::int32_t value = static_cast<std::int32_t>(group[i]) - kTableBase;
    accumulator |= static_cast<std::uint32_t>(value) << (kBitsPerCharacter * i);
  }
  return accumulator;
}

std::size_t TrailingPaddingCount(std::u16string_view text) {
  std::size_t count = 0;
  // Position 0 is the table selector and never counts as padding.
  for (std::size_t i = text.size() - 1; i > 0 && text[i] == kPaddingMark; --i) ++count;
  return count;
}

}  // namespace

std::vector<std::uint8_t> DecodePathBytes(std::u16string_view text,
                                          const SubstitutionTables& tables) {
  std::vector<std::uint8_t> bytes;
  if (text.empty()) return bytes;

  // 16 bits wide on purpose: a first character below ":" wraps to a large
  // table number, which ends the decoding at its first byte.
  std::uint16_t table = static_cast<std::uint16_t>(text[0] - kTableBase);
  const std::size_t padding = TrailingPaddingCount(text);
  const std::size_t groupsEnd = text.size() - padding;

  bool stopped = false;
  for (std::size_t position = 1; position < groupsEnd && !stopped; position += kGroupLength) {
    if (text.size() - position < kGroupLength) break;  // an incomplete group ends the text
    const std::uint32_t accumulator = GroupAccumulator(text.substr(position, kGroupLength));
    for (std::size_t b = 0; b < kBytesPerGroup; ++b) {
      if (table >= kSubstitutionTableCount) {
        stopped = true;
        break;
      }
      const auto byte = static_cast<std::uint8_t>(accumulator >> (8 * b));
      const std::uint8_t entry = tables[table * kSubstitutionTableSize + (byte & kIndexMask)];
      bytes.push_back(static_cast<std::uint8_t>((byte & kKeptMask) | entry));
      table = static_cast<std::uint16_t>((table + 1) % kSubstitutionTableCount);
    }
  }

  bytes.resize(padding >= bytes.size() ? 0 : bytes.size() - padding);
  return bytes;
}

std::u16string DecodePath(std::u16string_view text, const SubstitutionTables& tables) {
  // The text ends at a zero byte, as the program's texts always do.
  return AnsiToWide(DecodePathBytes(text, tables)).value_or(std::u16string());
}

bool IsExePath(std::u16string_view text, std::u16string_view exeSuffix) {
  if (text.size() < kExeSuffixLength || exeSuffix.size() != kExeSuffixLength) return false;
  if (text[1] != u':' || (text[2] != u'\\' && text[2] != u'/')) return false;
  return EqualsIgnoreAsciiCase(text.substr(text.size() - kExeSuffixLength), exeSuffix);
}

}  // namespace quenwick
