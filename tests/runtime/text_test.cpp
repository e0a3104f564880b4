// CLIP, the blank-padded comparison, INSTRING and the fixed-size assignments.
#include <gtest/gtest.h>

#include <cstring>

#include "runtime/text.h"

namespace rt {
namespace {

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
  } cases[] = {
      {"A\xD1O", "A\xC3\x91O"},              // the one non-ASCII label of the schema
      {"\x80 5", "\xE2\x82\xAC 5"},           // euro sign from the 0x80..0x9F block
      {"creaci\xF3n", "creaci\xC3\xB3n"},
      {"plain", "plain"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(rt::Cp1252ToUtf8(c.ansi), c.utf8);
    EXPECT_EQ(rt::Utf8ToCp1252(c.utf8), c.ansi);
  }
  // What the code page cannot hold, and broken sequences, become '?'.
  EXPECT_EQ(rt::Utf8ToCp1252("\xE4\xB8\xAD"), "?");
  EXPECT_EQ(rt::Utf8ToCp1252("a\xC3"), "a?");
  EXPECT_EQ(rt::Cp1252ToUtf8("\x81"), "\xEF\xBF\xBD");
}
