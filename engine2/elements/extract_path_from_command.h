// ExtractPathFromCommand: Cuts the program path out of a command line into the target slot.
#pragma once

#include <cstdint>
#include <memory>

#include "elements/element_types.h"
#include "engine/element.h"
#include "engine/operand.h"

namespace quenwick {

class ByteReader;

// Members `owner` and `target` come from Assign.
class ExtractPathFromCommand final : public Assign {
 public:
  static constexpr ElementType kType = ElementType::ExtractPathFromCommand;

  // Reads a record of this type from `in`, positioned at its tag. Returns null
  // and consumes nothing when the tag is another type's; returns null with `in`
  // failed when the record is damaged (see database/byte_reader.h).
  static std::unique_ptr<ExtractPathFromCommand> Read(Definition& owner, ByteReader& in);

  std::int32_t Check() override;
  std::int32_t Execute() override;
  void Serialize(std::uint8_t* buffer, std::uint32_t& size) const override;

  Operand command;  // a command line
};

}  // namespace quenwick
