// The text helpers (clipping, trimming, letter case, the blank-padded comparison,
// INSTRING, the fixed-size assignments) and the code page conversions.
#include <gtest/gtest.h>

#include <cstring>

#include "runtime/base/code_page.h"
#include "runtime/base/text.h"

namespace rt {
namespace {

TEST(TextHelpers, TrimAndLetterCase) {
  EXPECT_EQ(Trim("  a b  "), "a b");
  EXPECT_EQ(Trim("\t a \t", " \t"), "a");
  EXPECT_EQ(Trim("\ta\t"), "\ta\t");  // only the blanks asked for
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Upper("Crea esquema_1"), "CREA ESQUEMA_1");
  EXPECT_EQ(Lower("Duplicate KEY"), "duplicate key");

  const struct {
    const char *a, *b;
    bool same, starts;
  } cases[] = {
      {"PWD", "pwd", true, true},
      {"SQL Server Native", "sql server", false, true},
      {"SQL", "SQL Server", false, false},
      {"abc", "abd", false, false},
      {"", "", true, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SameText(c.a, c.b), c.same) << c.a << " / " << c.b;
    EXPECT_EQ(StartsWithNoCase(c.a, c.b), c.starts) << c.a << " / " << c.b;
  }
}

TEST(TextHelpers, ClipAndBlankPaddedEquality) {
  EXPECT_EQ(CLIP("abc   "), "abc");
  EXPECT_EQ(CLIP("  a b "), "  a b");
  EXPECT_EQ(CLIP("    "), "");
  EXPECT_EQ(CLIP(""), "");

  const struct {
    const char *a, *b;
    bool equal;
  } cases[] = {
      {"", "", true},       {"   ", "", true},     {"abc", "abc   ", true}, {"abc  ", "abc", true},
      {"abc", "abd", false}, {"abc", "abcd", false}, {"abc", "ab", false},   {" abc", "abc", false},
      {"ab\t", "ab", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BlankPaddedEqual(c.a, c.b), c.equal) << '"' << c.a << "\" vs \"" << c.b << '"';
    EXPECT_EQ(BlankPaddedEqual(c.b, c.a), c.equal) << '"' << c.b << "\" vs \"" << c.a << '"';
  }
}

TEST(TextHelpers, InstringStepsFromTheStart) {
  const struct {
    const char *text, *sub;
    int step, start, expect;
  } cases[] = {
      {"SQL Native Client", "Native", 1, 1, 5},
      {"abcabc", "abc", 1, 2, 4},
      {"abcabc", "abc", 1, 5, 0},
      {"xabab", "ab", 2, 1, 0},   // positions 1, 3, 5 only: "ab" lies at 2 and 4
      {"xabab", "ab", 2, 2, 2},
      {"aaaa", "aa", 1, 3, 3},
      {"abc", "abcd", 1, 1, 0},
      {"abc", "", 1, 1, 0},
      {"abc", "c", 0, 1, 0},      // a step of 0 finds nothing
      {"abc", "a", 1, -5, 1},     // positions before the text are passed over
      {"abcabc", "abc", -3, 4, 4},
      {"abcabc", "abc", -1, 3, 1},
      {"abcabc", "abc", -1, 99, 4},
  };
  for (const auto& c : cases)
    EXPECT_EQ(INSTRING(c.text, c.sub, c.step, c.start), c.expect)
        << c.text << " / " << c.sub << " step " << c.step << " start " << c.start;
}

TEST(TextHelpers, AssignCutsAndPads) {
  char cs[6];
  std::memset(cs, 'z', sizeof cs);
  AssignCString(cs, sizeof cs, "ABCDEFGH");
  EXPECT_STREQ(cs, "ABCDE");
  AssignCString(cs, sizeof cs, "");
  EXPECT_STREQ(cs, "");
  EXPECT_EQ(cs[1], 'B');  // only the terminator is written after the text
  AssignCString(cs, sizeof cs, "XY");
  EXPECT_EQ(CStringValue(cs, sizeof cs), "XY");
  char one = 'q';
  AssignCString(&one, 1, "abc");
  EXPECT_EQ(one, '\0');

  char s[5];
  AssignString(s, sizeof s, "ab");
  EXPECT_EQ(std::string(s, sizeof s), "ab   ");
  AssignString(s, sizeof s, "abcdefg");
  EXPECT_EQ(std::string(s, sizeof s), "abcde");

  char full[3] = {'a', 'b', 'c'};  // no terminator within the area
  EXPECT_EQ(CStringValue(full, sizeof full), "abc");
}

}  // namespace
}  // namespace rt

