// The writing side of the database format: element records through their
// Serialize, whole Definition records, whole databases, and the resource that
// carries a database (declared size and zlib stream). The program itself never
// writes a database; the database tool and the tests do.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "engine/definition.h"
#include "engine/element.h"

namespace quenwick {

// Append the element's record to `out`. False (nothing appended) when the
// element cannot be written, i.e. its record would exceed a u32 length.
bool AppendElement(std::vector<std::uint8_t>& out, const Precondition& element);
bool AppendElement(std::vector<std::uint8_t>& out, const Action& element);

std::vector<std::uint8_t> SerializeElement(const Precondition& element);
std::vector<std::uint8_t> SerializeElement(const Action& element);

// The Definition record: variable count, name, id, the precondition count and
// records, the action count and records.
std::vector<std::uint8_t> SerializeDefinition(const Definition& definition);
void AppendDefinition(std::vector<std::uint8_t>& out, const Definition& definition);

// A decompressed database: the record count, then the records. No filler.
std::vector<std::uint8_t> SerializeDatabase(std::span<const std::unique_ptr<Definition>> definitions);

// The resource bytes for a decompressed database: its size as a
// little-endian u32, then the zlib stream of it. Empty when zlib fails.
std::vector<std::uint8_t> MakeResource(std::span<const std::uint8_t> database);

}  // namespace quenwick
