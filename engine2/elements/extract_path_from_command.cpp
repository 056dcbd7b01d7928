#include "elements/extract_path_from_command.h"

namespace quenwick {

// Not built yet: reports absence / does nothing.
std::int32_t ExtractPathFromCommand::Check() { return 0; }
std::int32_t ExtractPathFromCommand::Execute() { return 0; }

}  // namespace quenwick
