#include "elements/kill_process.h"

#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "engine/definition.h"
#include "engine/operand.h"
#include "engine/path_expansion.h"
#include "platform/platform.h"
#include "system/privileges.h"
#include "system/protected_places.h"
#include "system/scoped_handle.h"

namespace quenwick {
namespace {

// Room for the longest path Windows can give, terminator included.
constexpr win::DWORD kImagePathCapacity = 32768;
// The time ended processes get to let go of their files before the
// Definition's next actions delete them.
constexpr win::DWORD kKillPauseMs = 500;
constexpr win::DWORD kKillAccess =
    win::PROCESS_QUERY_INFORMATION | win::PROCESS_VM_READ | win::PROCESS_TERMINATE;
constexpr std::int32_t kNoProgram = -1;
// Programs named by paths of classic length are lengthened before the
// comparison; 8.3 names belong to such paths, and Wine's GetLongPathNameW
// fails on very long ones.
constexpr std::size_t kLengthenLimit = 260;

// What a target text names: the program part to compare with image paths,
// and how its end is recognised.
struct ProgramTarget {
  std::u16string working;  // the normalised target text
  bool quoted = false;     // the program part stands between double quotes
  std::size_t programStart = 0;
  std::size_t programLength = 0;

  std::u16string_view Program() const {
    return std::u16string_view(working).substr(programStart, programLength);
  }
};

// Turns the target text into a program to look for. False when the text
// cannot name one: a wildcard, or an opening quote without a closing one.
bool PrepareTarget(std::u16string_view text, ProgramTarget& target) {
  target.working = ExpandLeadingMacro(text);
  if (target.working.find_first_of(u"?*") != std::u16string::npos) return false;
  SlashesToBackslashes(target.working);
  CollapseBackslashes(target.working);
  target.quoted = !target.working.empty() && target.working[0] == u'"';
  if (!target.quoted) {
    target.programStart = 0;
    target.programLength = target.working.size();
    return true;
  }
  const std::size_t closing = target.working.find(u'"', 1);
  if (closing == std::u16string::npos) return false;
  target.programStart = 1;
  target.programLength = closing - 1;
  return true;
}

// Image paths are compared in their long form, so a program named through a
// short (8.3) name, as %TEMP% names the temporary folder of a user with a
// long name, is given its long form too. A program part that names no file
// (a command line with arguments, a missing file) stays as written.
void LengthenProgram(ProgramTarget& target) {
  if (target.programLength == 0 || target.programLength >= kLengthenLimit) return;
  const std::u16string program(target.Program());
  std::vector<char16_t> longPath(kImagePathCapacity);
  const win::DWORD length = Sys().GetLongPathNameW(program.c_str(), longPath.data(), kImagePathCapacity);
  if (length == 0 || length >= kImagePathCapacity) return;
  target.working.replace(target.programStart, target.programLength, longPath.data(), length);
  target.programLength = length;
}

// Whether an image path is the program the target names: the target's
// program part begins with it (A-Z in either case), and ends there; a plain
// target may go on after a space with the program's arguments.
bool Matches(const ProgramTarget& target, std::u16string_view image) {
  const std::u16string_view program = target.Program();
  const std::size_t length = image.size();
  if (program.size() < length || !EqualsIgnoreAsciiCase(program.substr(0, length), image)) {
    return false;
  }
  if (target.quoted) return program.size() == length;
  return target.working.size() == length || target.working[length] == u' ';
}

// The long image path of an opened process in `longPath`, or an empty view
// when it cannot be read.
std::u16string_view ImagePath(win::HANDLE process, std::vector<char16_t>& modulePath,
                              std::vector<char16_t>& longPath) {
  Platform& sys = Sys();
  if (sys.GetModuleFileNameExW(process, win::HMODULE{}, modulePath.data(), kImagePathCapacity) ==
      0) {
    return {};
  }
  const win::DWORD length =
      sys.GetLongPathNameW(modulePath.data(), longPath.data(), kImagePathCapacity);
  // A result as large as the buffer is the size it would need: nothing usable
  // was written.
  if (length == 0 || length >= kImagePathCapacity) return {};
  return {longPath.data(), length};
}

}  // namespace

std::int32_t KillProcess::Execute() {
  ProgramTarget program;
  if (!PrepareTarget(OperandText(target, *owner), program)) return kNoProgram;
  LengthenProgram(program);

  Platform& sys = Sys();
  std::int32_t terminated = 0;
  {
    const ScopedHandle snapshot(sys.CreateToolhelp32Snapshot(win::TH32CS_SNAPPROCESS, 0));
    win::PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    EnablePrivilege(u"SeDebugPrivilege");
    // Allocated once for the whole walk; they and every handle are released
    // before the pause.
    std::vector<char16_t> modulePath(kImagePathCapacity);
    std::vector<char16_t> longPath(kImagePathCapacity);
    bool more = snapshot.valid() && sys.Process32FirstW(snapshot.get(), &entry);
    for (; more; more = sys.Process32NextW(snapshot.get(), &entry)) {
      const ScopedHandle process(sys.OpenProcess(kKillAccess, 0, entry.th32ProcessID));
      if (!process.valid()) continue;
      const std::u16string_view image = ImagePath(process.get(), modulePath, longPath);
      if (image.empty() || !Matches(program, image)) continue;
      // The program itself and the processes whose end stops Windows are
      // never ended, whatever a target text (which may come from a rogue's
      // own registry values) names.
      if (IsProtectedProcess(entry.th32ProcessID, image, process.get())) continue;
      if (sys.TerminateProcess(process.get(), 0)) ++terminated;
    }
  }
  sys.Sleep(kKillPauseMs);
  return terminated;
}

}  // namespace quenwick
