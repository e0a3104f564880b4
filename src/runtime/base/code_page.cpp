// Windows-1252 to and from UTF-8 and UTF-16, through one table of the bytes
// 0x80..0x9F (the rest of the code page is Latin-1).
#include "runtime/base/code_page.h"

namespace rt {

namespace {

// Code points of the bytes 0x80..0x9F; 0 marks the five bytes the code page leaves undefined.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178,
};

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Appends the byte for c, or '?' (noting the loss) when the code page cannot hold it.
void AppendCp1252(std::string& out, std::optional<char32_t> c, bool& lost) {
  const std::optional<char> byte = c ? UnicodeToCp1252(*c) : std::nullopt;
  if (!byte) lost = true;
  out += byte.value_or('?');
}

// The code point of the UTF-8 sequence at text[i], moving i past it; nothing
// (i moved by one) for a malformed sequence.
std::optional<char32_t> NextUtf8(std::string_view text, size_t& i) {
  const unsigned char b = static_cast<unsigned char>(text[i++]);
  if (b < 0x80) return b;
  const int extra = (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : 0;
  if (extra == 0 || i + extra > text.size()) return std::nullopt;
  char32_t c = extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
  for (int k = 0; k < extra; ++k) {
    const unsigned char n = static_cast<unsigned char>(text[i + k]);
    if ((n & 0xC0) != 0x80) return std::nullopt;
    c = (c << 6) | (n & 0x3F);
  }
  // A longer form than the character needs, a surrogate or a code point past
  // Unicode's end is no character.
  constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  if (c < kLeast[extra] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return std::nullopt;
  i += extra;
  return c;
}

// The code point of the UTF-16 unit (or surrogate pair) at text[i], moving i
// past it; nothing for an unpaired surrogate.
std::optional<char32_t> NextUtf16(std::u16string_view text, size_t& i) {
  const char16_t u = text[i++];
  if (u < 0xD800 || u > 0xDFFF) return u;
  if (u > 0xDBFF || i == text.size() || text[i] < 0xDC00 || text[i] > 0xDFFF) return std::nullopt;
  return 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (text[i++] - 0xDC00);
}

// The text's characters, read one by one by next, in the code page.
template <typename Text, typename Next>
std::string ToCp1252(Text text, bool* lost, Next next) {
  std::string out;
  out.reserve(text.size());
  bool any = false;
  for (size_t i = 0; i < text.size();) AppendCp1252(out, next(text, i), any);
  if (lost) *lost = any;
  return out;
}

}  // namespace

char16_t Cp1252ToUnicode(unsigned char byte) {
  if (byte < 0x80 || byte >= 0xA0) return byte;
  return kCp1252High[byte - 0x80] ? kCp1252High[byte - 0x80] : char16_t{0xFFFD};
}

std::optional<char> UnicodeToCp1252(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (int k = 0; k < 32; ++k)
    if (kCp1252High[k] != 0 && kCp1252High[k] == c) return static_cast<char>(0x80 + k);
  return std::nullopt;
}

std::string Cp1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char b : text) AppendUtf8(out, Cp1252ToUnicode(b));
  return out;
}

std::u16string Cp1252ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (unsigned char b : text) out += Cp1252ToUnicode(b);
  return out;
}

std::string Utf8ToCp1252(std::string_view text, bool* lost) { return ToCp1252(text, lost, NextUtf8); }

std::string Utf16ToCp1252(std::u16string_view text, bool* lost) { return ToCp1252(text, lost, NextUtf16); }

std::string FoldForComparison(std::string_view text) {
  // The capital each byte from 0xC0 up folds to (0xC0..0xDF and 0xE0..0xFF alike).
  static constexpr char kLatin[33] = "AAAAAAACEEEEIIIIDNOOOOOOOUUUUYTS";
  std::string out(text);
  for (char& c : out) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b >= 'a' && b <= 'z') c = static_cast<char>(b - 'a' + 'A');
    else if (b >= 0xC0) c = b == 0xF7 ? c : kLatin[(b - 0xC0) & 0x1F];
    else if (b == 0x8A || b == 0x9A) c = 'S';
    else if (b == 0x8C || b == 0x9C) c = 'O';
    else if (b == 0x8E || b == 0x9E) c = 'Z';
    else if (b == 0x9F) c = 'Y';
  }
  return out;
}

std::optional<std::string> Utf8ToCp1252Exact(std::string_view text, char32_t* bad) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const std::optional<char32_t> c = NextUtf8(text, i);
    const std::optional<char> byte = c ? UnicodeToCp1252(*c) : std::nullopt;
    if (!byte) {
      if (bad) *bad = c.value_or(kMalformedUtf8);
      return std::nullopt;
    }
    out += *byte;
  }
  return out;
}

}  // namespace rt
