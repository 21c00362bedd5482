// The portable text helpers: UTF-8 and UTF-16, the block-wise search, hex
// scanning, number and message formatting, and the folding tables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Text.h"
#include "tests/TestSupport.h"

namespace hivemend {
namespace {

using test::Show;

std::string Units(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out += ToUtf8(Hex(c, true)) + " ";
  return out;
}

TEST(Text, FromUtf8ReplacesEachBadByteAndKeepsGoing) {
  const struct {
    int line;
    std::string utf8;
    std::u16string utf16;
  } cases[] = {
      {__LINE__, "", u""},
      {__LINE__, "A\x7F", u"A\u007F"},
      {__LINE__, "\xC2\x80\xDF\xBF", u"\u0080\u07FF"},                 // two-byte limits
      {__LINE__, "\xE0\xA0\x80\xEF\xBF\xBF", u"\u0800\uFFFF"},         // three-byte limits
      {__LINE__, "\xF0\x90\x80\x80", u"\U00010000"},                     // a surrogate pair
      {__LINE__, "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
      {__LINE__, "\xC0\x80", u"\uFFFD\uFFFD"},                           // overlong NUL
      {__LINE__, "\xE0\x9F\xBF", u"\uFFFD\uFFFD\uFFFD"},                 // overlong three bytes
      {__LINE__, "\xF0\x8F\xBF\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},       // overlong four bytes
      {__LINE__, "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},                 // an encoded surrogate
      {__LINE__, "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},       // above U+10FFFF
      {__LINE__, "\x80" "A", u"\uFFFDA"},                                 // a lone continuation
      {__LINE__, "\xF8\x88\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},  // five-byte form
      {__LINE__, "\xE2\x82" "A", u"\uFFFD\uFFFDA"},                      // cut short before a letter
      {__LINE__, "\xE2\x82", u"\uFFFD\uFFFD"},                           // cut short at the end
      {__LINE__, std::string("a\0b", 3), std::u16string(u"a\0b", 3)},     // NUL is a character
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    EXPECT_EQ(Units(FromUtf8(c.utf8)), Units(c.utf16));
  }
}

TEST(Text, ToUtf8WritesUnpairedSurrogatesAsReplacement) {
  const struct {
    int line;
    std::u16string utf16;
    std::string utf8;
  } cases[] = {
      {__LINE__, u"A\u00E9\u20AC", "A\xC3\xA9\xE2\x82\xAC"},
      {__LINE__, u"\U0001F600", "\xF0\x9F\x98\x80"},
      {__LINE__, std::u16string(1, char16_t{0xD83D}), "\xEF\xBF\xBD"},          // high at the end
      {__LINE__, std::u16string{char16_t{0xD83D}, u'A'}, "\xEF\xBF\xBD" "A"},  // high before a letter
      {__LINE__, std::u16string{char16_t{0xDE00}, char16_t{0xD83D}}, "\xEF\xBF\xBD\xEF\xBF\xBD"},  // reversed
      {__LINE__, std::u16string{char16_t{0xD83D}, char16_t{0xD83D}, char16_t{0xDE00}},
       "\xEF\xBF\xBD\xF0\x9F\x98\x80"},  // the second high pairs
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    EXPECT_EQ(ToUtf8(c.utf16), c.utf8);
  }
  // Every character of the basic plane but the surrogates comes back.
  for (char32_t cp = 0; cp < 0x10000; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    const std::u16string one(1, static_cast<char16_t>(cp));
    ASSERT_EQ(FromUtf8(ToUtf8(one)), one) << "U+" << Show(Hex(cp, true));
  }
}

// The search looks at blocks of eight units: every length around the block
// size, with the unit at every position (last of a block included), alone and
// followed by a second one, for the two units that decoding and parsing look
// for.
TEST(Text, FindUnitFindsTheFirstAtEveryPosition) {
  for (char16_t wanted : {u'\0', u'\\'}) {
    for (size_t length = 0; length <= 41; ++length) {
      const std::u16string none(length, u'a');
      ASSERT_EQ(FindUnit(none, wanted), std::u16string_view::npos) << "length " << length;
      for (size_t at = 0; at < length; ++at) {
        std::u16string text = none;
        text[at] = wanted;
        ASSERT_EQ(FindUnit(text, wanted), at) << "length " << length << ", at " << at;
        if (at + 1 < length) {
          text[length - 1] = wanted;
          ASSERT_EQ(FindUnit(text, wanted), at) << "length " << length << ", at " << at << " and at the end";
        }
      }
    }
  }
  // A view into a longer text ends where the view ends.
  const std::u16string text = u"abcdefgh\\";
  EXPECT_EQ(FindUnit(std::u16string_view(text).substr(0, 8), u'\\'), std::u16string_view::npos);
}

TEST(Text, ScanHex32ReadsLikePercentX) {
  const struct {
    int line;
    std::u16string text;
    std::uint32_t value;
    bool found;
  } cases[] = {
      {__LINE__, u"", 0, false},
      {__LINE__, u"1f", 0x1F, true},
      {__LINE__, u" \t\r\n1F", 0x1F, true},
      {__LINE__, u"0x1f", 0x1F, true},
      {__LINE__, u"0XaB", 0xAB, true},
      {__LINE__, u"0x", 0, true},   // the 0 is a digit; x ends it
      {__LINE__, u"0xg", 0, true},
      {__LINE__, u"x1", 0, false},
      {__LINE__, u"-", 0, false},
      {__LINE__, u"+a", 0xA, true},
      {__LINE__, u"-1", 0xFFFFFFFFu, true},
      {__LINE__, u" -0x10", 0xFFFFFFF0u, true},
      {__LINE__, u"ffffffff", 0xFFFFFFFFu, true},
      {__LINE__, u"100000000", 0, true},           // wraps at 32 bits
      {__LINE__, u"123456789", 0x23456789u, true},  // the ninth digit pushes the first out
      {__LINE__, u"00000000000000000001", 1, true},
      {__LINE__, u"12,34", 0x12, true},
      {__LINE__, u"\u00A01", 1, true},              // the runtime's white space
      {__LINE__, u"\uFF11", 0, false},              // a full-width digit is no digit
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    bool found = !c.found;
    EXPECT_EQ(ScanHex32(c.text, &found), c.value);
    EXPECT_EQ(found, c.found);
  }
}

TEST(Text, NumbersAndMessages) {
  EXPECT_EQ(Decimal(0), u"0");
  EXPECT_EQ(Decimal(1000), u"1000");
  EXPECT_EQ(Decimal(18446744073709551615u), u"18446744073709551615");
  EXPECT_EQ(Hex(0, false), u"0");
  EXPECT_EQ(Hex(0xABCDEF0123456789u, false), u"abcdef0123456789");
  EXPECT_EQ(Hex(0xFFFFFFFFFFFFFFFFu, true), u"FFFFFFFFFFFFFFFF");

  const struct {
    int line;
    std::u16string format;
    std::vector<std::u16string_view> args;
    std::u16string text;
  } cases[] = {
      {__LINE__, u"Read %u lines from %s", {u"12", u"C:\\a.reg"}, u"Read 12 lines from C:\\a.reg"},
      {__LINE__, u"%s%s", {u"a", u"b"}, u"ab"},
      {__LINE__, u"%s and %s", {u"a"}, u"a and "},        // a missing argument is empty
      {__LINE__, u"%s", {u"a", u"b"}, u"a"},              // spare arguments are ignored
      {__LINE__, u"%s", {u"%u"}, u"%u"},                  // arguments are not formats
      {__LINE__, u"100% %d %", {u"x"}, u"100% %d %"},     // other markers stay as they are
      {__LINE__, u"0x%x", {u"x"}, u"0x%x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    std::u16string text;
    switch (c.args.size()) {
      case 1: text = FormatMessageText(c.format, {c.args[0]}); break;
      case 2: text = FormatMessageText(c.format, {c.args[0], c.args[1]}); break;
      default: FAIL();
    }
    EXPECT_EQ(Show(text), Show(c.text));
  }
}

TEST(Text, FoldingTables) {
  // FoldAscii and the comparisons built on it fold only A to Z.
  const struct {
    int line;
    char16_t upper, lower;
  } registry_pairs[] = {
      {__LINE__, u'A', u'a'},           {__LINE__, u'Z', u'z'},
      {__LINE__, 0x00C0, 0x00E0},       {__LINE__, 0x00DE, 0x00FE},  // Latin-1
      {__LINE__, 0x0100, 0x0101},       {__LINE__, 0x0132, 0x0133},  // Latin Extended-A, even upper
      {__LINE__, 0x0139, 0x013A},       {__LINE__, 0x0147, 0x0148},  // odd upper
      {__LINE__, 0x014A, 0x014B},       {__LINE__, 0x0176, 0x0177},
      {__LINE__, 0x0178, 0x00FF},                                    // Y with diaeresis
      {__LINE__, 0x0179, 0x017A},       {__LINE__, 0x017D, 0x017E},
      {__LINE__, 0x0391, 0x03B1},       {__LINE__, 0x03AB, 0x03CB},  // Greek
      {__LINE__, 0x0400, 0x0450},       {__LINE__, 0x040F, 0x045F},  // Cyrillic
      {__LINE__, 0x0410, 0x0430},       {__LINE__, 0x042F, 0x044F},
  };
  for (const auto& c : registry_pairs) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    EXPECT_EQ(FoldRegistryChar(c.upper), c.lower);
    EXPECT_EQ(FoldRegistryChar(c.lower), c.lower);
  }
  // Characters that have no pair in these tables, or are their own.
  for (char16_t c : {u'@', u'[', u'`', u'{', char16_t{0xD7}, char16_t{0xDF}, char16_t{0x130}, char16_t{0x131},
                     char16_t{0x138}, char16_t{0x149}, char16_t{0x17F}, char16_t{0x3A2}, char16_t{0x3AC},
                     char16_t{0x460}, char16_t{0xFF21}}) {
    EXPECT_EQ(FoldRegistryChar(c), c) << "U+" << Show(Hex(c, true));
  }
  // Folding is a projection: folding twice is folding once, for every unit.
  for (char32_t c = 0; c < 0x10000; ++c) {
    const char16_t once = FoldRegistryChar(static_cast<char16_t>(c));
    ASSERT_EQ(FoldRegistryChar(once), once) << "U+" << Show(Hex(c, true));
  }

  EXPECT_EQ(FoldAscii(u'Q'), u'q');
  EXPECT_EQ(FoldAscii(0x00C4), 0x00C4);
  EXPECT_TRUE(EqualsNoCase(u"HKEY_Local_Machine", u"hkey_local_machine"));
  EXPECT_FALSE(EqualsNoCase(u"\u00C4", u"\u00E4"));  // beyond A to Z letter case counts
  EXPECT_FALSE(EqualsNoCase(u"ab", u"abc"));
  EXPECT_LT(CompareNoCase(u"ab", u"ABC"), 0);
  EXPECT_GT(CompareNoCase(u"b", u"A"), 0);
  EXPECT_GT(CompareNoCase(u"Z", u"_"), 0);  // folded to lower case: 'z' sorts after '_'
  EXPECT_EQ(CompareNoCase(u"", u""), 0);
  EXPECT_LT(CompareNoCase(u"a", u"\u00E4"), 0);       // unsigned 16-bit order
  EXPECT_TRUE(ContainsNoCase(u"Windows Registry Editor Version 5.00", u"REGISTRY EDITOR"));
  EXPECT_TRUE(ContainsNoCase(u"Windows Registry Editor Version 5", u"VERSION 5"));  // at the very end
  EXPECT_TRUE(ContainsNoCase(u"abc", u""));
  EXPECT_FALSE(ContainsNoCase(u"ab", u"abc"));
  EXPECT_EQ(FoldedCopy(u"AbC\u00C4"), u"abc\u00C4");
}

TEST(Text, WhiteSpace) {
  for (char16_t c : {u' ', u'\t', u'\n', u'\v', u'\f', u'\r', char16_t{0x85}, char16_t{0xA0}, char16_t{0x1680},
                     char16_t{0x2000}, char16_t{0x200A}, char16_t{0x2028}, char16_t{0x2029}, char16_t{0x202F},
                     char16_t{0x205F}, char16_t{0x3000}}) {
    EXPECT_TRUE(IsWideSpace(c)) << "U+" << Show(Hex(c, true));
  }
  for (char16_t c : {u'\0', u'a', u'!', char16_t{0x84}, char16_t{0x86}, char16_t{0x200B}, char16_t{0xFEFF}}) {
    EXPECT_FALSE(IsWideSpace(c)) << "U+" << Show(Hex(c, true));
  }
  EXPECT_EQ(TrimSpace(u" \t a b \r\n"), u"a b");
  EXPECT_EQ(TrimSpace(u" \t "), u"");
  EXPECT_EQ(TrimTrailingSpace(u" a "), u" a");
}

}  // namespace
}  // namespace hivemend
