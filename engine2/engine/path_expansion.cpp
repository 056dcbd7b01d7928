#include "engine/path_expansion.h"

#include <algorithm>

#include "base/text.h"
#include "system/safety_tables.h"
#include "system/system_text.h"

namespace quenwick {
namespace {

constexpr std::u16string_view kFolderMacroPrefix = u"%CSIDL_";

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
    // A folder the shell cannot give keeps the macro in the path, so the path
    // names nothing rather than something relative to the current folder.
    return ShellFolderPath(entry.csidl).value_or(std::u16string(macro));
  }
  return std::u16string(macro);
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
    expanded = ExpandEnvironment(macro).value_or(macro);
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
