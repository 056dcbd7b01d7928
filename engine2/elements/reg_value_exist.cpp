#include "elements/reg_value_exist.h"

namespace quenwick {

// Not built yet: reports absence / does nothing.
std::int32_t RegValueExist::Check() { return 0; }

}  // namespace quenwick
