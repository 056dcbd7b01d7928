// RegValueRepair: tag, then the Operands key, value name, marker and
// replacement. Length 20 + v(K) + v(N) + v(M) + v(R).
#include "database/element_codec.h"
#include "elements/reg_value_repair.h"

namespace quenwick {

std::unique_ptr<RegValueRepair> RegValueRepair::Read(Definition& owner, ByteReader& in) {
  return codec::ReadElement<RegValueRepair>(owner, in, [&](RegValueRepair& e) {
    return codec::ReadFields(in, owner, e.key, e.valueName, e.marker, e.replacement);
  });
}

void RegValueRepair::Serialize(std::uint8_t* buffer, std::uint32_t& size) const {
  codec::SerializeFields(buffer, size, kType, key, valueName, marker, replacement);
}

}  // namespace quenwick
