#include "elements/reg_key_exist.h"

#include "engine/definition.h"
#include "system/registry_key.h"

namespace quenwick {

std::int32_t RegKeyExist::Check() {
  const RegistryKey registryKey(OperandText(key, *owner));
  if (!registryKey.IsValid()) return 0;
  // Opening for reading is enough: a key the program may not change exists.
  return registryKey.KeyExists() ? 1 : 0;
}

}  // namespace quenwick
