// Whole Definitions and databases: parsing and serializing again gives back
// the same bytes; the resource carries the database through zlib.
#include "database/database_writer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "base/little_endian.h"
#include "database/byte_reader.h"
#include "database/load_definitions.h"
#include "database/parse_definition.h"
#include "platform/sim/sim_machine.h"
#include "support/database_builder.h"
#include "support/database_generator.h"

namespace quenwick {
namespace {

using testdb::Lit;
using testdb::Var;
using Bytes = std::vector<std::uint8_t>;

// A database that holds every element type in every list that accepts it,
// literal and variable Operands, empty and non-ASCII texts, and filler.
testdb::DatabaseBuilder EveryElementDatabase() {
  testdb::DatabaseBuilder db;
  db.Add(testdb::DefinitionBuilder(u"Antivirus 2009", u"1", 3)
             .Pre(testdb::MakeAntivirus2009Prec1(0))
             .Act(testdb::MakeKillProcess(Var(0)))
             .Act(testdb::MakeFileDelete(Var(0)))
             .Act(testdb::MakeStrConcat(Lit(u"HKEY_CURRENT_USER\\Software\\"), Var(1), 2))
             .Act(testdb::MakeRegKeyDelete(Var(2)))
             .Act(testdb::MakeRegValueDelete(
                 Lit(u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"), Var(1))));
  db.Add(testdb::DefinitionBuilder(u"Syst\u00e8me D\u00e9fense \u9632\u5fa1", u"12345", 5)
             .Pre(testdb::MakeGetRegValue(Lit(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Rogue"), Lit(u""), 0))
             .Pre(testdb::MakeFileExist(Lit(u"%ProgramFiles%\\Rogue\\rogue.exe")))
             .Pre(testdb::MakeFolderExist(Var(0)))
             .Pre(testdb::MakeRegKeyExist(Lit(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Rogue")))
             .Pre(testdb::MakeRegValueExist(Var(0), Lit(u"")))
             .Pre(testdb::MakeStrConcat(Var(0), Lit(u""), 1))
             .Pre(testdb::MakeExtractPathFromCommand(2, Var(1)))
             .Pre(testdb::MakeASDPrec1(u"\\advansed spyware detector\\"))
             .Act(testdb::MakeGetRegValue(Var(0), Var(1), 3))
             .Act(testdb::MakeExtractPathFromCommand(4, Lit(u"\"C:\\Program Files\\R\\r.exe\" /x")))
             .Act(testdb::MakeInnoSetupUninstall(
                 u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\",
                 u"UninstallString", u" /SILENT /NORESTART", Lit(u"Rogue_is1")))
             .Act(testdb::MakeUninstall(Var(4), Lit(u"")))
             .Act(testdb::MakeASDPrec1(u""))
             .Act(testdb::MakeFolderDelete(Lit(u"%ProgramFiles%\\Rogue")))
             .Act(testdb::MakeKillProcess(Lit(u"\u00e9.exe"))));
  db.Add(testdb::DefinitionBuilder(u"", u"", 0));  // empty texts, empty lists
  db.Filler(2154);
  return db;
}

// Walks a decompressed database the way the loader does and returns the
// Definitions and where the records end.
std::vector<std::unique_ptr<Definition>> WalkDatabase(const Bytes& data, std::size_t& recordsEnd) {
  std::vector<std::unique_ptr<Definition>> definitions;
  ByteReader in(data);
  std::uint32_t count = 0;
  EXPECT_TRUE(in.ReadU32(count));
  for (std::uint32_t i = 0; i < count; ++i) {
    auto definition = std::make_unique<Definition>();
    EXPECT_TRUE(ParseDefinition(*definition, in)) << "record " << i << " failed at " << in.failure_offset();
    definitions.push_back(std::move(definition));
  }
  recordsEnd = in.offset();
  return definitions;
}

TEST(DatabaseWriter, DatabaseOfEveryElementReserializesToItsOwnBytes) {
  const auto db = EveryElementDatabase();
  const Bytes original = db.Bytes();
  std::size_t recordsEnd = 0;
  const auto definitions = WalkDatabase(original, recordsEnd);
  ASSERT_EQ(definitions.size(), 3u);
  EXPECT_EQ(recordsEnd, db.RecordsEnd());
  EXPECT_EQ(definitions[0]->actions.size(), 5u);
  EXPECT_EQ(definitions[1]->preconditions.size(), 8u);
  EXPECT_EQ(definitions[1]->actions.size(), 7u);

  Bytes reserialized = SerializeDatabase(definitions);
  EXPECT_EQ(reserialized, Bytes(original.begin(), original.begin() + recordsEnd));
  EXPECT_EQ(Bytes(original.begin() + recordsEnd, original.end()), Bytes(2154, 0xCD));
}

TEST(DatabaseWriter, ParsedDatabaseWritesBackItsRecordsWithoutTheFiller) {
  const auto db = EveryElementDatabase();
  const Bytes original = db.Bytes();
  const LoadResult result = ParseDatabase(original);
  ASSERT_EQ(result.status, LoadStatus::kOk);
  ASSERT_EQ(result.definitions.size(), 3u);
  EXPECT_EQ(SerializeDatabase(result.definitions),
            Bytes(original.begin(), original.begin() + db.RecordsEnd()));
}

TEST(DatabaseWriter, ResourceLoadsThroughTheProgramsOwnLoader) {
  const auto db = testdb::GenerateDatabase(40, 3).Filler(100);
  auto machine = std::make_unique<sim::SimMachine>();
  machine->SetResource(u"IDR_V2", u"RT_RCDATA", db.Resource());
  sim::ScopedPlatform scope(*machine);
  const LoadResult result = LoadDefinitions();
  ASSERT_EQ(result.status, LoadStatus::kOk);
  ASSERT_EQ(result.definitions.size(), 40u);
  const Bytes original = db.Bytes();
  EXPECT_EQ(SerializeDatabase(result.definitions),
            Bytes(original.begin(), original.begin() + db.RecordsEnd()));
}

TEST(DatabaseWriter, DamageInAnyRecordFailsTheWholeDatabase) {
  // A sound record, a record whose FileExist names slot 1 of a one-slot
  // table, and another sound record.
  testdb::DatabaseBuilder db;
  db.Add(testdb::DefinitionBuilder(u"A", u"1", 1).Pre(testdb::MakeFileExist(Var(0))));
  db.AddRecord(testdb::RawBytes().Header(1).U32(1).Tag(ElementType::FileExist).Variable(1).U32(0).bytes());
  db.Add(testdb::DefinitionBuilder(u"C", u"3", 0));
  const LoadResult result = ParseDatabase(db.Bytes());
  EXPECT_EQ(result.status, LoadStatus::kResourceFailure);
  EXPECT_TRUE(result.definitions.empty());
}

TEST(DatabaseWriter, DefinitionRecordLengthIsHeaderTextsAndElements) {
  const auto builder = testdb::DefinitionBuilder(u"ab", u"7", 1)
                           .Pre(testdb::MakeFileExist(Lit(u"abc")))  // 16
                           .Act(testdb::MakeFileDelete(Var(0)));     // 12
  EXPECT_EQ(builder.Bytes().size(), 12u + 6 + 4 + 16 + 12);
}

TEST(DatabaseWriter, ResourceDeclaresTheSizeAndCarriesAZlibStream) {
  const Bytes database = EveryElementDatabase().Bytes();
  const Bytes resource = MakeResource(database);
  ASSERT_GT(resource.size(), 4u);
  const std::uint32_t declared = LoadLe32(resource.data());
  EXPECT_EQ(declared, database.size());
  Bytes inflated(declared);
  uLongf inflatedSize = declared;
  ASSERT_EQ(uncompress(inflated.data(), &inflatedSize, resource.data() + 4, resource.size() - 4), Z_OK);
  EXPECT_EQ(inflatedSize, declared);
  EXPECT_EQ(inflated, database);
}

TEST(DatabaseWriter, GeneratedDatabaseReserializesToItsOwnBytes) {
  const auto db = testdb::GenerateDatabase(300, 7);
  const Bytes original = db.Bytes();
  std::size_t recordsEnd = 0;
  const auto definitions = WalkDatabase(original, recordsEnd);
  ASSERT_EQ(definitions.size(), 300u);
  EXPECT_EQ(recordsEnd, original.size());
  EXPECT_EQ(SerializeDatabase(definitions), original);
  EXPECT_EQ(testdb::GenerateDatabase(300, 7).Bytes(), original);  // the same seed, the same bytes
}

TEST(DatabaseWriter, EmptyDatabaseIsItsCountAlone) {
  EXPECT_EQ(SerializeDatabase({}), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(testdb::DatabaseBuilder().Bytes(), (Bytes{0, 0, 0, 0}));
}

}  // namespace
}  // namespace quenwick
