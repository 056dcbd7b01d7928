#include "base/utf16le.h"

#include "base/little_endian.h"

namespace quenwick {

void AppendUtf16Le(std::vector<std::uint8_t>& out, std::u16string_view text) {
  for (const char16_t unit : text) AppendLittleEndian(out, unit, 2);
}

std::vector<std::uint8_t> Utf16LeBytes(std::u16string_view text) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() * 2);
  AppendUtf16Le(bytes, text);
  return bytes;
}

std::vector<std::uint8_t> TerminatedUtf16LeBytes(std::u16string_view text) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve((text.size() + 1) * 2);
  AppendUtf16Le(bytes, text);
  bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

std::u16string TextFromUtf16Le(std::span<const std::uint8_t> bytes) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const char16_t unit = LoadLe16(bytes.data() + i);
    if (unit == u'\0') break;
    text += unit;
  }
  return text;
}

}  // namespace quenwick
