#include "system/file_removal.h"

#include "platform/platform.h"
#include "system/folder_tree_walk.h"
#include "system/named_path.h"
#include "system/removal_calls.h"
#include "system/removal_guard.h"

namespace quenwick {

using removal::ReadAttributes;

std::int32_t RemovePath(const std::u16string& named) {
  const std::u16string path = ResolveNamedPath(named);
  // The path may come from the infected machine (an autostart value, a
  // folder two levels up from a program): whatever it names, a protected
  // place, or a folder that holds one, is left alone before anything inside
  // it is touched.
  removal::GuardScope guard;
  if (removal::RefusesNamedPath(path)) return 0;
  const win::DWORD attributes = ReadAttributes(path);
  if (attributes == win::INVALID_FILE_ATTRIBUTES) return 0;
  // A junction or symbolic link is removed as itself: what it points to lies
  // outside what the caller named.
  if (attributes & win::FILE_ATTRIBUTE_REPARSE_POINT) {
    return RemoveLink(path, (attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0);
  }
  if (attributes & win::FILE_ATTRIBUTE_DIRECTORY) return WalkFolderTree(path);
  return DeleteFileOrSchedule(path);
}

std::int32_t ScheduleDeleteAtRestart(const std::u16string& named) {
  const std::u16string path = ResolveNamedPath(named);
  removal::GuardScope guard;
  if (removal::RefusesNamedPath(path)) return 0;
  // Read-only is cleared now so that it cannot stand in the way of the
  // deletion at the next start; every other attribute stays.
  const win::DWORD attributes = ReadAttributes(path);
  if (attributes != win::INVALID_FILE_ATTRIBUTES && (attributes & win::FILE_ATTRIBUTE_READONLY)) {
    // A failure shows in the registration that follows, if anywhere.
    (void)removal::WriteAttributes(path, attributes & ~win::FILE_ATTRIBUTE_READONLY);
  }
  return removal::RegisterDeletionAtRestart(path).done ? 1 : 0;
}

std::int32_t DeleteFileOrSchedule(const std::u16string& path) {
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

std::int32_t RemoveDirectoryOrSchedule(const std::u16string& folder) {
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

std::int32_t RemoveFolderTree(const std::u16string& named) {
  const std::u16string folder = ResolveNamedPath(named);
  removal::GuardScope guard;
  if (removal::RefusesNamedPath(folder)) return 0;
  // A folder that is itself a link is removed as the link, never walked.
  const win::DWORD attributes = ReadAttributes(folder);
  if (attributes != win::INVALID_FILE_ATTRIBUTES &&
      (attributes & win::FILE_ATTRIBUTE_REPARSE_POINT)) {
    return RemoveLink(folder, (attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0);
  }
  return WalkFolderTree(folder);
}

win::DWORD PathAttributes(const std::u16string& path) { return ReadAttributes(ResolveNamedPath(path)); }

}  // namespace quenwick
