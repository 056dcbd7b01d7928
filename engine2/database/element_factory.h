// Creates the element object for one element record, by its tag, for either
// list of a Definition. Expanded from the list of element types, so that the
// tags each list accepts are stated in one place.
#pragma once

#include <memory>

#include "database/byte_reader.h"
#include "engine/definition.h"
#include "engine/element.h"

namespace quenwick {

// Read the record at the reader's position. Null, with the reader failed,
// when the tag is not allowed in that list (unknown tags included) or the
// record is damaged.
std::unique_ptr<Precondition> ReadPrecondition(Definition& owner, ByteReader& in);
std::unique_ptr<Action> ReadAction(Definition& owner, ByteReader& in);

}  // namespace quenwick
