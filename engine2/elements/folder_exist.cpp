#include "elements/folder_exist.h"

#include "engine/definition.h"
#include "engine/path_expansion.h"
#include "system/file_removal.h"

namespace quenwick {

std::int32_t FolderExist::Check() {
  const std::u16string resolved = ResolvePath(OperandText(path, *owner));
  // An empty path (one with wildcards) names nothing; it is not asked about,
  // since the file system would take it for the current folder.
  if (resolved.empty()) return 0;
  const win::DWORD attributes = PathAttributes(resolved);
  if (attributes == win::INVALID_FILE_ATTRIBUTES) return 0;
  return (attributes & win::FILE_ATTRIBUTE_DIRECTORY) != 0 ? 1 : 0;
}

}  // namespace quenwick
