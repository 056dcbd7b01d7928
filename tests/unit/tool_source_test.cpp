// Definition sources: reading them into the program's element classes, and
// writing texts back as TOML.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "build_unpack.h"
#include "commands.h"
#include "source_reader.h"
#include "source_writer.h"
#include "support/database_builder.h"
#include "support/temp_dir.h"

namespace quenwick::dbtool {
namespace {

using testdb::DatabaseBuilder;
using testdb::DefinitionBuilder;
using testdb::Lit;
using testdb::Var;

std::string Row(int offset) {
  std::string row = "[";
  for (int i = 0; i < 64; ++i) row += (i ? ", " : "") + std::to_string((i * 7 + offset) % 64);
  return row + "]";
}

std::string Tables() {
  std::string text = "tables = [\n";
  for (int r = 0; r < 16; ++r) text += "  " + Row(r) + ",\n";
  return text + "]\n";
}

std::array<std::uint8_t, Antivirus2009Prec1::kTableBlockSize> TableBytes() {
  std::array<std::uint8_t, Antivirus2009Prec1::kTableBlockSize> block{};
  for (int r = 0; r < 16; ++r) {
    for (int i = 0; i < 64; ++i) block[r * 64 + i] = static_cast<std::uint8_t>((i * 7 + r) % 64);
  }
  return block;
}

// Every element class, each field given a different value, so that a field
// read into the wrong member (or in the wrong order) changes the bytes.
const std::string kEveryClass = R"(name = 'Every class'
id = '42'
variables = ['a', 'b', 'c', 'd']
variable_count = 6

[[preconditions]]
type = 'FileExist'
path = 'C:\file'
[[preconditions]]
type = 'FolderExist'
path = { var = 'b' }
[[preconditions]]
type = 'RegKeyExist'
key = 'HKEY_CURRENT_USER\k1'
[[preconditions]]
type = 'RegValueExist'
key = 'HKEY_CURRENT_USER\k2'
value_name = 'v2'
[[preconditions]]
type = 'StrConcat'
first = 's1'
second = { var = 'a' }
target = 'c'
[[preconditions]]
type = 'GetRegValue'
key = 'HKEY_LOCAL_MACHINE\k3'
value_name = ''
target = 5
[[preconditions]]
type = 'Antivirus2009Prec1'
first_variable = 'b'
base_key = 'base'
key_prefix = 'prefix\'
options_key = 'opts'
path_value = 'pval'
exe_suffix = '.exe'
)" + Tables() + R"(
[[preconditions]]
type = 'ExtractPathFromCommand'
command = 'cmd line'
target = 'd'
[[preconditions]]
type = 'ASDPrec1'
pattern = '\pre\'

[[actions]]
type = 'RegValueDelete'
key = { var = 'c' }
value_name = 'v4'
[[actions]]
type = 'RegKeyDelete'
key = 'HKEY_CLASSES_ROOT\k5'
[[actions]]
type = 'FileDelete'
path = { var = 4 }
[[actions]]
type = 'FolderDelete'
path = 'C:\folder'
[[actions]]
type = 'StrConcat'
first = { var = 'd' }
second = "tab\there"
target = 'a'
[[actions]]
type = 'GetRegValue'
key = { var = 'a' }
value_name = { var = 'b' }
target = 'b'
[[actions]]
type = 'Uninstall'
program = 'C:\unins.exe'
arguments = '/S'
[[actions]]
type = 'ExtractPathFromCommand'
command = { var = 'c' }
target = 'c'
[[actions]]
type = 'InnoSetupUninstall'
key_prefix = 'kp\'
application_key = { var = 'd' }
value_name = 'UninstallString'
arguments = ' /SILENT'
[[actions]]
type = 'KillProcess'
program = 'C:\rogue.exe'
[[actions]]
type = 'ASDPrec1'
pattern = { utf16 = [55296, 97] }
[[actions]]
type = 'RegValueRepair'
key = 'HKEY_CLASSES_ROOT\k6'
value_name = { var = 'a' }
marker = 'm6'
replacement = { var = 5 }
)";

DefinitionBuilder EveryClassBuilt() {
  auto antivirus = testdb::MakeAntivirus2009Prec1(1, u"base", u"prefix\\", u"opts", u"pval", u".exe");
  antivirus->SubstitutionTables = TableBytes();
  DefinitionBuilder b(u"Every class", u"42", 6);
  b.Pre(testdb::MakeFileExist(Lit(u"C:\\file")))
      .Pre(testdb::MakeFolderExist(Var(1)))
      .Pre(testdb::MakeRegKeyExist(Lit(u"HKEY_CURRENT_USER\\k1")))
      .Pre(testdb::MakeRegValueExist(Lit(u"HKEY_CURRENT_USER\\k2"), Lit(u"v2")))
      .Pre(testdb::MakeStrConcat(Lit(u"s1"), Var(0), 2))
      .Pre(testdb::MakeGetRegValue(Lit(u"HKEY_LOCAL_MACHINE\\k3"), Lit(u""), 5))
      .Pre(std::move(antivirus))
      .Pre(testdb::MakeExtractPathFromCommand(3, Lit(u"cmd line")))
      .Pre(testdb::MakeASDPrec1(u"\\pre\\"))
      .Act(testdb::MakeRegValueDelete(Var(2), Lit(u"v4")))
      .Act(testdb::MakeRegKeyDelete(Lit(u"HKEY_CLASSES_ROOT\\k5")))
      .Act(testdb::MakeFileDelete(Var(4)))
      .Act(testdb::MakeFolderDelete(Lit(u"C:\\folder")))
      .Act(testdb::MakeStrConcat(Var(3), Lit(u"tab\there"), 0))
      .Act(testdb::MakeGetRegValue(Var(0), Var(1), 1))
      .Act(testdb::MakeUninstall(Lit(u"C:\\unins.exe"), Lit(u"/S")))
      .Act(testdb::MakeExtractPathFromCommand(2, Var(2)))
      .Act(testdb::MakeInnoSetupUninstall(u"kp\\", u"UninstallString", u" /SILENT", Var(3)))
      .Act(testdb::MakeKillProcess(Lit(u"C:\\rogue.exe")))
      .Act(testdb::MakeASDPrec1(std::u16string{u'\xD800', u'a'}))
      .Act(testdb::MakeRegValueRepair(Lit(u"HKEY_CLASSES_ROOT\\k6"), Var(0), Lit(u"m6"), Var(5)));
  return b;
}

TEST(ToolSourceReader, EveryElementClassReadsIntoTheSameRecordAsTheProgramsOwnClasses) {
  Diagnostics diagnostics;
  auto source = ReadSourceText(kEveryClass, "every.toml", diagnostics);
  ASSERT_TRUE(source.has_value());
  std::ostringstream messages;
  PrintText(diagnostics, messages);
  ASSERT_FALSE(diagnostics.HasErrors()) << messages.str();

  std::vector<SourceDefinition> sources;
  sources.push_back(std::move(*source));
  const auto built = BuildDatabase(sources, diagnostics);
  ASSERT_TRUE(built.has_value());
  EXPECT_EQ(*built, DatabaseBuilder().Add(EveryClassBuilt()).Bytes());
}

TEST(ToolSourceReader, MetadataAndCommentsStayOutOfTheDatabase) {
  const std::string plain = "name = 'N'\nid = '1'\n[[preconditions]]\ntype = 'ASDPrec1'\npattern = 'p'\n";
  const std::string annotated =
      "# a comment\nname = 'N' # trailing\nid = '1'\ndescription = 'what it is'\n"
      "references = ['https://example.invalid/a', 'b']\ndate = 2009-05-17\n"
      "[[preconditions]]\ntype = 'ASDPrec1'\npattern = 'p'\n";
  std::vector<std::vector<std::uint8_t>> databases;
  for (const std::string& text : {plain, annotated}) {
    Diagnostics diagnostics;
    auto source = ReadSourceText(text, "m.toml", diagnostics);
    ASSERT_TRUE(source.has_value());
    std::vector<SourceDefinition> sources;
    sources.push_back(std::move(*source));
    const auto built = BuildDatabase(sources, diagnostics);
    ASSERT_TRUE(built.has_value());
    databases.push_back(*built);
  }
  EXPECT_EQ(databases[0], databases[1]);

  Diagnostics diagnostics;
  const auto source = ReadSourceText(annotated, "m.toml", diagnostics);
  ASSERT_TRUE(source.has_value());
  EXPECT_EQ(source->description, "what it is");
  EXPECT_EQ(source->references, (std::vector<std::string>{"https://example.invalid/a", "b"}));
  EXPECT_EQ(source->date, "2009-05-17");
}

struct ReaderFault {
  const char* text;
  const char* code;
  std::uint32_t line;
  std::uint32_t column;
};

// Each source holds one fault; the reader must name it and point at it.
const ReaderFault kReaderFaults[] = {
    {"name = 'N'\n", "missing-field", 1, 1},
    {"name = 'N'\nid = '1'\nflavour = 2\n", "unknown-key", 3, 1},
    {"name = 'N'\nid = 1\n", "bad-text", 2, 6},
    {"name = 'N'\nid = '1'\n[[preconditions]]\ntype = 'FileExists'\n", "unknown-element-type", 4, 8},
    {"name = 'N'\nid = '1'\n[[preconditions]]\npath = 'x'\n", "missing-type", 3, 1},
    {"name = 'N'\nid = '1'\n[[actions]]\ntype = 'FileExist'\npath = 'x'\n", "element-outside-list", 4, 8},
    {"name = 'N'\nid = '1'\n[[preconditions]]\ntype = 'FileExist'\n", "missing-field", 3, 1},
    {"name = 'N'\nid = '1'\n[[preconditions]]\ntype = 'FileExist'\npath = 'x'\npaht = 'y'\n", "unknown-key", 6, 1},
    {"name = 'N'\nid = '1'\n[[preconditions]]\ntype = 'FileExist'\npath = { var = 'v' }\n", "unknown-variable", 5, 16},
    {"name = 'N'\nid = '1'\nvariables = ['v']\n[[preconditions]]\ntype = 'FileExist'\npath = { var = 1 }\n",
     "index-beyond-table", 6, 16},
    {"name = 'N'\nid = '1'\nvariables = ['v']\n[[preconditions]]\ntype = 'StrConcat'\nfirst = 'a'\n"
     "second = 'b'\ntarget = 2\n",
     "index-beyond-table", 8, 10},
    {"name = 'N'\nid = '1'\nvariables = ['v', 'v']\n", "duplicate-variable", 3, 19},
    {"name = 'N'\nid = '1'\nvariables = ['1v']\n", "bad-variables", 3, 14},
    {"name = 'N'\nid = '1'\nvariables = ['a', 'b']\nvariable_count = 1\n", "bad-variables", 4, 18},
    {"name = 'N'\nid = '1'\nvariable_count = 4294967296\n", "bad-number", 3, 18},
    {"name = 'N'\nid = '1'\nvariable_count = 257\n", "too-many-variables", 3, 18},
    {"name = \"a\\u0000b\"\nid = '1'\n", "bad-text", 1, 8},
    {"name = { utf16 = [65, 0] }\nid = '1'\n", "bad-text", 1, 23},
    {"name = { utf16 = [65], extra = 1 }\nid = '1'\n", "bad-text", 1, 8},
    {"name = 'N'\nid = '1'\n[[actions]]\ntype = 'ASDPrec1'\npattern = { var = 'x' }\n", "bad-text", 5, 11},
    {"name = 'N'\nid = '1'\n[[preconditions]]\ntype = 'FileExist'\npath = { var = 'v', x = 1 }\n", "bad-operand", 5, 8},
    {"name = 'N'\nid = '1'\nvariables = ['a', 'b']\n[[preconditions]]\ntype = 'Antivirus2009Prec1'\nfirst_variable = 0\n"
     "base_key = ''\nkey_prefix = ''\noptions_key = ''\npath_value = ''\nexe_suffix = ''\ntables = [[1, 2]]\n",
     "bad-tables", 12, 10},
    {"name = 'N'\nid = '1'\npreconditions = 'FileExist'\n", "bad-list", 3, 17},
    {"name = 'N'\nid = '1\n", "toml-syntax", 2, 8},
};

TEST(ToolSourceReader, FaultsAreReportedWithTheirCodeAndPlace) {
  for (const ReaderFault& fault : kReaderFaults) {
    SCOPED_TRACE(fault.text);
    Diagnostics diagnostics;
    ReadSourceText(fault.text, "f.toml", diagnostics);
    ASSERT_TRUE(diagnostics.HasErrors());
    const Diagnostic& first = diagnostics.list().front();
    EXPECT_EQ(first.code, fault.code);
    EXPECT_EQ(first.pos.line, fault.line);
    EXPECT_EQ(first.pos.column, fault.column);
  }
}

// Damaged sources of every shape: the reader reports, it never crashes or
// hangs, and a build of them never succeeds with a fault unreported.
TEST(ToolSourceReader, MutatedSourcesNeverCrashTheReader) {
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    std::string text = kEveryClass;
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits; ++e) {
      const std::size_t at = random() % text.size();
      switch (random() % 3) {
        case 0: text.erase(at, 1 + random() % 8); break;
        case 1: text.insert(at, 1, "'\"[]{}=\n\\0x#,"[random() % 14]); break;
        default: text[at] = static_cast<char>(random() % 256); break;
      }
    }
    Diagnostics diagnostics;
    auto source = ReadSourceText(text, "m.toml", diagnostics);
    if (!source) continue;
    std::vector<SourceDefinition> sources;
    sources.push_back(std::move(*source));
    const auto built = BuildDatabase(sources, diagnostics);
    EXPECT_EQ(built.has_value(), !diagnostics.HasErrors());
  }
}

