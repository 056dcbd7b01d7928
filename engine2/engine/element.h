// The element base classes. A Definition holds its preconditions through
// Precondition and its actions through Action; Assign elements (which compute
// a variable) derive from both and stand in either list, one object per
// record.
#pragma once

#include <cstdint>

namespace quenwick {

class Definition;

class Precondition {
 public:
  // 1 when the condition holds; anything else means it does not.
  virtual std::int32_t Check() = 0;
  // Writes the element's database record under the size-query protocol:
  //  - `size` 0 or no buffer: writes nothing, `size` becomes the record length;
  //  - `size` at least the record length: writes it, `size` becomes its length;
  //  - `size` below the record length: writes nothing, `size` becomes 0.
  virtual void Serialize(std::uint8_t* buffer, std::uint32_t& size) const = 0;
  virtual ~Precondition() = default;
};

class Action {
 public:
  // One cleaning step; Clean ignores the result.
  virtual std::int32_t Execute() = 0;
  // The same record and protocol as Precondition::Serialize.
  virtual void Serialize(std::uint8_t* buffer, std::uint32_t& size) const = 0;
  virtual ~Action() = default;
};

// Computes a text into a slot of its Definition's variables. Check and
// Execute run the same computation and differ only in what they report.
class Assign : public Precondition, public Action {
 public:
  Definition* owner = nullptr;
  std::uint32_t target = 0;  // the variable slot written
};

}  // namespace quenwick
