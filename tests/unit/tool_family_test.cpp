// Family sources: expansion to one Definition per brand, their place in the
// database, the round trip through unpack, fixtures written once for every
// brand, and the catalogue generated from the sources.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include "base/utf8.h"
#include "build_unpack.h"
#include "catalogue.h"
#include "commands.h"
#include "database_input.h"
#include "family_source.h"
#include "source_reader.h"
#include "support/temp_dir.h"

namespace quenwick::dbtool {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kFamily = R"(family = 'Vendor'
brands = [
  { id = '601', name = 'AlphaGuard', references = ['http://example.com/alpha'] },
  { id = '600', name = 'Beta Guard' },
]

[template]
description = '${name}, a brand of the Vendor family.'
references = ['http://example.com/layout']
variables = ['command', 'program']

[[template.preconditions]]
type = 'GetRegValue'
key = 'HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run'
value_name = '${name}.exe'
target = 'command'

[[template.actions]]
type = 'ExtractPathFromCommand'
command = { var = 'command' }
target = 'program'

[[template.actions]]
type = 'KillProcess'
program = { var = 'program' }

[[template.actions]]
type = 'FolderDelete'
path = '%CSIDL_PROGRAM_FILES%\${name} Software'
)";

// A definitions folder with the family between two plain Definitions.
void WriteDefinitions(const testing::TempDir& dir) {
  dir.Write("defs/a-first.toml", "name = 'First'\nid = '1'\n[[preconditions]]\ntype = 'FileExist'\npath = 'C:\\first'\n");
  dir.Write("defs/m-vendor.toml", kFamily);
  dir.Write("defs/z-last.toml", "name = 'Last'\nid = '2'\n[[preconditions]]\ntype = 'FileExist'\npath = 'C:\\last'\n");
}

std::string RunCommand(int (*command)(Arguments, std::ostream&, std::ostream&), std::vector<std::string> args,
                int expectedExit) {
  std::ostringstream out, err;
  EXPECT_EQ(command(args, out, err), expectedExit) << out.str() << err.str();
  return out.str();
}

TEST(ToolFamily, PlaceholdersAreFoundAndFilledWithTheirPlaces) {
  const std::string text = "a = '${name}'\n  b = '${id}${x}' # ${open\n";
  const auto found = FindPlaceholders(text);
  ASSERT_EQ(found.size(), 4u);
  const std::vector<std::tuple<std::string, std::uint32_t, std::uint32_t, bool>> want = {
      {"name", 1, 6, true}, {"id", 2, 8, true}, {"x", 2, 13, true}, {"", 2, 21, false}};
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(std::make_tuple(found[i].name, found[i].pos.line, found[i].pos.column, found[i].closed), want[i]);
  }
  EXPECT_EQ(SubstitutePlaceholders(text, {{"name", "N"}, {"id", "7"}}), "a = 'N'\n  b = '7${x}' # ${open\n");
  EXPECT_EQ(BrandSlug("Quick Heal Cleaner"), "quick-heal-cleaner");
  EXPECT_EQ(BrandSlug("SpywareNo!"), "spywareno");
}

TEST(ToolFamily, EachBrandIsAPlainDefinitionInTheFamilyFilesPlace) {
  testing::TempDir dir;
  WriteDefinitions(dir);
  Diagnostics diagnostics;
  const auto sources = ReadSourceDirectory(dir / "defs", diagnostics);
  EXPECT_FALSE(diagnostics.HasErrors());
  std::vector<std::string> seen;
  for (const auto& s : sources) seen.push_back(s.stem + " " + ToUtf8(s.definition->id) + " " + ToUtf8(s.definition->name));
  const std::vector<std::string> want = {"a-first 1 First", "m-vendor/alphaguard 601 AlphaGuard",
                                         "m-vendor/beta-guard 600 Beta Guard", "z-last 2 Last"};
  EXPECT_EQ(seen, want);
  ASSERT_EQ(sources.size(), 4u);
  EXPECT_EQ(sources[2].description, "Beta Guard, a brand of the Vendor family.");
  EXPECT_EQ(sources[1].brandReferences, std::vector<std::string>{"http://example.com/alpha"});
  EXPECT_EQ(sources[2].definition->actions.size(), 3u);
}

TEST(ToolFamily, MutatedFamilySourcesNeverCrashTheReaderOrTheCatalogue) {
  std::mt19937 random(11);
  for (int round = 0; round < 300; ++round) {
    std::string text(kFamily);
    for (int e = 1 + static_cast<int>(random() % 4); e > 0; --e) {
      const std::size_t at = random() % text.size();
      switch (random() % 3) {
        case 0: text.erase(at, 1 + random() % 8); break;
        case 1: text.insert(at, 1, "'\"[]{}$=\n\\,"[random() % 11]); break;
        default: text[at] = static_cast<char>(random() % 256); break;
      }
    }
    Diagnostics diagnostics;
    const auto sources = ReadSources(text, "m.toml", "m", diagnostics);
    const auto built = BuildDatabase(sources, diagnostics);
    EXPECT_EQ(built.has_value(), !diagnostics.HasErrors());
    if (!built) continue;
    const std::string page = RenderCatalogue(sources);
    for (const auto& source : sources) {
      EXPECT_NE(page.find("| " + source.brand + " |"), std::string::npos) << source.brand;
    }
  }
}

