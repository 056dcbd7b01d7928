// quenwick-db, the database toolchain: dispatches to one subcommand.
#include <cstdio>
#include <string_view>
#include <vector>

#include "commands.h"

namespace {

struct Command {
  std::string_view name;
  int (*run)(quenwick::db::Arguments args);
  std::string_view synopsis;
};

constexpr Command kCommands[] = {
    {"resource", quenwick::db::RunResourceCommand,
     "resource DATABASE -o RESOURCE   compress a database into the embedded resource form"},
};

int Usage() {
  std::fputs("usage: quenwick-db COMMAND ARGUMENTS\n", stderr);
  for (const Command& command : kCommands) {
    std::fprintf(stderr, "  quenwick-db %.*s\n", static_cast<int>(command.synopsis.size()),
                 command.synopsis.data());
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string_view name = argv[1];
  const std::vector<std::string_view> args(argv + 2, argv + argc);
  for (const Command& command : kCommands) {
    if (command.name == name) return command.run(args);
  }
  std::fprintf(stderr, "quenwick-db: unknown command '%s'\n", argv[1]);
  return Usage();
}
