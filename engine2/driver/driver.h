// The program's run: banner, loading, the interactive or unattended flow,
// summary, restart question, teardown. Returns the exit code (0, or -1 after a
// loading failure). The platform must be installed before the call.
#pragma once

namespace quenwick {

int RunDriver(int argc, const char16_t* const* argv);

}  // namespace quenwick
