// The assignments with a target. StrConcat and GetRegValue keep the target
// after their two Operands (length 16 + v(A) + v(B)); ExtractPathFromCommand
// puts it first, before its one Operand (length 12 + v(C)).
#include "database/element_codec.h"
#include "elements/extract_path_from_command.h"
#include "elements/get_reg_value.h"
#include "elements/str_concat.h"

namespace quenwick {

std::unique_ptr<StrConcat> StrConcat::Read(Definition& owner, ByteReader& in) {
  return codec::ReadElement<StrConcat>(owner, in, [&](StrConcat& e) {
    return codec::ReadFields(in, owner, e.first, e.second, codec::Target{e.target});
  });
}
void StrConcat::Serialize(std::uint8_t* buffer, std::uint32_t& size) const {
  codec::SerializeFields(buffer, size, kType, first, second, codec::ConstTarget{target});
}

std::unique_ptr<GetRegValue> GetRegValue::Read(Definition& owner, ByteReader& in) {
  return codec::ReadElement<GetRegValue>(owner, in, [&](GetRegValue& e) {
    return codec::ReadFields(in, owner, e.keyPath, e.valueName, codec::Target{e.target});
  });
}
void GetRegValue::Serialize(std::uint8_t* buffer, std::uint32_t& size) const {
  codec::SerializeFields(buffer, size, kType, keyPath, valueName, codec::ConstTarget{target});
}

std::unique_ptr<ExtractPathFromCommand> ExtractPathFromCommand::Read(Definition& owner, ByteReader& in) {
  return codec::ReadElement<ExtractPathFromCommand>(owner, in, [&](ExtractPathFromCommand& e) {
    return codec::ReadFields(in, owner, codec::Target{e.target}, e.command);
  });
}
void ExtractPathFromCommand::Serialize(std::uint8_t* buffer, std::uint32_t& size) const {
  codec::SerializeFields(buffer, size, kType, codec::ConstTarget{target}, command);
}

}  // namespace quenwick
