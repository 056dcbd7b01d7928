// Writes the seed corpora of the two fuzz targets: valid decompressed
// databases (for fuzz_parse_database) and the same databases as resources
// (for fuzz_load_resource), small enough for the fuzzer to mutate usefully.
//
//   make_seed_corpus DATABASE_DIR RESOURCE_DIR
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "support/database_builder.h"
#include "support/database_generator.h"

namespace {

using namespace quenwick;
using namespace quenwick::testdb;

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// One Definition per element type in each list that accepts it, so every
// Read is reachable from a seed.
std::vector<DatabaseBuilder> HandWrittenSeeds() {
  std::vector<DatabaseBuilder> seeds;
  seeds.emplace_back();  // count 0
  DatabaseBuilder all;
  all.Add(DefinitionBuilder(u"Pre", u"1", 4)
              .Pre(MakeFileExist(Lit(u"%WINDIR%\\a.exe")))
              .Pre(MakeFolderExist(Var(0)))
              .Pre(MakeRegKeyExist(Lit(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\R")))
              .Pre(MakeRegValueExist(Lit(u"HKEY_CURRENT_USER\\Software\\R"), Lit(u"")))
              .Pre(MakeStrConcat(Var(0), Lit(u"x"), 1))
              .Pre(MakeGetRegValue(Lit(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\R"), Var(1), 2))
              .Pre(MakeExtractPathFromCommand(3, Var(2)))
              .Pre(MakeASDPrec1(u"\\asd\\"))
              .Act(MakeRegValueDelete(Var(0), Lit(u"v"))));
  all.Add(DefinitionBuilder(u"Act", u"2", 3)
              .Pre(MakeAntivirus2009Prec1(1))
              .Act(MakeRegKeyDelete(Var(2)))
              .Act(MakeFileDelete(Lit(u"\u00e9")))
              .Act(MakeFolderDelete(Var(0)))
              .Act(MakeStrConcat(Lit(u""), Var(1), 2))
              .Act(MakeGetRegValue(Var(0), Lit(u"UninstallString"), 0))
              .Act(MakeUninstall(Var(0), Lit(u" /S")))
              .Act(MakeExtractPathFromCommand(0, Var(0)))
              .Act(MakeInnoSetupUninstall(u"HKEY_LOCAL_MACHINE\\x\\", u"UninstallString", u" /SILENT",
                                          Lit(u"R_is1")))
              .Act(MakeKillProcess(Var(0)))
              .Act(MakeASDPrec1(u""))
              .Act(MakeRegValueRepair(Lit(u"HKEY_CLASSES_ROOT\\exefile\\shell\\open\\command"), Lit(u""),
                                      Var(0), Lit(u"\"%1\" %*"))));
  all.Filler(16);
  seeds.push_back(std::move(all));
  return seeds;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s DATABASE_DIR RESOURCE_DIR\n", argv[0]);
    return 2;
  }
  std::vector<DatabaseBuilder> seeds = HandWrittenSeeds();
  for (std::uint32_t seed = 1; seed <= 6; ++seed) seeds.push_back(GenerateDatabase(seed, seed));
  for (std::size_t i = 0; i < seeds.size(); ++i) {
    const std::string name = "/seed-" + std::to_string(i);
    if (!WriteFile(argv[1] + name, seeds[i].Bytes()) || !WriteFile(argv[2] + name, seeds[i].Resource())) {
      std::fprintf(stderr, "cannot write %s\n", name.c_str());
      return 1;
    }
  }
  return 0;
}
