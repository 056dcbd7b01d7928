// UTF-16 texts as little-endian bytes: the form of registry string values
// and of the database's texts.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quenwick {

// Appends the code units of `text`, without a terminator.
void AppendUtf16Le(std::vector<std::uint8_t>& out, std::u16string_view text);

// The bytes of `text` alone (a REG_LINK's target has no terminator).
std::vector<std::uint8_t> Utf16LeBytes(std::u16string_view text);

// The bytes of `text` followed by a zero terminator, as a REG_SZ holds it.
std::vector<std::uint8_t> TerminatedUtf16LeBytes(std::u16string_view text);

// The text of a string value's bytes: it ends at the first zero unit or at
// the last whole unit, since neither a terminator nor an even count is
// promised.
std::u16string TextFromUtf16Le(std::span<const std::uint8_t> bytes);

}  // namespace quenwick
