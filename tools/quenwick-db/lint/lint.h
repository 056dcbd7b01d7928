// The linter: faults in Definition sources that the program would load but
// that cannot work as meant, or that could harm the machine being cleaned.
#pragma once

#include <filesystem>
#include <vector>

#include "diagnostics.h"
#include "source_model.h"

namespace quenwick::dbtool {

// Checks Definitions that the reader accepted. Adds to `out`.
void LintSources(const std::vector<SourceDefinition>& sources, Diagnostics& out);

// Reads and checks a definitions directory: the reader's own errors plus
// everything LintSources finds, sorted by place.
Diagnostics LintDirectory(const std::filesystem::path& directory);

}  // namespace quenwick::dbtool
