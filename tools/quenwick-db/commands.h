// The subcommands of quenwick-db. Each takes the arguments after its own
// name, reports problems on stderr and returns the process exit code.
#pragma once

#include <span>
#include <string_view>

namespace quenwick::db {

using Arguments = std::span<const std::string_view>;

// quenwick-db resource DATABASE -o RESOURCE
int RunResourceCommand(Arguments args);

}  // namespace quenwick::db
