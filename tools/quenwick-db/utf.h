// Conversions between the UTF-8 of source files and the UTF-16 of the
// database. Database texts are arbitrary runs of 16-bit code units: they may
// hold unpaired surrogates, which have no UTF-8 form, so the conversion to
// UTF-8 can fail and the caller then writes the code units as numbers.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quenwick::dbtool {

// Well-formed UTF-8 to UTF-16; nullopt for malformed input.
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);

// UTF-16 to UTF-8; nullopt when the text holds an unpaired surrogate.
std::optional<std::string> Utf16ToUtf8(std::u16string_view text);

// For messages: like Utf16ToUtf8, with every unpaired surrogate shown as
// U+FFFD.
std::string Utf16ToUtf8Lossy(std::u16string_view text);

}  // namespace quenwick::dbtool
