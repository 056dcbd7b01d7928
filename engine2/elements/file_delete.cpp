#include "elements/file_delete.h"

namespace quenwick {

// Not built yet: reports absence / does nothing.
std::int32_t FileDelete::Execute() { return 0; }

}  // namespace quenwick
