// quenwick-db lint DIR|FILE [--format text|json] [--werror] [--fixtures PATH]
#include <iostream>

#include "command_line.h"
#include "commands.h"
#include "lint/lint.h"

namespace quenwick::dbtool {

int RunLint(Arguments args, std::ostream& out, std::ostream& err) {
  CommandLine line({"--format", "--fixtures"}, {"--werror"});
  if (!line.Parse(args, err)) return kExitUsage;
  const std::string format = line.Value("--format").value_or("text");
  if (line.positional().size() != 1 || (format != "text" && format != "json")) {
    err << "usage: quenwick-db lint DIR|FILE [--format text|json] [--werror] [--fixtures PATH]\n";
    return kExitUsage;
  }
  const std::filesystem::path target = line.positional()[0];
  const std::filesystem::path fixtures = line.Value("--fixtures").value_or("");
  std::error_code ec;
  const Diagnostics diagnostics = std::filesystem::is_regular_file(target, ec) ? LintFile(target, fixtures)
                                                                               : LintDirectory(target, fixtures);
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