TEST(ToolSourceFiles, DatabaseOrderIsTheOrderOfTheFileNames) {
  testing::TempDir dir;
  dir.Write("b.toml", "name = 'second'\nid = '2'\n");
  dir.Write("a.toml", "name = 'first'\nid = '1'\n");
  dir.Write("B.toml", "name = 'capital'\nid = '3'\n");
  dir.Write("readme.md", "not a source");
  dir.Write("fixtures/a/case.toml", "not a Definition");
  Diagnostics diagnostics;
  const auto sources = ReadSourceDirectory(dir.path(), diagnostics);
  ASSERT_EQ(sources.size(), 3u);
  EXPECT_EQ(sources[0].definition->name, u"capital");
  EXPECT_EQ(sources[1].definition->name, u"first");
  EXPECT_EQ(sources[2].definition->name, u"second");
  EXPECT_EQ(sources[1].stem, "a");
}

TEST(ToolSourceWriter, TextsAreWrittenInTheSimplestFormThatHoldsThem) {
  struct Case {
    std::u16string text;
    std::string toml;
  };
  const Case cases[] = {
      {u"", "''"},
      {u"C:\\Program Files\\x.exe", "'C:\\Program Files\\x.exe'"},
      {u"it's", "\"it's\""},
      {u"a\tb\nc\x01\x7f", "\"a\\tb\\nc\\u0001\\u007F\""},
      {u"say \"hi\" \\ 'x'", "\"say \\\"hi\\\" \\\\ 'x'\""},
      {u"\u00c9t\u00e9 \U0001F600", "'\xC3\x89t\xC3\xA9 \xF0\x9F\x98\x80'"},
      {std::u16string{u'a', u'\xDC00'}, "{ utf16 = [97, 56320] }"},
  };
  for (const Case& c : cases) EXPECT_EQ(TomlText(c.text), c.toml);
}

