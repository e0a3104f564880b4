// The conversions copy runs of ASCII bytes whole: a character outside ASCII
// at any place of a text (first, last, at the edges of the eight-byte words
// a run is read in, between long runs) is converted exactly as one alone is.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/base/code_page.h"

namespace {

// Texts of ASCII with mark put at each of the places a run can end wrong.
std::vector<std::string> TextsWith(const std::string& mark) {
  std::vector<std::string> texts;
  for (size_t length : {0, 1, 7, 8, 9, 15, 16, 17, 40})
    for (size_t at = 0; at <= length; ++at) {
      std::string ascii;
      for (size_t i = 0; i < length; ++i) ascii += static_cast<char>('a' + i % 26);
      texts.push_back(ascii.substr(0, at) + mark + ascii.substr(at));
    }
  texts.push_back(std::string(100, 'x') + mark + std::string(100, 'y') + mark + mark);
  return texts;
}

// Each Windows-1252 byte outside ASCII, written alone, converts as the
// byte-by-byte reference: its character's UTF-8 form.
TEST(CodePageRuns, EveryByteOutsideAsciiConvertsTheSameAnywhereInAText) {
  for (int b = 0x80; b <= 0xFF; ++b) {
    const std::string byte(1, static_cast<char>(b));
    const std::string utf8 = rt::Cp1252ToUtf8(byte);
    for (const std::string& text : TextsWith(byte)) {
      std::string expected;
      for (char c : text) expected += c == byte[0] ? utf8 : std::string(1, c);
      SCOPED_TRACE(testing::Message() << "byte " << b << " in \"" << text << "\"");
      EXPECT_EQ(rt::Cp1252ToUtf8(text), expected);
      EXPECT_EQ(rt::Cp1252Utf8Length(text), expected.size());
      // Written in place: exactly the length told, nothing past it.
      std::string out(expected.size() + 4, '#');
      EXPECT_EQ(rt::Cp1252ToUtf8(text, out.data()) - out.data(), static_cast<std::ptrdiff_t>(expected.size()));
      EXPECT_EQ(out, expected + "####");
      bool lost = true;
      const std::string back = rt::Utf8ToCp1252(expected, &lost);
      if (rt::Cp1252ToUnicode(static_cast<unsigned char>(b)) == 0xFFFD) continue;  // an undefined byte
      EXPECT_EQ(back, text);
      EXPECT_FALSE(lost);
      EXPECT_EQ(rt::Utf8ToCp1252Exact(expected), text);
    }
  }
}

// A character the code page lacks, or a broken sequence, in the middle of
// runs: the exact conversion names it and gives nothing; the loose one puts
// one '?' in its place and keeps every byte around it.
TEST(CodePageRuns, WhatTheCodePageLacksIsFoundWhereverItStands) {
  struct Case {
    const char* name;
    std::string mark;
    char32_t bad;
  } cases[] = {
      {"Cyrillic", "\xD0\x96", U'\u0416'},
      {"outside the BMP", "\xF0\x9F\x98\x80", U'\U0001F600'},
      {"a C1 control", "\xC2\x81", U'\u0081'},
      {"a lone continuation byte", "\x80", rt::kMalformedUtf8},
      {"a sequence cut short", "\xE2\x82", rt::kMalformedUtf8},
  };
  for (const Case& c : cases)
    for (const std::string& text : TextsWith(c.mark)) {
      SCOPED_TRACE(testing::Message() << c.name << " in \"" << text << "\"");
      const bool cut = c.bad == rt::kMalformedUtf8 && c.mark.size() > 1;
      std::string expected;
      for (size_t i = 0; i < text.size();) {
        if (text.compare(i, c.mark.size(), c.mark) == 0) {
          // A sequence cut short is malformed at its first byte; what follows
          // it is read anew (its continuation byte is broken too).
          expected += cut ? "??" : "?";
          i += c.mark.size();
        } else {
          expected += text[i++];
        }
      }
      bool lost = false;
      EXPECT_EQ(rt::Utf8ToCp1252(text, &lost), expected);
      EXPECT_TRUE(lost);
      char32_t bad = 0;
      EXPECT_EQ(rt::Utf8ToCp1252Exact(text, &bad), std::nullopt);
      EXPECT_EQ(bad, c.bad);
    }
}

}  // namespace
