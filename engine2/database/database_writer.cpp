#include "database/database_writer.h"

#include <zlib.h>

#include <limits>

#include "base/little_endian.h"
#include "database/element_codec.h"

namespace quenwick {
namespace {

void AppendU32(std::vector<std::uint8_t>& out, std::uint32_t value) { AppendLittleEndian(out, value, 4); }

void AppendText(std::vector<std::uint8_t>& out, const std::u16string& text) {
  const std::size_t start = out.size();
  out.resize(start + codec::FieldSize(text));
  codec::FieldWriter(out.data() + start).Text(text);
}

// Both bases serialize the same way: ask for the length, then write in place.
template <class Element>
bool AppendRecord(std::vector<std::uint8_t>& out, const Element& element) {
  std::uint32_t need = 0;
  element.Serialize(nullptr, need);
  if (need == 0) return false;
  const std::size_t start = out.size();
  out.resize(start + need);
  std::uint32_t size = need;
  element.Serialize(out.data() + start, size);
  if (size != need) {
    out.resize(start);
    return false;
  }
  return true;
}

template <class Element>
std::vector<std::uint8_t> RecordOf(const Element& element) {
  std::vector<std::uint8_t> out;
  AppendRecord(out, element);
  return out;
}

}  // namespace

bool AppendElement(std::vector<std::uint8_t>& out, const Precondition& element) {
  return AppendRecord(out, element);
}
bool AppendElement(std::vector<std::uint8_t>& out, const Action& element) {
  return AppendRecord(out, element);
}

std::vector<std::uint8_t> SerializeElement(const Precondition& element) { return RecordOf(element); }
std::vector<std::uint8_t> SerializeElement(const Action& element) { return RecordOf(element); }

void AppendDefinition(std::vector<std::uint8_t>& out, const Definition& definition) {
  AppendU32(out, definition.variables.size());
  AppendText(out, definition.name);
  AppendText(out, definition.id);
  AppendU32(out, static_cast<std::uint32_t>(definition.preconditions.size()));
  for (const auto& precondition : definition.preconditions) AppendElement(out, *precondition);
  AppendU32(out, static_cast<std::uint32_t>(definition.actions.size()));
  for (const auto& action : definition.actions) AppendElement(out, *action);
}

std::vector<std::uint8_t> SerializeDefinition(const Definition& definition) {
  std::vector<std::uint8_t> out;
  AppendDefinition(out, definition);
  return out;
}

std::vector<std::uint8_t> SerializeDatabase(std::span<const std::unique_ptr<Definition>> definitions) {
  std::vector<std::uint8_t> out;
  AppendU32(out, static_cast<std::uint32_t>(definitions.size()));
  for (const auto& definition : definitions) AppendDefinition(out, *definition);
  return out;
}

std::vector<std::uint8_t> MakeResource(std::span<const std::uint8_t> database) {
  if (database.size() > std::numeric_limits<std::uint32_t>::max()) return {};
  uLongf streamSize = compressBound(static_cast<uLong>(database.size()));
  std::vector<std::uint8_t> resource(4 + streamSize);
  if (compress2(resource.data() + 4, &streamSize, database.data(), static_cast<uLong>(database.size()),
                Z_BEST_COMPRESSION) != Z_OK) {
    return {};
  }
  resource.resize(4 + streamSize);
  const auto declared = static_cast<std::uint32_t>(database.size());
  StoreLe32(resource.data(), declared);
  return resource;
}

}  // namespace quenwick
