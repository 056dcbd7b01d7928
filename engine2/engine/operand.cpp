#include "engine/operand.h"

#include <string>

#include "engine/definition.h"

namespace quenwick {

EmptySlotError::EmptySlotError(std::uint32_t slot)
    : std::runtime_error("variable slot " + std::to_string(slot) + " holds no text"), slot_(slot) {}

const std::u16string& OperandText(const Operand& operand, const Definition& owner) {
  if (operand.IsLiteral()) return operand.literal;
  const std::u16string* text = owner.variables.Get(operand.index);
  if (text == nullptr) throw EmptySlotError(operand.index);
  return *text;
}

}  // namespace quenwick