TEST(ToolSourceWriter, WrittenTextsReadBackUnchanged) {
  const std::u16string texts[] = {
      u"", u"plain", u"'quoted'", u"\"double\"", u"back\\slash\\", u"\x01\x02\x1f\x7f",
      u"line\r\nbreak", u"\u4e2d\u6587", std::u16string{u'\xD83D'}, std::u16string{u'\xDE00', u'\xD83D'},
      u"\U0001F600",
  };
  for (const auto& text : texts) {
    Diagnostics diagnostics;
    const std::string source = "name = " + TomlText(text) + "\nid = '1'\n";
    const auto read = ReadSourceText(source, "t.toml", diagnostics);
    ASSERT_TRUE(read.has_value()) << source;
    EXPECT_FALSE(diagnostics.HasErrors()) << source;
    EXPECT_EQ(read->definition->name, text) << source;
  }
}

TEST(ToolBuildCommand, SourceErrorsLeaveTheOutputsAsTheyWere) {
  testing::TempDir dir;
  dir.Write("defs/good.toml", "name = 'Good'\nid = '1'\n");
  dir.Write("defs/bad.toml", "name = 'Bad'\nid = '2'\n[[preconditions]]\ntype = 'Nope'\n");
  const auto existing = dir.Write("old.bin", "previous contents");
  const std::vector<std::string> args = {(dir / "defs").string(), "-o", existing.string(), "--resource",
                                         (dir / "new.res").string()};
  std::ostringstream out, err;
  EXPECT_EQ(RunBuild(args, out, err), kExitFailure);
  EXPECT_NE(err.str().find("bad.toml:4:8: error:"), std::string::npos) << err.str();
  std::ifstream in(existing);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "previous contents");
  EXPECT_FALSE(std::filesystem::exists(dir / "new.res"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);  // no temporaries left
}

