#include "elements/reg_value_delete.h"

#include <string>

#include "engine/definition.h"
#include "engine/operand.h"
#include "system/registry_key.h"

namespace quenwick {

std::int32_t RegValueDelete::Execute() {
  const std::u16string& keyText = OperandText(key, *owner);
  const std::u16string& name = OperandText(valueName, *owner);
  const RegistryKey target(keyText);
  if (target.IsValid()) target.DeleteValue(name);
  return 0;
}

}  // namespace quenwick
