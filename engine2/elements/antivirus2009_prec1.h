// Antivirus2009Prec1: finds the family's per-user key (a name of 32 hex
// digits) and the path of its program, plain or encoded, and hands both to the
// actions through two consecutive variable slots.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "elements/element_types.h"
#include "engine/element.h"

namespace quenwick {

class ByteReader;

class Antivirus2009Prec1 final : public Precondition {
 public:
  static constexpr ElementType kType = ElementType::Antivirus2009Prec1;
  static constexpr std::size_t kTableBlockSize = 1024;  // 16 tables of 64 entries

  // Reads a record of this type from `in`, positioned at its tag. Returns null
  // and consumes nothing when the tag is another type's; returns null with `in`
  // failed when the record is damaged (see database/byte_reader.h).
  static std::unique_ptr<Antivirus2009Prec1> Read(Definition& owner, ByteReader& in);

  std::int32_t Check() override;
  void Serialize(std::uint8_t* buffer, std::uint32_t& size) const override;

  std::u16string baseKey;         // under HKEY_CURRENT_USER, whose subkeys are enumerated
  std::u16string keyPrefix;       // the same key as a full path, ending in a backslash
  std::u16string optionsKeyName;  // subkey searched first for the path value
  std::u16string pathValueName;   // value holding the program's path
  std::u16string exeSuffix;       // ending a found path must have
  std::uint32_t firstVariable = 0;  // this slot and the next receive path and key name
  Definition* owner = nullptr;
  std::array<std::uint8_t, kTableBlockSize> SubstitutionTables{};
};

}  // namespace quenwick
