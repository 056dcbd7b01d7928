#include "engine/definition.h"

#include "engine/operand.h"
#include "system/removal_guard.h"
#include "system/system_text.h"

namespace quenwick {

const std::u16string* VariableTable::Get(std::uint32_t index) const {
  if (index >= slots_.size() || !slots_[index].has_value()) return nullptr;
  return &*slots_[index];
}

bool VariableTable::Set(std::uint32_t index, std::optional<std::u16string> text) {
  if (index >= slots_.size()) return false;
  slots_[index] = std::move(text);
  return true;
}

void Definition::SetVariable(std::uint32_t index, std::optional<std::u16string> text) {
  if (!variables.Set(index, std::move(text))) throw EmptySlotError(index);
}

std::int32_t Definition::Scan() {
  try {
    for (auto& precondition : preconditions) {
      const std::int32_t result = precondition->Check();
      if (result != 1) return result;
    }
    return 1;
  } catch (...) {
    // An empty slot, an allocation failure or any other failure raised by a
    // Check ends the scan: the Definition is not found.
    return -1;
  }
}

bool Definition::Clean() {
  if (Scan() != 1) return false;
  WriteConsoleText(name + u" found...");
  for (auto& action : actions) {
    try {
      action->Execute();
    } catch (...) {
      // Contained: only this action is skipped.
    }
  }
  WriteConsoleText(u" cleaned\n");
  return true;
}

unsigned CleanAll(DefinitionList& definitions) {
  removal::GuardScope pass;
  unsigned cleaned = 0;
  for (auto& definition : definitions) {
    if (definition->Clean()) ++cleaned;
  }
  return cleaned;
}

}  // namespace quenwick
