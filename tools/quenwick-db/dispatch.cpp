#include <iostream>
#include <string_view>
#include <vector>

#include "commands.h"
#include "suggestion.h"

#ifndef QUENWICK_VERSION
#define QUENWICK_VERSION "unknown"
#endif

namespace quenwick::dbtool {
namespace {

struct Command {
  std::string_view name;
  int (*run)(Arguments, std::ostream&, std::ostream&);
  std::string_view synopsis;  // the arguments
  std::string_view summary;   // one line for the overview
  std::string_view details;   // what `COMMAND --help` adds
};

constexpr Command kCommands[] = {
    {"build", RunBuild, "DIR -o DATABASE [--resource RESOURCE]", "sources to the decompressed database / resource",
     "  Compiles every Definition source of DIR (in file-name order) into the decompressed\n"
     "  database, and with --resource into the compressed resource quenwick.exe embeds.\n"
     "  Refuses only what the program could not load (run lint for the rest); writes\n"
     "  nothing when anything fails. A folder without Definitions is an error.\n"},
    {"unpack", RunUnpack, "FILE -o DIR [--force]", "database, resource or quenwick.exe to sources",
     "  Writes one source per Definition (0001-<name>.toml, ...); --force replaces existing ones.\n"},
    {"lint", RunLint, "DIR|FILE [--format text|json] [--werror] [--fixtures PATH]",
     "check sources; nonzero exit on errors",
     "  Prints file:line:col: error|warning: message [code] for each fault in the sources and\n"
     "  their fixtures (DIR/fixtures, or --fixtures PATH), including Definitions that no\n"
     "  fixture expects found or that have no look-alike fixture. With FILE, checks that\n"
     "  source against its folder (duplicate ids, fixtures) and prints its own messages.\n"
     "  --werror fails on warnings too (as CI does). docs/lint-codes.md explains every code.\n"},
    {"test", RunTest, "DIR [--fixtures PATH] [--trace]", "run the fixtures against the simulated machine",
     "  Lints DIR first and stops on its errors, then runs every fixture (DIR/fixtures, or\n"
     "  --fixtures PATH) with the real engine on a simulated Windows machine and prints\n"
     "  PASS or FAIL with what differed. --trace adds, for a failing fixture, every element\n"
     "  of the Definitions concerned: its texts as expanded and what happened.\n"},
    {"list", RunList, "FILE|DIR", "one line per Definition", ""},
    {"info", RunInfo, "FILE|DIR", "counts of a database", ""},
    {"catalogue", RunCatalogue, "DIR -o FILE [--check]",
     "the users' page of what the sources find and remove",
     "  --check compares the page with FILE instead of writing it (CI).\n"},
    {"resource", RunResource, "DATABASE -o RESOURCE", "compress a decompressed database", ""},
};

void PrintOverview(std::ostream& out) {
  out << "usage: quenwick-db COMMAND ...   (quenwick-db COMMAND --help for one command)\n";
  for (const Command& command : kCommands) {
    std::string line = "  " + std::string(command.name) + " " + std::string(command.synopsis);
    constexpr std::size_t kSummaryColumn = 48;
    line.resize(std::max(line.size() + 2, kSummaryColumn), ' ');
    out << line << command.summary << '\n';
  }
  out << "  --version                                     the tool's version\n";
}

void PrintCommandHelp(const Command& command, std::ostream& out) {
  out << "usage: quenwick-db " << command.name << ' ' << command.synopsis << "\n  " << command.summary << '\n'
      << command.details;
}

bool IsHelp(std::string_view arg) { return arg == "--help" || arg == "-h"; }

}  // namespace

int RunQuenwickDb(Arguments argv, std::ostream& out, std::ostream& err) {
  if (argv.size() < 2) {
    PrintOverview(err);
    return kExitUsage;
  }
  const std::string& name = argv[1];
  if (IsHelp(name) || name == "help") {
    if (name == "help" && argv.size() >= 3) {
      for (const Command& command : kCommands) {
        if (argv[2] == command.name) {
          PrintCommandHelp(command, out);
          return kExitOk;
        }
      }
    }
    PrintOverview(out);
    return kExitOk;
  }
  if (name == "--version") {
    out << "quenwick-db " << QUENWICK_VERSION << '\n';
    return kExitOk;
  }
  for (const Command& command : kCommands) {
    if (name != command.name) continue;
    const Arguments rest = argv.subspan(2);
    for (const std::string& arg : rest) {
      if (IsHelp(arg)) {
        PrintCommandHelp(command, out);
        return kExitOk;
      }
    }
    return command.run(rest, out, err);
  }
  std::vector<std::string> names;
  for (const Command& command : kCommands) names.emplace_back(command.name);
  err << "quenwick-db: unknown command '" << name << "'" << DidYouMean(name, names) << '\n';
  PrintOverview(err);
  return kExitUsage;
}

}  // namespace quenwick::dbtool
