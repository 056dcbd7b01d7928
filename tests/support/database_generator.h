// Generated databases shaped like the shipped one, for benchmarks, fuzz seeds
// and large round-trip tests: per Definition 0 to 18 variables, 1 to 5
// preconditions and 1 to 31 actions drawn with the shipped frequencies, about
// three literal Operands to each variable one, path-like texts of a few dozen
// characters, now and then an empty or non-ASCII text. The same seed always
// gives the same bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "support/database_builder.h"

namespace quenwick::testdb {

DatabaseBuilder GenerateDatabase(std::uint32_t definitionCount, std::uint32_t seed = 1);

}  // namespace quenwick::testdb
