#include "elements/run_uninstaller.h"

#include <vector>

#include "platform/platform.h"
#include "system/scoped_handle.h"

namespace quenwick {

bool RunUninstaller(const std::u16string& program, const std::u16string& commandLine,
                    win::DWORD waitMs) {
  Platform& sys = Sys();
  // CreateProcessW may write into the command line, so it gets its own copy.
  std::vector<char16_t> line(commandLine.begin(), commandLine.end());
  line.push_back(u'\0');
  win::STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  win::PROCESS_INFORMATION started{};
  // The program is always named, so the search path is never consulted.
  if (!sys.CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, 0, 0, nullptr, nullptr,
                          &startup, &started)) {
    return false;
  }
  const ScopedHandle process(started.hProcess);
  const ScopedHandle thread(started.hThread);
  // A time-out is not an error: the clean goes on while the uninstaller runs.
  sys.WaitForSingleObject(process.get(), waitMs);
  return true;
}

}  // namespace quenwick
