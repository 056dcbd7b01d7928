#include "elements/get_reg_value.h"

namespace quenwick {

// Not built yet: reports absence / does nothing.
std::int32_t GetRegValue::Check() { return 0; }
std::int32_t GetRegValue::Execute() { return 0; }

}  // namespace quenwick
