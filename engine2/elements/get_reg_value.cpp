#include "elements/get_reg_value.h"

#include "engine/definition.h"
#include "system/registry_key.h"

namespace quenwick {
namespace {

// Reads the value into the target slot: its text for a string type, nothing
// for any other type or when it cannot be read. True when the value exists.
bool ReadIntoSlot(const GetRegValue& element) {
  // Both texts are copied before the slot is written: the target may be the
  // slot either of them came from.
  const RegistryKey key(OperandText(element.keyPath, *element.owner));
  const std::u16string name = OperandText(element.valueName, *element.owner);
  if (!key.IsValid()) {
    element.owner->SetVariable(element.target, std::nullopt);
    return false;
  }
  const RegistryValue value = ReadValue(key.root, key.subkeyPath, name);
  if (!value.IsValid()) {
    element.owner->SetVariable(element.target, std::nullopt);
    return false;
  }
  // References such as "%SystemRoot%" in REG_EXPAND_SZ data stay as text.
  if (value.type == win::REG_SZ || value.type == win::REG_EXPAND_SZ) {
    element.owner->SetVariable(element.target, value.Text());
  } else {
    element.owner->SetVariable(element.target, std::nullopt);
  }
  return true;
}

}  // namespace

std::int32_t GetRegValue::Check() { return ReadIntoSlot(*this) ? 1 : 0; }

std::int32_t GetRegValue::Execute() {
  ReadIntoSlot(*this);
  return 0;
}

}  // namespace quenwick
