// InnoSetupUninstall: tag, three plain texts (no kind word in front of them,
// so a text that starts with the code unit 1 is still a text), then Operand K.
// Length 14 + 2(L1 + L2 + L3) + v(K).
#include "database/element_codec.h"
#include "elements/inno_setup_uninstall.h"

namespace quenwick {

std::unique_ptr<InnoSetupUninstall> InnoSetupUninstall::Read(Definition& owner, ByteReader& in) {
  return codec::ReadElement<InnoSetupUninstall>(owner, in, [&](InnoSetupUninstall& e) {
    return codec::ReadFields(in, owner, e.keyPrefix, e.valueName, e.arguments, e.applicationKey);
  });
}

void InnoSetupUninstall::Serialize(std::uint8_t* buffer, std::uint32_t& size) const {
  codec::SerializeFields(buffer, size, kType, keyPrefix, valueName, arguments, applicationKey);
}

}  // namespace quenwick
