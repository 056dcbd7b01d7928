// Reading one Definition record.
#pragma once

#include "database/byte_reader.h"
#include "engine/definition.h"

namespace quenwick {

// Fills an empty Definition from the record at the reader's position and
// advances past it. Returns false (the reader failed) when the record is
// damaged: a text without terminator, a length past the end, an element type
// not allowed in its list, an OperandKind other than 0 and 1, or a variable or
// target index at or above the variable count.
bool ParseDefinition(Definition& definition, ByteReader& in);

}  // namespace quenwick
