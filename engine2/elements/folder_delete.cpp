#include "elements/folder_delete.h"

namespace quenwick {

// Not built yet: reports absence / does nothing.
std::int32_t FolderDelete::Execute() { return 0; }

}  // namespace quenwick
