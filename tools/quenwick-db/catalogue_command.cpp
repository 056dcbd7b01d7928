// quenwick-db catalogue DIR -o FILE [--check]
#include <iostream>

#include "catalogue.h"
#include "command_line.h"
#include "commands.h"
#include "file_io.h"
#include "source_reader.h"

namespace quenwick::dbtool {

int RunCatalogue(Arguments args, std::ostream& out, std::ostream& err) {
  CommandLine line({"-o"}, {"--check"}, {{"--output", "-o"}});
  if (!line.Parse(args, err)) return kExitUsage;
  const auto output = line.Value("-o");
  if (line.positional().size() != 1 || !output) {
    err << "usage: quenwick-db catalogue DIR -o FILE [--check]\n";
    return kExitUsage;
  }
  Diagnostics diagnostics;
  const auto sources = ReadSourceDirectory(line.positional()[0], diagnostics);
  if (diagnostics.HasErrors()) {
    diagnostics.Sort();
    PrintText(diagnostics, err);
    err << "quenwick-db: the sources do not read; no catalogue\n";
    return kExitFailure;
  }
  const std::string page = RenderCatalogue(sources);
  std::string error;
  if (line.Flag("--check")) {
    // CI's question: was the page regenerated after the sources changed?
    const auto existing = ReadTextFile(*output, error);
    if (existing == page) {
      out << *output << " matches the sources\n";
      return kExitOk;
    }
    err << "quenwick-db: " << *output << " does not match the sources; regenerate it with: quenwick-db catalogue "
        << line.positional()[0] << " -o " << *output << '\n';
    return kExitFailure;
  }
  if (!WriteFileAtomically(*output, page, error)) {
    err << "quenwick-db: " << error << '\n';
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace quenwick::dbtool
