#include "elements/kill_process.h"

#include <optional>
#include <string>
#include <string_view>

#include "base/text.h"
#include "engine/definition.h"
#include "engine/operand.h"
#include "engine/path_expansion.h"
#include "system/processes.h"
#include "system/system_text.h"

namespace quenwick {
namespace {

// The time ended processes get to let go of their files before the
// Definition's next actions delete them.
constexpr std::uint32_t kKillPauseMs = 500;
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
  const std::optional<std::u16string> longPath = LongPathName(target.Program());
  if (!longPath) return;
  target.working.replace(target.programStart, target.programLength, *longPath);
  target.programLength = longPath->size();
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

}  // namespace

std::int32_t KillProcess::Execute() {
  ProgramTarget program;
  if (!PrepareTarget(OperandText(target, *owner), program)) return kNoProgram;
  LengthenProgram(program);
  // The program itself and the processes whose end stops Windows are never
  // ended, whatever a target text (which may come from a rogue's own registry
  // values) names: the walk leaves them out.
  const std::int32_t terminated =
      TerminateProcessesWhere([&](std::u16string_view image) { return Matches(program, image); });
  Pause(kKillPauseMs);
  return terminated;
}

}  // namespace quenwick
