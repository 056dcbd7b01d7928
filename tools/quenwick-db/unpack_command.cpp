// quenwick-db unpack FILE -o DIR [--force]
#include <filesystem>
#include <iostream>

#include "build_unpack.h"
#include "command_line.h"
#include "commands.h"
#include "database_encoding.h"
#include "database_input.h"
#include "file_io.h"
#include "source_reader.h"

namespace quenwick::dbtool {
namespace {

namespace fs = std::filesystem;

// Bytes of the database after its last record: the program ignores them and
// build never writes them, so an unpacked database that had some loses them.
std::size_t FillerBytes(const std::vector<std::unique_ptr<Definition>>& definitions,
                        std::size_t databaseSize) {
  std::vector<const Definition*> list;
  for (const auto& d : definitions) list.push_back(d.get());
  std::string error;
  const auto reencoded = EncodeDatabase(list, error);
  if (!reencoded || reencoded->size() > databaseSize) return 0;
  return databaseSize - reencoded->size();
}

}  // namespace

int RunUnpack(Arguments args, std::ostream& out, std::ostream& err) {
  CommandLine line({"-o"}, {"--force"}, {{"--output", "-o"}});
  if (!line.Parse(args, err)) return kExitUsage;
  const auto output = line.Value("-o");
  if (line.positional().size() != 1 || !output) {
    err << "usage: quenwick-db unpack FILE -o DIR [--force]\n";
    return kExitUsage;
  }
  std::string error;
  const auto input = LoadDatabaseInput(line.positional()[0], error);
  if (!input) {
    err << "quenwick-db: " << line.positional()[0] << ": " << error << '\n';
    return kExitFailure;
  }
  const auto definitions = ParseDefinitions(input->database, error);
  if (!definitions) {
    err << "quenwick-db: " << line.positional()[0] << ": " << error << '\n';
    return kExitFailure;
  }
  const auto files = UnpackDefinitions(*definitions);

  // Sources left from an earlier unpack would join the database on the next
  // build, so a directory that already holds sources is refused unless
  // --force allows replacing them.
  const fs::path directory = *output;
  std::error_code ec;
  fs::create_directories(directory, ec);
  if (ec) {
    err << "quenwick-db: cannot create " << directory.generic_string() << ": " << ec.message() << '\n';
    return kExitFailure;
  }
  Diagnostics listing;
  const auto existing = ListSourceFiles(directory, listing);
  if (!existing.empty() && !line.Flag("--force")) {
    err << "quenwick-db: " << directory.generic_string()
        << " already holds sources; use --force to replace them\n";
    return kExitFailure;
  }
  for (const auto& stale : existing) fs::remove(stale, ec);
  for (const SourceFile& file : files) {
    if (!WriteFileAtomically(directory / file.name, file.text, error)) {
      err << "quenwick-db: " << error << '\n';
      return kExitFailure;
    }
  }
  out << "unpacked " << files.size() << " Definition(s) from the " << InputKindName(input->kind)
      << " into " << directory.generic_string() << '\n';
  if (const std::size_t filler = FillerBytes(*definitions, input->database.size())) {
    out << "note: " << filler << " byte(s) after the last record are not kept (build writes none)\n";
  }
  return kExitOk;
}

}  // namespace quenwick::dbtool
