#include "elements/uninstall.h"

#include <string>

#include "engine/definition.h"
#include "engine/operand.h"
#include "engine/path_expansion.h"
#include "system/processes.h"

namespace quenwick {
namespace {
constexpr std::uint32_t kUninstallWaitMs = 10000;
}  // namespace

std::int32_t Uninstall::Execute() {
  const std::u16string path = ResolvePath(OperandText(program, *owner));
  const std::u16string& args = OperandText(arguments, *owner);
  // The quoted program, one space, the arguments (the space stays when there
  // are none).
  std::u16string commandLine;
  commandLine.reserve(path.size() + args.size() + 3);
  commandLine.append(u"\"").append(path).append(u"\" ").append(args);
  return RunProgramAndWait(path, commandLine, kUninstallWaitMs) ? 0 : -1;
}

}  // namespace quenwick
