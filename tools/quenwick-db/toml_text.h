// Helpers shared by the readers of Definition sources and of fixtures.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "diagnostics.h"
#include "toml_config.h"
#include "toml_syntax.h"

namespace quenwick::dbtool {

inline SourcePos PosOf(const toml::source_region& region) {
  return {region.begin.line, region.begin.column};
}
inline SourcePos PosOf(const toml::node& node) { return PosOf(node.source()); }

// Parses TOML text: the table, or the first syntax error (from the strict
// check or the library) with its place.
struct ParsedToml {
  std::optional<toml::table> table;
  TomlSyntaxError error;
};
ParsedToml ParseToml(std::string_view text, const std::string& file);

// Parses a source or fixture file. Text that is not well-formed TOML is
// reported as "toml-syntax" at its first fault (see toml_syntax.h for why the
// check comes first) and gives nullopt.
std::optional<toml::table> ParseTomlText(std::string_view text, const std::string& file,
                                         Diagnostics& diagnostics);

// A short name of a TOML value's kind, for messages ("a string", "a table").
std::string KindName(const toml::node& node);

// Reads a text written as a TOML string or as `{ utf16 = [code units] }`.
// Reports a problem in `diagnostics` (code "bad-text") and returns nullopt.
std::optional<std::u16string> ReadTextNode(const toml::node& node, const std::string& file,
                                           std::string_view what, Diagnostics& diagnostics);

// Reads an integer within [0, max]; reports "bad-number" otherwise.
std::optional<std::uint64_t> ReadUnsigned(const toml::node& node, std::uint64_t max,
                                          const std::string& file, std::string_view what,
                                          Diagnostics& diagnostics);

}  // namespace quenwick::dbtool
