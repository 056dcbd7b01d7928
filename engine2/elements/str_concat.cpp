#include "elements/str_concat.h"

#include "engine/definition.h"
#include "engine/path_expansion.h"

namespace quenwick {
namespace {

// Both texts are read before the slot is written, so the target may be the
// slot of either operand.
void Concatenate(const StrConcat& element) {
  std::u16string joined = OperandText(element.first, *element.owner);
  AppendText(joined, OperandText(element.second, *element.owner));
  element.owner->SetVariable(element.target, std::move(joined));
}

}  // namespace

std::int32_t StrConcat::Check() {
  Concatenate(*this);
  return 1;
}

std::int32_t StrConcat::Execute() {
  Concatenate(*this);
  return 0;
}

}  // namespace quenwick
