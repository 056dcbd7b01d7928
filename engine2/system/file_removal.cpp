#include "system/file_removal.h"

#include "system/folder_tree_walk.h"
#include "system/removal_calls.h"
#include "system/removal_guard.h"

namespace quenwick {

using removal::CheckedPath;
using removal::CheckNamed;

namespace {

// `path` checked where it enters the removal layer, then handed to `remove`;
// 0 when the guard refuses it (or it is too long for any call).
template <class Remove>
std::int32_t Checked(const std::u16string& path, Remove remove) {
  // The path may come from the infected machine (an autostart value, a
  // folder two levels up from a program): whatever it names, a protected
  // place, or a folder that holds one, is left alone before anything inside
  // it is touched.
  removal::GuardScope guard;
  const std::optional<CheckedPath> checked = CheckNamed(path);
  return checked ? remove(*checked) : 0;
}

}  // namespace

std::int32_t RemovePath(const CheckedPath& path) {
  const win::DWORD attributes = removal::ReadAttributes(path);
  if (attributes == win::INVALID_FILE_ATTRIBUTES) return 0;
  // A junction or symbolic link is removed as itself: what it points to lies
  // outside what the caller named.
  if (attributes & win::FILE_ATTRIBUTE_REPARSE_POINT) {
    return RemoveLink(path, (attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0);
  }
  if (attributes & win::FILE_ATTRIBUTE_DIRECTORY) return WalkFolderTree(path);
  return DeleteFileOrSchedule(path);
}

std::int32_t ScheduleDeleteAtRestart(const CheckedPath& path) {
  // Read-only is cleared now so that it cannot stand in the way of the
  // deletion at the next start; every other attribute stays.
  const win::DWORD attributes = removal::ReadAttributes(path);
  if (attributes != win::INVALID_FILE_ATTRIBUTES && (attributes & win::FILE_ATTRIBUTE_READONLY)) {
    // A failure shows in the registration that follows, if anywhere.
    (void)removal::WriteAttributes(path, attributes & ~win::FILE_ATTRIBUTE_READONLY);
  }
  return removal::RegisterDeletionAtRestart(path).done ? 1 : 0;
}

std::int32_t DeleteFileOrSchedule(const CheckedPath& path) {
  // One immediate attempt; whatever is locked or refused waits for the next
  // start rather than for the program.
  const removal::CallResult deleted = removal::DeleteFileEntry(path);
  if (deleted.done) return 1;
  switch (deleted.error) {
    case win::ERROR_FILE_NOT_FOUND:
      return 1;
    case win::ERROR_ACCESS_DENIED:
    case win::ERROR_SHARING_VIOLATION:
      return ScheduleDeleteAtRestart(path);
    default:
      return 0;
  }
}

std::int32_t RemoveDirectoryOrSchedule(const CheckedPath& folder) {
  const removal::CallResult removed = removal::RemoveFolderEntry(folder);
  if (removed.done) return 1;
  switch (removed.error) {
    case win::ERROR_ACCESS_DENIED:
    case win::ERROR_DIR_NOT_EMPTY:  // its contents are registered ahead of it
    case win::ERROR_SHARING_VIOLATION:
      return ScheduleDeleteAtRestart(folder);
    default:
      return 0;
  }
}

std::int32_t RemoveFolderTree(const CheckedPath& folder) {
  // A folder that is itself a link is removed as the link, never walked.
  const win::DWORD attributes = removal::ReadAttributes(folder);
  if (attributes != win::INVALID_FILE_ATTRIBUTES && (attributes & win::FILE_ATTRIBUTE_REPARSE_POINT)) {
    return RemoveLink(folder, (attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0);
  }
  return WalkFolderTree(folder);
}

std::int32_t RemovePath(const std::u16string& path) {
  return Checked(path, [](const CheckedPath& p) { return RemovePath(p); });
}
std::int32_t ScheduleDeleteAtRestart(const std::u16string& path) {
  return Checked(path, [](const CheckedPath& p) { return ScheduleDeleteAtRestart(p); });
}
std::int32_t DeleteFileOrSchedule(const std::u16string& path) {
  return Checked(path, [](const CheckedPath& p) { return DeleteFileOrSchedule(p); });
}
std::int32_t RemoveDirectoryOrSchedule(const std::u16string& folder) {
  return Checked(folder, [](const CheckedPath& p) { return RemoveDirectoryOrSchedule(p); });
}
std::int32_t RemoveFolderTree(const std::u16string& folder) {
  return Checked(folder, [](const CheckedPath& p) { return RemoveFolderTree(p); });
}

win::DWORD PathAttributes(const std::u16string& path) { return removal::ReadAttributes(path); }

}  // namespace quenwick
