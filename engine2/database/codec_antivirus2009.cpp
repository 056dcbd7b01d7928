// Antivirus2009Prec1: tag, firstVariable, five plain texts, then the 1,024-byte
// table block, copied whatever it holds (zero bytes included).
// Length 1042 + 2(L1 + ... + L5).
#include "database/element_codec.h"
#include "elements/antivirus2009_prec1.h"

namespace quenwick {

static_assert(Antivirus2009Prec1::kTableBlockSize == codec::kTableBlockSize);

std::unique_ptr<Antivirus2009Prec1> Antivirus2009Prec1::Read(Definition& owner, ByteReader& in) {
  return codec::ReadElement<Antivirus2009Prec1>(owner, in, [&](Antivirus2009Prec1& e) {
    // Check writes firstVariable and the slot after it, so both must exist.
    return codec::ReadFields(in, owner, codec::SlotPair{e.firstVariable}, e.baseKey, e.keyPrefix,
                             e.optionsKeyName, e.pathValueName, e.exeSuffix, e.SubstitutionTables);
  });
}

void Antivirus2009Prec1::Serialize(std::uint8_t* buffer, std::uint32_t& size) const {
  codec::SerializeFields(buffer, size, kType, codec::ConstSlotPair{firstVariable}, baseKey, keyPrefix,
                         optionsKeyName, pathValueName, exeSuffix, SubstitutionTables);
}

}  // namespace quenwick
