#include "elements/inno_setup_uninstall.h"

#include <string>

#include "engine/definition.h"
#include "engine/operand.h"
#include "engine/path_expansion.h"
#include "system/processes.h"
#include "system/registry_key.h"

namespace quenwick {
namespace {
constexpr std::uint32_t kInnoSetupUninstallWaitMs = 30000;
}  // namespace

std::int32_t InnoSetupUninstall::Execute() {
  const RegistryKey key(keyPrefix + OperandText(applicationKey, *owner));
  if (!key.IsValid()) return -1;
  const RegistryValue command = ReadValue(key.root, key.subkeyPath, valueName);
  // Only a plain string names the uninstaller; REG_EXPAND_SZ is not expanded.
  if (!command.IsValid() || command.type != win::REG_SZ) return -1;
  std::u16string path = command.Text();
  StripEnclosingQuotes(path);
  SlashesToBackslashes(path);
  CollapseBackslashes(path);
  std::u16string commandLine;
  commandLine.reserve(path.size() + arguments.size() + 2);
  commandLine.append(u"\"").append(path).append(u"\"").append(arguments);
  return RunProgramAndWait(path, commandLine, kInnoSetupUninstallWaitMs) ? 0 : -1;
}

}  // namespace quenwick
