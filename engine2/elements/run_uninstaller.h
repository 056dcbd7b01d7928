// Starting an uninstaller and waiting a bounded time for it (Uninstall,
// InnoSetupUninstall).
#pragma once

#include <string>

#include "platform/win_types.h"

namespace quenwick {

// Starts `program` with `commandLine` (no handles inherited, the program's own
// environment and current directory, default start-up information) and waits
// at most `waitMs` for it to end. The uninstaller's handles are closed before
// returning; one that is still running goes on by itself. False when the
// program could not be started.
bool RunUninstaller(const std::u16string& program, const std::u16string& commandLine,
                    win::DWORD waitMs);

}  // namespace quenwick
