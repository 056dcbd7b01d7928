// ASDPrec1: Finds and removes entries of the logon "Userinit" value that contain a pattern.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "elements/element_types.h"
#include "engine/element.h"
#include "engine/operand.h"

namespace quenwick {

class ByteReader;

// Members `owner` and `target` come from Assign.
class ASDPrec1 final : public Assign {
 public:
  static constexpr ElementType kType = ElementType::ASDPrec1;

  // Reads a record of this type from `in`, positioned at its tag. Returns null
  // and consumes nothing when the tag is another type's; returns null with `in`
  // failed when the record is damaged (see database/byte_reader.h).
  static std::unique_ptr<ASDPrec1> Read(Definition& owner, ByteReader& in);

  std::int32_t Check() override;
  std::int32_t Execute() override;
  void Serialize(std::uint8_t* buffer, std::uint32_t& size) const override;

  std::u16string pattern;  // searched for in each lower-cased entry
};

}  // namespace quenwick
