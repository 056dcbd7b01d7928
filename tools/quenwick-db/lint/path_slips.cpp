// Slips of the pen in paths that still read as text: a macro that never
// closes, a macro glued to the next name, a control character that a basic
// string's escape put there, and a fixed drive letter.
#include <algorithm>
#include <array>
#include <cstdio>

#include "base/text.h"
#include "base/utf8.h"
#include "lint_rules.h"

namespace quenwick::dbtool::lint {
namespace {

// Where a fixed path usually belongs, lower case with its drive as "c:", and
// the macro that names it on every machine. Longest first.
struct FixedFolder {
  std::u16string_view folder;
  std::string_view macro;
};
constexpr std::array<FixedFolder, 9> kFixedFolders = {{
    {u"c:\\program files (x86)", "%CSIDL_PROGRAM_FILESX86%"},
    {u"c:\\program files\\common files", "%CSIDL_PROGRAM_FILES_COMMON%"},
    {u"c:\\program files", "%CSIDL_PROGRAM_FILES%"},
    {u"c:\\windows\\system32", "%CSIDL_SYSTEM%"},
    {u"c:\\windows", "%CSIDL_WINDOWS%"},
    {u"c:\\programdata", "%CSIDL_COMMON_APPDATA%"},
    {u"c:\\documents and settings\\all users\\application data", "%CSIDL_COMMON_APPDATA%"},
    {u"c:\\users\\public", "%PUBLIC%"},
    {u"c:", "%SystemDrive%"},
}};

bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

std::string CharacterName(char16_t c) {
  switch (c) {
    case u'\t': return "a tab";
    case u'\n': return "a line break";
    case u'\r': return "a carriage return";
    case u'\b': return "a backspace";
    case u'\f': return "a form feed";
    default: {
      char code[16];
      std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
      return std::string("the control character ") + code;
    }
  }
}

// The escape a basic string turns into `c`, when there is a short one.
std::string_view EscapeOf(char16_t c) {
  switch (c) {
    case u'\t': return "\\t";
    case u'\n': return "\\n";
    case u'\r': return "\\r";
    case u'\b': return "\\b";
    case u'\f': return "\\f";
    default: return "";
  }
}

void CheckControlCharacters(const Reporter& report, SourcePos pos, std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0x20 && c != 0x7F) continue;
    std::string message = "the path holds " + CharacterName(c) + " after " +
                          Show(text.substr(0, i)) + "; no file or key is named so";
    if (const std::string_view escape = EscapeOf(c); !escape.empty()) {
      message += ": in a basic string (\"...\") \"" + std::string(escape) +
                 "\" is an escape; write the path as a literal string ('...') so that backslashes stay";
    }
    report.Error(pos, "control-character-in-path", message);
    return;
  }
}

// A '%' at the start with no '%' after it: the program looks for the closing
// one, finds none and keeps the text, which then names nothing.
void CheckUnclosedMacro(const Reporter& report, SourcePos pos, std::u16string_view text) {
  if (text.empty() || text[0] != u'%' || text.find(u'%', 1) != std::u16string_view::npos) return;
  const std::size_t nameEnd = text.find(u'\\');
  const std::u16string_view name = text.substr(1, nameEnd == std::u16string_view::npos ? text.npos : nameEnd - 1);
  report.Error(pos, "unclosed-macro",
               "the macro " + Show(text.substr(0, 1 + name.size())) +
                   " never closes, so it is not expanded and the path names nothing; write " +
                   Show(u"%" + std::u16string(name) + u"%" + std::u16string(text.substr(1 + name.size()))));
}

// "%CSIDL_PROGRAM_FILES%Example": the folder's path and the name run together
// ("C:\Program FilesExample").
void CheckMacroBackslash(const Reporter& report, SourcePos pos, std::u16string_view text) {
  if (text.empty() || text[0] != u'%') return;
  const std::size_t close = text.find(u'%', 1);
  if (close == std::u16string_view::npos || close + 1 >= text.size() || text[close + 1] == u'\\') return;
  const std::u16string_view macro = text.substr(0, close + 1);
  report.Error(pos, "macro-without-backslash",
               "the macro " + Show(macro) + " is not followed by a backslash, so its folder and " +
                   Show(text.substr(close + 1)) + " run together into one name; write " +
                   Show(std::u16string(macro) + u"\\" + std::u16string(text.substr(close + 1))));
}

// "C:\Program Files\..." holds on the machines whose Windows is on C: and
// whose folders have their English names only.
void CheckFixedDrive(const Reporter& report, SourcePos pos, std::u16string_view text) {
  std::u16string_view path = text;
  if (!path.empty() && path[0] == u'"') {
    // A quoted program and its arguments: only the program can take a
    // macro, written alone ('%CSIDL_PROGRAM_FILES%\Rogue\rogue.exe').
    path.remove_prefix(1);
    path = path.substr(0, path.find(u'"'));
  }
  if (path.size() < 2 || !IsAsciiLetter(path[0]) || path[1] != u':') return;
  std::u16string folded = ToLowerAscii(path);
  std::replace(folded.begin(), folded.end(), u'/', u'\\');
  folded[0] = u'c';
  std::string fix = "start it with a macro";
  for (const FixedFolder& known : kFixedFolders) {
    const std::size_t length = known.folder.size();
    if (folded.starts_with(known.folder) && (folded.size() == length || folded[length] == u'\\')) {
      fix = "write " + Show(Utf8ToUtf16(std::string(known.macro)).value_or(u"") +
                            std::u16string(path.substr(length)));
      break;
    }
  }
  report.Warning(pos, "fixed-drive-letter",
                 "the path " + Show(path) + " names a fixed drive; Windows may stand elsewhere, "
                 "and its folders have other names in other languages: " + fix);
}

}  // namespace

void CheckPathSlips(const Reporter& report, SourcePos pos, FieldRole role, std::u16string_view text) {
  CheckControlCharacters(report, pos, text);
  if (role == FieldRole::kRegistryKey || role == FieldRole::kRegistryPrefix) return;
  CheckUnclosedMacro(report, pos, text);
  CheckMacroBackslash(report, pos, text);
  CheckFixedDrive(report, pos, text);
}

}  // namespace quenwick::dbtool::lint
