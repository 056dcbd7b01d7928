// The syntax check that stands before the TOML library: it accepts every form
// TOML allows, and stops at the first fault of inputs the library could not be
// trusted with, at the right place.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "fixture/fixture.h"
#include "source_reader.h"
#include "toml_syntax.h"

namespace quenwick::dbtool {
namespace {

TEST(TomlSyntax, EveryFormTomlAllowsIsAccepted) {
  const char* const kValid[] = {
      "",
      "\xEF\xBB\xBF# only a comment\r\n\n",
      "a = 'x'  # comment\nb.c . d = \"y\\u00e9\\U0001F600\\t\"\n'q k'.\"r\" = true\n",
      "s = '''\nline 'one'\n''''\nt = \"\"\"a \\\n   b\"\"\"\"\"\n",
      "i = [1_000, 0xDEAD_beef, 0o7, 0b1, -3, +4]\nf = [1.5, -2e10, 3.0E+2, inf, -nan]\n",
      "d = 2009-05-17\nt = 07:32:00.5\ndt = [1979-05-27 07:32:00Z, 1979-05-27T00:32:00-07:00]\n",
      "[table]\n[ a . b ]\n[[list]]\nx = { y = [1, [2, 3],\n  # between\n 4,], z = {} }\n",
      "k = 'caf\xC3\xA9'\n",
  };
  for (const char* text : kValid) {
    const auto error = FindTomlSyntaxError(text);
    EXPECT_FALSE(error.has_value()) << text << "\n" << (error ? error->message : "");
  }
}

TEST(TomlSyntax, FirstFaultIsReportedWhereItIs) {
  struct Case {
    const char* text;
    std::uint32_t line, column;
  };
  const Case kFaults[] = {
      {"[[[x]]\n", 1, 3},           // stopped the library in a debug build
      {"a = [\n  }\n", 2, 3},       // likewise
      {"a = [1,,2]\n", 1, 8},
      {"[ [x]]\n", 1, 3},
      {"[x]]\n", 1, 4},
      {"a = {b = 1,}\n", 1, 12},
      {"a = {b = 1,\n c = 2}\n", 1, 12},
      {"a = 'x\nb = 1\n", 1, 7},
      {"a = \"\"\"never closed\n", 2, 1},
      {"a = '''x''''''\n", 1, 9},
      {"a = \"\\q\"\n", 1, 7},
      {"a = \"\\uD800\"\n", 1, 12},
      {"a = 1 b = 2\n", 1, 7},
      {"a = 01\n", 1, 5},
      {"a = 1__0\n", 1, 5},
      {"a = 2009-13-01\n", 1, 5},
      {"a = tru\n", 1, 5},
      {"a = 'x\x01'\n", 1, 7},
      {"a = 'x'\r b = 1\n", 1, 8},
      {"a = '\xC3\xA9\xFF'\n", 1, 7},
      {"a = '\xC0\xAF'\n", 1, 6},
      {"= 1\n", 1, 1},
      {"a 1\n", 1, 3},
  };
  for (const Case& fault : kFaults) {
    SCOPED_TRACE(fault.text);
    const auto error = FindTomlSyntaxError(fault.text);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->pos, (SourcePos{fault.line, fault.column})) << error->message;
  }
  // Nesting is bounded, so a hostile file cannot exhaust the stack.
  EXPECT_TRUE(FindTomlSyntaxError("a = " + std::string(100000, '[')).has_value());
}

// Inputs the readers' fuzzer once found, replayed: each is a syntax error for
// both readers (and a debug build, whose assertions are live, stays up).
TEST(TomlSyntax, FuzzFindingsAreSyntaxErrors) {
  const auto folder = std::filesystem::path(__FILE__).parent_path().parent_path() / "fuzz" /
                      "regressions" / "read_sources";
  int replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    SCOPED_TRACE(entry.path().string());
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    Diagnostics sourceDiagnostics, fixtureDiagnostics;
    EXPECT_FALSE(ReadSourceText(text.str(), "f.toml", sourceDiagnostics).has_value());
    EXPECT_FALSE(fixture::ReadFixtureText(text.str(), "f.toml", fixtureDiagnostics).has_value());
    ASSERT_TRUE(sourceDiagnostics.HasErrors());
    EXPECT_EQ(sourceDiagnostics.list().front().code, "toml-syntax");
    ++replayed;
  }
  EXPECT_GT(replayed, 0);
}

}  // namespace
}  // namespace quenwick::dbtool
