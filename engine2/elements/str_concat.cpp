#include "elements/str_concat.h"

namespace quenwick {

// Not built yet: reports absence / does nothing.
std::int32_t StrConcat::Check() { return 0; }
std::int32_t StrConcat::Execute() { return 0; }

}  // namespace quenwick
