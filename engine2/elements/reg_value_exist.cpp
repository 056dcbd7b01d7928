#include "elements/reg_value_exist.h"

#include "engine/definition.h"
#include "system/registry_key.h"

namespace quenwick {

std::int32_t RegValueExist::Check() {
  const std::u16string& keyText = OperandText(key, *owner);
  const std::u16string& name = OperandText(valueName, *owner);
  const RegistryKey registryKey(keyText);
  if (!registryKey.IsValid()) return 0;
  // The value counts only when it can be read whole with its key opened for
  // full access; its type and contents play no part.
  const RegistryValue value = ReadValue(registryKey.root, registryKey.subkeyPath, name);
  return value.IsValid() ? 1 : 0;
}

}  // namespace quenwick
