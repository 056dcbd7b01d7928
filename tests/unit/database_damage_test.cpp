// Damaged Definition records: every kind of damage ends the parse with the
// reader failed, and nothing is read past the data (the sanitizer builds
// check the latter on every row).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "database/byte_reader.h"
#include "database/parse_definition.h"
#include "support/database_builder.h"

namespace quenwick {
namespace {

using testdb::Lit;
using testdb::RawBytes;
using testdb::Var;
using Bytes = std::vector<std::uint8_t>;

struct ParseOutcome {
  bool ok;
  bool failed;
  std::size_t offset;  // where the reader stopped or failed
};

ParseOutcome Parse(const Bytes& record, Definition& definition) {
  ByteReader in(record);
  const bool ok = ParseDefinition(definition, in);
  return {ok, in.failed(), in.failed() ? in.failure_offset() : in.offset()};
}

// The header of a record with `variables` slots: 22 bytes.
RawBytes Header(std::uint32_t variables = 3) {
  return std::move(RawBytes().Header(variables, u"Rogue", u"42"));
}

struct DamageRow {
  const char* label;
  Bytes record;
};

std::vector<DamageRow> DamageRows() {
  std::vector<DamageRow> rows;
  auto add = [&](const char* label, const RawBytes& bytes) { rows.push_back({label, bytes.bytes()}); };

  add("no bytes at all", RawBytes());
  add("variable count cut short", RawBytes().Byte(3).Byte(0).Byte(0));
  add("variable count beyond any real table", RawBytes().Header(0x10000000).U32(0).U32(0));
  add("variable count one above the limit", RawBytes().Header(257).U32(0).U32(0));
  add("name without terminator", RawBytes().U32(3).Units(u"Rogue"));
  add("name ends in half a code unit", RawBytes().U32(3).Units(u"Rogue").Byte(0));
  add("id without terminator", RawBytes().U32(3).Text(u"Rogue").Units(u"42"));
  add("precondition count missing", Header());
  add("precondition count past the end", Header().U32(2).Tag(ElementType::FileExist).Literal(u"a"));
  add("huge precondition count", Header().U32(0xFFFFFFFF).Tag(ElementType::FileExist).Literal(u"a"));
  add("huge action count", Header().U32(0).U32(0x40000000).Tag(ElementType::FileDelete).Literal(u"a"));
  add("action count missing", Header().U32(1).Tag(ElementType::FileExist).Literal(u"a"));
  add("element tag cut short", Header().U32(1).Byte(0).Byte(0));
  add("action in the precondition list", Header().U32(1).Tag(ElementType::FileDelete).Literal(u"a").U32(0));
  add("KillProcess in the precondition list",
      Header().U32(1).Tag(ElementType::KillProcess).Literal(u"a").U32(0));
  add("precondition in the action list", Header().U32(0).U32(1).Tag(ElementType::FileExist).Literal(u"a"));
  add("Antivirus2009Prec1 in the action list",
      Header().U32(0).U32(1).Tag(ElementType::Antivirus2009Prec1).U32(0).Repeat(0, 1034));
  add("unknown tag 17", Header().U32(0).U32(1).U32(17).Literal(u"a"));
  add("RegValueRepair in the precondition list",
      Header().U32(1).Tag(ElementType::RegValueRepair).Literal(u"k").Literal(u"").Literal(u"m").Literal(u"r").U32(0));
  add("unknown tag 0xFFFFFFFF", Header().U32(0).U32(1).U32(0xFFFFFFFF).Literal(u"a"));
  add("OperandKind 2", Header().U32(1).Tag(ElementType::FileExist).U32(2).U32(0).U32(0));
  add("OperandKind 0xFFFFFFFF", Header().U32(0).U32(1).Tag(ElementType::KillProcess).U32(0xFFFFFFFF).U32(0));
  add("operand kind cut short", Header().U32(1).Tag(ElementType::FileExist).Byte(1));
  add("literal without terminator", Header().U32(1).Tag(ElementType::FileExist).U32(1).Units(u"C:\\x"));
  add("variable index cut short", Header().U32(1).Tag(ElementType::FileExist).U32(0).Byte(1).Byte(0));
  add("variable index equal to the count", Header(3).U32(1).Tag(ElementType::FileExist).Variable(3).U32(0));
  add("variable index in a table of none", Header(0).U32(0).U32(1).Tag(ElementType::FileDelete).Variable(0));
  add("second operand index too high",
      Header(3).U32(1).Tag(ElementType::RegValueExist).Literal(u"k").Variable(0xFFFFFFFF).U32(0));
  add("StrConcat target equal to the count",
      Header(3).U32(1).Tag(ElementType::StrConcat).Variable(0).Literal(u"").U32(3).U32(0));
  add("GetRegValue target missing",
      Header(3).U32(0).U32(1).Tag(ElementType::GetRegValue).Literal(u"k").Literal(u"v"));
  add("ExtractPathFromCommand target too high",
      Header(3).U32(0).U32(1).Tag(ElementType::ExtractPathFromCommand).U32(7).Variable(0));
  add("InnoSetupUninstall third text without terminator",
      Header().U32(0).U32(1).Tag(ElementType::InnoSetupUninstall).Text(u"p").Text(u"v").Units(u" /S"));
  add("InnoSetupUninstall operand missing",
      Header().U32(0).U32(1).Tag(ElementType::InnoSetupUninstall).Text(u"p").Text(u"v").Text(u" /S"));
  auto antivirus = [](std::uint32_t variables, std::uint32_t first, std::size_t blockBytes) {
    return Header(variables)
        .U32(1)
        .Tag(ElementType::Antivirus2009Prec1)
        .U32(first)
        .Text(u"Software")
        .Text(u"HKEY_CURRENT_USER\\Software\\")
        .Text(u"Options")
        .Text(u"pPath")
        .Text(u".exe")
        .Repeat(0, blockBytes)
        .U32(0);
  };
  add("Antivirus2009Prec1 block one byte short", antivirus(3, 0, 1023));
  add("Antivirus2009Prec1 second slot missing", antivirus(3, 2, 1024));
  add("Antivirus2009Prec1 first slot missing", antivirus(3, 3, 1024));
  add("Antivirus2009Prec1 slot pair wrapping around", antivirus(3, 0xFFFFFFFF, 1024));
  add("RegValueRepair replacement missing",
      Header().U32(0).U32(1).Tag(ElementType::RegValueRepair).Literal(u"k").Literal(u"").Literal(u"m"));
  add("RegValueRepair marker index equal to the count",
      Header(3).U32(0).U32(1).Tag(ElementType::RegValueRepair).Literal(u"k").Literal(u"").Variable(3).Literal(u"r"));
  add("RegValueRepair replacement without terminator",
      Header().U32(0).U32(1).Tag(ElementType::RegValueRepair).Literal(u"k").Variable(0).Literal(u"m").U32(1).Units(u"r"));
  add("ASDPrec1 pattern without terminator", Header().U32(1).Tag(ElementType::ASDPrec1).Units(u"\\asd\\"));
  return rows;
}

TEST(DatabaseDamage, SoundRecordsOfTheTableParse) {
  // The rows are damaged versions of records like these, which parse.
  for (const Bytes& record : {
           Header(3).U32(1).Tag(ElementType::FileExist).Variable(2).U32(0).bytes(),
           Header(3).U32(1).Tag(ElementType::StrConcat).Variable(0).Literal(u"").U32(2).U32(0).bytes(),
           Header(3).U32(0).U32(1).Tag(ElementType::ExtractPathFromCommand).U32(2).Variable(0).bytes(),
           Header(3).U32(0).U32(1).Tag(ElementType::RegValueRepair).Literal(u"k").Literal(u"").Variable(2).Literal(u"r").bytes(),
           Header(3)
               .U32(1)
               .Tag(ElementType::Antivirus2009Prec1)
               .U32(1)
               .Text(u"")
               .Text(u"")
               .Text(u"")
               .Text(u"")
               .Text(u"")
               .Repeat(0, 1024)
               .U32(0)
               .bytes(),
       }) {
    Definition definition;
    const ParseOutcome got = Parse(record, definition);
    EXPECT_TRUE(got.ok);
    EXPECT_FALSE(got.failed);
    EXPECT_EQ(got.offset, record.size());
  }
}

TEST(DatabaseDamage, EveryDamagedRecordFailsTheParse) {
  for (const DamageRow& row : DamageRows()) {
    SCOPED_TRACE(row.label);
    Definition definition;
    const ParseOutcome got = Parse(row.record, definition);
    EXPECT_FALSE(got.ok);
    EXPECT_TRUE(got.failed);
    EXPECT_LE(got.offset, row.record.size());
  }
}

TEST(DatabaseDamage, HugeCountsAreRejectedBeforeAnythingIsReserved) {
  Definition definition;
  const Bytes record = Header().U32(0xFFFFFFFF).Tag(ElementType::FileExist).Literal(u"a").bytes();
  EXPECT_FALSE(Parse(record, definition).ok);
  EXPECT_EQ(definition.preconditions.capacity(), 0u);
}

TEST(DatabaseDamage, ElementsBeforeTheDamageStayWithTheDefinition) {
  const Bytes record = Header(3)
                           .U32(2)
                           .Tag(ElementType::FileExist)
                           .Literal(u"a")
                           .Tag(ElementType::FileDelete)
                           .Literal(u"b")
                           .U32(0)
                           .bytes();
  Definition definition;
  const ParseOutcome got = Parse(record, definition);
  EXPECT_FALSE(got.ok);
  EXPECT_EQ(definition.preconditions.size(), 1u);
  EXPECT_TRUE(definition.actions.empty());
  // Header 22 bytes, count 4, FileExist 12: the failure is at the FileDelete tag.
  EXPECT_EQ(got.offset, 22u + 4 + 12);
}

TEST(DatabaseDamage, EveryCutOfASoundRecordFails) {
  // A record with every field kind; each proper prefix of it must fail
  // without reading past its end.
  const Bytes record =
      testdb::DefinitionBuilder(u"R\u00f6gue", u"9", 4)
          .Pre(testdb::MakeAntivirus2009Prec1(0))
          .Pre(testdb::MakeGetRegValue(Lit(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\R"), Var(1), 2))
          .Act(testdb::MakeExtractPathFromCommand(3, Var(2)))
          .Act(testdb::MakeInnoSetupUninstall(u"HKEY_LOCAL_MACHINE\\x\\", u"UninstallString", u" /S", Var(1)))
          .Act(testdb::MakeASDPrec1(u""))
          .Bytes();
  for (std::size_t cut = 0; cut < record.size(); ++cut) {
    const Bytes prefix(record.begin(), record.begin() + cut);
    Definition definition;
    const ParseOutcome got = Parse(prefix, definition);
    ASSERT_FALSE(got.ok) << "cut at " << cut;
    ASSERT_TRUE(got.failed) << "cut at " << cut;
  }
  Definition definition;
  EXPECT_TRUE(Parse(record, definition).ok);
}

TEST(DatabaseDamage, ParseFillsTheDefinitionInRecordOrder) {
  const auto built = testdb::DefinitionBuilder(u"Rogue \u00e9", u"17", 2)
                         .Pre(testdb::MakeFileExist(Lit(u"a")))
                         .Pre(testdb::MakeStrConcat(Lit(u"x"), Lit(u"y"), 1))
                         .Act(testdb::MakeStrConcat(Var(1), Lit(u"z"), 0))
                         .Act(testdb::MakeKillProcess(Var(0)))
                         .Build();
  EXPECT_EQ(built->name, u"Rogue \u00e9");
  EXPECT_EQ(built->id, u"17");
  EXPECT_EQ(built->variables.size(), 2u);
  ASSERT_EQ(built->preconditions.size(), 2u);
  ASSERT_EQ(built->actions.size(), 2u);
  EXPECT_NE(dynamic_cast<FileExist*>(built->preconditions[0].get()), nullptr);
  auto* concatPre = dynamic_cast<StrConcat*>(built->preconditions[1].get());
  auto* concatAct = dynamic_cast<StrConcat*>(built->actions[0].get());
  ASSERT_NE(concatPre, nullptr);
  ASSERT_NE(concatAct, nullptr);
  EXPECT_EQ(concatPre->owner, built.get());
  EXPECT_EQ(concatAct->owner, built.get());
  EXPECT_EQ(concatAct->first, Var(1));
  EXPECT_NE(dynamic_cast<KillProcess*>(built->actions[1].get()), nullptr);
}

TEST(DatabaseDamage, VariableCountUpToTheLimitParses) {
  Definition definition;
  const Bytes record = RawBytes().Header(256).U32(1).Tag(ElementType::FileExist).Variable(255).U32(0).bytes();
  EXPECT_TRUE(Parse(record, definition).ok);
  EXPECT_EQ(definition.variables.size(), 256u);
}

TEST(DatabaseDamage, EmptyListsAndEmptyTextsParse) {
  const Bytes record = RawBytes().Header(0, u"", u"").U32(0).U32(0).bytes();
  ASSERT_EQ(record.size(), 16u);
  Definition definition;
  const ParseOutcome got = Parse(record, definition);
  EXPECT_TRUE(got.ok);
  EXPECT_EQ(got.offset, 16u);
  EXPECT_TRUE(definition.name.empty());
  EXPECT_EQ(definition.Scan(), 1);
}

}  // namespace
}  // namespace quenwick