// A wrong path must not build an empty database or pass every check.
TEST(ToolCommands, AFolderWithoutDefinitionsIsAnError) {
  testing::TempDir dir;
  std::filesystem::create_directory(dir / "defs");
  dir.Write("defs/fixtures/x/case.toml", "[expect]\nfound = []\n");
  const std::string defs = (dir / "defs").string();
  const std::vector<std::vector<std::string>> lines = {
      {"quenwick-db", "build", defs, "-o", (dir / "db.bin").string()},
      {"quenwick-db", "lint", defs},
      {"quenwick-db", "test", defs},
  };
  for (const auto& line : lines) {
    std::ostringstream out, err;
    EXPECT_EQ(RunQuenwickDb(line, out, err), kExitFailure) << line[1];
    EXPECT_NE((out.str() + err.str()).find(std::filesystem::path(defs).generic_string() +
                                           ": error: holds no Definition source"),
              std::string::npos)
        << line[1] << ": " << out.str() << err.str();
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "db.bin"));
}

TEST(ToolBuildCommand, SaysWhatItBuilt) {
  testing::TempDir dir;
  dir.Write("defs/one.toml", "name = 'One'\nid = '1'\n");
  dir.Write("defs/two.toml", "name = 'Two'\nid = '2'\n");
  const std::vector<std::string> args = {(dir / "defs").string(), "-o", (dir / "db.bin").string()};
  std::ostringstream out, err;
  ASSERT_EQ(RunBuild(args, out, err), kExitOk) << err.str();
  EXPECT_EQ(out.str(), "quenwick-db: built " + (dir / "db.bin").string() + ": 2 Definition(s) from " +
                           (dir / "defs").string() + "\n");
}

