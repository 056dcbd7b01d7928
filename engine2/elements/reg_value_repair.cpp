#include "elements/reg_value_repair.h"

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "base/text.h"
#include "engine/definition.h"
#include "engine/operand.h"
#include "engine/path_expansion.h"
#include "system/registry_key.h"

namespace quenwick {

std::int32_t RegValueRepair::Execute() {
  const std::u16string& keyText = OperandText(key, *owner);
  const std::u16string& name = OperandText(valueName, *owner);
  // The marker names the rogue's program, which Definitions write as a path.
  const std::u16string rogue = ResolvePath(OperandText(marker, *owner));
  const std::u16string& setting = OperandText(replacement, *owner);
  // An empty marker would match every text, and an empty setting is no
  // repair: either way nothing is written.
  if (rogue.empty() || setting.empty()) return 0;
  const RegistryKey target(keyText);
  if (!target.IsValid()) return 0;
  std::ignore = target.RewriteValue(
      name, [&](const RegistryValue& value) -> std::optional<std::vector<std::uint8_t>> {
        if (value.type != win::REG_SZ && value.type != win::REG_EXPAND_SZ) return std::nullopt;
        if (!ContainsIgnoreAsciiCase(value.Text(), rogue)) return std::nullopt;
        return StringValueBytes(setting);
      });
  return 0;
}

}  // namespace quenwick
