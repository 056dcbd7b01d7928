// The byte and text encodings every layer shares: UTF-8 both ways, UTF-16LE
// string bytes and little-endian integers.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/little_endian.h"
#include "base/utf16le.h"
#include "base/utf8.h"

namespace quenwick {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Utf8, DecodesWellFormedTextAndReplacesEachMalformedSequence) {
  struct Case {
    const char* name;
    std::string utf8;
    std::u16string lenient;  // FromUtf8
    bool wellFormed;         // Utf8ToUtf16 accepts it (and gives `lenient`)
  };
  const Case cases[] = {
      {"empty", "", u"", true},
      {"ascii", "abc", u"abc", true},
      {"two bytes", "\xC3\xA9", u"\u00E9", true},
      {"three bytes", "\xE2\x82\xAC", u"\u20AC", true},
      {"four bytes, a surrogate pair", "\xF0\x9F\x98\x80", u"\U0001F600", true},
      {"last code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF", true},
      {"overlong, taken whole", "\xC0\xAFx", u"\uFFFDx", false},
      {"encoded surrogate, taken whole", "\xED\xA0\x80x", u"\uFFFDx", false},
      {"beyond U+10FFFF, taken whole", "\xF4\x90\x80\x80x", u"\uFFFDx", false},
      {"truncated at the end", "a\xE2\x82", u"a\uFFFD\uFFFD", false},
      {"stray continuation", "\x80" "a", u"\uFFFDa", false},
      {"lead before a non-continuation", "\xE2(\xAC", u"\uFFFD(\uFFFD", false},
      {"five-byte lead", "\xF8\x88\x80", u"\uFFFD\uFFFD\uFFFD", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FromUtf8(c.utf8), c.lenient);
    const std::optional<std::u16string> strict = Utf8ToUtf16(c.utf8);
    EXPECT_EQ(strict.has_value(), c.wellFormed);
    if (strict) {
      EXPECT_EQ(*strict, c.lenient);
    }
  }
}

TEST(Utf8, SequencesReportTheirLengthAndValidity) {
  struct Case {
    std::string text;
    std::size_t pos;
    char32_t codePoint;
    std::size_t length;
    bool valid;
  };
  const Case cases[] = {
      {"a", 0, U'a', 1, true},
      {"x\xE2\x82\xAC", 1, U'\u20AC', 3, true},
      {"\xC1\xBF", 0, 0xFFFD, 2, false},
      {"\xE2\x82", 0, 0xFFFD, 1, false},
      {"\xBF", 0, 0xFFFD, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const Utf8Sequence got = DecodeUtf8(c.text, c.pos);
    EXPECT_EQ(got.codePoint, c.codePoint);
    EXPECT_EQ(got.length, c.length);
    EXPECT_EQ(got.valid, c.valid);
  }
}

TEST(Utf8, EncodesUtf16AndReplacesOnlyUnpairedSurrogates) {
  struct Case {
    const char* name;
    std::u16string utf16;
    std::string lenient;  // ToUtf8
    bool whole;           // Utf16ToUtf8 accepts it
  };
  const Case cases[] = {
      {"ascii and two bytes", u"a\u00E9", "a\xC3\xA9", true},
      {"three bytes", u"\u20AC", "\xE2\x82\xAC", true},
      {"pair", u"\U0001F600", "\xF0\x9F\x98\x80", true},
      {"lone high before a letter", std::u16string{0xD800, u'a'}, "\xEF\xBF\xBD" "a", false},
      {"lone low", std::u16string{u'a', 0xDC00}, "a\xEF\xBF\xBD", false},
      {"two highs", std::u16string{0xD83D, 0xD83D}, "\xEF\xBF\xBD\xEF\xBF\xBD", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ToUtf8(c.utf16), c.lenient);
    const std::optional<std::string> strict = Utf16ToUtf8(c.utf16);
    EXPECT_EQ(strict.has_value(), c.whole);
    if (strict) {
      EXPECT_EQ(*strict, c.lenient);
    }
  }
}

TEST(Utf16Le, StringBytesAreLittleEndianUnitsWithOrWithoutATerminator) {
  EXPECT_EQ(Utf16LeBytes(u"A\u1234"), (Bytes{0x41, 0x00, 0x34, 0x12}));
  EXPECT_EQ(TerminatedUtf16LeBytes(u"A\u1234"), (Bytes{0x41, 0x00, 0x34, 0x12, 0x00, 0x00}));
  EXPECT_EQ(TerminatedUtf16LeBytes(u""), (Bytes{0x00, 0x00}));
  Bytes appended{0xFF};
  AppendUtf16Le(appended, u"\u00E9");
  EXPECT_EQ(appended, (Bytes{0xFF, 0xE9, 0x00}));
}

TEST(Utf16Le, TextEndsAtTheFirstZeroOrTheLastWholeUnit) {
  struct Case {
    const char* name;
    Bytes bytes;
    std::u16string text;
  };
  const Case cases[] = {
      {"terminated", {0x61, 0x00, 0x34, 0x12, 0x00, 0x00}, u"a\u1234"},
      {"no terminator", {0x61, 0x00, 0x62, 0x00}, u"ab"},
      {"odd last byte dropped", {0x61, 0x00, 0x62}, u"a"},
      {"stops at an inner zero", {0x61, 0x00, 0x00, 0x00, 0x62, 0x00}, u"a"},
      {"zero high byte is not a terminator", {0x00, 0x01}, u"\u0100"},
      {"empty", {}, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TextFromUtf16Le(c.bytes), c.text);
  }
}

TEST(LittleEndian, IntegersAreReadAndWrittenLowestByteFirst) {
  const Bytes bytes{0x78, 0x56, 0x34, 0x12, 0xF0};
  EXPECT_EQ(LoadLe16(bytes.data()), 0x5678u);
  EXPECT_EQ(LoadLe32(bytes.data()), 0x12345678u);
  EXPECT_EQ(LoadLe32(bytes.data() + 1), 0xF0123456u);

  Bytes stored(7, 0xAA);
  StoreLe32(stored.data() + 1, 0xDEADBEEF);
  StoreLe16(stored.data() + 5, 0x0102);
  EXPECT_EQ(stored, (Bytes{0xAA, 0xEF, 0xBE, 0xAD, 0xDE, 0x02, 0x01}));

  EXPECT_EQ(LittleEndianBytes(0x0807060504030201ull, 8), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(LittleEndianBytes(0x0807060504030201ull, 4), (Bytes{1, 2, 3, 4}));
  Bytes appended{9};
  AppendLittleEndian(appended, 0xABCD, 2);
  EXPECT_EQ(appended, (Bytes{9, 0xCD, 0xAB}));
}

}  // namespace
}  // namespace quenwick
