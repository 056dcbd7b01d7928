#include "base/utf8.h"

namespace quenwick {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kMaxCodePoint = 0x10FFFF;

constexpr bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
constexpr bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
constexpr bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  } else {
    out += static_cast<char16_t>(cp);
  }
}

// UTF-16 to UTF-8, with `lone` in place of each unpaired surrogate; nullopt
// when there is one and no `lone`.
std::optional<std::string> EncodeUtf8(std::u16string_view text, std::optional<char32_t> lone) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (IsHighSurrogate(cp) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xDC00);
      ++i;
    } else if (IsSurrogate(cp)) {
      if (!lone) return std::nullopt;
      cp = *lone;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

}  // namespace

Utf8Sequence DecodeUtf8(std::string_view text, std::size_t pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) return {lead, 1, true};
  std::size_t extra = 0;
  char32_t cp = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1, cp = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, cp = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, cp = lead & 0x07, minimum = 0x10000;
  } else {
    return {kReplacement, 1, false};
  }
  if (extra > text.size() - pos - 1) return {kReplacement, 1, false};
  for (std::size_t k = 1; k <= extra; ++k) {
    const auto next = static_cast<unsigned char>(text[pos + k]);
    if ((next & 0xC0) != 0x80) return {kReplacement, 1, false};
    cp = (cp << 6) | (next & 0x3F);
  }
  // Overlong forms, encoded surrogates and values beyond Unicode are not
  // UTF-8, though their bytes are taken as one sequence.
  if (cp < minimum || cp > kMaxCodePoint || IsSurrogate(cp)) return {kReplacement, extra + 1, false};
  return {cp, extra + 1, true};
}

std::string ToUtf8(std::u16string_view text) { return *EncodeUtf8(text, kReplacement); }

std::optional<std::string> Utf16ToUtf8(std::u16string_view text) { return EncodeUtf8(text, std::nullopt); }

std::u16string FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Sequence sequence = DecodeUtf8(text, i);
    AppendUtf16(out, sequence.codePoint);
    i += sequence.length;
  }
  return out;
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Sequence sequence = DecodeUtf8(text, i);
    if (!sequence.valid) return std::nullopt;
    AppendUtf16(out, sequence.codePoint);
    i += sequence.length;
  }
  return out;
}

}  // namespace quenwick
