// FolderDelete: Deletes a folder tree; what cannot go now goes at the next start.
#pragma once

#include <cstdint>
#include <memory>

#include "elements/element_types.h"
#include "engine/element.h"
#include "engine/operand.h"

namespace quenwick {

class ByteReader;

class FolderDelete final : public Action {
 public:
  static constexpr ElementType kType = ElementType::FolderDelete;

  // Reads a record of this type from `in`, positioned at its tag. Returns null
  // and consumes nothing when the tag is another type's; returns null with `in`
  // failed when the record is damaged (see database/byte_reader.h).
  static std::unique_ptr<FolderDelete> Read(Definition& owner, ByteReader& in);

  std::int32_t Execute() override;
  void Serialize(std::uint8_t* buffer, std::uint32_t& size) const override;

  Operand path;  // folder path, with a leading macro
  Definition* owner = nullptr;
};

}  // namespace quenwick
