// Checks of file, folder and program paths.
#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "base/text.h"
#include "base/utf8.h"
#include "lint_rules.h"
#include "suggestion.h"
#include "system/safety_tables.h"

namespace quenwick::dbtool::lint {
namespace {

// Environment variables that Windows defines for every user, upper-cased.
// A macro outside this list is taken for a typing error.
constexpr std::array<std::u16string_view, 27> kEnvironmentVariables = {
    u"SYSTEMROOT",       u"WINDIR",          u"SYSTEMDRIVE",           u"USERPROFILE",
    u"ALLUSERSPROFILE",  u"APPDATA",         u"LOCALAPPDATA",          u"PROGRAMFILES",
    u"PROGRAMFILES(X86)", u"PROGRAMW6432",   u"COMMONPROGRAMFILES",    u"COMMONPROGRAMFILES(X86)",
    u"COMMONPROGRAMW6432", u"PROGRAMDATA",   u"PUBLIC",                u"HOMEDRIVE",
    u"HOMEPATH",         u"TEMP",            u"TMP",                   u"COMSPEC",
    u"USERNAME",         u"USERDOMAIN",      u"COMPUTERNAME",          u"DRIVERDATA",
    u"ONEDRIVE",         u"SYSTEMDIRECTORY", u"DEFAULTUSERPROFILE",
};

// Programs of Windows that its own settings name: a repair marker that is one
// of these alone finds the setting healthy or hijacked alike.
constexpr std::array<std::u16string_view, 20> kWindowsFileNames = {
    u"explorer.exe", u"userinit.exe", u"winlogon.exe", u"svchost.exe",  u"rundll32.exe",
    u"cmd.exe",      u"command.com",  u"iexplore.exe", u"regedit.exe",  u"taskmgr.exe",
    u"mshta.exe",    u"wscript.exe",  u"cscript.exe",  u"notepad.exe",  u"ctfmon.exe",
    u"services.exe", u"lsass.exe",    u"csrss.exe",    u"msiexec.exe",  u"regsvr32.exe",
};

template <std::size_t N>
bool Contains(const std::array<std::u16string_view, N>& list, std::u16string_view text) {
  return std::find(list.begin(), list.end(), text) != list.end();
}

// The known macro closest to an unknown one, for "did you mean".
std::optional<std::string> Suggestion(std::u16string_view inner) {
  std::vector<std::string> known;
  for (const auto& macro : safety::kFolderMacros) known.push_back(ToUtf8(macro.name));
  for (auto name : kEnvironmentVariables) known.push_back(ToUtf8(name));
  return ClosestName(ToUtf8(inner), known);
}

// The leading macro of a path (between the first two '%', upper-cased), as
// the program finds it; nullopt when the text does not start with one.
struct LeadingMacro {
  std::u16string inner;  // upper case, without '%'
  std::size_t end = 0;   // index after the closing '%'
};

std::optional<LeadingMacro> FindLeadingMacro(std::u16string_view text) {
  if (text.empty() || text[0] != u'%') return std::nullopt;
  const std::size_t close = text.find(u'%', 1);
  if (close == std::u16string_view::npos) return std::nullopt;
  return LeadingMacro{ToUpperAscii(text.substr(1, close - 1)), close + 1};
}

bool IsKnownMacro(std::u16string_view inner) {
  return std::any_of(safety::kFolderMacros.begin(), safety::kFolderMacros.end(),
                     [&](const safety::FolderMacro& macro) { return macro.name == inner; }) ||
         Contains(kEnvironmentVariables, inner);
}

bool IsMacroCharacter(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
         c == u'_' || c == u'(' || c == u')';
}

// A "%NAME%" that stands after the start of the text.
std::optional<std::u16string_view> FindLaterMacro(std::u16string_view text, std::size_t from) {
  for (std::size_t open = text.find(u'%', from); open != std::u16string_view::npos;
       open = text.find(u'%', open + 1)) {
    const std::size_t close = text.find(u'%', open + 1);
    if (close == std::u16string_view::npos) return std::nullopt;
    const auto inner = text.substr(open + 1, close - open - 1);
    if (!inner.empty() && std::all_of(inner.begin(), inner.end(), IsMacroCharacter)) {
      return text.substr(open, close - open + 1);
    }
  }
  return std::nullopt;
}

std::u16string StripQuotes(std::u16string_view text) {
  if (text.size() >= 2 && text.front() == u'"' && text.back() == u'"') {
    text = text.substr(1, text.size() - 2);
  }
  return std::u16string(text);
}

}  // namespace

std::string Show(std::u16string_view text) { return "\"" + ToUtf8(text) + "\""; }

void CheckPathText(const Reporter& report, SourcePos pos, FieldRole role, std::u16string_view text) {
  const auto macro = FindLeadingMacro(text);
  if (macro && !IsKnownMacro(macro->inner)) {
    std::string message = "the macro %" + ToUtf8(macro->inner) + "% is ";
    message += macro->inner.starts_with(u"CSIDL_") ? "not one of the shell folders the program knows"
                                                   : "not an environment variable Windows defines";
    message += "; the path keeps it and names nothing";
    if (const auto suggestion = Suggestion(macro->inner)) {
      message += " (did you mean %" + *suggestion + "%?)";
    }
    report.Error(pos, "unknown-path-macro", message);
  }
  if (const auto later = FindLaterMacro(text, macro ? macro->end : 0)) {
    report.Error(pos, "macro-not-at-start",
                 "the macro " + Show(*later) +
                     " is not expanded: only a macro at the very start of a path is");
  }
  if (text.find_first_of(u"*?") != std::u16string_view::npos) {
    const char* outcome = role == FieldRole::kProgram ? "names no program; the element does nothing"
                          : role == FieldRole::kMarker ? "resolves to nothing; the repair never writes"
                                                       : "resolves to nothing; the element finds and deletes nothing";
    report.Error(pos, "wildcard-in-path", std::string("a path with '*' or '?' ") + outcome);
  }
}

void CheckRepairMarker(const Reporter& report, SourcePos pos, std::u16string_view marker) {
  const std::u16string name = ToLowerAscii(StripQuotes(marker));
  if (name.find_first_of(u"\\/") == std::u16string::npos && Contains(kWindowsFileNames, name)) {
    report.Warning(pos, "repair-marker-windows-name",
                   "the marker " + Show(marker) +
                       " is a Windows file name alone: it is found in the setting whoever took it over; "
                       "name the rogue's program (with its folder, or its own file name)");
  }
}

}  // namespace quenwick::dbtool::lint
