#include "system/processes.h"

#include <vector>

#include "platform/platform.h"
#include "system/privileges.h"
#include "system/protected_places.h"
#include "system/scoped_handle.h"
#include "system/system_text.h"

namespace quenwick {
namespace {

// Room for the longest path Windows can give, terminator included.
constexpr win::DWORD kImagePathCapacity = 32768;
constexpr win::DWORD kTerminateAccess =
    win::PROCESS_QUERY_INFORMATION | win::PROCESS_VM_READ | win::PROCESS_TERMINATE;

// The long image path of an opened process, or nothing when it cannot be read.
std::optional<std::u16string> ImagePath(win::HANDLE process, std::vector<char16_t>& modulePath) {
  const win::DWORD length =
      Sys().GetModuleFileNameExW(process, win::HMODULE{}, modulePath.data(), kImagePathCapacity);
  if (length == 0 || length >= kImagePathCapacity) return std::nullopt;
  return LongPathName(std::u16string_view(modulePath.data(), length));
}

}  // namespace

std::int32_t TerminateProcessesWhere(const std::function<bool(std::u16string_view image)>& matches) {
  Platform& sys = Sys();
  const ScopedHandle snapshot(sys.CreateToolhelp32Snapshot(win::TH32CS_SNAPPROCESS, 0));
  if (!snapshot.valid()) return 0;
  // Without it, other users' processes do not open; a refusal still leaves
  // the user's own ones.
  (void)EnablePrivilege(u"SeDebugPrivilege");
  win::PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  // Allocated once for the whole walk.
  std::vector<char16_t> modulePath(kImagePathCapacity);
  std::int32_t terminated = 0;
  for (bool more = sys.Process32FirstW(snapshot.get(), &entry); more;
       more = sys.Process32NextW(snapshot.get(), &entry)) {
    const ScopedHandle process(sys.OpenProcess(kTerminateAccess, 0, entry.th32ProcessID));
    if (!process.valid()) continue;
    const std::optional<std::u16string> image = ImagePath(process.get(), modulePath);
    if (!image || image->empty() || !matches(*image)) continue;
    if (IsProtectedProcess(entry.th32ProcessID, *image, process.get())) continue;
    if (sys.TerminateProcess(process.get(), 0)) ++terminated;
  }
  return terminated;
}

bool RunProgramAndWait(const std::u16string& program, const std::u16string& commandLine,
                       std::uint32_t waitMs) {
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
  // A time-out is not an error: the clean goes on while the program runs.
  sys.WaitForSingleObject(process.get(), waitMs);
  return true;
}

}  // namespace quenwick
