// The linter: faults in Definition sources that the program would load but
// that cannot work as meant, or that could harm the machine being cleaned.
#pragma once

#include <filesystem>
#include <vector>

#include "diagnostics.h"
#include "fixture/fixture_set.h"
#include "source_model.h"

namespace quenwick::dbtool {

// Checks Definitions that the reader accepted. Adds to `out`.
void LintSources(const std::vector<SourceDefinition>& sources, Diagnostics& out);

// Warns about each Definition that no fixture expects found, and each that
// has no look-alike fixture in its own fixture folder (lint/fixture_proof.cpp).
void CheckFixtureProof(const std::vector<SourceDefinition>& sources,
                       const std::vector<fixture::LoadedFixture>& fixtures, Diagnostics& out);

// The smallest decimal id above every decimal id in use ("1" when none is).
std::string NextFreeId(const std::vector<SourceDefinition>& sources);

// Reads and checks a definitions directory: the reader's own errors,
// everything LintSources finds, the fixtures' own errors and their proof of
// each Definition, sorted by place. `fixtures` defaults to DIR/fixtures.
// A directory without any Definition is an error.
Diagnostics LintDirectory(const std::filesystem::path& directory,
                          const std::filesystem::path& fixtures = {});

// Checks one source file of a definitions directory: the same checks, the
// folder-wide ones (duplicate ids, fixtures) against its folder, and only the
// file's own messages.
Diagnostics LintFile(const std::filesystem::path& file, const std::filesystem::path& fixtures = {});

}  // namespace quenwick::dbtool
