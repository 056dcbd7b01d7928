// A strict syntax check of a TOML document, made before the TOML library
// sees it.
//
// The library (toml++ 3.3) guards some of its error paths with internal
// assertions: on certain malformed inputs ("[[[x]]", "a = [}") a build with
// assertions stops inside it, and a build that turns them into optimiser
// assumptions runs into undefined behaviour. Sources and fixtures are edited
// by hand and fuzzed, so the library is only ever given text that this check
// accepts: well-formed UTF-8 TOML 1.0 (keys, strings of every kind, integers,
// floats, booleans, dates and times, arrays, inline tables, table headers).
// What the library reports beyond syntax (a key defined twice, a table
// redefined) it still reports itself.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "diagnostics.h"

namespace quenwick::dbtool {

struct TomlSyntaxError {
  SourcePos pos;  // of the first character that does not fit
  std::string message;
};

// The first syntax error of `text`, or nullopt when it is well-formed.
std::optional<TomlSyntaxError> FindTomlSyntaxError(std::string_view text);

}  // namespace quenwick::dbtool
