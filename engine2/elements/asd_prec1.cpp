#include "elements/asd_prec1.h"

namespace quenwick {

// Not built yet: reports absence / does nothing.
std::int32_t ASDPrec1::Check() { return 0; }
std::int32_t ASDPrec1::Execute() { return 0; }

}  // namespace quenwick
