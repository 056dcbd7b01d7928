// The catalogue: a page for users (Markdown) that says, per Definition, what
// it looks for, what it ends, runs, repairs and deletes, and where that
// knowledge comes from, in words rather than TOML. It is generated from the
// sources so that it cannot drift from what the program does.
#pragma once

#include <string>
#include <vector>

#include "source_model.h"

namespace quenwick::dbtool {

// The page for `sources` in database order. The brands of one family source
// share one section: their common shape once, then one row per brand.
std::string RenderCatalogue(const std::vector<SourceDefinition>& sources);

}  // namespace quenwick::dbtool
