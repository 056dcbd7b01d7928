// The file-system calls of the removal layer, in one place.
//
// Every read, attribute change, deletion and registration for deletion at the
// next start that RemovePath and the folder walk make goes through these
// functions. They are the single point where a path is turned into the form a
// call needs (see CallPath), and where the guard (removal_guard.h) stands
// between the removal layer and the file system, so that no deletion can
// bypass it.
//
// Each function makes its one platform call unless the guard refuses the
// path or it is too long for any call, and says what happened in its result.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace quenwick::removal {

// Paths of this many characters or more do not fit the classic Win32 path
// buffer (MAX_PATH with its terminator) and are passed in the long form.
inline constexpr std::size_t kMaxPath = 260;
// No Windows path, long form included, is longer than this; a longer one
// (which can come from a registry value) is refused before any call, since
// some systems wrap its length instead of refusing it.
inline constexpr std::size_t kMaxLongPath = 32767;

// The form of `path` to hand to a file-system call. A drive or network path
// that the classic path rules would refuse or change is given the "\\?\" (or
// "\\?\UNC\") prefix: one of kMaxPath characters or more, or one with a name
// that ends in a dot or a space (which the classic rules strip, so that the
// call would name another file). Any other path, a relative one and one that
// already has a prefix are given unchanged.
std::u16string CallPath(std::u16string_view path);

// True when some name in the path ends in a dot or a blank: the classic path
// rules drop such endings ("x." names "x").
bool HasNameThatClassicRulesChange(std::u16string_view path);

// `folder`, a backslash unless it is empty or already ends with one, and `name`.
std::u16string JoinPath(std::u16string_view folder, std::u16string_view name);

// What one call did: done, or not, with the reason: ERROR_ACCESS_DENIED when
// the guard refused the path, ERROR_FILENAME_EXCED_RANGE when it was too long
// for any call, otherwise what the call left in GetLastError().
struct [[nodiscard]] CallResult {
  bool done = false;
  win::DWORD error = 0;
};

win::DWORD ReadAttributes(const std::u16string& path);
CallResult WriteAttributes(const std::u16string& path, win::DWORD attributes);
CallResult DeleteFileEntry(const std::u16string& path);
CallResult RemoveFolderEntry(const std::u16string& path);
// MoveFileExW(path, no new name, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT).
// The deletion is carried out at the next start with the system's rights, so
// the path is checked in full (long form) whoever asks. A path registered
// once while a guard scope lives is not registered again (a file deletion
// and the deletion of its folder both ask for a locked file).
CallResult RegisterDeletionAtRestart(const std::u16string& path);
// FindFirstFileW of `pattern`; INVALID_FIND_HANDLE when nothing was found.
win::HFIND OpenSearch(const std::u16string& pattern, win::WIN32_FIND_DATAW* data);

}  // namespace quenwick::removal
