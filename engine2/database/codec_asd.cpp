// ASDPrec1: tag and one plain text, the pattern. Length 6 + 2L. It has no
// target field: the Assign target stays unset.
#include "database/element_codec.h"
#include "elements/asd_prec1.h"

namespace quenwick {

std::unique_ptr<ASDPrec1> ASDPrec1::Read(Definition& owner, ByteReader& in) {
  return codec::ReadElement<ASDPrec1>(owner, in,
                                      [&](ASDPrec1& e) { return codec::ReadFields(in, owner, e.pattern); });
}

void ASDPrec1::Serialize(std::uint8_t* buffer, std::uint32_t& size) const {
  codec::SerializeFields(buffer, size, kType, pattern);
}

}  // namespace quenwick
