// Reading Definition sources (TOML, one file per Definition) into Definition
// objects made of the program's own element classes.
//
// Everything wrong with a source is reported as a Diagnostic with its place;
// nothing here throws or stops at the first fault. Errors mean the source
// cannot be built into a database the program loads (an unknown element
// class, an element in a list that does not accept it, a missing field, a
// variable that is not declared, an index beyond the variable table, ...).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics.h"
#include "source_model.h"

namespace quenwick::dbtool {

// Reads one source text. Returns nullopt when the text is not TOML at all;
// otherwise the Definition as far as it could be read (check `diagnostics`
// for errors before using it).
std::optional<SourceDefinition> ReadSourceText(std::string_view text, const std::string& file,
                                               Diagnostics& diagnostics);

std::optional<SourceDefinition> ReadSourceFile(const std::filesystem::path& path,
                                               Diagnostics& diagnostics);

// The source files of a definitions directory in database order: every
// regular file directly in it whose name ends in ".toml", sorted by name
// (byte order of the UTF-8 names). Subdirectories (fixtures) are not sources.
std::vector<std::filesystem::path> ListSourceFiles(const std::filesystem::path& directory,
                                                   Diagnostics& diagnostics);

// Reads every source of a directory, in database order. Sources that are not
// TOML are left out (with their error in `diagnostics`).
std::vector<SourceDefinition> ReadSourceDirectory(const std::filesystem::path& directory,
                                                  Diagnostics& diagnostics);

}  // namespace quenwick::dbtool
