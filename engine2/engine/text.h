// Small text helpers shared by every layer. Texts are UTF-16; comparisons
// fold only the letters A-Z, never by locale.
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

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string ToUtf8(std::u16string_view text);
// UTF-8 to UTF-16; invalid sequences become U+FFFD.
std::u16string FromUtf8(std::string_view text);

}  // namespace quenwick
