#include "elements/inno_setup_uninstall.h"

namespace quenwick {

// Not built yet: reports absence / does nothing.
std::int32_t InnoSetupUninstall::Execute() { return 0; }

}  // namespace quenwick
