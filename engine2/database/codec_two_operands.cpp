// Records of two Operands: tag, Operand A, Operand B. Length 12 + v(A) + v(B).
#include "database/element_codec.h"
#include "elements/reg_value_delete.h"
#include "elements/reg_value_exist.h"
#include "elements/uninstall.h"

namespace quenwick {

std::unique_ptr<RegValueExist> RegValueExist::Read(Definition& owner, ByteReader& in) {
  return codec::ReadElement<RegValueExist>(
      owner, in, [&](RegValueExist& e) { return codec::ReadFields(in, owner, e.key, e.valueName); });
}
void RegValueExist::Serialize(std::uint8_t* buffer, std::uint32_t& size) const {
  codec::SerializeFields(buffer, size, kType, key, valueName);
}

std::unique_ptr<RegValueDelete> RegValueDelete::Read(Definition& owner, ByteReader& in) {
  return codec::ReadElement<RegValueDelete>(
      owner, in, [&](RegValueDelete& e) { return codec::ReadFields(in, owner, e.key, e.valueName); });
}
void RegValueDelete::Serialize(std::uint8_t* buffer, std::uint32_t& size) const {
  codec::SerializeFields(buffer, size, kType, key, valueName);
}

std::unique_ptr<Uninstall> Uninstall::Read(Definition& owner, ByteReader& in) {
  return codec::ReadElement<Uninstall>(
      owner, in, [&](Uninstall& e) { return codec::ReadFields(in, owner, e.program, e.arguments); });
}
void Uninstall::Serialize(std::uint8_t* buffer, std::uint32_t& size) const {
  codec::SerializeFields(buffer, size, kType, program, arguments);
}

}  // namespace quenwick
