// InnoSetupUninstall: runs the "UninstallString" of an application's uninstall
// entry with silent-mode arguments and waits for it a bounded time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "elements/element_types.h"
#include "engine/element.h"
#include "engine/operand.h"

namespace quenwick {

class ByteReader;

class InnoSetupUninstall final : public Action {
 public:
  static constexpr ElementType kType = ElementType::InnoSetupUninstall;

  // Reads a record of this type from `in`, positioned at its tag. Returns null
  // and consumes nothing when the tag is another type's; returns null with `in`
  // failed when the record is damaged (see database/byte_reader.h).
  static std::unique_ptr<InnoSetupUninstall> Read(Definition& owner, ByteReader& in);

  std::int32_t Execute() override;
  void Serialize(std::uint8_t* buffer, std::uint32_t& size) const override;

  Operand applicationKey;  // the application's key name under keyPrefix
  Definition* owner = nullptr;
  std::u16string keyPrefix;  // registry path ending in a backslash
  std::u16string valueName;  // the value holding the uninstaller's command
  std::u16string arguments;  // appended to the command line unchanged
};

}  // namespace quenwick
