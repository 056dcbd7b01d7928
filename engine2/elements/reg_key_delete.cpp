#include "elements/reg_key_delete.h"

namespace quenwick {

// Not built yet: reports absence / does nothing.
std::int32_t RegKeyDelete::Execute() { return 0; }

}  // namespace quenwick
