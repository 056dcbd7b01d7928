#include "database/element_codec.h"

#include <cstring>

#include "base/little_endian.h"

namespace quenwick::codec {
namespace {

bool IndexExists(const Definition& owner, std::uint64_t index) { return index < owner.variables.size(); }

}  // namespace

bool ConsumeTag(ByteReader& in, ElementType type) {
  std::uint32_t tag = 0;
  if (!in.PeekU32(tag)) {
    in.Fail();
    return false;
  }
  if (tag != static_cast<std::uint32_t>(type)) return false;
  return in.ReadU32(tag);
}

bool ReadField(ByteReader& in, const Definition& owner, Operand& out) {
  std::uint32_t kind = 0;
  if (!in.ReadU32(kind)) return false;
  switch (static_cast<OperandKind>(kind)) {
    case OperandKind::Literal:
      out.kind = OperandKind::Literal;
      out.index = 0;
      return in.ReadText(out.literal);
    case OperandKind::Variable:
      out.kind = OperandKind::Variable;
      out.literal.clear();
      return ReadField(in, owner, Target{out.index});
  }
  // No other kind was ever written; what it would resolve to is undefined, so
  // the record is taken as damaged rather than guessed at.
  in.Fail();
  return false;
}

bool ReadField(ByteReader& in, const Definition&, std::u16string& out) { return in.ReadText(out); }

bool ReadField(ByteReader& in, const Definition& owner, Target out) {
  std::uint32_t index = 0;
  if (!in.PeekU32(index)) return in.ReadU32(index);  // fails the reader
  if (!IndexExists(owner, index)) {
    // Failed at the index itself so that the offset points at the bad field.
    in.Fail();
    return false;
  }
  out.index = index;
  return in.ReadU32(index);
}

bool ReadField(ByteReader& in, const Definition& owner, SlotPair out) {
  std::uint32_t first = 0;
  if (!in.PeekU32(first)) return in.ReadU32(first);
  // Computed in 64 bits: first + 1 must not wrap to slot 0.
  if (!IndexExists(owner, first) || !IndexExists(owner, std::uint64_t{first} + 1)) {
    in.Fail();
    return false;
  }
  out.first = first;
  return in.ReadU32(first);
}

bool ReadField(ByteReader& in, const Definition&, TableBlock& out) {
  return in.ReadBytes(out.data(), out.size());
}

std::uint64_t FieldSize(ElementType) { return kTagSize; }

std::uint64_t FieldSize(const Operand& operand) {
  return kKindSize + (operand.IsLiteral() ? FieldSize(operand.literal) : kIndexSize);
}

std::uint64_t FieldSize(const std::u16string& text) {
  return 2 * std::uint64_t{text.size()} + kTerminatorSize;
}

std::uint64_t FieldSize(ConstTarget) { return kIndexSize; }
std::uint64_t FieldSize(ConstSlotPair) { return kIndexSize; }
std::uint64_t FieldSize(const TableBlock& block) { return block.size(); }

void FieldWriter::U32(std::uint32_t value) {
  StoreLe32(out_, value);
  out_ += 4;
}

void FieldWriter::Text(const std::u16string& text) {
  for (const char16_t unit : text) {
    StoreLe16(out_, unit);
    out_ += 2;
  }
  StoreLe16(out_, 0);
  out_ += kTerminatorSize;
}

void FieldWriter::Bytes(const std::uint8_t* data, std::size_t count) {
  if (count != 0) std::memcpy(out_, data, count);
  out_ += count;
}

void WriteField(FieldWriter& out, ElementType type) { out.U32(static_cast<std::uint32_t>(type)); }

void WriteField(FieldWriter& out, const Operand& operand) {
  out.U32(static_cast<std::uint32_t>(operand.kind));
  if (operand.IsLiteral()) {
    out.Text(operand.literal);
  } else {
    out.U32(operand.index);
  }
}

void WriteField(FieldWriter& out, const std::u16string& text) { out.Text(text); }
void WriteField(FieldWriter& out, ConstTarget target) { out.U32(target.index); }
void WriteField(FieldWriter& out, ConstSlotPair pair) { out.U32(pair.first); }
void WriteField(FieldWriter& out, const TableBlock& block) { out.Bytes(block.data(), block.size()); }

bool ClaimRoom(std::uint8_t* buffer, std::uint32_t& size, std::uint64_t need) {
  if (need > std::numeric_limits<std::uint32_t>::max()) {
    size = 0;
    return false;
  }
  const auto need32 = static_cast<std::uint32_t>(need);
  if (buffer == nullptr || size == 0) {
    size = need32;
    return false;
  }
  if (size < need32) {
    size = 0;
    return false;
  }
  size = need32;
  return true;
}

void WriteText(std::uint8_t* buffer, std::uint32_t& size, const std::u16string& text) {
  if (!ClaimRoom(buffer, size, FieldSize(text))) return;
  FieldWriter out(buffer);
  out.Text(text);
}

}  // namespace quenwick::codec
