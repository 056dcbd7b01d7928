#include "engine/path_expansion.h"

#include <algorithm>
#include <array>

#include "engine/text.h"
#include "platform/platform.h"

namespace quenwick {
namespace {

// The buffer SHGetSpecialFolderPathW writes into; the call assumes MAX_PATH.
constexpr std::size_t kFolderPathChars = win::MAX_PATH;
// ExpandEnvironmentStringsW is given two characters more than it asked for.
constexpr win::DWORD kEnvironmentSlackChars = 2;

constexpr std::u16string_view kFolderMacroPrefix = u"%CSIDL_";

struct FolderMacro {
  std::u16string_view macro;
  int csidl;
};

// The shell-folder macros the database may use. "%CSIDL_MYDOCUMENTS%" is the
// user's documents folder, which the shell knows as CSIDL_PERSONAL; the
// CSIDL_MYDOCUMENTS constant is a virtual folder without a file-system path.
constexpr std::array<FolderMacro, 21> kFolderMacros{{
    {u"%CSIDL_DESKTOP%", win::CSIDL_DESKTOP},
    {u"%CSIDL_PROGRAMS%", win::CSIDL_PROGRAMS},
    {u"%CSIDL_PERSONAL%", win::CSIDL_PERSONAL},
    {u"%CSIDL_STARTUP%", win::CSIDL_STARTUP},
    {u"%CSIDL_STARTMENU%", win::CSIDL_STARTMENU},
    {u"%CSIDL_MYDOCUMENTS%", win::CSIDL_PERSONAL},
    {u"%CSIDL_DESKTOPDIRECTORY%", win::CSIDL_DESKTOPDIRECTORY},
    {u"%CSIDL_COMMON_STARTMENU%", win::CSIDL_COMMON_STARTMENU},
    {u"%CSIDL_COMMON_PROGRAMS%", win::CSIDL_COMMON_PROGRAMS},
    {u"%CSIDL_COMMON_STARTUP%", win::CSIDL_COMMON_STARTUP},
    {u"%CSIDL_COMMON_DESKTOPDIRECTORY%", win::CSIDL_COMMON_DESKTOPDIRECTORY},
    {u"%CSIDL_APPDATA%", win::CSIDL_APPDATA},
    {u"%CSIDL_LOCAL_APPDATA%", win::CSIDL_LOCAL_APPDATA},
    {u"%CSIDL_COMMON_APPDATA%", win::CSIDL_COMMON_APPDATA},
    {u"%CSIDL_WINDOWS%", win::CSIDL_WINDOWS},
    {u"%CSIDL_SYSTEM%", win::CSIDL_SYSTEM},
    {u"%CSIDL_PROGRAM_FILES%", win::CSIDL_PROGRAM_FILES},
    {u"%CSIDL_PROFILE%", win::CSIDL_PROFILE},
    {u"%CSIDL_PROGRAM_FILESX86%", win::CSIDL_PROGRAM_FILESX86},
    {u"%CSIDL_PROGRAM_FILES_COMMON%", win::CSIDL_PROGRAM_FILES_COMMON},
    {u"%CSIDL_COMMON_DOCUMENTS%", win::CSIDL_COMMON_DOCUMENTS},
}};

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
  for (const FolderMacro& entry : kFolderMacros) {
    if (!EqualsIgnoreAsciiCase(macro, entry.macro)) continue;
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
