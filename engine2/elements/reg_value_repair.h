// RegValueRepair: Puts a Windows setting that a rogue overwrote back to what
// the Definition gives, when the setting still names the rogue.
#pragma once

#include <cstdint>
#include <memory>

#include "elements/element_types.h"
#include "engine/element.h"
#include "engine/operand.h"

namespace quenwick {

class ByteReader;

// Writes `replacement` over one existing REG_SZ or REG_EXPAND_SZ value whose
// text contains `marker` (A-Z folded), keeping the value's type. Everything
// else is left alone: a missing key or value, another type, a text without
// the marker, an empty marker or replacement, a key that is a registry link.
// It never creates a key or a value. Since it changes only a value that names
// the rogue, it needs no list of places it may not touch; what it may write
// there is the linter's to check.
class RegValueRepair final : public Action {
 public:
  static constexpr ElementType kType = ElementType::RegValueRepair;

  // Reads a record of this type from `in`, positioned at its tag. Returns null
  // and consumes nothing when the tag is another type's; returns null with `in`
  // failed when the record is damaged (see database/byte_reader.h).
  static std::unique_ptr<RegValueRepair> Read(Definition& owner, ByteReader& in);

  // Always 0, like the other value actions.
  std::int32_t Execute() override;
  void Serialize(std::uint8_t* buffer, std::uint32_t& size) const override;

  Operand key;          // registry key path, used as it stands
  Operand valueName;    // "" names the key's default value
  Operand marker;       // names the rogue; its leading macro is expanded like a path's
  Operand replacement;  // written exactly as given (REG_EXPAND_SZ keeps its variables)
  Definition* owner = nullptr;
};

}  // namespace quenwick
