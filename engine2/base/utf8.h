// Conversions between UTF-8 (console lines, source files, messages) and the
// UTF-16 the program works in. A UTF-16 text may hold unpaired surrogates,
// which have no UTF-8 form, and a byte text may be malformed: the lenient
// conversions put U+FFFD in their place, the strict ones refuse the text.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quenwick {

// One UTF-8 sequence: the code point and its length in bytes. A malformed
// sequence (a stray or truncated lead, an overlong form, an encoded
// surrogate, a value beyond U+10FFFF) is not `valid` and reads as U+FFFD;
// its length is 1 when its continuation bytes are missing.
struct Utf8Sequence {
  char32_t codePoint = 0;
  std::size_t length = 0;
  bool valid = false;
};

// The sequence that starts at `pos` (< text.size()).
Utf8Sequence DecodeUtf8(std::string_view text, std::size_t pos);

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string ToUtf8(std::u16string_view text);
// UTF-8 to UTF-16; malformed sequences become U+FFFD.
std::u16string FromUtf8(std::string_view text);

// Well-formed UTF-8 to UTF-16; nullopt for malformed input.
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);
// UTF-16 to UTF-8; nullopt when the text holds an unpaired surrogate.
std::optional<std::string> Utf16ToUtf8(std::u16string_view text);

}  // namespace quenwick
