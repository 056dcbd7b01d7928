// RegValueExist: True when a registry value can be read whole (its key opened with full access).
#pragma once

#include <cstdint>
#include <memory>

#include "elements/element_types.h"
#include "engine/element.h"
#include "engine/operand.h"

namespace quenwick {

class ByteReader;

class RegValueExist final : public Precondition {
 public:
  static constexpr ElementType kType = ElementType::RegValueExist;

  // Reads a record of this type from `in`, positioned at its tag. Returns null
  // and consumes nothing when the tag is another type's; returns null with `in`
  // failed when the record is damaged (see database/byte_reader.h).
  static std::unique_ptr<RegValueExist> Read(Definition& owner, ByteReader& in);

  std::int32_t Check() override;
  void Serialize(std::uint8_t* buffer, std::uint32_t& size) const override;

  Operand key;  // registry key path
  Operand valueName;  // "" names the key's default value
  Definition* owner = nullptr;
};

}  // namespace quenwick
