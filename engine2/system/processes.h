// Running programs: ending the ones a Definition names, starting an
// uninstaller and waiting for it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace quenwick {

// Ends every running process whose image path, in its long form, `matches`
// accepts; the program itself and the processes whose end stops Windows
// (protected_places.h) are never ended, whatever `matches` says. Debug
// privilege is asked for first, so that other users' processes can be
// opened. The number of processes ended.
std::int32_t TerminateProcessesWhere(const std::function<bool(std::u16string_view image)>& matches);

// Starts `program` with `commandLine` (no handles inherited, the program's own
// environment and current directory, default start-up information) and waits
// at most `waitMs` for it to end. Its handles are closed before returning; a
// program that is still running goes on by itself. False when it could not
// be started.
bool RunProgramAndWait(const std::u16string& program, const std::u16string& commandLine,
                       std::uint32_t waitMs);

}  // namespace quenwick
