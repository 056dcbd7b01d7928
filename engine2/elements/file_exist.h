// FileExist: True when a file (not a folder) exists at the resolved path.
#pragma once

#include <cstdint>
#include <memory>

#include "elements/element_types.h"
#include "engine/element.h"
#include "engine/operand.h"

namespace quenwick {

class ByteReader;

class FileExist final : public Precondition {
 public:
  static constexpr ElementType kType = ElementType::FileExist;

  // Reads a record of this type from `in`, positioned at its tag. Returns null
  // and consumes nothing when the tag is another type's; returns null with `in`
  // failed when the record is damaged (see database/byte_reader.h).
  static std::unique_ptr<FileExist> Read(Definition& owner, ByteReader& in);

  std::int32_t Check() override;
  void Serialize(std::uint8_t* buffer, std::uint32_t& size) const override;

  Operand path;  // file path, with a leading macro
  Definition* owner = nullptr;
};

}  // namespace quenwick
