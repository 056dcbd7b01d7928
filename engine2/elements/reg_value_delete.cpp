#include "elements/reg_value_delete.h"

namespace quenwick {

// Not built yet: reports absence / does nothing.
std::int32_t RegValueDelete::Execute() { return 0; }

}  // namespace quenwick
