// The file-system calls of the removal layer, in one place.
//
// Every read, attribute change, deletion and registration for deletion at the
// next start that RemovePath and the folder walk make goes through these
// functions. A path enters them once, as a CheckedPath: that is where it is
// resolved, turned into the form a call needs (see CallPath) and judged by
// the guard (removal_guard.h), so that no deletion can bypass it and no path
// is checked twice.
#pragma once

#include <cstddef>
#include <optional>
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

// A path the removal layer may hand to a call that changes the file system:
// resolved once (named_path.h), judged by the guard once, and put in the form
// the calls take, where it enters the layer. Only the two checks below make
// one, so an unchecked path cannot reach a deleting call.
class CheckedPath {
 public:
  // As resolved: for messages and for joining the names of its entries.
  const std::u16string& text() const { return text_; }
  // The form a call takes (CallPath).
  const std::u16string& call() const { return call_; }
  // Checked in full (a named path) rather than lexically (an entry).
  bool named() const { return named_; }

 private:
  friend std::optional<CheckedPath> CheckNamed(std::u16string_view path);
  friend std::optional<CheckedPath> CheckEntry(const CheckedPath& folder, std::u16string_view name);
  CheckedPath(std::u16string text, std::u16string call, bool named)
      : text_(std::move(text)), call_(std::move(call)), named_(named) {}

  std::u16string text_;
  std::u16string call_;
  bool named_;
};

// A path named by a Definition or the machine: resolved, then judged in full
// (removal_guard.h RefusesNamedPath). Nothing when the guard refuses it or it
// is too long for any call.
std::optional<CheckedPath> CheckNamed(std::u16string_view path);

// An entry that a search of `folder` listed, by its literal name: judged
// lexically (RefusesEntry). Nothing when refused or too long for any call.
std::optional<CheckedPath> CheckEntry(const CheckedPath& folder, std::u16string_view name);

// What one call did: done, or not, with what the call left in GetLastError().
struct [[nodiscard]] CallResult {
  bool done = false;
  win::DWORD error = 0;
};

// GetFileAttributesW of what `path` names, as detection and deletion read it
// (named_path.h): no guard stands before reading. INVALID_FILE_ATTRIBUTES
// for a path too long for any call.
win::DWORD ReadAttributes(std::u16string_view path);
win::DWORD ReadAttributes(const CheckedPath& path);
CallResult WriteAttributes(const CheckedPath& path, win::DWORD attributes);
CallResult DeleteFileEntry(const CheckedPath& path);
CallResult RemoveFolderEntry(const CheckedPath& path);
// MoveFileExW(path, no new name, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT).
// The deletion is carried out at the next start with the system's rights, so
// an entry is checked in full (long form) before it is registered; a refusal
// fails with ERROR_ACCESS_DENIED. A path registered once while a guard scope
// lives is not registered again (a file deletion and the deletion of its
// folder both ask for a locked file).
CallResult RegisterDeletionAtRestart(const CheckedPath& path);
// FindFirstFileW of every entry of `folder`; INVALID_FIND_HANDLE when nothing
// was found.
win::HFIND OpenSearch(const CheckedPath& folder, win::WIN32_FIND_DATAW* data);

}  // namespace quenwick::removal
