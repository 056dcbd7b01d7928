// The linter against golden files: tests/tool/lint/<case>/ holds sources (and
// fixtures/, when the case is about them) and expected.txt, the linter's
// exact output for them (file names relative to the case folder, the folder
// itself "."). A new fault is a new case folder, not new code.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "commands.h"
#include "support/temp_dir.h"

namespace quenwick::dbtool {
namespace {

namespace fs = std::filesystem;

fs::path GoldenRoot() { return fs::path(__FILE__).parent_path().parent_path() / "tool" / "lint"; }

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

struct LintRun {
  int exitCode;
  std::string output;
};

// Lints `target` (a folder, or one file of `dir`); names are shown relative to `dir`.
LintRun Lint(const fs::path& dir, std::vector<std::string> extra = {}, const fs::path& target = {}) {
  std::vector<std::string> args = {(target.empty() ? dir : target).generic_string()};
  args.insert(args.end(), extra.begin(), extra.end());
  std::ostringstream out, err;
  const int code = RunLint(args, out, err);
  return {code, ReplaceAll(ReplaceAll(out.str(), dir.generic_string() + "/", ""), dir.generic_string(), ".")};
}

std::vector<fs::path> GoldenCases() {
  std::vector<fs::path> cases;
  for (const auto& entry : fs::directory_iterator(GoldenRoot())) {
    if (entry.is_directory()) cases.push_back(entry.path());
  }
  std::sort(cases.begin(), cases.end());
  return cases;
}

TEST(ToolLint, GoldenCases) {
  const auto cases = GoldenCases();
  ASSERT_GE(cases.size(), 10u);
  for (const auto& dir : cases) {
    SCOPED_TRACE(dir.filename().string());
    const std::string expected = ReadAll(dir / "expected.txt");
    const LintRun run = Lint(dir);
    EXPECT_EQ(run.output, expected);
    const bool errors = expected.find(": error: ") != std::string::npos;
    EXPECT_EQ(run.exitCode, errors ? kExitFailure : kExitOk);
  }
}

// Every fault the linter promises to catch appears in some golden case.
TEST(ToolLint, EveryPromisedFaultHasAGoldenCase) {
  const std::set<std::string> promised = {
      "element-outside-list", "index-beyond-table",     "unwritten-variable",
      "unknown-registry-root", "unknown-path-macro",    "macro-not-at-start",
      "wildcard-in-path",     "asd-pattern-case",       "asd-pattern-empty",
      "exe-suffix-length",    "key-prefix-backslash",   "no-preconditions",
      "deletes-system-location", "kills-system-process", "duplicate-id",
      "unknown-placeholder",  "duplicate-brand",        "bad-brand-name",
      "template-ignores-brand",
      "repair-not-default",   "repair-marker-windows-name", "repair-empty-text",
      "unclosed-macro",       "macro-without-backslash", "control-character-in-path",
      "fixed-drive-letter",   "no-fixture",             "no-found-fixture",
      "no-lookalike-fixture", "no-definitions",         "unknown-key",
      "unknown-element-type",
  };
  std::set<std::string> seen;
  for (const auto& dir : GoldenCases()) {
    std::istringstream lines(ReadAll(dir / "expected.txt"));
    for (std::string line; std::getline(lines, line);) {
      const auto open = line.rfind(" [");
      if (open != std::string::npos && line.ends_with("]")) seen.insert(line.substr(open + 2, line.size() - open - 3));
    }
  }
  for (const auto& code : promised) EXPECT_TRUE(seen.count(code)) << code;
  // ... and every code that any case shows is explained for maintainers.
  const std::string codes = ReadAll(GoldenRoot().parent_path().parent_path().parent_path() / "docs" / "lint-codes.md");
  for (const auto& code : seen) EXPECT_NE(codes.find("`" + code + "`"), std::string::npos) << code;
}

TEST(ToolLint, JsonOutputCarriesPlaceSeverityAndCode) {
  const fs::path dir = GoldenRoot() / "asd-pattern";
  const LintRun run = Lint(dir, {"--format", "json"});
  EXPECT_EQ(run.exitCode, kExitFailure);
  EXPECT_EQ(run.output.front(), '[');
  EXPECT_NE(run.output.find("{\"file\": \"rogue.toml\", \"line\": 11, \"column\": 11, \"severity\": \"error\", "
                            "\"code\": \"asd-pattern-empty\""),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("\"message\": \"the pattern \\\"\\\\Advansed Spyware Detector\\\\\\\" holds"),
            std::string::npos)
      << run.output;
}

TEST(ToolLint, WarningsFailOnlyWithWerror) {
  testing::TempDir dir;
  dir.Write("spare.toml",
            "name = 'Spare'\nid = '1'\nvariables = ['spare']\n"
            "[[preconditions]]\ntype = 'RegKeyExist'\nkey = 'HKEY_CURRENT_USER\\Software\\Rogue'\n");
  dir.Write("fixtures/spare/infected.toml",
            "[machine]\nregistry = [{ key = 'HKEY_CURRENT_USER\\Software\\Rogue' }]\n[expect]\nfound = ['spare']\n");
  dir.Write("fixtures/spare/clean.toml", "[expect]\nfound = []\n");
  const LintRun lenient = Lint(dir.path());
  EXPECT_EQ(lenient.exitCode, kExitOk);
  EXPECT_EQ(lenient.output,
            "spare.toml:3:14: warning: the variable 'spare' is never used [unused-variable]\n"
            "0 error(s), 1 warning(s)\n");
  EXPECT_EQ(Lint(dir.path(), {"--werror"}).exitCode, kExitFailure);
}

// One file is checked against its folder: an id it shares with a file that
// sorts before it is reported on it, with the next free id, and the other
// files' own faults are left out.
TEST(ToolLint, OneFileIsCheckedAgainstItsFolder) {
  const fs::path dir = GoldenRoot() / "duplicate-id";
  const LintRun first = Lint(dir, {"--format=json"}, dir / "first.toml");
  EXPECT_EQ(first.exitCode, kExitFailure);
  EXPECT_NE(first.output.find("{\"file\": \"first.toml\", \"line\": 2, \"column\": 6, \"severity\": \"error\", "
                              "\"code\": \"duplicate-id\", \"message\": \"the id \\\"13\\\" is already used by second.toml; "
                              "the next free id is 14\"}"),
            std::string::npos)
      << first.output;
  EXPECT_EQ(first.output.find("\"file\": \"second.toml\""), std::string::npos) << first.output;
  const LintRun third = Lint(dir, {}, dir / "third.toml");
  EXPECT_EQ(third.exitCode, kExitOk) << third.output;
  EXPECT_TRUE(third.output.starts_with("third.toml:1:8: warning: no fixture tests 'third'")) << third.output;
  EXPECT_EQ(third.output.find("second.toml"), std::string::npos) << third.output;
}

TEST(ToolLint, RepositoryDefinitionsAreClean) {
  const fs::path definitions = GoldenRoot().parent_path().parent_path().parent_path() / "definitions";
  const LintRun run = Lint(definitions, {"--werror"});
  EXPECT_EQ(run.exitCode, kExitOk) << run.output;
}

}  // namespace
}  // namespace quenwick::dbtool
