// quenwick-db lint DIR [--format text|json] [--werror]
#include <iostream>

#include "command_line.h"
#include "commands.h"
#include "lint/lint.h"

namespace quenwick::dbtool {

int RunLint(Arguments args, std::ostream& out, std::ostream& err) {
  CommandLine line({"--format"}, {"--werror"});
  if (!line.Parse(args, err)) return kExitUsage;
  const std::string format = line.Value("--format").value_or("text");
  if (line.positional().size() != 1 || (format != "text" && format != "json")) {
    err << "usage: quenwick-db lint DIR [--format text|json] [--werror]\n";
    return kExitUsage;
  }
  const Diagnostics diagnostics = LintDirectory(line.positional()[0]);
  if (format == "json") {
    PrintJson(diagnostics, out);
  } else {
    PrintText(diagnostics, out);
    out << diagnostics.ErrorCount() << " error(s), " << diagnostics.WarningCount()
        << " warning(s)\n";
  }
  const bool failed =
      diagnostics.HasErrors() || (line.Flag("--werror") && diagnostics.WarningCount() > 0);
  return failed ? kExitFailure : kExitOk;
}

}  // namespace quenwick::dbtool
