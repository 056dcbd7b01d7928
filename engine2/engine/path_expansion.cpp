#include "engine/path_expansion.h"

#include <algorithm>
#include <array>

#include "base/text.h"
#include "platform/platform.h"
#include "system/safety_tables.h"

namespace quenwick {
namespace {

// The buffer SHGetSpecialFolderPathW writes into; the call assumes MAX_PATH.
constexpr std::size_t kFolderPathChars = win::MAX_PATH;
// ExpandEnvironmentStringsW is given two characters more than it asked for.
constexpr win::DWORD kEnvironmentSlackChars = 2;

constexpr std::u16string_view kFolderMacroPrefix = u"%CSIDL_";

// The text a buffer holds: up to its first zero, never past its end.
std::u16string TextOfBuffer(const char16_t* buffer, std::size_t capacity) {
  const char16_t* end = std::find(buffer, buffer + capacity, u'\0');
  return std::u16string(buffer, end);
}

bool HasWildcard(std::u16string_view text) {
  return text.find_first_of(u"*?") != std::u16string_view::npos;
}

}  // namespace

std::u16string ExpandFolderMacro(std::u16string_view macro) {
  // The macro with its percent signs; the table names it without them.
  const std::u16string_view name =
      macro.size() >= 2 ? macro.substr(1, macro.size() - 2) : std::u16string_view();
  for (const safety::FolderMacro& entry : safety::kFolderMacros) {
    if (!EqualsIgnoreAsciiCase(name, entry.name)) continue;
    std::array<char16_t, kFolderPathChars> buffer{};
    // A folder the shell cannot give keeps the macro in the path, so the path
    // names nothing rather than something relative to the current folder.
    if (!Sys().SHGetSpecialFolderPathW(win::HWND{}, buffer.data(), entry.csidl, 0)) {
      return std::u16string(macro);
    }
    return TextOfBuffer(buffer.data(), buffer.size());
  }
  return std::u16string(macro);
}

std::optional<std::u16string> ExpandEnvironmentMacro(std::u16string_view macro) {
  const std::u16string source(macro);  // the call needs a terminated text
  const win::DWORD needed = Sys().ExpandEnvironmentStringsW(source.c_str(), nullptr, 0);
  if (needed == 0) return std::nullopt;
  std::u16string buffer(static_cast<std::size_t>(needed) + kEnvironmentSlackChars, u'\0');
  const auto capacity = static_cast<win::DWORD>(buffer.size());
  const win::DWORD written = Sys().ExpandEnvironmentStringsW(source.c_str(), buffer.data(), capacity);
  // A result above the capacity means the variable grew between the two calls
  // and the buffer holds nothing usable.
  if (written == 0 || written > capacity) return std::nullopt;
  return TextOfBuffer(buffer.data(), buffer.size());
}

std::u16string ExpandLeadingMacro(std::u16string_view text) {
  if (text.empty() || text.front() != u'%') return std::u16string(text);
  const std::size_t close = text.find(u'%', 1);
  if (close == std::u16string_view::npos) return std::u16string(text);

  const std::u16string macro = ToUpperAscii(text.substr(0, close + 1));
  std::u16string expanded;
  if (macro.starts_with(kFolderMacroPrefix)) {
    expanded = ExpandFolderMacro(macro);
  } else {
    expanded = ExpandEnvironmentMacro(macro).value_or(macro);
  }
  AppendText(expanded, text.substr(close + 1));
  return expanded;
}

std::u16string ResolvePath(std::u16string_view text) {
  std::u16string path = ExpandLeadingMacro(text);
  // No element acts on a pattern: a path with wildcards names nothing.
  if (HasWildcard(path)) return std::u16string();
  StripEnclosingQuotes(path);
  SlashesToBackslashes(path);
  CollapseBackslashes(path);
  return path;
}

void SlashesToBackslashes(std::u16string& text) {
  std::replace(text.begin(), text.end(), u'/', u'\\');
}

void CollapseBackslashes(std::u16string& text) {
  auto last = std::unique(text.begin(), text.end(),
                          [](char16_t a, char16_t b) { return a == u'\\' && b == u'\\'; });
  text.erase(last, text.end());
}

void StripEnclosingQuotes(std::u16string& text) {
  if (text.size() >= 2 && text.front() == u'"' && text.back() == u'"') {
    text.pop_back();
    text.erase(0, 1);
  }
}

void AppendText(std::u16string& text, std::u16string_view suffix) { text.append(suffix); }

}  // namespace quenwick
