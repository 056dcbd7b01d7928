#include "elements/file_delete.h"

#include <string>

#include "engine/definition.h"
#include "engine/operand.h"
#include "engine/path_expansion.h"
#include "system/file_removal.h"

namespace quenwick {

std::int32_t FileDelete::Execute() {
  const std::u16string resolved = ResolvePath(OperandText(path, *owner));
  const win::DWORD attributes = PathAttributes(resolved);
  // A file action never removes a folder that happens to stand at its path.
  if (attributes != win::INVALID_FILE_ATTRIBUTES &&
      (attributes & win::FILE_ATTRIBUTE_DIRECTORY)) {
    return 0;
  }
  // Every file action reports 0: what could not go now is registered for the
  // next start, and a refusal is silent.
  (void)RemovePath(resolved);
  return 0;
}

}  // namespace quenwick
