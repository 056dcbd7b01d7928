#include "elements/uninstall.h"

namespace quenwick {

// Not built yet: reports absence / does nothing.
std::int32_t Uninstall::Execute() { return 0; }

}  // namespace quenwick