TEST(ToolFamily, UnpackGivesPlainDefinitionsThatBuildTheSameBytes) {
  testing::TempDir dir;
  WriteDefinitions(dir);
  Diagnostics diagnostics;
  const auto built = BuildDatabaseFromDirectory(dir / "defs", diagnostics);
  ASSERT_TRUE(built.has_value());
  std::string error;
  const auto files = UnpackDefinitions(*ParseDefinitions(*built, error));
  ASSERT_EQ(files.size(), 4u);
  for (const auto& file : files) {
    EXPECT_EQ(file.text.find("${"), std::string::npos) << file.text;
    dir.Write("unpacked/" + file.name, file.text);
  }
  EXPECT_NE(files[2].text.find("value_name = 'Beta Guard.exe'"), std::string::npos) << files[2].text;
  EXPECT_NE(files[2].text.find("path = '%CSIDL_PROGRAM_FILES%\\Beta Guard Software'"), std::string::npos);
  EXPECT_EQ(BuildDatabaseFromDirectory(dir / "unpacked", diagnostics), built);
  const std::string listed = RunCommand(RunList, {(dir / "defs").string()}, kExitOk);
  EXPECT_NE(listed.find("   3  600     vars 2   pre 1  act 3   Beta Guard\n"), std::string::npos) << listed;
}

TEST(ToolFamily, FixturesWrittenOnceRunForEachBrand) {
  struct Case {
    std::string fixture;
    std::vector<std::string> lines;  // expected in the output
  };
  const std::string infected = "[machine]\nfiles = ['C:\\Program Files\\${name} Software\\${name}.exe']\n"
                               "processes = ['C:\\Program Files\\${name} Software\\${name}.exe']\n"
                               "[[machine.registry]]\nkey = 'HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run'\n"
                               "values = { '${name}.exe' = '\"C:\\Program Files\\${name} Software\\${name}.exe\" -min' }\n"
                               "[expect]\nfound = ['${handle}']\ngone = ['C:\\Program Files\\${name} Software']\n"
                               "ended = ['C:\\Program Files\\${name} Software\\${name}.exe']\n";
  const std::vector<Case> cases = {
      {"family = 'm-vendor'\n" + infected, {"PASS @ [AlphaGuard]", "PASS @ [Beta Guard]", "2 fixture(s), 0 failed"}},
      {"family = 'm-vendor'\nbrands = ['Beta Guard']\n" + infected, {"PASS @ [Beta Guard]", "1 fixture(s), 0 failed"}},
      {"family = 'm-vendor'\n[expect]\nfound = ['m-vendor/alphaguard']\n",
       {"FAIL @ [AlphaGuard]", "  - m-vendor/alphaguard   (expected, not found)", "FAIL @ [Beta Guard]"}},
      {"family = 'm-vendor'\nbrands = ['Gamma']\n[expect]\n", {"@:1:10: error: 'Gamma' is no brand of that family"}},
      {"family = 'vendor'\n[expect]\n", {"@:1:10: error: 'vendor' is no family source with brands"}},
      {"family = 'm-vendor'\n[expect]\nfound = ['${brand}']\n", {"@:3:11: error: a fixture for a family knows"}},
      {"[expect]\nfound = ['${handle}']\n", {"@:2:11: error: ${...} stands for a brand only in a fixture"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fixture);
    testing::TempDir dir;
    WriteDefinitions(dir);
    const fs::path file = dir.Write("defs/fixtures/m-vendor/case.toml", c.fixture);
    const bool passes = c.lines.back().ends_with(", 0 failed");
    const std::string out = RunCommand(RunTest, {(dir / "defs").string()}, passes ? kExitOk : kExitFailure);
    for (std::string line : c.lines) {
      if (const auto at = line.find('@'); at != std::string::npos) line.replace(at, 1, file.generic_string());
      EXPECT_NE(out.find(line), std::string::npos) << line << "\nin:\n" << out;
    }
  }
}

TEST(ToolCatalogue, ShowsEachDefinitionAndChecksThatThePageIsCurrent) {
  testing::TempDir dir;
  WriteDefinitions(dir);
  const std::string page = (dir / "catalogue.md").string();
  RunCommand(RunCatalogue, {(dir / "defs").string(), "-o", page}, kExitOk);
  std::ifstream in(page);
  const std::string text(std::istreambuf_iterator<char>(in), {});
  for (const std::string_view expected : {
           "Quenwick knows 4 rogue applications (2 of them brands of a family",
           "### First\n\n- **Finds**:\n  - the file `C:\\first`\n- **Sources**: none given\n",
           "### The Vendor family (2 brands)\n\n\\<Brand>, a brand of the Vendor family.\n\n"
           "Each brand below is a Definition of its own. They rest on the published layout of the family",
           "  - the value `<Brand>.exe` in the key `HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run`\n"
           "- **Ends**:\n  - the program that the value `<Brand>.exe` in the key",
           "  - the folder `%CSIDL_PROGRAM_FILES%\\<Brand> Software`, with everything in it\n"
           "- **Sources** of the layout: <http://example.com/layout>\n",
           "| AlphaGuard | <http://example.com/alpha> |\n| Beta Guard | none given |\n",
       }) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\nin:\n" << text;
  }
  RunCommand(RunCatalogue, {(dir / "defs").string(), "-o", page, "--check"}, kExitOk);
  dir.Write("defs/z-last.toml", "name = 'Renamed'\nid = '2'\n[[preconditions]]\ntype = 'FileExist'\npath = 'C:\\last'\n");
  RunCommand(RunCatalogue, {(dir / "defs").string(), "-o", page, "--check"}, kExitFailure);
}

}  // namespace
}  // namespace quenwick::dbtool
