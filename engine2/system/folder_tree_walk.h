// The folder-tree walk behind RemovePath and RemoveFolderTree.
#pragma once

#include <cstdint>
#include <string>

#include "system/removal_calls.h"

namespace quenwick {

// Removes `folder` and everything in it, registering for deletion at the next
// start whatever refuses to go now. For each folder: every file first, then
// every subfolder depth first, then the folder itself, which stays in place
// when anything inside it could neither be removed nor registered. Links
// inside the tree are removed as links and never entered. The walk keeps its
// own stack on the heap, so the depth of the tree is bounded only by the
// length of its paths. 1 when everything is gone or registered, else 0.
std::int32_t WalkFolderTree(const removal::CheckedPath& folder);

// Removes a junction or symbolic link itself (RemoveDirectoryW for a folder
// link, DeleteFileW for a file link), never what it points to. A link that
// refuses to go stays and is not registered for deletion at the next start.
// 1 when the link is gone, else 0.
std::int32_t RemoveLink(const removal::CheckedPath& path, bool folderLink);

}  // namespace quenwick
