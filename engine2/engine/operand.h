// An element parameter: a literal text, or a reference to a variable slot of
// the element's Definition.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace quenwick {

class Definition;

// The values OperandKind takes in a database record. Any other value is
// rejected as damage when the record is read.
enum class OperandKind : std::uint32_t { Variable = 0, Literal = 1 };

struct Operand {
  OperandKind kind = OperandKind::Literal;
  std::u16string literal;    // kind Literal
  std::uint32_t index = 0;   // kind Variable: the slot

  static Operand Text(std::u16string text) { return {OperandKind::Literal, std::move(text), 0}; }
  static Operand Variable(std::uint32_t slot) { return {OperandKind::Variable, {}, slot}; }
  bool IsLiteral() const { return kind == OperandKind::Literal; }
  friend bool operator==(const Operand&, const Operand&) = default;
};

// Raised when an element reads a variable slot that holds no text (or that
// does not exist). Scan and Clean contain it; it never leaves them.
class EmptySlotError : public std::runtime_error {
 public:
  explicit EmptySlotError(std::uint32_t slot);
  std::uint32_t slot() const { return slot_; }

 private:
  std::uint32_t slot_;
};

// The operand's current text: its literal, or the text in the owner's slot.
// The reference stays valid until that slot is next written. Throws
// EmptySlotError for an empty slot.
const std::u16string& OperandText(const Operand& operand, const Definition& owner);

}  // namespace quenwick
