#include <iostream>
#include <string_view>

#include "commands.h"

namespace quenwick::dbtool {
namespace {

constexpr std::string_view kUsage =
    "usage: quenwick-db COMMAND ...\n"
    "  build DIR -o DATABASE [--resource RESOURCE]  sources to the decompressed database / resource\n"
    "  unpack FILE -o DIR [--force]                 database, resource or quenwick.exe to sources\n"
    "  lint DIR [--format text|json]                check sources; nonzero exit on errors\n"
    "  test DIR [--fixtures FIXTURES]               run the fixtures against the simulated machine\n"
    "  list FILE|DIR                                one line per Definition\n"
    "  info FILE|DIR                                counts of a database\n"
    "  catalogue DIR -o FILE [--check]              the users' page of what the sources find and remove\n"
    "  resource DATABASE -o RESOURCE                compress a decompressed database\n";

struct Command {
  std::string_view name;
  int (*run)(Arguments, std::ostream&, std::ostream&);
};

constexpr Command kCommands[] = {
    {"build", RunBuild}, {"unpack", RunUnpack}, {"lint", RunLint},         {"test", RunTest},
    {"list", RunList},   {"info", RunInfo},     {"resource", RunResource}, {"catalogue", RunCatalogue},
};

}  // namespace

int RunQuenwickDb(Arguments argv, std::ostream& out, std::ostream& err) {
  if (argv.size() >= 2) {
    for (const Command& command : kCommands) {
      if (argv[1] == command.name) return command.run(argv.subspan(2), out, err);
    }
    if (argv[1] == "--help" || argv[1] == "-h" || argv[1] == "help") {
      out << kUsage;
      return kExitOk;
    }
  }
  err << kUsage;
  return kExitUsage;
}

}  // namespace quenwick::dbtool