TEST(ToolBuildCommand, MissingDirectoryIsAnError) {
  testing::TempDir dir;
  const std::vector<std::string> args = {(dir / "nowhere").string(), "-o", (dir / "db.bin").string()};
  std::ostringstream out, err;
  EXPECT_EQ(RunBuild(args, out, err), kExitFailure);
  EXPECT_FALSE(std::filesystem::exists(dir / "db.bin"));
}

TEST(ToolCommandLine, UnknownCommandsAndOptionsAreUsageErrors) {
  std::ostringstream out, err;
  const std::vector<std::vector<std::string>> lines = {
      {"quenwick-db"},
      {"quenwick-db", "frobnicate"},
      {"quenwick-db", "build", "defs"},
      {"quenwick-db", "build", "defs", "-o"},
      {"quenwick-db", "lint", "defs", "--format", "xml"},
      {"quenwick-db", "unpack", "db.bin", "--bogus", "-o", "x"},
  };
  for (const auto& line : lines) EXPECT_EQ(RunQuenwickDb(line, out, err), kExitUsage) << line.back();
}

// The usual manners: help per command, the version, an unknown command named
// with the nearest one, and "--option=value".
TEST(ToolCommandLine, HelpVersionAndUnknownCommands) {
  struct Case {
    std::vector<std::string> line;
    int exit;
    std::string output;  // a line of stdout and stderr together
  };
  const std::vector<Case> cases = {
      {{"quenwick-db", "lint", "--help"}, kExitOk, "usage: quenwick-db lint DIR|FILE [--format text|json]"},
      {{"quenwick-db", "test", "defs", "-h"}, kExitOk, "--trace adds, for a failing fixture, every element"},
      {{"quenwick-db", "help", "build"}, kExitOk, "usage: quenwick-db build DIR -o DATABASE [--resource RESOURCE]"},
      {{"quenwick-db", "--help"}, kExitOk, "  catalogue DIR -o FILE [--check]"},
      {{"quenwick-db", "--version"}, kExitOk, "quenwick-db 1."},
      {{"quenwick-db", "lnit", "defs"}, kExitUsage, "quenwick-db: unknown command 'lnit' (did you mean 'lint'?)"},
      {{"quenwick-db", "frobnicate"}, kExitUsage, "quenwick-db: unknown command 'frobnicate'\n"},
      {{"quenwick-db", "lint", "defs", "--format=xml"}, kExitUsage, "usage: quenwick-db lint"},
      {{"quenwick-db", "lint", "defs", "--werror=yes"}, kExitUsage, "the option --werror takes no value"},
  };
  for (const Case& c : cases) {
    std::ostringstream out, err;
    EXPECT_EQ(RunQuenwickDb(c.line, out, err), c.exit) << c.line[1];
    EXPECT_NE((out.str() + err.str()).find(c.output), std::string::npos) << c.output << "\nin:\n" << out.str() << err.str();
  }
}

}  // namespace
}  // namespace quenwick::dbtool
