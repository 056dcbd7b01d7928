// "Did you mean": the known name closest to a misspelt one (an element type,
// a field, a table, a command).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quenwick::dbtool {

// Insertions, deletions, substitutions and swaps of neighbours that turn
// `a` into `b`.
std::size_t EditDistance(std::string_view a, std::string_view b);

// The candidate that equals `written` up to letter case, or else the one
// closest to it, when it is close enough to be a slip (at most two edits, and
// fewer than half of the name's letters); nullopt otherwise.
std::optional<std::string> ClosestName(std::string_view written, const std::vector<std::string>& candidates);

// " (did you mean 'X'?)" for ClosestName's answer, or "".
std::string DidYouMean(std::string_view written, const std::vector<std::string>& candidates);

}  // namespace quenwick::dbtool
