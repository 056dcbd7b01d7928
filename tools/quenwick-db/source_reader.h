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
#include "toml_config.h"

namespace quenwick::dbtool {

// The name and id of a Definition whose table does not give them: a brand of
// a family source, whose template takes them from the brand.
struct Identity {
  std::u16string name;
  std::u16string id;
  SourcePos namePos, idPos;
};

// Reads one Definition from its parsed table, as far as it can be read (check
// `diagnostics` for errors, or `readErrors`, before using it). With an
// `identity`, the table must not give a name or an id of its own.
SourceDefinition ReadSourceTable(const toml::table& root, const std::string& file,
                                 Diagnostics& diagnostics, const Identity* identity = nullptr);

// Reads one Definition source text. Returns nullopt when the text is not TOML
// at all; otherwise as ReadSourceTable.
std::optional<SourceDefinition> ReadSourceText(std::string_view text, const std::string& file,
                                               Diagnostics& diagnostics);

// Every Definition of one source file, in database order: the one Definition
// of a Definition source, or one per brand of a family source (family_source.h).
// `stem` is the file name without ".toml".
std::vector<SourceDefinition> ReadSources(std::string_view text, const std::string& file,
                                          const std::string& stem, Diagnostics& diagnostics);
std::vector<SourceDefinition> ReadSourceFile(const std::filesystem::path& path,
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

// A definitions directory from which nothing was read is an error (a wrong
// path would otherwise build an empty database and pass every check); added
// only when nothing else already failed.
void RequireDefinitions(const std::filesystem::path& directory, const std::vector<SourceDefinition>& sources,
                        Diagnostics& diagnostics);

}  // namespace quenwick::dbtool
