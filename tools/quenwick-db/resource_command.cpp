// quenwick-db resource DATABASE -o RESOURCE: compresses a decompressed
// database into the resource form that the build embeds as "IDR_V2" (the
// declared size, then the zlib stream). The input is taken as it stands,
// damaged or not; the output appears complete or not at all.
#include <iostream>

#include "command_line.h"
#include "commands.h"
#include "database_encoding.h"
#include "file_io.h"

namespace quenwick::dbtool {

int RunResource(Arguments args, std::ostream& out, std::ostream& err) {
  CommandLine line({"-o"}, {}, {{"--output", "-o"}});
  if (!line.Parse(args, err)) return kExitUsage;
  const auto output = line.Value("-o");
  if (line.positional().size() != 1 || !output) {
    err << "usage: quenwick-db resource DATABASE -o RESOURCE\n";
    return kExitUsage;
  }
  std::string error;
  const auto database = ReadBinaryFile(line.positional()[0], error);
  if (!database) {
    err << "quenwick-db resource: " << error << '\n';
    return kExitFailure;
  }
  const auto resource = EncodeResource(*database, error);
  if (!resource) {
    err << "quenwick-db resource: cannot compress " << line.positional()[0] << ": " << error << '\n';
    return kExitFailure;
  }
  if (!WriteFileAtomically(*output, *resource, error)) {
    err << "quenwick-db resource: " << error << '\n';
    return kExitFailure;
  }
  (void)out;
  return kExitOk;
}

}  // namespace quenwick::dbtool
