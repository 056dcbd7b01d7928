// unpack then build gives back the database byte for byte; build then unpack
// then build is stable. Over generated databases shaped like the shipped one
// and over hand-made ones with every element class and awkward texts.
#include <gtest/gtest.h>

#include <fstream>
#include <cstring>
#include <sstream>

#include "base/little_endian.h"
#include "build_unpack.h"
#include "commands.h"
#include "database_input.h"
#include "pe_resource.h"
#include "support/database_builder.h"
#include "support/database_generator.h"
#include "support/temp_dir.h"

namespace quenwick::dbtool {
namespace {

using testdb::DatabaseBuilder;
using testdb::DefinitionBuilder;
using testdb::Lit;
using testdb::Var;

void WriteSources(const std::vector<SourceFile>& files, const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir);
  for (const auto& file : files) std::ofstream(dir / file.name, std::ios::binary) << file.text;
}

// Unpacks `database` into a fresh directory and builds it again.
std::vector<std::uint8_t> UnpackAndBuild(std::span<const std::uint8_t> database,
                                         std::vector<SourceFile>* unpacked = nullptr) {
  std::string error;
  auto definitions = ParseDefinitions(database, error);
  EXPECT_TRUE(definitions.has_value()) << error;
  if (!definitions) return {};
  const auto files = UnpackDefinitions(*definitions);
  if (unpacked) *unpacked = files;
  testing::TempDir dir;
  WriteSources(files, dir.path());
  Diagnostics diagnostics;
  auto built = BuildDatabaseFromDirectory(dir.path(), diagnostics);
  std::ostringstream messages;
  PrintText(diagnostics, messages);
  EXPECT_TRUE(built.has_value()) << messages.str();
  return built.value_or(std::vector<std::uint8_t>{});
}

TEST(ToolRoundTrip, GeneratedDatabasesComeBackByteForByte) {
  for (std::uint32_t seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const auto database = testdb::GenerateDatabase(60, seed).Bytes();
    std::vector<SourceFile> first;
    const auto rebuilt = UnpackAndBuild(database, &first);
    EXPECT_EQ(rebuilt, database);
    // And the second round writes the very same sources.
    std::vector<SourceFile> second;
    EXPECT_EQ(UnpackAndBuild(rebuilt, &second), database);
    ASSERT_EQ(second.size(), first.size());
    for (std::size_t i = 0; i < first.size(); ++i) {
      EXPECT_EQ(second[i].name, first[i].name);
      EXPECT_EQ(second[i].text, first[i].text);
    }
  }
}

// Everything a loadable database may hold that the linter would reject or
// that a TOML literal string cannot hold.
DatabaseBuilder AwkwardDatabase() {
  DatabaseBuilder db;
  db.Add(DefinitionBuilder(u"", u"", 0));  // empty texts, no elements at all
  db.Add(DefinitionBuilder(u"Dup", u"7", 3)
             .Pre(testdb::MakeASDPrec1(u""))
             .Act(testdb::MakeASDPrec1(u"UPPER"))
             .Act(testdb::MakeFileDelete(Var(2))));  // read before written, slots 0-1 unused
  db.Add(DefinitionBuilder(u"Dup", u"7", 1)  // same name and id again
             .Pre(testdb::MakeRegKeyExist(Lit(u"HKLM\\SOFTWARE\\x")))
             .Act(testdb::MakeInnoSetupUninstall(u"KEY_LOCAL_MACHINE\\no-backslash", u"", u"", Lit(u""))));
  db.Add(DefinitionBuilder(u"ctl \x01\x02\t\n\r'\"\\ \x7f", u"id'\"", 2)
             .Pre(testdb::MakeFileExist(Lit(u"%SystemRooot%\\*.exe")))
             .Pre(testdb::MakeStrConcat(Lit(u"'"), Lit(u"\""), 1))
             .Act(testdb::MakeFolderDelete(Lit(u"C:\\")))
             .Act(testdb::MakeKillProcess(Lit(u"%CSIDL_SYSTEM%\\csrss.exe"))));
  db.Add(DefinitionBuilder(std::u16string{u'\xD800', u'x', u'\xDFFF'}, u"\u0394\u03b5\u03bb\u03c4\u03b1 \U0001F600", 1)
             .Pre(testdb::MakeGetRegValue(Lit(std::u16string{u'\xDC00'}), Lit(u"\U0001F600"), 0))
             .Act(testdb::MakeStrConcat(Var(0), Var(0), 0)));
  // The largest table the program loads, its last slots used.
  db.Add(DefinitionBuilder(u"Big table", u"9", 256)
             .Pre(testdb::MakeExtractPathFromCommand(255, Lit(u"x")))
             .Pre(testdb::MakeAntivirus2009Prec1(253, u"", u"", u"", u"", u"exe"))
             .Act(testdb::MakeUninstall(Var(254), Var(255)))
             .Act(testdb::MakeRegValueDelete(Lit(u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon"),
                                             Lit(u"Userinit"))));
  // Slots nothing uses still count.
  db.Add(DefinitionBuilder(u"Spare slots", u"10", 5).Pre(testdb::MakeGetRegValue(Lit(u"k"), Lit(u"v"), 0)));
  // Assignments in both lists, every class once more.
  db.Add(DefinitionBuilder(u"All", u"11", 4)
             .Pre(testdb::MakeFolderExist(Lit(u"%CSIDL_APPDATA%\\x")))
             .Pre(testdb::MakeRegValueExist(Lit(u"HKEY_CURRENT_USER\\x"), Lit(u"")))
             .Pre(testdb::MakeGetRegValue(Lit(u"HKEY_CURRENT_USER\\x"), Lit(u"y"), 3))
             .Pre(testdb::MakeASDPrec1(u"\\a\\"))
             .Act(testdb::MakeRegKeyDelete(Lit(u"HKEY_CURRENT_USER\\x")))
             .Act(testdb::MakeExtractPathFromCommand(2, Var(3)))
             .Act(testdb::MakeGetRegValue(Var(2), Var(3), 1))
             .Act(testdb::MakeStrConcat(Lit(u""), Lit(u""), 0)));
  return db;
}

TEST(ToolRoundTrip, DatabasesTheLinterRejectsComeBackByteForByte) {
  const auto database = AwkwardDatabase().Bytes();
  std::vector<SourceFile> files;
  EXPECT_EQ(UnpackAndBuild(database, &files), database);
  ASSERT_EQ(files.size(), 8u);
  EXPECT_EQ(files[0].name, "0001-definition.toml");
  EXPECT_EQ(files[3].name, "0004-ctl.toml");
  // Every slot is named, used or not.
  EXPECT_NE(files[5].text.find("'v255']\n"), std::string::npos) << files[5].text;
  EXPECT_NE(files[5].text.find("target = 'v255'\n"), std::string::npos) << files[5].text;
  EXPECT_NE(files[6].text.find("variables = ['v0', 'v1', 'v2', 'v3', 'v4']\n"), std::string::npos) << files[6].text;
  EXPECT_NE(files[1].text.find("variables = ['v0', 'v1', 'v2']\n"), std::string::npos) << files[1].text;
}

TEST(ToolRoundTrip, FillerAfterTheLastRecordIsDroppedAndReported) {
  DatabaseBuilder db = testdb::GenerateDatabase(3, 11);
  const auto withoutFiller = db.Bytes();
  db.Filler(100);
  testing::TempDir dir;
  {
    const auto bytes = db.Bytes();
    std::ofstream(dir / "filled.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  std::ostringstream out, err;
  const std::vector<std::string> unpack = {(dir / "filled.bin").string(), "-o", (dir / "src").string()};
  ASSERT_EQ(RunUnpack(unpack, out, err), kExitOk) << err.str();
  EXPECT_NE(out.str().find("100 byte(s) after the last record are not kept"), std::string::npos) << out.str();
  Diagnostics diagnostics;
  EXPECT_EQ(BuildDatabaseFromDirectory(dir / "src", diagnostics), withoutFiller);
}

TEST(ToolRoundTrip, RepositoryDefinitionsBuildUnpackBuildStably) {
  const auto definitions = std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "definitions";
  Diagnostics diagnostics;
  const auto first = BuildDatabaseFromDirectory(definitions, diagnostics);
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(UnpackAndBuild(*first), *first);
}

TEST(ToolUnpackCommand, RefusesADirectoryThatHoldsSourcesUnlessForced) {
  testing::TempDir dir;
  const auto bytes = testdb::GenerateDatabase(2, 3).Bytes();
  std::ofstream(dir / "db.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  dir.Write("src/stale.toml", "name = 'stale'\nid = '0'\n");
  std::ostringstream out, err;
  std::vector<std::string> args = {(dir / "db.bin").string(), "-o", (dir / "src").string()};
  EXPECT_EQ(RunUnpack(args, out, err), kExitFailure);
  EXPECT_TRUE(std::filesystem::exists(dir / "src/stale.toml"));
  args.push_back("--force");
  ASSERT_EQ(RunUnpack(args, out, err), kExitOk) << err.str();
  EXPECT_FALSE(std::filesystem::exists(dir / "src/stale.toml"));
  Diagnostics diagnostics;
  EXPECT_EQ(BuildDatabaseFromDirectory(dir / "src", diagnostics), bytes);
}

// --- The three input forms ------------------------------------------------------

void PutU16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) { StoreLe16(b.data() + at, v); }
void PutU32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) { StoreLe32(b.data() + at, v); }

// A minimal PE32+ image with one section that holds a resource directory of
// one type, one name and one language, as the resource compiler lays it out:
//
//   root dir -> "RT_RCDATA" dir -> "IDR_V2" dir -> language 1033 -> data entry
std::vector<std::uint8_t> MakePeImage(std::u16string_view type, std::u16string_view name,
                                      std::span<const std::uint8_t> data) {
  constexpr std::size_t kPeOffset = 0x40;
  constexpr std::size_t kOptional = kPeOffset + 4 + 20;
  constexpr std::size_t kOptionalSize = 240;
  constexpr std::size_t kSectionTable = kOptional + kOptionalSize;
  constexpr std::size_t kRawOffset = 0x200;
  constexpr std::uint32_t kSectionRva = 0x1000;
  // Resource section layout (offsets from its start).
  constexpr std::uint32_t kTypeDir = 0, kNameDir = 24, kLangDir = 48, kDataEntry = 72, kStrings = 88;
  const std::uint32_t nameString = kStrings + 2 + 2 * static_cast<std::uint32_t>(type.size());
  const std::uint32_t dataOffset = (nameString + 2 + 2 * static_cast<std::uint32_t>(name.size()) + 7) & ~7u;
  const std::uint32_t sectionSize = dataOffset + static_cast<std::uint32_t>(data.size());

  std::vector<std::uint8_t> image(kRawOffset + sectionSize, 0);
  image[0] = 'M', image[1] = 'Z';
  PutU32(image, 0x3C, kPeOffset);
  PutU32(image, kPeOffset, 0x00004550);
  PutU16(image, kPeOffset + 4, 0x8664);
  PutU16(image, kPeOffset + 6, 1);  // one section
  PutU16(image, kPeOffset + 20, kOptionalSize);
  PutU16(image, kOptional, 0x20B);
  PutU32(image, kOptional + 108, 16);  // data directories
  PutU32(image, kOptional + 112 + 2 * 8, kSectionRva);
  PutU32(image, kOptional + 112 + 2 * 8 + 4, sectionSize);
  std::memcpy(&image[kSectionTable], ".rsrc", 5);
  PutU32(image, kSectionTable + 8, sectionSize);
  PutU32(image, kSectionTable + 12, kSectionRva);
  PutU32(image, kSectionTable + 16, sectionSize);
  PutU32(image, kSectionTable + 20, kRawOffset);

  const std::size_t r = kRawOffset;
  PutU16(image, r + kTypeDir + 12, 1);  // one named entry
  PutU32(image, r + kTypeDir + 16, 0x80000000u | kStrings);
  PutU32(image, r + kTypeDir + 20, 0x80000000u | kNameDir);
  PutU16(image, r + kNameDir + 12, 1);
  PutU32(image, r + kNameDir + 16, 0x80000000u | nameString);
  PutU32(image, r + kNameDir + 20, 0x80000000u | kLangDir);
  PutU16(image, r + kLangDir + 14, 1);  // one numbered entry: the language
  PutU32(image, r + kLangDir + 16, 1033);
  PutU32(image, r + kLangDir + 20, kDataEntry);
  PutU32(image, r + kDataEntry, kSectionRva + dataOffset);
  PutU32(image, r + kDataEntry + 4, static_cast<std::uint32_t>(data.size()));
  PutU16(image, r + kStrings, static_cast<std::uint16_t>(type.size()));
  for (std::size_t i = 0; i < type.size(); ++i) PutU16(image, r + kStrings + 2 + 2 * i, type[i]);
  PutU16(image, r + nameString, static_cast<std::uint16_t>(name.size()));
  for (std::size_t i = 0; i < name.size(); ++i) PutU16(image, r + nameString + 2 + 2 * i, name[i]);
  std::copy(data.begin(), data.end(), image.begin() + r + dataOffset);
  return image;
}

TEST(ToolDatabaseInput, ReadsTheDatabaseFromEachForm) {
  const DatabaseBuilder db = testdb::GenerateDatabase(5, 21);
  const auto database = db.Bytes();
  const auto resource = db.Resource();
  struct Form {
    const char* label;
    std::vector<std::uint8_t> bytes;
    InputKind kind;
  };
  const Form forms[] = {
      {"database", database, InputKind::kDatabase},
      {"resource", resource, InputKind::kResource},
      {"executable", MakePeImage(u"RT_RCDATA", u"IDR_V2", resource), InputKind::kExecutable},
      // Resource names are compared without regard to case, as FindResourceW does.
      {"executable, lower case", MakePeImage(u"rt_rcdata", u"idr_v2", resource), InputKind::kExecutable},
  };
  for (const Form& form : forms) {
    SCOPED_TRACE(form.label);
    std::string error;
    const auto input = DecodeDatabaseInput(form.bytes, error);
    ASSERT_TRUE(input.has_value()) << error;
    EXPECT_EQ(input->kind, form.kind);
    EXPECT_EQ(input->database, database);
  }
}

TEST(ToolDatabaseInput, DamagedExecutablesAreErrorsNotCrashes) {
  const auto resource = testdb::GenerateDatabase(2, 5).Resource();
  const auto good = MakePeImage(u"RT_RCDATA", u"IDR_V2", resource);
  std::string error;
  EXPECT_FALSE(DecodeDatabaseInput(MakePeImage(u"RT_RCDATA", u"IDR_V3", resource), error).has_value());
  EXPECT_NE(error.find("IDR_V2"), std::string::npos) << error;
  EXPECT_FALSE(DecodeDatabaseInput(MakePeImage(u"RCDATA", u"IDR_V2", resource), error).has_value());
  // Every truncation of the image, and every single damaged byte of its
  // headers and resource directory, is handled without reading past the end.
  for (std::size_t size = 64; size < good.size(); size += 7) {
    DecodeDatabaseInput(std::span(good).first(size), error);
  }
  for (std::size_t at = 0; at < 0x200 + 120; ++at) {
    auto damaged = good;
    damaged[at] ^= 0xFF;
    DecodeDatabaseInput(damaged, error);
  }
}

TEST(ToolDatabaseInput, AResourceThatDoesNotInflateWithinItsDeclaredSizeIsAnError) {
  auto resource = testdb::GenerateDatabase(4, 2).Resource();
  resource[0] = 8, resource[1] = resource[2] = resource[3] = 0;  // declares 8 bytes
  std::string error;
  EXPECT_FALSE(DecompressResource(resource, error).has_value());
  EXPECT_FALSE(error.empty());
}

TEST(ToolDatabaseInput, ATruncatedResourceIsReportedAsOne) {
  auto resource = testdb::GenerateDatabase(4, 9).Resource();
  resource.resize(resource.size() / 2);
  std::string error;
  EXPECT_FALSE(DecodeDatabaseInput(resource, error).has_value());
  EXPECT_TRUE(error.starts_with("a damaged resource: ")) << error;
}

TEST(ToolListInfo, ReportTheDefinitionsAndCountsOfAnExecutable) {
  const DatabaseBuilder db =
      DatabaseBuilder()
          .Add(DefinitionBuilder(u"Alpha", u"17", 2)
                   .Pre(testdb::MakeGetRegValue(Lit(u"HKEY_CURRENT_USER\\k"), Lit(u"v"), 0))
                   .Act(testdb::MakeKillProcess(Var(0)))
                   .Act(testdb::MakeFileDelete(Var(0))))
          .Add(DefinitionBuilder(u"Beta", u"18").Pre(testdb::MakeASDPrec1(u"\\b\\")).Act(testdb::MakeASDPrec1(u"\\b\\")))
          .Filler(10);
  testing::TempDir dir;
  const auto exe = MakePeImage(u"RT_RCDATA", u"IDR_V2", db.Resource());
  std::ofstream(dir / "quenwick.exe", std::ios::binary)
      .write(reinterpret_cast<const char*>(exe.data()), static_cast<std::streamsize>(exe.size()));
  const std::vector<std::string> args = {(dir / "quenwick.exe").string()};
  std::ostringstream list, info, err;
  ASSERT_EQ(RunList(args, list, err), kExitOk) << err.str();
  EXPECT_EQ(list.str(),
            "   1  17      vars 2   pre 1  act 2   Alpha\n"
            "   2  18      vars 0   pre 1  act 1   Beta\n");
  ASSERT_EQ(RunInfo(args, info, err), kExitOk) << err.str();
  const std::string text = info.str();
  EXPECT_NE(text.find("form:           executable\n"), std::string::npos) << text;
  EXPECT_NE(text.find("definitions:    2\n"), std::string::npos) << text;
  EXPECT_NE(text.find("(10 byte(s) of filler after them)"), std::string::npos) << text;
  EXPECT_NE(text.find("operands:       2 literal, 2 variable\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  ASDPrec1                     1     1\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace quenwick::dbtool
