// Paths resolved as text: "." and "..", separators and the long-path prefix,
// never the file system.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/lexical_path.h"
#include "base/utf8.h"

namespace quenwick {
namespace {

TEST(LexicalPath, DotsAreResolvedBelowARootThatDotDotCannotClimb) {
  struct Case {
    std::u16string in;
    std::u16string out;
  };
  const Case cases[] = {
      {u"C:\\a\\..\\b", u"C:\\b"},
      {u"C:\\a\\.\\b\\", u"C:\\a\\b"},
      {u"C:\\Program Files\\Rogue\\..\\..\\..\\..\\x", u"C:\\x"},
      {u"C:", u"C:\\"},
      {u"C:\\", u"C:\\"},
      {u"c:/a//b/", u"c:\\a\\b"},
      {u"\\\\?\\C:\\a\\..\\b", u"C:\\b"},
      {u"\\\\?\\UNC\\srv\\share\\..\\x", u"\\\\srv\\share\\x"},
      {u"\\\\srv\\share\\..\\..\\x", u"\\\\srv\\share\\x"},
      {u"\\\\srv\\share\\a\\..\\x", u"\\\\srv\\share\\x"},
      {u"\\a\\..\\..\\b", u"\\b"},
      {u"a\\..\\..\\b", u"b"},
      {u"", u""},
      // Only dots are resolved: names ending in a dot or a blank stay, and
      // "..." is a name.
      {u"C:\\Rogue Ltd.\\x ", u"C:\\Rogue Ltd.\\x "},
      {u"C:\\a\\...\\b", u"C:\\a\\...\\b"},
      {u"C:\\Mixed\\CASE", u"C:\\Mixed\\CASE"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ResolvePathDots(c.in), c.out) << ToUtf8(c.in);
  }
}

TEST(LexicalPath, ResolveDotsSeparatesAtBackslashesOnlyAndKeepsAPrefix) {
  EXPECT_EQ(ResolveDots(u"C:\\a/..\\b"), u"C:\\a/..\\b");  // "a/.." is one name
  EXPECT_EQ(ResolveDots(u"C:\\a\\b/c\\..\\d"), u"C:\\a\\d");
  EXPECT_EQ(ResolveDots(u"\\\\?\\C:\\a\\..\\b"), u"\\\\?\\C:\\b");
}

TEST(LexicalPath, NamesAreSplitWithFixedLeadingNames) {
  using Names = std::vector<std::u16string_view>;
  EXPECT_EQ(ResolvedNames(u"a\\\\b\\.\\..\\c\\"), (Names{u"a", u"c"}));
  EXPECT_EQ(ResolvedNames(u"a\\..\\..\\b"), (Names{u"b"}));
  EXPECT_EQ(ResolvedNames(u"srv\\share\\..\\..\\x", 2), (Names{u"srv", u"share", u"x"}));
  EXPECT_EQ(ResolvedNames(u""), Names{});
}

TEST(LexicalPath, DotNamesAreFoundOnlyAsWholeNames) {
  struct Case {
    std::u16string path;
    bool has;
  };
  const Case cases[] = {
      {u"a\\.\\b", true},  {u"a\\..", true},     {u"..", true},      {u".", true},
      {u"a\\..b", false},  {u"a.\\b", false},    {u"a\\...", false}, {u"", false},
      {u"\\a\\b\\", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HasDotName(c.path), c.has) << ToUtf8(c.path);
  }
}

TEST(LexicalPath, TheLongPrefixIsDroppedAndSlashesTurned) {
  EXPECT_EQ(WithoutLongPrefix(u"\\\\?\\C:\\x"), u"C:\\x");
  EXPECT_EQ(WithoutLongPrefix(u"\\\\?\\UNC\\srv\\share\\x"), u"\\\\srv\\share\\x");
  EXPECT_EQ(WithoutLongPrefix(u"\\\\srv\\share"), u"\\\\srv\\share");
  EXPECT_EQ(WithBackslashes(u"C:/a\\b/"), u"C:\\a\\b\\");
}

}  // namespace
}  // namespace quenwick
