#include "elements/folder_exist.h"

namespace quenwick {

// Not built yet: reports absence / does nothing.
std::int32_t FolderExist::Check() { return 0; }

}  // namespace quenwick
