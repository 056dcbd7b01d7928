// Writing a Definition object back as source text (the inverse of
// source_reader.h: reading what this writes gives an equal Definition).
#pragma once

#include <string>
#include <vector>

#include "engine/definition.h"

namespace quenwick::dbtool {

// Variable names for a Definition that has none (one read from a database):
// "v0", "v1", ... for every slot of a table of up to 256 slots; none for a
// larger table, which is then declared with `variable_count` and its slots
// used by number.
std::vector<std::string> GenerateVariableNames(const Definition& definition);

// The source text of a Definition. `names` gives the variables' names by
// slot; slots beyond it are written as numbers, and `variable_count` is
// written when the table has more slots than names.
std::string WriteSource(const Definition& definition, const std::vector<std::string>& names);

// A TOML string for a text: a literal string ('...') when the text can be
// one, a basic string with escapes otherwise, or { utf16 = [...] } when the
// text holds an unpaired surrogate (which has no UTF-8 form).
std::string TomlText(std::u16string_view text);

}  // namespace quenwick::dbtool