TEST(CodePage, AnsiTextsCrossToUtf8AndBack) {
  struct Case {
    std::string ansi, utf8;
    std::u16string utf16;
  } cases[] = {
      {"A\xD1O", "A\xC3\x91O", u"A\u00D1O"},              // the one non-ASCII label of the schema
      {"\x80 5", "\xE2\x82\xAC 5", u"\u20AC 5"},           // euro sign from the 0x80..0x9F block
      {"creaci\xF3n", "creaci\xC3\xB3n", u"creaci\u00F3n"},
      {"\x93x\x94\x9F", "\xE2\x80\x9Cx\xE2\x80\x9D\xC5\xB8", u"\u201Cx\u201D\u0178"},
      {"plain", "plain", u"plain"},
  };
  for (const Case& c : cases) {
    bool lost = true;
    EXPECT_EQ(rt::Cp1252ToUtf8(c.ansi), c.utf8);
    EXPECT_EQ(rt::Utf8ToCp1252(c.utf8, &lost), c.ansi);
    EXPECT_FALSE(lost) << c.ansi;
    lost = true;
    EXPECT_EQ(rt::Cp1252ToUtf16(c.ansi), c.utf16);
    EXPECT_EQ(rt::Utf16ToCp1252(c.utf16, &lost), c.ansi);
    EXPECT_FALSE(lost) << c.ansi;
  }
  // What the code page cannot hold, and broken sequences, become '?'.
  EXPECT_EQ(rt::Utf8ToCp1252("\xE4\xB8\xAD"), "?");
  EXPECT_EQ(rt::Utf8ToCp1252("a\xC3"), "a?");
  EXPECT_EQ(rt::Cp1252ToUtf8("\x81"), "\xEF\xBF\xBD");
}

TEST(CodePage, WhatTheCodePageCannotHoldIsMarkedLost) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
    std::string ansi;
  } cases[] = {
      {"\xD0\xB4" "a", u"\u0434a", "?a"},                       // Cyrillic
      {"\xF0\x9F\x98\x80!", u"\U0001F600!", "?!"},           // one character outside the BMP, one '?'
      {"\xC2\x81", u"\u0081", "?"},                          // a C1 control is not the byte 0x81
      {"\xEF\xBF\xBD", u"\uFFFD", "?"},                     // what an undefined byte shows as
  };
  for (const Case& c : cases) {
    bool lost = false;
    EXPECT_EQ(rt::Utf8ToCp1252(c.utf8, &lost), c.ansi);
    EXPECT_TRUE(lost) << c.ansi;
    lost = false;
    EXPECT_EQ(rt::Utf16ToCp1252(c.utf16, &lost), c.ansi);
    EXPECT_TRUE(lost) << c.ansi;
  }
  bool lost = false;
  EXPECT_EQ(rt::Utf16ToCp1252(std::u16string(1, u'\xD800') + u"x", &lost), "?x");  // an unpaired surrogate
  EXPECT_TRUE(lost);
  EXPECT_EQ(rt::Cp1252ToUtf16("\x81\x8D"), u"\uFFFD\uFFFD");
}

// Each of the 251 bytes the code page defines, 0xFF (ÿ, its last letter) among
// them, stands for a character that crosses to Unicode and back to the same
// byte without loss; the characters just outside the Latin-1 ranges are not held.
TEST(CodePage, EveryDefinedByteCrossesBackUnchanged) {
  int defined = 0;
  for (int b = 0; b < 256; ++b) {
    const std::string ansi(1, static_cast<char>(b));
    const char16_t c = rt::Cp1252ToUnicode(static_cast<unsigned char>(b));
    if (c == 0xFFFD) continue;  // one of the five undefined bytes
    ++defined;
    EXPECT_EQ(rt::UnicodeToCp1252(c), ansi[0]) << b;
    bool lost = true;
    EXPECT_EQ(rt::Utf8ToCp1252(rt::Cp1252ToUtf8(ansi), &lost), ansi) << b;
    EXPECT_FALSE(lost) << b;
    lost = true;
    EXPECT_EQ(rt::Utf16ToCp1252(rt::Cp1252ToUtf16(ansi), &lost), ansi) << b;
    EXPECT_FALSE(lost) << b;
  }
  EXPECT_EQ(defined, 251);
  EXPECT_EQ(rt::Utf8ToCp1252("\xC3\xBF"), "\xFF");  // ÿ as typed
  for (char32_t outside : {U'\u0080', U'\u009F', U'\u0100', U'\u0179', U'\uFFFD'})
    EXPECT_EQ(rt::UnicodeToCp1252(outside), std::nullopt) << static_cast<unsigned>(outside);
}
