// Win32 path normalisation for the simulated machine: what the Windows API
// does to a path text before the file system sees it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/win_types.h"

namespace quenwick::sim::detail {

// Without the "\\?\" prefix Windows refuses paths of MAX_PATH characters or
// more (the classic limit; Wine does not enforce it).
inline constexpr std::size_t kMaxPath = win::MAX_PATH;
// The directory relative paths are taken against.
inline constexpr char16_t kCurrentDrive = u'C';

// A full, normalised path: a drive and its components, none empty.
struct WinPath {
  char16_t drive = kCurrentDrive;  // upper case
  std::vector<std::u16string> parts;
  bool trailingSeparator = false;  // the text ended in "\" (names a folder)
  bool longPrefix = false;         // the text began with "\\?\"

  bool IsRoot() const { return parts.empty(); }
  // "C:\a\b" ("C:\" for the root), the components in their given case.
  std::u16string Text() const;
};

struct ParsedPath {
  win::DWORD error = 0;  // 0 when `path` is usable
  WinPath path;
};

// Normalises like GetFullPathNameW: "/" becomes "\", runs of "\" collapse,
// "." and ".." are resolved lexically (".." never climbs above the root), a
// segment ending in a single "." loses it, and trailing dots and blanks of
// the last segment go. A "\\?\" path is taken literally instead: only its
// separators are read, and a "." or ".." in it is ERROR_INVALID_NAME. Relative paths are taken against "C:\". Errors:
// ERROR_FILENAME_EXCED_RANGE for MAX_PATH characters or more without the
// "\\?\" prefix (when `enforceMaxPath`), ERROR_PATH_NOT_FOUND for an empty
// text, ERROR_BAD_NETPATH for network and device paths, and ERROR_INVALID_NAME
// for a component holding a character Windows forbids in names (wildcards
// included, unless `allowWildcardsInLast` for the last component).
// With `validateNames` false (GetFullPathNameW) no character is refused.
ParsedPath ParseWin32Path(std::u16string_view text, bool enforceMaxPath = true,
                          bool allowWildcardsInLast = false, bool validateNames = true);

// A-Z folded to upper case: the key under which names are compared and
// sorted (NTFS and the registry both order names by their upper-case form).
std::u16string Fold(std::u16string_view text);
// Compares an already folded name with a raw one as if the raw one were
// folded (negative, zero, positive), without allocating.
int CompareFolded(std::u16string_view folded, std::u16string_view raw);

// Whether `name` matches a FindFirstFileW pattern ("*", "*.*", "?", "*.txt"),
// without regard to case. "*.*" matches every name, also one without a dot;
// a "?" at the end of the pattern or before a "." may match nothing.
bool MatchesPattern(std::u16string_view pattern, std::u16string_view name);

}  // namespace quenwick::sim::detail
