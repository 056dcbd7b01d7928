#include "system/folder_tree_walk.h"

#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "system/file_removal.h"
#include "system/removal_calls.h"
#include "system/scoped_handle.h"

namespace quenwick {
namespace {

using removal::CheckedPath;
using removal::CheckEntry;

bool Has(win::DWORD attributes, win::DWORD flag) { return (attributes & flag) != 0; }

std::u16string_view EntryName(const win::WIN32_FIND_DATAW& data) {
  std::size_t length = 0;
  while (length < win::MAX_PATH && data.cFileName[length] != 0) ++length;
  return {data.cFileName, length};
}

// One folder of the walk while its subfolders are being removed: its path,
// the open search over its entries, and the combined result of everything in
// it so far.
struct FolderFrame {
  explicit FolderFrame(CheckedPath path) : folder(std::move(path)) {}
  CheckedPath folder;
  ScopedFindHandle subfolderSearch;
  std::unique_ptr<win::WIN32_FIND_DATAW> entry = std::make_unique<win::WIN32_FIND_DATAW>();
  bool entryPending = false;  // `entry` holds a result not yet looked at
  std::int32_t result = 1;
};

// Every file of the folder, and every link to a file, in search order.
std::int32_t RemoveFilesOf(const CheckedPath& folder) {
  std::int32_t result = 1;
  auto data = std::make_unique<win::WIN32_FIND_DATAW>();
  ScopedFindHandle search(removal::OpenSearch(folder, data.get()));
  if (!search.valid()) return result;
  do {
    if (Has(data->dwFileAttributes, win::FILE_ATTRIBUTE_DIRECTORY)) continue;
    const std::optional<CheckedPath> path = CheckEntry(folder, EntryName(*data));
    if (!path) {
      result = 0;  // refused: it stays, and so does its folder
      continue;
    }
    if (Has(data->dwFileAttributes, win::FILE_ATTRIBUTE_REPARSE_POINT)) {
      // Changing a file link's attributes could change its target's.
      result &= RemoveLink(*path, false);
      continue;
    }
    // Clears read-only, hidden and system, which would refuse the delete; a
    // failure shows in the deletion that follows.
    (void)removal::WriteAttributes(*path, win::FILE_ATTRIBUTE_NORMAL);
    result &= DeleteFileOrSchedule(*path);
  } while (Sys().FindNextFileW(search.get(), data.get()));
  return result;
}

// Removes the folder's files and opens the search for its subfolders.
FolderFrame EnterFolder(CheckedPath folder) {
  FolderFrame frame(std::move(folder));
  frame.result = RemoveFilesOf(frame.folder);
  frame.subfolderSearch.Reset(removal::OpenSearch(frame.folder, frame.entry.get()));
  frame.entryPending = frame.subfolderSearch.valid();
  return frame;
}

// Advances the frame's search to its next subfolder to walk and gives its
// path. Links to folders met on the way are removed here and not walked.
// Nothing, with the search closed, when no subfolder is left.
std::optional<CheckedPath> NextSubfolder(FolderFrame& frame) {
  while (frame.subfolderSearch.valid()) {
    if (!frame.entryPending && !Sys().FindNextFileW(frame.subfolderSearch.get(), frame.entry.get())) {
      frame.subfolderSearch.Reset();
      break;
    }
    frame.entryPending = false;
    const win::DWORD attributes = frame.entry->dwFileAttributes;
    const std::u16string_view name = EntryName(*frame.entry);
    // "." and "..", and any folder whose name begins with a dot, are kept.
    if (!Has(attributes, win::FILE_ATTRIBUTE_DIRECTORY) || name.empty() || name[0] == u'.') continue;
    std::optional<CheckedPath> path = CheckEntry(frame.folder, name);
    if (!path) {
      frame.result = 0;  // refused: it stays, and so does this folder
      continue;
    }
    if (Has(attributes, win::FILE_ATTRIBUTE_REPARSE_POINT)) {
      frame.result &= RemoveLink(*path, true);
      continue;
    }
    return path;
  }
  return std::nullopt;
}

// The folder's own removal, after everything inside it has been dealt with.
std::int32_t LeaveFolder(FolderFrame& frame) {
  frame.subfolderSearch.Reset();
  if (frame.result == 0) return 0;
  // A failure shows in the removal that follows.
  (void)removal::WriteAttributes(frame.folder, win::FILE_ATTRIBUTE_NORMAL);
  return RemoveDirectoryOrSchedule(frame.folder);
}

}  // namespace

std::int32_t RemoveLink(const CheckedPath& path, bool folderLink) {
  const removal::CallResult removed =
      folderLink ? removal::RemoveFolderEntry(path) : removal::DeleteFileEntry(path);
  return removed.done || removed.error == win::ERROR_FILE_NOT_FOUND ? 1 : 0;
}

std::int32_t WalkFolderTree(const CheckedPath& folder) {
  // Each level keeps its subfolder search open while the levels below it are
  // removed, as a recursive walk would, but on a heap stack of frames.
  std::vector<FolderFrame> stack;
  stack.push_back(EnterFolder(folder));
  for (;;) {
    if (std::optional<CheckedPath> subfolder = NextSubfolder(stack.back())) {
      stack.push_back(EnterFolder(std::move(*subfolder)));
      continue;
    }
    const std::int32_t done = LeaveFolder(stack.back());
    stack.pop_back();
    if (stack.empty()) return done;
    stack.back().result &= done;
  }
}

}  // namespace quenwick
