// The field encodings shared by every element record, and the two generic
// walks over a record's fields: reading them (bounds- and index-checked) and
// writing them under the size-query protocol.
//
// An element's Read and Serialize list the record's fields once, in record
// order, and hand them to ReadFields / SerializeFields:
//
//   codec::ReadFields(in, owner, e->keyPath, e->valueName, codec::Target{e->target});
//   codec::SerializeFields(buffer, size, kType, keyPath, valueName, codec::Target{target});
//
// Field kinds: an Operand (kind word, then a literal text or a slot index), a
// plain text (UTF-16LE with zero terminator, no kind word), a target (a bare
// u32 slot index), a slot pair (a u32 naming a slot and the one after it) and
// the fixed table block of Antivirus2009Prec1.
//
// Each codec file opens with its record's length in bytes as a formula: L
// (L1, L2, ...) is a plain text's length in UTF-16 units, so 2L its bytes
// without the terminator; v(X) is what follows Operand X's kind word, 2L + 2
// for a literal text (terminator included) and 4 for a slot index. The
// constant holds the tag, the kind words, the targets and the plain texts'
// terminators.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <utility>

#include "database/byte_reader.h"
#include "elements/element_types.h"
#include "engine/definition.h"
#include "engine/operand.h"

namespace quenwick::codec {

inline constexpr std::uint32_t kTagSize = 4;
inline constexpr std::uint32_t kKindSize = 4;
inline constexpr std::uint32_t kIndexSize = 4;
inline constexpr std::uint32_t kTerminatorSize = 2;
inline constexpr std::size_t kTableBlockSize = 1024;
// The shortest element record: an ASDPrec1 with the empty pattern (tag and a
// lone terminator). A list count that would need more bytes than remain at
// this size is damage, found before anything is allocated for it.
inline constexpr std::uint32_t kMinElementRecordSize = kTagSize + kTerminatorSize;

// A bare u32 slot index that an assignment writes; must name an existing slot.
struct Target {
  std::uint32_t& index;
};
struct ConstTarget {
  std::uint32_t index;
};
// A u32 naming a slot and the one after it; both must exist.
struct SlotPair {
  std::uint32_t& first;
};
struct ConstSlotPair {
  std::uint32_t first;
};
using TableBlock = std::array<std::uint8_t, kTableBlockSize>;

// ---- Reading ---------------------------------------------------------------

// True when the next u32 is `type`'s tag, which it then consumes. Another tag
// consumes nothing and returns false with the reader untouched; fewer than four
// bytes left fail the reader (the record is cut short).
bool ConsumeTag(ByteReader& in, ElementType type);

// Each returns false with the reader failed on damage. `owner` supplies the
// variable count against which indexes are checked.
bool ReadField(ByteReader& in, const Definition& owner, Operand& out);
bool ReadField(ByteReader& in, const Definition& owner, std::u16string& out);
bool ReadField(ByteReader& in, const Definition& owner, Target out);
bool ReadField(ByteReader& in, const Definition& owner, SlotPair out);
bool ReadField(ByteReader& in, const Definition& owner, TableBlock& out);

template <class... Fields>
bool ReadFields(ByteReader& in, const Definition& owner, Fields&&... fields) {
  // && stops at the first damaged field; the reader is then failed.
  return (ReadField(in, owner, std::forward<Fields>(fields)) && ...);
}

// The frame of every Read: the tag check, the new element and its owner, then
// the record's own fields, which `readFields` reads into the element. Null
// either way when the tag is another type's (nothing consumed) or the record
// is damaged (reader failed).
template <class Element, class ReadOwnFields>
std::unique_ptr<Element> ReadElement(Definition& owner, ByteReader& in, ReadOwnFields readFields) {
  if (!ConsumeTag(in, Element::kType)) return nullptr;
  auto element = std::make_unique<Element>();
  element->owner = &owner;
  if (!readFields(*element)) return nullptr;
  return element;
}

// ---- Writing ---------------------------------------------------------------

// Sizes are summed in 64 bits so that no in-memory element, however long its
// texts, can wrap the 32-bit record length.
std::uint64_t FieldSize(ElementType);
std::uint64_t FieldSize(const Operand& operand);
std::uint64_t FieldSize(const std::u16string& text);
std::uint64_t FieldSize(ConstTarget);
std::uint64_t FieldSize(ConstSlotPair);
std::uint64_t FieldSize(const TableBlock&);

// A cursor over a buffer already known to be large enough for the record.
class FieldWriter {
 public:
  explicit FieldWriter(std::uint8_t* out) : out_(out) {}
  void U32(std::uint32_t value);
  void Text(const std::u16string& text);
  void Bytes(const std::uint8_t* data, std::size_t count);
  std::uint8_t* position() const { return out_; }

 private:
  std::uint8_t* out_;
};

void WriteField(FieldWriter& out, ElementType type);
void WriteField(FieldWriter& out, const Operand& operand);
void WriteField(FieldWriter& out, const std::u16string& text);
void WriteField(FieldWriter& out, ConstTarget target);
void WriteField(FieldWriter& out, ConstSlotPair pair);
void WriteField(FieldWriter& out, const TableBlock& block);

// The size-query protocol of every Serialize, given the record's length:
//  - no buffer or `size` 0: nothing is written, `size` becomes `need`;
//  - `size` at least `need`: returns true (the caller writes), `size` = `need`;
//  - `size` below `need`: nothing is written, `size` becomes 0.
// A record longer than a u32 can say cannot be written: `size` becomes 0.
bool ClaimRoom(std::uint8_t* buffer, std::uint32_t& size, std::uint64_t need);

template <class... Fields>
void SerializeFields(std::uint8_t* buffer, std::uint32_t& size, const Fields&... fields) {
  const std::uint64_t need = (FieldSize(fields) + ...);
  if (!ClaimRoom(buffer, size, need)) return;
  FieldWriter out(buffer);
  (WriteField(out, fields), ...);
}

// The shared text writer, under the same protocol as Serialize: writes the
// text and its terminator when `size` leaves room for 2n + 2 bytes.
void WriteText(std::uint8_t* buffer, std::uint32_t& size, const std::u16string& text);

}  // namespace quenwick::codec
