#include "elements/file_exist.h"

namespace quenwick {

// Not built yet: reports absence / does nothing.
std::int32_t FileExist::Check() { return 0; }

}  // namespace quenwick
