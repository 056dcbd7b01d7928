// quenwick-db build DIR -o FILE [--resource FILE]
#include <iostream>

#include "build_unpack.h"
#include "command_line.h"
#include "commands.h"
#include "database_encoding.h"
#include "database_input.h"
#include "file_io.h"

namespace quenwick::dbtool {

int RunBuild(Arguments args, std::ostream& out, std::ostream& err) {
  CommandLine line({"-o", "--resource"}, {}, {{"--output", "-o"}});
  if (!line.Parse(args, err)) return kExitUsage;
  const auto output = line.Value("-o");
  const auto resource = line.Value("--resource");
  if (line.positional().size() != 1 || (!output && !resource)) {
    err << "usage: quenwick-db build DIR -o DATABASE [--resource RESOURCE]\n";
    return kExitUsage;
  }
  Diagnostics diagnostics;
  const auto database = BuildDatabaseFromDirectory(line.positional()[0], diagnostics);
  diagnostics.Sort();
  PrintText(diagnostics, err);
  if (!database) {
    err << "quenwick-db: build failed; nothing written\n";
    return kExitFailure;
  }
  // Everything is computed before the first file is written, so an error
  // leaves no output at all.
  std::vector<std::uint8_t> resourceBytes;
  std::string error;
  if (resource) {
    auto encoded = EncodeResource(*database, error);
    if (!encoded) {
      err << "quenwick-db: " << error << "; nothing written\n";
      return kExitFailure;
    }
    resourceBytes = std::move(*encoded);
  }
  if (output && !WriteFileAtomically(*output, *database, error)) {
    err << "quenwick-db: " << error << '\n';
    return kExitFailure;
  }
  if (resource && !WriteFileAtomically(*resource, resourceBytes, error)) {
    err << "quenwick-db: " << error << '\n';
    return kExitFailure;
  }
  std::string loadError;
  const auto loaded = ParseDefinitions(*database, loadError);
  out << "quenwick-db: built " << (output ? *output : *resource) << (output && resource ? " and " + *resource : "")
      << ": " << (loaded ? loaded->size() : 0) << " Definition(s) from " << line.positional()[0] << '\n';
  return kExitOk;
}

}  // namespace quenwick::dbtool
