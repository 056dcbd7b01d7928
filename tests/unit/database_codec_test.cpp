// Element records: exact layouts, length rules, the size-query protocol and
// round trips of every element type through both lists.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "database/byte_reader.h"
#include "database/database_writer.h"
#include "database/element_codec.h"
#include "database/element_factory.h"
#include "support/database_builder.h"

namespace quenwick {
namespace {

using testdb::Lit;
using testdb::RawBytes;
using testdb::Var;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kVariables = 8;

// Every element type, built from its class, with enough variety to show the
// length rule: literals of known length, variables, the empty text.
struct ElementCase {
  const char* label;
  std::function<std::unique_ptr<Precondition>()> pre;  // null when not allowed there
  std::function<std::unique_ptr<Action>()> act;        // null when not allowed there
  std::uint32_t length;                                // by the type's length formula
};

template <class Base, class Make>
std::function<std::unique_ptr<Base>()> As(Make make) {
  return [make] { return std::unique_ptr<Base>(make()); };
}

std::vector<ElementCase> AllElementCases() {
  // Literal lengths: u"abc" -> 8, u"" -> 2, u"\u00e9t\u00e9" -> 8; variables -> 4.
  auto fileExist = [] { return testdb::MakeFileExist(Lit(u"abc")); };
  auto folderExist = [] { return testdb::MakeFolderExist(Var(7)); };
  auto regKeyExist = [] { return testdb::MakeRegKeyExist(Lit(u"")); };
  auto regValueExist = [] { return testdb::MakeRegValueExist(Lit(u"abc"), Var(2)); };
  auto regValueDelete = [] { return testdb::MakeRegValueDelete(Var(1), Lit(u"")); };
  auto regKeyDelete = [] { return testdb::MakeRegKeyDelete(Lit(u"\u00e9t\u00e9")); };
  auto fileDelete = [] { return testdb::MakeFileDelete(Var(0)); };
  auto folderDelete = [] { return testdb::MakeFolderDelete(Lit(u"abc")); };
  auto strConcat = [] { return testdb::MakeStrConcat(Var(1), Lit(u"abc"), 2); };
  auto getRegValue = [] { return testdb::MakeGetRegValue(Lit(u"abc"), Lit(u""), 7); };
  auto uninstall = [] { return testdb::MakeUninstall(Lit(u"abc"), Lit(u"")); };
  auto antivirus = [] { return testdb::MakeAntivirus2009Prec1(3, u"ab", u"", u"c", u"\u4e2d", u".exe"); };
  auto extract = [] { return testdb::MakeExtractPathFromCommand(4, Lit(u"abc")); };
  auto inno = [] { return testdb::MakeInnoSetupUninstall(u"ab", u"", u" /S", Var(5)); };
  auto kill = [] { return testdb::MakeKillProcess(Lit(u"")); };
  auto asd = [] { return testdb::MakeASDPrec1(u"abc"); };
  auto repair = [] { return testdb::MakeRegValueRepair(Lit(u"abc"), Lit(u""), Var(6), Lit(u"\u00e9t\u00e9")); };
  return {
      {"FileExist", As<Precondition>(fileExist), nullptr, 8 + 8},
      {"FolderExist", As<Precondition>(folderExist), nullptr, 8 + 4},
      {"RegKeyExist", As<Precondition>(regKeyExist), nullptr, 8 + 2},
      {"RegValueExist", As<Precondition>(regValueExist), nullptr, 12 + 8 + 4},
      {"RegValueDelete", nullptr, As<Action>(regValueDelete), 12 + 4 + 2},
      {"RegKeyDelete", nullptr, As<Action>(regKeyDelete), 8 + 8},
      {"FileDelete", nullptr, As<Action>(fileDelete), 8 + 4},
      {"FolderDelete", nullptr, As<Action>(folderDelete), 8 + 8},
      {"StrConcat", As<Precondition>(strConcat), As<Action>(strConcat), 16 + 4 + 8},
      {"GetRegValue", As<Precondition>(getRegValue), As<Action>(getRegValue), 16 + 8 + 2},
      {"Uninstall", nullptr, As<Action>(uninstall), 12 + 8 + 2},
      {"Antivirus2009Prec1", As<Precondition>(antivirus), nullptr, 1042 + 2 * (2 + 0 + 1 + 1 + 4)},
      {"ExtractPathFromCommand", As<Precondition>(extract), As<Action>(extract), 12 + 8},
      {"InnoSetupUninstall", nullptr, As<Action>(inno), 14 + 2 * (2 + 0 + 3) + 4},
      {"KillProcess", nullptr, As<Action>(kill), 8 + 2},
      {"ASDPrec1", As<Precondition>(asd), As<Action>(asd), 6 + 2 * 3},
      {"RegValueRepair", nullptr, As<Action>(repair), 20 + 8 + 2 + 4 + 8},
  };
}

template <class Element>
Bytes RecordOf(const Element& element) {
  return SerializeElement(element);
}

// Reads one element through the list's factory from `record` followed by a
// few trailing bytes, checks that exactly the record was consumed.
template <class Base>
std::unique_ptr<Base> ReadBack(Definition& owner, const Bytes& record,
                               std::unique_ptr<Base> (*read)(Definition&, ByteReader&)) {
  Bytes data = record;
  data.insert(data.end(), {0xEE, 0xEE, 0xEE, 0xEE});
  ByteReader in(data);
  auto element = read(owner, in);
  EXPECT_FALSE(in.failed()) << "failed at offset " << in.failure_offset();
  EXPECT_EQ(in.offset(), record.size());
  return element;
}

TEST(DatabaseCodec, EveryTypeCoversTheListRules) {
  const auto cases = AllElementCases();
  ASSERT_EQ(cases.size(), kElementTypeCount);
  for (std::uint32_t tag = 0; tag < kElementTypeCount; ++tag) {
    SCOPED_TRACE(cases[tag].label);
    EXPECT_EQ(ElementTypeName(tag), cases[tag].label);
    EXPECT_EQ(cases[tag].pre != nullptr, AllowedAsPrecondition(tag));
    EXPECT_EQ(cases[tag].act != nullptr, AllowedAsAction(tag));
  }
}

TEST(DatabaseCodec, RecordLengthFollowsTheTypeFormula) {
  for (const auto& c : AllElementCases()) {
    SCOPED_TRACE(c.label);
    std::uint32_t need = 0;
    if (c.pre)
      c.pre()->Serialize(nullptr, need);
    else
      c.act()->Serialize(nullptr, need);
    EXPECT_EQ(need, c.length);
  }
}

TEST(DatabaseCodec, EveryTypeRoundTripsThroughEachListThatAcceptsIt) {
  Definition owner(kVariables);
  for (const auto& c : AllElementCases()) {
    SCOPED_TRACE(c.label);
    if (c.pre) {
      const Bytes record = RecordOf(*c.pre());
      ASSERT_EQ(record.size(), c.length);
      auto read = ReadBack<Precondition>(owner, record, &ReadPrecondition);
      ASSERT_NE(read, nullptr);
      EXPECT_EQ(RecordOf(*read), record);
    }
    if (c.act) {
      const Bytes record = RecordOf(*c.act());
      ASSERT_EQ(record.size(), c.length);
      auto read = ReadBack<Action>(owner, record, &ReadAction);
      ASSERT_NE(read, nullptr);
      EXPECT_EQ(RecordOf(*read), record);
    }
  }
}

TEST(DatabaseCodec, AssignWritesTheSameRecordThroughBothBases) {
  auto concat = testdb::MakeStrConcat(Var(0), Lit(u"x"), 1);
  const Precondition& asPre = *concat;
  const Action& asAct = *concat;
  EXPECT_EQ(RecordOf(asPre), RecordOf(asAct));
}

TEST(DatabaseCodec, ReadSetsOwnerAndMembers) {
  Definition owner(kVariables);
  const Bytes record = RawBytes()
                           .Tag(ElementType::GetRegValue)
                           .Literal(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Rogue")
                           .Variable(6)
                           .U32(5)
                           .bytes();
  ByteReader in(record);
  auto element = GetRegValue::Read(owner, in);
  ASSERT_NE(element, nullptr);
  EXPECT_EQ(element->owner, &owner);
  EXPECT_EQ(element->keyPath, Lit(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Rogue"));
  EXPECT_EQ(element->valueName, Var(6));
  EXPECT_EQ(element->target, 5u);
}

TEST(DatabaseCodec, ReadOfAnotherTypeReturnsNullAndConsumesNothing) {
  Definition owner(kVariables);
  const Bytes record = RecordOf(*testdb::MakeFileDelete(Lit(u"abc")));
  ByteReader in(record);
  EXPECT_EQ(FileExist::Read(owner, in), nullptr);
  EXPECT_EQ(in.offset(), 0u);
  EXPECT_FALSE(in.failed());
  EXPECT_NE(FileDelete::Read(owner, in), nullptr);
}

// ---- Exact layouts -----------------------------------------------------------

TEST(DatabaseCodec, FileExistWithLiteralAbcIs16Bytes) {
  const Bytes want = {0, 0, 0, 0, 1, 0, 0, 0, 'a', 0, 'b', 0, 'c', 0, 0, 0};
  EXPECT_EQ(RecordOf(*testdb::MakeFileExist(Lit(u"abc"))), want);
  EXPECT_EQ(RecordOf(*testdb::MakeFileExist(Var(3))), (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0}));
}

TEST(DatabaseCodec, StrConcatOfVariableAndEmptyLiteralIs22Bytes) {
  const Bytes want = {8, 0, 0, 0, /*A*/ 0,      0, 0, 0, 2, 0, 0, 0, /*B*/ 1, 0,
                      0, 0, 0, 0, /*target*/ 5, 0, 0, 0};
  const Bytes got = RecordOf<Precondition>(*testdb::MakeStrConcat(Var(2), Lit(u""), 5));
  EXPECT_EQ(got, want);
  Definition owner(kVariables);
  ByteReader in(want);
  auto read = StrConcat::Read(owner, in);
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(in.offset(), 22u);
  EXPECT_EQ(read->first, Var(2));
  EXPECT_EQ(read->second, Lit(u""));
  EXPECT_EQ(read->target, 5u);
}

TEST(DatabaseCodec, ExtractPathFromCommandReadsItsTargetBeforeItsOperand) {
  const Bytes want = {12, 0, 0, 0, /*target*/ 3, 0, 0, 0, /*C*/ 0, 0, 0, 0, 6, 0, 0, 0};
  EXPECT_EQ(RecordOf<Action>(*testdb::MakeExtractPathFromCommand(3, Var(6))), want);
  Definition owner(kVariables);
  ByteReader in(want);
  auto read = ExtractPathFromCommand::Read(owner, in);
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->target, 3u);
  EXPECT_EQ(read->command, Var(6));
}

TEST(DatabaseCodec, GetRegValueKeepsItsTargetAfterItsOperands) {
  const Bytes want = {9, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 'v', 0, 0, 0, 4, 0, 0, 0};
  EXPECT_EQ(RecordOf<Precondition>(*testdb::MakeGetRegValue(Var(1), Lit(u"v"), 4)), want);
}

TEST(DatabaseCodec, InnoSetupTextStartingWithCodeUnitOneIsStillAText) {
  // Text 1 is the unit 1 and its terminator: the bytes 01 00 00 00, which
  // are also a literal kind word. Taken for an Operand, the record would be
  // misread from there on.
  const Bytes record = RawBytes()
                           .Tag(ElementType::InnoSetupUninstall)
                           .Text(u"\u0001")
                           .Text(u"UninstallString")
                           .Text(u" /SILENT")
                           .Literal(u"Rogue_is1")
                           .bytes();
  Definition owner(kVariables);
  ByteReader in(record);
  auto read = InnoSetupUninstall::Read(owner, in);
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(in.offset(), record.size());
  EXPECT_EQ(read->keyPrefix, std::u16string(1, u'\u0001'));
  EXPECT_EQ(read->valueName, u"UninstallString");
  EXPECT_EQ(read->arguments, u" /SILENT");
  EXPECT_EQ(read->applicationKey, Lit(u"Rogue_is1"));
  EXPECT_EQ(RecordOf(*read), record);
}

TEST(DatabaseCodec, Antivirus2009BlockIsExactly1024BytesWhateverItHolds) {
  // A block of zero bytes (which would end a text if read as one), followed
  // by another record that must still be found where it starts.
  auto element = testdb::MakeAntivirus2009Prec1(0);
  element->SubstitutionTables.fill(0);
  Bytes data = RecordOf(*element);
  ASSERT_EQ(data.size(), 1042u + 2 * (8 + 27 + 7 + 5 + 4));
  const Bytes next = RecordOf(*testdb::MakeFileExist(Lit(u"abc")));
  data.insert(data.end(), next.begin(), next.end());

  Definition owner(2);
  ByteReader in(data);
  auto read = ReadPrecondition(owner, in);
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(in.offset(), data.size() - next.size());
  auto* antivirus = dynamic_cast<Antivirus2009Prec1*>(read.get());
  ASSERT_NE(antivirus, nullptr);
  EXPECT_EQ(antivirus->SubstitutionTables, element->SubstitutionTables);
  EXPECT_EQ(antivirus->exeSuffix, u".exe");
  EXPECT_NE(ReadPrecondition(owner, in), nullptr);
  EXPECT_EQ(in.remaining(), 0u);
}

TEST(DatabaseCodec, Antivirus2009KeepsTheBlockAndTextsInRecordOrder) {
  auto element = testdb::MakeAntivirus2009Prec1(1, u"A", u"B", u"C", u"D", u"E");
  const Bytes record = RecordOf(*element);
  const Bytes head = RawBytes()
                         .Tag(ElementType::Antivirus2009Prec1)
                         .U32(1)
                         .Text(u"A")
                         .Text(u"B")
                         .Text(u"C")
                         .Text(u"D")
                         .Text(u"E")
                         .bytes();
  ASSERT_EQ(record.size(), head.size() + 1024);
  EXPECT_EQ(Bytes(record.begin(), record.begin() + head.size()), head);
  EXPECT_EQ(Bytes(record.begin() + head.size(), record.end()),
            Bytes(element->SubstitutionTables.begin(), element->SubstitutionTables.end()));
}

TEST(DatabaseCodec, ASDPrec1WithEmptyPatternIs6Bytes) {
  EXPECT_EQ(RecordOf<Action>(*testdb::MakeASDPrec1(u"")), (Bytes{15, 0, 0, 0, 0, 0}));
}

TEST(DatabaseCodec, NonAsciiTextsAreWrittenAsUtf16LittleEndian) {
  EXPECT_EQ(RecordOf(*testdb::MakeKillProcess(Lit(u"\u00e9\u4e2d"))),
            (Bytes{14, 0, 0, 0, 1, 0, 0, 0, 0xE9, 0x00, 0x2D, 0x4E, 0, 0}));
}

// ---- Size-query protocol -------------------------------------------------------

constexpr std::uint8_t kSentinel = 0xA5;

TEST(DatabaseCodec, SerializeFollowsTheSizeQueryProtocol) {
  for (const auto& c : AllElementCases()) {
    SCOPED_TRACE(c.label);
    std::unique_ptr<Precondition> pre = c.pre ? c.pre() : nullptr;
    std::unique_ptr<Action> act = c.act ? c.act() : nullptr;
    auto serialize = [&](std::uint8_t* buffer, std::uint32_t& size) {
      if (pre)
        pre->Serialize(buffer, size);
      else
        act->Serialize(buffer, size);
    };
    const std::uint32_t need = c.length;
    Bytes buffer(need + 8, kSentinel);
    const Bytes untouched = buffer;

    std::uint32_t size = 0;  // size 0 with a buffer: length only
    serialize(buffer.data(), size);
    EXPECT_EQ(size, need);
    EXPECT_EQ(buffer, untouched);

    size = need + 8;  // no buffer: length only
    serialize(nullptr, size);
    EXPECT_EQ(size, need);

    size = need - 1;  // one byte short: nothing written, 0 reported
    serialize(buffer.data(), size);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(buffer, untouched);

    size = need;  // exactly enough
    serialize(buffer.data(), size);
    EXPECT_EQ(size, need);
    const Bytes written(buffer.begin(), buffer.begin() + need);
    EXPECT_EQ(written, pre ? RecordOf(*pre) : RecordOf(*act));
    EXPECT_EQ(Bytes(buffer.begin() + need, buffer.end()), Bytes(8, kSentinel));

    std::fill(buffer.begin(), buffer.end(), kSentinel);
    size = need + 8;  // more than enough: the record alone, at the start
    serialize(buffer.data(), size);
    EXPECT_EQ(size, need);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + need), written);
    EXPECT_EQ(Bytes(buffer.begin() + need, buffer.end()), Bytes(8, kSentinel));
  }
}

TEST(DatabaseCodec, SharedTextWriterFollowsTheSameProtocol) {
  const std::u16string text = u"ab";
  Bytes buffer(8, kSentinel);
  std::uint32_t size = 0;
  codec::WriteText(buffer.data(), size, text);
  EXPECT_EQ(size, 6u);
  size = 5;
  codec::WriteText(buffer.data(), size, text);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(buffer, Bytes(8, kSentinel));
  size = 6;
  codec::WriteText(buffer.data(), size, text);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(buffer, (Bytes{'a', 0, 'b', 0, 0, 0, kSentinel, kSentinel}));
  size = 7;
  codec::WriteText(nullptr, size, u"");
  EXPECT_EQ(size, 2u);
}

}  // namespace
}  // namespace quenwick
