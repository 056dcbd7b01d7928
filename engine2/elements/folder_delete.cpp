#include "elements/folder_delete.h"

#include <string>

#include "engine/definition.h"
#include "engine/operand.h"
#include "engine/path_expansion.h"
#include "system/file_removal.h"

namespace quenwick {

std::int32_t FolderDelete::Execute() {
  const std::u16string resolved = ResolvePath(OperandText(path, *owner));
  const win::DWORD attributes = PathAttributes(resolved);
  // Only a folder is removed; a file or a missing path is left alone. A
  // folder that is a link loses only the link (RemovePath never follows one).
  if (attributes != win::INVALID_FILE_ATTRIBUTES &&
      (attributes & win::FILE_ATTRIBUTE_DIRECTORY)) {
    // Every folder action reports 0: what could not go now is registered for
    // the next start, and a refusal is silent.
    (void)RemovePath(resolved);
  }
  return 0;
}

}  // namespace quenwick
