#include "elements/reg_key_exist.h"

namespace quenwick {

// Not built yet: reports absence / does nothing.
std::int32_t RegKeyExist::Check() { return 0; }

}  // namespace quenwick
