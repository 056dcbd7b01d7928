// KillProcess: Terminates every process whose image path the target names.
#pragma once

#include <cstdint>
#include <memory>

#include "elements/element_types.h"
#include "engine/element.h"
#include "engine/operand.h"

namespace quenwick {

class ByteReader;

class KillProcess final : public Action {
 public:
  static constexpr ElementType kType = ElementType::KillProcess;

  // Reads a record of this type from `in`, positioned at its tag. Returns null
  // and consumes nothing when the tag is another type's; returns null with `in`
  // failed when the record is damaged (see database/byte_reader.h).
  static std::unique_ptr<KillProcess> Read(Definition& owner, ByteReader& in);

  std::int32_t Execute() override;
  void Serialize(std::uint8_t* buffer, std::uint32_t& size) const override;

  Operand target;  // a program path, a quoted path, or a command line
  Definition* owner = nullptr;
};

}  // namespace quenwick
