// The program's own token privileges, and the restart that completes a clean.
#pragma once

#include <string>

namespace quenwick {

// Enables one named privilege ("SeDebugPrivilege") in the process token. True
// when the token opened, the name was found and the adjustment call succeeded.
[[nodiscard]] bool EnablePrivilege(const std::u16string& name);

// Asks Windows to restart; returns at once.
void RestartComputer();

}  // namespace quenwick
