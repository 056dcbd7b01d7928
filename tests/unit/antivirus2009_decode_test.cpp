// Decoding the Antivirus2009 family's program paths, and the program-path test.
#include "elements/antivirus2009_decode.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "support/family_encoding.h"

namespace quenwick {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::EncodeFamilyPath;
using testing::ReversedTables;

// Entries of ReversedTables() used below, worked out by hand:
// table t maps v to (63 - v + 5t) mod 64.
struct BytesCase {
  const char* label;
  std::u16string text;
  Bytes want;
};

class DecodePathBytesTest : public ::testing::TestWithParam<BytesCase> {};

TEST_P(DecodePathBytesTest, Decodes) {
  const BytesCase& c = GetParam();
  EXPECT_EQ(DecodePathBytes(c.text, ReversedTables()), c.want);
}

INSTANTIATE_TEST_SUITE_P(
    HandWorked, DecodePathBytesTest,
    ::testing::Values(
        // ";:::" is the accumulator 1: bytes 1, 0, 0 through tables 0, 1, 2.
        BytesCase{"table0", u":;:::", {62, 4, 9}},
        // "<" starts at table 2: entries (2,1), (3,0), (4,0).
        BytesCase{"table2", u"<;:::", {8, 14, 19}},
        // "I" starts at table 15 and wraps to 0 and 1.
        BytesCase{"wrapsAfter15", u"I;:::", {9, 63, 4}},
        // "!" is -25: its sign bits fill every place above its own, so the
        // bytes are E7 FF FF and keep their top two bits.
        BytesCase{"negativeSpills", u":!:::", {0xC0 | 24, 0xC0 | 5, 0xC0 | 10}},
        // "z" (64) in the second place carries into the third: byte 1 is 0x10.
        BytesCase{"largeCarries", u"::z::", {63, 52, 9}},
        // The table runs on from one group to the next: (3,1), (4,0), (5,0).
        BytesCase{"tableRunsOn", u":;:::;:::", {62, 4, 9, 13, 19, 24}},
        // Each trailing "!" drops one byte from the end.
        BytesCase{"oneBang", u":;:::!", {62, 4}}, BytesCase{"twoBangs", u":;:::!!", {62}},
        BytesCase{"moreBangsThanBytes", u":;:::!!!!", {}},
        // An incomplete last group ends the decoding; what came before stays.
        BytesCase{"incompleteGroup", u":;:::;:", {62, 4, 9}},
        BytesCase{"incompleteGroupWithBang", u":;:::;!", {62, 4}},
        // A group may reach into the trailing "!"s when it begins before them.
        BytesCase{"groupOverBangs", u":;:::;:!!", {62, 4, 9, 13}}, BytesCase{"empty", u"", {}},
        BytesCase{"selectorOnly", u":", {}},
        // The first character is never counted as padding.
        BytesCase{"bangSelectorOnly", u"!", {}}, BytesCase{"onlyBangs", u":!!!!", {}},
        // A selector outside ":" to "I" names no table: nothing is decoded.
        BytesCase{"selectorJ", u"J;:::", {}}, BytesCase{"selectorBelowColon", u"9;:::", {}},
        BytesCase{"selectorSpace", u" ;:::", {}}, BytesCase{"selectorWide", u"\u4E00;:::", {}}),
    [](const auto& testCase) { return std::string(testCase.param.label); });

TEST(DecodePathTest, RoundTripsEncodedPathsFromEveryStartingTable) {
  auto machine = sim::SimMachine::Standard();
  sim::ScopedPlatform scope(*machine);
  const std::string paths[] = {"C:\\Program Files\\av2009\\av.exe", "D:/x.EXE", "C:\\ab.exe",
                               "C:\\abc.exe", "C:\\abcd.exe"};
  for (const std::string& path : paths) {
    for (char16_t selector = u':'; selector <= u'I'; ++selector) {
      SCOPED_TRACE(path + " from table " + std::to_string(selector - u':'));
      const std::u16string encoded = EncodeFamilyPath(path, selector);
      EXPECT_EQ(DecodePath(encoded, ReversedTables()), std::u16string(path.begin(), path.end()));
    }
  }
}

TEST(DecodePathTest, DecodedTextEndsAtAZeroByte) {
  auto machine = sim::SimMachine::Standard();
  sim::ScopedPlatform scope(*machine);
  const std::string withZero("C:\\a\0b.exe", 10);
  EXPECT_EQ(DecodePath(EncodeFamilyPath(withZero), ReversedTables()), u"C:\\a");
}

TEST(DecodePathTest, NothingDecodedMakesNoConversionCall) {
  auto machine = sim::SimMachine::Standard();
  sim::ScopedPlatform scope(*machine);
  EXPECT_EQ(DecodePath(u"J;:::", ReversedTables()), u"");
  EXPECT_EQ(DecodePath(u"", ReversedTables()), u"");
  EXPECT_EQ(machine->CallCount("MultiByteToWideChar"), 0u);
}

// Hostile texts of every length: decoding stays inside the text and the
// table block (the sanitizer build checks the reads) and never gives more
// characters than the text has.
TEST(DecodePathTest, ArbitraryTextsStayWithinBounds) {
  auto machine = sim::SimMachine::Standard();
  sim::ScopedPlatform scope(*machine);
  std::mt19937 random(20091208);
  const char16_t alphabet[] = {u'!', u':', u'I',      u'J',      u'\0',
                               u'9', u'z', u'\xFFFF', u'\xD800', u'A'};
  for (int round = 0; round < 2000; ++round) {
    std::u16string text(random() % 24, u' ');
    for (char16_t& c : text) {
      c = (random() % 2) ? alphabet[random() % std::size(alphabet)]
                         : static_cast<char16_t>(random() & 0xFFFF);
    }
    const Bytes bytes = DecodePathBytes(text, ReversedTables());
    const std::u16string decoded = DecodePath(text, ReversedTables());
    ASSERT_LE(bytes.size(), text.size());
    ASSERT_LE(decoded.size(), text.size());
  }
}

struct ExePathCase {
  const char* label;
  std::u16string text;
  std::u16string suffix;
  bool want;
};

class IsExePathTest : public ::testing::TestWithParam<ExePathCase> {};

TEST_P(IsExePathTest, Tells) {
  const ExePathCase& c = GetParam();
  EXPECT_EQ(IsExePath(c.text, c.suffix), c.want);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IsExePathTest,
    ::testing::Values(ExePathCase{"plain", u"C:\\Program Files\\av\\av.exe", u".exe", true},
                      ExePathCase{"forwardSlashUpperSuffix", u"C:/av/AV.EXE", u".exe", true},
                      ExePathCase{"anyFirstCharacter", u"\x263A:\\av.exe", u".exe", true},
                      ExePathCase{"upperSuffixParameter", u"C:\\av.exe", u".EXE", true},
                      ExePathCase{"fourCharactersOnly", u"a:/B", u"a:/b", true},
                      ExePathCase{"networkPath", u"\\\\server\\av.exe", u".exe", false},
                      ExePathCase{"noSeparatorAfterColon", u"C:av.exe", u".exe", false},
                      ExePathCase{"driveRoot", u"C:\\", u".exe", false},
                      ExePathCase{"empty", u"", u".exe", false},
                      ExePathCase{"otherEnding", u"C:\\av.dll", u".exe", false},
                      ExePathCase{"trailingSpace", u"C:\\av.exe ", u".exe", false},
                      ExePathCase{"nonAsciiCaseDiffers", u"C:\\av.\x00C9XE", u".\x00E9xe", false},
                      ExePathCase{"shortSuffixNeverMatches", u"C:\\av.exe", u"exe", false},
                      ExePathCase{"longSuffixNeverMatches", u"C:\\av.exes", u".exes", false},
                      ExePathCase{"emptySuffixNeverMatches", u"C:\\av", u"", false}),
    [](const auto& testCase) { return std::string(testCase.param.label); });

}  // namespace
}  // namespace quenwick
