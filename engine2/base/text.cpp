#include "base/text.h"

namespace quenwick {

std::u16string ToLowerAscii(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = ToLowerAscii(c);
  return out;
}

std::u16string ToUpperAscii(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = ToUpperAscii(c);
  return out;
}

bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ToLowerAscii(a[i]) != ToLowerAscii(b[i])) return false;
  }
  return true;
}

bool StartsWithIgnoreAsciiCase(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreAsciiCase(text.substr(0, prefix.size()), prefix);
}

bool ContainsIgnoreAsciiCase(std::u16string_view text, std::u16string_view part) {
  return ToLowerAscii(text).find(ToLowerAscii(part)) != std::u16string::npos;
}

}  // namespace quenwick
