// Letter case of UTF-16 texts, shared by every layer: comparisons fold only
// the letters A-Z, never by locale.
#pragma once

#include <string>
#include <string_view>

namespace quenwick {

constexpr char16_t ToLowerAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? c + 32 : c; }
constexpr char16_t ToUpperAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? c - 32 : c; }

std::u16string ToLowerAscii(std::u16string_view text);
std::u16string ToUpperAscii(std::u16string_view text);
bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b);
// True when `text` starts with `prefix`, ignoring the case of A-Z.
bool StartsWithIgnoreAsciiCase(std::u16string_view text, std::u16string_view prefix);
// True when `part` occurs in `text`, ignoring the case of A-Z (an empty part
// occurs everywhere).
bool ContainsIgnoreAsciiCase(std::u16string_view text, std::u16string_view part);

}  // namespace quenwick
