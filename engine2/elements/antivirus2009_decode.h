// The Antivirus2009 family's encoding of its program path, and the test that
// tells a usable program path from anything else.
//
// The family stores the path either plainly or in an encoding of its own: the
// first character picks one of 16 substitution tables, and every following
// group of four characters carries three bytes, each six-bit part of which is
// replaced through the current table. DecodePath undoes that encoding for any
// text, however damaged: it only ever reads inside the text and the 1,024-byte
// table block, and its result is never longer than the text.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quenwick {

inline constexpr std::size_t kSubstitutionTableCount = 16;
inline constexpr std::size_t kSubstitutionTableSize = 64;
using SubstitutionTables =
    std::array<std::uint8_t, kSubstitutionTableCount * kSubstitutionTableSize>;

// The decoded bytes (in the system's ANSI code page), trailing "!" already
// accounted for. Empty for an empty text, for a text whose first character
// names no table, and for a text of the first character alone.
std::vector<std::uint8_t> DecodePathBytes(std::u16string_view text,
                                          const SubstitutionTables& tables);

// DecodePathBytes converted from the ANSI code page (MultiByteToWideChar,
// CP_ACP). Empty when there are no bytes or the conversion fails.
std::u16string DecodePath(std::u16string_view text, const SubstitutionTables& tables);

// True for "X:\...<suffix>" or "X:/...<suffix>": at least four characters, a
// colon second, a slash or backslash third, and the last four characters equal
// to `exeSuffix` ignoring the case of A-Z. The first character is not looked
// at. A suffix that is not four characters long never matches.
bool IsExePath(std::u16string_view text, std::u16string_view exeSuffix);

}  // namespace quenwick
