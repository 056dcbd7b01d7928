// Turning path texts of the database into paths on the running machine.
//
// A text may begin with one macro: a shell folder ("%CSIDL_PROGRAM_FILES%") or
// an environment variable ("%SystemRoot%"). Only a macro at the very first
// position is expanded, and only one. Registry paths never pass through here.
#pragma once

#include <string>
#include <string_view>

namespace quenwick {

// Expands the leading macro, empties a text with "?" or "*", strips one pair
// of enclosing double quotes, turns "/" into "\" and collapses runs of "\".
std::u16string ResolvePath(std::u16string_view text);

// The text with its leading macro expanded (a copy when there is none). A
// macro that names no shell folder of the table, or no variable, stays in the
// result upper-cased with its percent signs, so the path names nothing.
std::u16string ExpandLeadingMacro(std::u16string_view text);

// `macro` is upper-cased and begins with "%CSIDL_". The folder's path, or the
// macro itself when the table has no such entry or the folder is unknown.
std::u16string ExpandFolderMacro(std::u16string_view macro);

// In-place normalisers; none lengthens the text.
void SlashesToBackslashes(std::u16string& text);
void CollapseBackslashes(std::u16string& text);
void StripEnclosingQuotes(std::u16string& text);

// Replaces `text` by `text` followed by `suffix`.
void AppendText(std::u16string& text, std::u16string_view suffix);

}  // namespace quenwick
