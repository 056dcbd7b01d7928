// Reading a database from any of the three forms the tool accepts: the
// decompressed database, the resource (declared size and zlib stream), and
// quenwick.exe with the resource inside it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/definition.h"

namespace quenwick::dbtool {

enum class InputKind { kDatabase, kResource, kExecutable };

const char* InputKindName(InputKind kind);

struct DatabaseInput {
  InputKind kind = InputKind::kDatabase;
  std::vector<std::uint8_t> database;  // decompressed
  std::uint32_t declaredSize = 0;      // resource and executable forms
};

// Decompresses resource bytes exactly as the program does: the stream must
// decompress completely within the declared size.
std::optional<std::vector<std::uint8_t>> DecompressResource(std::span<const std::uint8_t> resource,
                                                            std::string& error);

// Recognises the form of `bytes` and returns the decompressed database.
std::optional<DatabaseInput> DecodeDatabaseInput(std::span<const std::uint8_t> bytes,
                                                 std::string& error);

std::optional<DatabaseInput> LoadDatabaseInput(const std::filesystem::path& path,
                                               std::string& error);

// Parses a decompressed database with the program's own parser. Returns
// nullopt with `error` set when the program would refuse it.
std::optional<std::vector<std::unique_ptr<Definition>>> ParseDefinitions(
    std::span<const std::uint8_t> database, std::string& error);

}  // namespace quenwick::dbtool
