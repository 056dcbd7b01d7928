// Fixtures: their format, and the runner's verdicts and diffs.
#include <gtest/gtest.h>

#include <sstream>

#include "base/utf16le.h"
#include "build_unpack.h"
#include "commands.h"
#include "fixture/fixture.h"
#include "fixture/fixture_runner.h"
#include "fixture/fixture_trace.h"
#include "source_reader.h"
#include "support/database_builder.h"
#include "support/temp_dir.h"

namespace quenwick::dbtool::fixture {
namespace {

namespace fs = std::filesystem;

using testdb::DatabaseBuilder;
using testdb::DefinitionBuilder;
using testdb::Lit;

TEST(ToolFixtureFormat, EveryFieldIsRead) {
  const std::string text = R"(description = 'all of it'
[machine]
files = ['C:\a.exe', { path = 'C:\b.dll', attributes = ['hidden', 'readonly'], locked = true, deny_delete = true }]
folders = [{ path = 'C:\F', attributes = ['system'] }]
processes = ['C:\a.exe', { image = 'C:\c.exe', terminable = false }]
environment = { ROGUE = 'C:\R' }
shell_folders = { CSIDL_APPDATA = 'D:\Roaming', CSIDL_MYDOCUMENTS = 'D:\Docs' }
short_names = { 'C:\Users\Christopher' = 'C:\Users\CHRIST~1' }

[[machine.registry]]
key = 'HKEY_CURRENT_USER\Software\R'
read_only = true
values = { s = 'text', e = { expand_sz = '%X%' }, m = { multi_sz = ['a', 'b'] }, d = { dword = 258 }, q = { qword = 1 }, b = { binary = [1, 255] }, t = { binary = [7], type = 9 } }

[expect]
found = ['one', 'two']
gone = ['C:\a.exe']
present = ['C:\F']
untouched = ['C:\Windows']
values_gone = [{ key = 'HKEY_CURRENT_USER\Software\R', name = 's' }]
pending_deletion = ['C:\b.dll']
ended = ['C:\a.exe']
running = ['C:\c.exe']
started = ['"C:\u.exe" /S']

[[expect.values]]
key = 'HKEY_CURRENT_USER\Software\R'
name = 'd'
dword = 3
)";
  Diagnostics diagnostics;
  const auto fixture = ReadFixtureText(text, "f.toml", diagnostics);
  std::ostringstream messages;
  PrintText(diagnostics, messages);
  ASSERT_TRUE(fixture.has_value()) << messages.str();
  const Machine& m = fixture->machine;
  ASSERT_EQ(m.files.size(), 2u);
  EXPECT_EQ(m.files[1].path, u"C:\\b.dll");
  EXPECT_EQ(m.files[1].attributes, win::FILE_ATTRIBUTE_HIDDEN | win::FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(m.files[1].locked);
  EXPECT_TRUE(m.files[1].denyDelete);
  EXPECT_EQ(m.files[0].attributes, win::FILE_ATTRIBUTE_ARCHIVE);
  ASSERT_EQ(m.folders.size(), 1u);
  EXPECT_EQ(m.folders[0].attributes, win::FILE_ATTRIBUTE_DIRECTORY | win::FILE_ATTRIBUTE_SYSTEM);
  ASSERT_EQ(m.processes.size(), 2u);
  EXPECT_FALSE(m.processes[1].terminable);
  EXPECT_EQ(m.environment.at(u"ROGUE"), u"C:\\R");
  EXPECT_EQ(m.shellFolders.at(win::CSIDL_APPDATA), u"D:\\Roaming");
  EXPECT_EQ(m.shellFolders.at(win::CSIDL_PERSONAL), u"D:\\Docs");
  EXPECT_EQ(m.shortNames.at(u"C:\\Users\\Christopher"), u"C:\\Users\\CHRIST~1");
  ASSERT_EQ(m.keys.size(), 1u);
  EXPECT_TRUE(m.keys[0].readOnly);
  std::map<std::u16string, ValueSpec> values;
  for (const auto& v : m.keys[0].values) values[v.name] = v;
  EXPECT_EQ(values.at(u"s").type, win::REG_SZ);
  EXPECT_EQ(values.at(u"s").bytes, TerminatedUtf16LeBytes(u"text"));
  EXPECT_EQ(values.at(u"e").type, win::REG_EXPAND_SZ);
  EXPECT_EQ(values.at(u"m").type, win::REG_MULTI_SZ);
  EXPECT_EQ(values.at(u"m").bytes, (std::vector<std::uint8_t>{'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}));
  EXPECT_EQ(values.at(u"d").bytes, (std::vector<std::uint8_t>{2, 1, 0, 0}));
  EXPECT_EQ(values.at(u"q").bytes, (std::vector<std::uint8_t>{1, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(values.at(u"b").bytes, (std::vector<std::uint8_t>{1, 255}));
  EXPECT_EQ(values.at(u"t").type, 9u);
  const Expectations& e = fixture->expect;
  EXPECT_EQ(e.found, (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(e.valuesGone.size(), 1u);
  ASSERT_TRUE(e.pendingDeletions.has_value());
  EXPECT_EQ(*e.pendingDeletions, std::vector<std::u16string>{u"C:\\b.dll"});
  ASSERT_TRUE(e.started.has_value());
  EXPECT_EQ(*e.started, std::vector<std::u16string>{u"\"C:\\u.exe\" /S"});
  ASSERT_EQ(e.valuesAfter.size(), 1u);
  EXPECT_EQ(e.valuesAfter[0].value.type, win::REG_DWORD);
  EXPECT_EQ(e.valuesAfter[0].value.bytes, (std::vector<std::uint8_t>{3, 0, 0, 0}));
}

TEST(ToolFixtureFormat, FaultsNameTheirPlace) {
  struct Case {
    const char* text;
    std::uint32_t line;
    std::uint32_t column;
  };
  const Case cases[] = {
      {"[machine]\n", 1, 1},  // no [expect]
      {"[machine]\nfiles = [1]\n[expect]\n", 2, 10},
      {"[machine]\nfolders = [{ path = 'C:\\x', attributes = ['shiny'] }]\n[expect]\n", 2, 43},
      {"[machine]\nshell_folders = { CSIDL_QUICKLAUNCH = 'C:\\q' }\n[expect]\n", 2, 19},
      {"[machine]\nshort_names = ['C:\\q']\n[expect]\n", 2, 15},
      {"[[machine.registry]]\nkey = 'HKEY_CURRENT_USER\\x'\nvalues = { v = { dword = 1, sz = 'a' } }\n[expect]\n", 3, 16},
      {"[expect]\nfound = ['a']\nvanished = []\n", 3, 1},
      {"[expect]\nvalues_gone = [{ key = 'k' }]\n", 2, 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Diagnostics diagnostics;
    EXPECT_FALSE(ReadFixtureText(c.text, "f.toml", diagnostics).has_value());
    ASSERT_TRUE(diagnostics.HasErrors());
    EXPECT_EQ(diagnostics.list().front().pos.line, c.line);
    EXPECT_EQ(diagnostics.list().front().pos.column, c.column);
  }
}

// Two Definitions: "always" has no preconditions and is found everywhere;
// "never" looks for a key no machine has.
std::vector<std::uint8_t> TwoDefinitions() {
  return DatabaseBuilder()
      .Add(DefinitionBuilder(u"Always", u"1"))
      .Add(DefinitionBuilder(u"Never", u"2").Pre(testdb::MakeRegKeyExist(Lit(u"HKEY_CURRENT_USER\\Software\\Nobody"))))
      .Bytes();
}

Fixture Parse(const std::string& text) {
  Diagnostics diagnostics;
  auto fixture = ReadFixtureText(text, "f.toml", diagnostics);
  EXPECT_TRUE(fixture.has_value());
  return fixture.value_or(Fixture{});
}

TEST(ToolFixtureRunner, PassesWhenTheMachineEndsAsDescribed) {
  const Fixture fixture = Parse(
      "[machine]\nfiles = ['C:\\Keep\\k.txt']\n"
      "[expect]\nfound = ['always']\nuntouched = ['C:\\Keep', 'C:\\Windows', 'HKEY_LOCAL_MACHINE\\SOFTWARE']\n"
      "present = ['C:\\Keep\\k.txt']\npending_deletion = []\nstarted = []\n");
  const Outcome outcome = RunFixture(fixture, TwoDefinitions(), {"always", "never"});
  EXPECT_TRUE(outcome.passed);
  EXPECT_EQ(outcome.differences, std::vector<std::string>{});
}

// "untouched" covers a folder and what is inside it, not a sibling whose
// name begins with the same text.
TEST(ToolFixtureRunner, UntouchedFolderDoesNotCoverSiblingsWithLongerNames) {
  const auto database = DatabaseBuilder()
                            .Add(DefinitionBuilder(u"Remover", u"1")
                                     .Act(testdb::MakeFolderDelete(Lit(u"C:\\Keep 2009"))))
                            .Bytes();
  const Fixture fixture = Parse(
      "[machine]\nfiles = ['C:\\Keep\\k.txt', 'C:\\Keep 2009\\r.exe']\n"
      "[expect]\nfound = ['remover']\nuntouched = ['C:\\Keep']\ngone = ['C:\\Keep 2009']\n");
  const Outcome outcome = RunFixture(fixture, database, {"remover"});
  EXPECT_TRUE(outcome.passed);
  EXPECT_EQ(outcome.differences, std::vector<std::string>{});
}

// A short name given by the fixture names the planted folder.
TEST(ToolFixtureRunner, ShortNamesReachThePlantedFolder) {
  const auto database = DatabaseBuilder()
                            .Add(DefinitionBuilder(u"Remover", u"1")
                                     .Act(testdb::MakeFileDelete(Lit(u"C:\\Users\\CHRIST~1\\a.txt"))))
                            .Bytes();
  const Fixture fixture = Parse(
      "[machine]\nfiles = ['C:\\Users\\Christopher\\a.txt']\n"
      "short_names = { 'C:\\Users\\Christopher' = 'C:\\Users\\CHRIST~1' }\n"
      "[expect]\nfound = ['remover']\ngone = ['C:\\Users\\Christopher\\a.txt']\n");
  const Outcome outcome = RunFixture(fixture, database, {"remover"});
  EXPECT_TRUE(outcome.passed);
  EXPECT_EQ(outcome.differences, std::vector<std::string>{});
}

TEST(ToolFixtureRunner, FailuresAreShownAsDifferences) {
  const Fixture fixture = Parse(
      "[machine]\nprocesses = ['C:\\p.exe']\n"
      "[[machine.registry]]\nkey = 'HKEY_CURRENT_USER\\Software\\R'\nvalues = { v = 'old' }\n"
      "[expect]\nfound = ['never']\ngone = ['C:\\Windows\\notepad.exe']\nended = ['C:\\p.exe']\n"
      "pending_deletion = ['C:\\x']\n"
      "[[expect.values]]\nkey = 'HKEY_CURRENT_USER\\Software\\R'\nname = 'v'\nsz = 'new'\n");
  const Outcome outcome = RunFixture(fixture, TwoDefinitions(), {"always", "never"});
  EXPECT_FALSE(outcome.passed);
  const std::vector<std::string> expected = {
      "found Definitions differ:",
      "  + always   (found, not expected)",
      "  - never   (expected, not found)",
      "C:\\Windows\\notepad.exe: expected gone, still present",
      "HKEY_CURRENT_USER\\Software\\R : \"v\":",
      "  - REG_SZ \"new\"",
      "  + REG_SZ \"old\"",
      "deletions registered for the next start differ:",
      "  - C:\\x",
  };
  std::vector<std::string> got = outcome.differences;
  // The process line carries a pid the machine chose.
  ASSERT_EQ(got.size(), expected.size() + 1);
  EXPECT_TRUE(got.back().starts_with("process C:\\p.exe (pid ")) << got.back();
  EXPECT_TRUE(got.back().ends_with("): expected ended, still running")) << got.back();
  got.pop_back();
  EXPECT_EQ(got, expected);
}

TEST(ToolFixtureRunner, AFixtureNamingAnUnknownDefinitionFails) {
  const Fixture fixture = Parse("[expect]\nfound = ['always', 'typo']\n");
  const Outcome outcome = RunFixture(fixture, TwoDefinitions(), {"always", "never"});
  EXPECT_FALSE(outcome.passed);
  ASSERT_FALSE(outcome.differences.empty());
  EXPECT_EQ(outcome.differences.front(), "'found' names typo, which is not a Definition of the database");
}

TEST(ToolTestCommand, RunsTheFixturesOfADefinitionsFolder) {
  testing::TempDir dir;
  dir.Write("defs/always.toml", "name = 'Always'\nid = '1'\n[[preconditions]]\ntype = 'FolderExist'\npath = '%CSIDL_WINDOWS%'\n");
  dir.Write("defs/fixtures/always/found.toml", "[expect]\nfound = ['always']\n");
  dir.Write("defs/fixtures/always/wrong.toml", "[expect]\nfound = []\n");
  const fs::path broken = dir.Write("defs/fixtures/always/broken.toml", "[expect\n");
  const std::vector<std::string> args = {(dir / "defs").string()};
  {
    // A fixture that does not read is a lint error, and lint comes first.
    std::ostringstream out, err;
    EXPECT_EQ(RunTest(args, out, err), kExitFailure);
    EXPECT_NE(out.str().find(broken.generic_string() + ":1:8: error:"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("PASS"), std::string::npos) << out.str();
    EXPECT_NE(err.str().find("no fixture ran"), std::string::npos) << err.str();
  }
  fs::remove(broken);
  std::ostringstream out, err;
  EXPECT_EQ(RunTest(args, out, err), kExitFailure) << err.str();
  const std::string text = out.str();
  EXPECT_NE(text.find("PASS " + (dir / "defs/fixtures/always/found.toml").generic_string()), std::string::npos) << text;
  EXPECT_NE(text.find("FAIL " + (dir / "defs/fixtures/always/wrong.toml").generic_string()), std::string::npos) << text;
  EXPECT_NE(text.find("2 fixture(s), 1 failed\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("trace of"), std::string::npos) << text;
}

// --trace: per element of the Definition, the texts it used as expanded and
// what happened on the machine. The Definition here is read without lint, so
// that it may ask for what the program refuses.
TEST(ToolTestCommand, TheTraceSaysWhatEachElementDid) {
  testing::TempDir dir;
  const auto source = dir.Write("defs/rogue.toml", R"(name = 'Rogue'
id = '1'
variables = ['command', 'program', 'spare']
[[preconditions]]
type = 'GetRegValue'
key = 'HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run'
value_name = 'Rogue'
target = 'command'
[[actions]]
type = 'ExtractPathFromCommand'
command = { var = 'command' }
target = 'program'
[[actions]]
type = 'KillProcess'
program = { var = 'program' }
[[actions]]
type = 'FileDelete'
path = { var = 'program' }
[[actions]]
type = 'FileDelete'
path = '%CSIDL_PROGRAM_FILES%\Rogue\hook.dll'
[[actions]]
type = 'FolderDelete'
path = '%USERPROFILE%\Desktop'
[[actions]]
type = 'FileDelete'
path = '%CSIDL_APPDATA%\Rogue\missing.exe'
[[actions]]
type = 'KillProcess'
program = '%CSIDL_APPDATA%\Rogue\none.exe'
[[actions]]
type = 'RegKeyDelete'
key = 'HKEY_CURRENT_USER\Software\Rogue'
[[actions]]
type = 'FileDelete'
path = { var = 'spare' }
)");
  const auto infected = Parse(R"([machine]
files = ['C:\Program Files\Rogue\rogue.exe', { path = 'C:\Program Files\Rogue\hook.dll', locked = true }]
processes = ['C:\Program Files\Rogue\rogue.exe']
[[machine.registry]]
key = 'HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run'
values = { 'Rogue' = '"C:\Program Files\Rogue\rogue.exe" /tray' }
[[machine.registry]]
key = 'HKEY_CURRENT_USER\Software\Rogue\Settings'
[expect]
found = []
)");
  Diagnostics diagnostics;
  const auto sources = ReadSourceDirectory(dir / "defs", diagnostics);
  const auto database = BuildDatabase(sources, diagnostics);
  ASSERT_TRUE(database.has_value());
  FixtureTrace trace(sources, {"rogue"});
  RunFixture(infected, *database, {"rogue"}, &trace);
  const std::string file = source.generic_string();
  const std::vector<std::string> expected = {
      "trace of rogue:",
      "  scan pass:",
      "    " + file + ":4: GetRegValue key \"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\", "
      "value_name \"Rogue\": holds; 'command' = \"\"C:\\Program Files\\Rogue\\rogue.exe\" /tray\"",
      "  clean pass:",
      "    (preconditions as in the scan pass)",
      "    " + file + ":9: ExtractPathFromCommand command (variable 'command') \"\"C:\\Program Files\\Rogue\\rogue.exe\" /tray\": "
      "'program' = \"C:\\Program Files\\Rogue\\rogue.exe\"",
      "    " + file + ":13: KillProcess program (variable 'program') \"C:\\Program Files\\Rogue\\rogue.exe\": "
      "ended C:\\Program Files\\Rogue\\rogue.exe (pid 1000)",
      "    " + file + ":16: FileDelete path (variable 'program') \"C:\\Program Files\\Rogue\\rogue.exe\": "
      "deleted C:\\Program Files\\Rogue\\rogue.exe",
      "    " + file + ":19: FileDelete path \"%CSIDL_PROGRAM_FILES%\\Rogue\\hook.dll\" -> \"C:\\Program Files\\Rogue\\hook.dll\": "
      "registered for deletion at the next start: C:\\Program Files\\Rogue\\hook.dll",
      "    " + file + ":22: FolderDelete path \"%USERPROFILE%\\Desktop\" -> \"C:\\Users\\User\\Desktop\": refused as protected",
      "    " + file + ":25: FileDelete path \"%CSIDL_APPDATA%\\Rogue\\missing.exe\" -> "
      "\"C:\\Users\\User\\AppData\\Roaming\\Rogue\\missing.exe\": not found",
      "    " + file + ":28: KillProcess program \"%CSIDL_APPDATA%\\Rogue\\none.exe\" -> "
      "\"C:\\Users\\User\\AppData\\Roaming\\Rogue\\none.exe\": nothing to end",
      "    " + file + ":31: RegKeyDelete key \"HKEY_CURRENT_USER\\Software\\Rogue\": "
      "deleted key HKEY_CURRENT_USER\\Software\\Rogue with 1 entry in it",
      "    " + file + ":34: FileDelete path (variable 'spare') (empty): failed: it read an empty variable, so the engine "
      "skipped it",
  };
  EXPECT_EQ(trace.Lines(), expected);
}

// The command prints the trace under a failing fixture only.
TEST(ToolTestCommand, TraceFollowsAFailingFixture) {
  testing::TempDir dir;
  dir.Write("defs/rogue.toml", "name = 'Rogue'\nid = '1'\n[[preconditions]]\ntype = 'FileExist'\n"
                               "path = '%CSIDL_PROGRAM_FILES%\\Rogue\\rogue.exe'\n");
  dir.Write("defs/fixtures/rogue/infected.toml", "[machine]\nfiles = ['C:\\Program Files\\Rogue\\rogue.exe']\n"
                                                  "[expect]\nfound = ['rogue']\n");
  dir.Write("defs/fixtures/rogue/misplaced.toml", "[machine]\nfiles = ['C:\\Program Files\\Rogue 2\\rogue.exe']\n"
                                                   "[expect]\nfound = ['rogue']\n");
  std::ostringstream out, err;
  EXPECT_EQ(RunTest(std::vector<std::string>{(dir / "defs").string(), "--trace"}, out, err), kExitFailure) << err.str();
  const std::string text = out.str();
  const std::string lookup = "FileExist path \"%CSIDL_PROGRAM_FILES%\\Rogue\\rogue.exe\" -> \"C:\\Program Files\\Rogue\\rogue.exe\": ";
  EXPECT_NE(text.find("FAIL " + (dir / "defs/fixtures/rogue/misplaced.toml").generic_string() +
                      "\n    found Definitions differ:\n      - rogue   (expected, not found)\n"
                      "    trace of rogue:\n      scan pass:\n        " +
                      (dir / "defs/rogue.toml").generic_string() + ":3: " + lookup + "not found\n"
                      "      clean pass: not found again, nothing done\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find(lookup + "found"), std::string::npos) << "the passing fixture is not traced:\n" << text;
}

// The Definitions that the Wine test of value repairs builds its program from
// lint clean and pass their fixtures on the simulated machine as well.
TEST(ToolTestCommand, TheRepairDefinitionsOfTheWineTestPassTheirFixtures) {
  const auto dir = std::filesystem::path(__FILE__).parent_path().parent_path() / "e2e" / "repair_definitions";
  const std::vector<std::string> args = {dir.string()};
  std::ostringstream out, err;
  EXPECT_EQ(RunLint(args, out, err), kExitOk) << out.str() << err.str();
  EXPECT_EQ(RunTest(args, out, err), kExitOk) << out.str() << err.str();
  EXPECT_NE(out.str().find(" fixture(s), 0 failed\n"), std::string::npos) << out.str();
}

}  // namespace
}  // namespace quenwick::dbtool::fixture
