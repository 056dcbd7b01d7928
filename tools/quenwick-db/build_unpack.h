// The two directions between a definitions directory and a database, as
// library calls (the build and unpack subcommands and the tests use them).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "diagnostics.h"
#include "engine/definition.h"
#include "source_model.h"

namespace quenwick::dbtool {

// The decompressed database of the sources, in their order. Returns nullopt
// when any source has an error, or when the program would not load the
// result; `diagnostics` then says why.
std::optional<std::vector<std::uint8_t>> BuildDatabase(const std::vector<SourceDefinition>& sources,
                                                       Diagnostics& diagnostics);
std::optional<std::vector<std::uint8_t>> BuildDatabaseFromDirectory(
    const std::filesystem::path& directory, Diagnostics& diagnostics);

struct SourceFile {
  std::string name;  // file name within the definitions directory
  std::string text;
};

// One source file per Definition, named so that their sorted order is the
// database order: "0001-antivirus-2009.toml" (a zero-padded position and a
// slug of the name).
std::vector<SourceFile> UnpackDefinitions(const std::vector<std::unique_ptr<Definition>>& definitions);

}  // namespace quenwick::dbtool
