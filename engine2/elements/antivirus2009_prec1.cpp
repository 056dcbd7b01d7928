#include "elements/antivirus2009_prec1.h"

namespace quenwick {

// Not built yet: reports absence / does nothing.
std::int32_t Antivirus2009Prec1::Check() { return 0; }

}  // namespace quenwick
