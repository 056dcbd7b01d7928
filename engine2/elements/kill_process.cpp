#include "elements/kill_process.h"

namespace quenwick {

// Not built yet: reports absence / does nothing.
std::int32_t KillProcess::Execute() { return 0; }

}  // namespace quenwick
