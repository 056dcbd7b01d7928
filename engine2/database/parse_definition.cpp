#include "database/parse_definition.h"

#include "database/element_codec.h"
#include "database/element_factory.h"

namespace quenwick {
namespace {

// Every slot costs memory whether or not an element names it, and the count
// is the one number of a record that no following bytes have to back. The
// shipped Definitions declare at most 18; a count beyond this limit can only
// come from damage, and would let a 16-byte record allocate hundreds of
// kilobytes.
constexpr std::uint32_t kMaxVariableCount = 256;

// A list count must be backed by the bytes that follow, at the size of the
// shortest element record; otherwise it is damage, rejected before the list
// reserves anything.
bool ReadListCount(ByteReader& in, std::uint32_t& count) {
  if (!in.ReadU32(count)) return false;
  if (count > in.remaining() / codec::kMinElementRecordSize) {
    in.Fail();
    return false;
  }
  return true;
}

template <class Base, class ReadOne>
bool ReadList(Definition& definition, ByteReader& in, std::vector<std::unique_ptr<Base>>& list,
              ReadOne readOne) {
  std::uint32_t count = 0;
  if (!ReadListCount(in, count)) return false;
  list.reserve(list.size() + count);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::unique_ptr<Base> element = readOne(definition, in);
    if (element == nullptr) return false;  // the reader is failed
    list.push_back(std::move(element));
  }
  return true;
}

}  // namespace

bool ParseDefinition(Definition& definition, ByteReader& in) {
  std::uint32_t variableCount = 0;
  if (!in.ReadU32(variableCount)) return false;
  if (variableCount > kMaxVariableCount) {
    in.Fail();
    return false;
  }
  definition.variables = VariableTable(variableCount);
  if (!in.ReadText(definition.name) || !in.ReadText(definition.id)) return false;
  return ReadList(definition, in, definition.preconditions, &ReadPrecondition) &&
         ReadList(definition, in, definition.actions, &ReadAction);
}

}  // namespace quenwick
