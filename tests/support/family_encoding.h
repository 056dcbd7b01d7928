// Test helpers for the Antivirus2009 family's path encoding: substitution
// tables that are not the identity, and an encoder that is the inverse of the
// program's decoder for tables that permute the 64 six-bit values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "elements/antivirus2009_decode.h"

namespace quenwick::testing {

// Table t maps v to (63 - v + 5t) mod 64: reversed, and shifted differently
// in every table, so that a decoder that uses the wrong table, the wrong
// order of tables or the wrong bits gives a different result.
inline SubstitutionTables ReversedTables() {
  SubstitutionTables tables{};
  for (std::size_t t = 0; t < kSubstitutionTableCount; ++t) {
    for (std::size_t v = 0; v < kSubstitutionTableSize; ++v) {
      tables[t * kSubstitutionTableSize + v] = static_cast<std::uint8_t>((63 - v + 5 * t) & 63);
    }
  }
  return tables;
}

inline std::uint8_t ReversedTablesInverse(std::size_t table, std::uint8_t entry) {
  return static_cast<std::uint8_t>((63 + 5 * table - entry) & 63);
}

// Encodes ANSI bytes as the family does with ReversedTables(), beginning with
// table `selector` - ':' (":" to "I"). Bytes that do not fill the last group
// of three are padded, and one "!" per padding byte ends the text.
inline std::u16string EncodeFamilyPath(std::string_view bytes, char16_t selector = u'<') {
  std::size_t table = static_cast<std::size_t>(selector - u':');
  std::u16string text(1, selector);
  const std::size_t padding = (3 - bytes.size() % 3) % 3;
  std::string data(bytes);
  data.append(padding, '\0');
  for (std::size_t i = 0; i < data.size(); i += 3) {
    std::uint32_t accumulator = 0;
    for (std::size_t b = 0; b < 3; ++b) {
      const auto byte = static_cast<std::uint8_t>(data[i + b]);
      const std::uint8_t encoded =
          static_cast<std::uint8_t>((byte & 0xC0) | ReversedTablesInverse(table, byte & 0x3F));
      accumulator |= std::uint32_t{encoded} << (8 * b);
      table = (table + 1) % kSubstitutionTableCount;
    }
    for (unsigned c = 0; c < 4; ++c) {
      text += static_cast<char16_t>(u':' + ((accumulator >> (6 * c)) & 63));
    }
  }
  text.append(padding, u'!');
  return text;
}

}  // namespace quenwick::testing
