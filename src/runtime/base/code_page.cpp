// Windows-1252 to and from UTF-8 and UTF-16, through one table of the bytes
// 0x80..0x9F (the rest of the code page is Latin-1). A run of ASCII bytes,
// the same in both, is copied whole.
#include "runtime/base/code_page.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace rt {

namespace {

// Code points of the bytes 0x80..0x9F; 0 marks the five bytes the code page leaves undefined.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178,
};

// The UTF-8 form of each byte from 0x80 up: its length and its bytes.
struct Utf8Form {
  uint8_t length = 0;
  char bytes[3] = {};
};
constexpr std::array<Utf8Form, 128> kUtf8High = [] {
  std::array<Utf8Form, 128> forms{};
  for (int b = 0x80; b <= 0xFF; ++b) {
    const char32_t c = b >= 0xA0 ? char32_t(b) : kCp1252High[b - 0x80] ? kCp1252High[b - 0x80] : char32_t{0xFFFD};
    Utf8Form& f = forms[b - 0x80];
    if (c < 0x800) {
      f = {2, {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F)), 0}};
    } else {
      f = {3, {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
               static_cast<char>(0x80 | (c & 0x3F))}};
    }
  }
  return forms;
}();

// The length of the run of ASCII bytes that text begins with, read eight at a time.
size_t AsciiRun(std::string_view text) {
  size_t n = 0;
  for (uint64_t word = 0; n + 8 <= text.size(); n += 8) {
    std::memcpy(&word, text.data() + n, 8);
    if (word & 0x8080808080808080ULL) break;
  }
  while (n < text.size() && static_cast<unsigned char>(text[n]) < 0x80) ++n;
  return n;
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

// The UTF-8 text in the code page, its runs of ASCII bytes copied whole. At
// the first character the code page lacks (or a malformed sequence): with
// exact, nothing, bad set to it; otherwise '?' in its place, lost set.
std::optional<std::string> Utf8RunsToCp1252(std::string_view text, bool exact, char32_t* bad, bool* lost) {
  std::string out;
  out.reserve(text.size());
  bool any = false;
  for (size_t i = 0; i < text.size();) {
    const size_t run = AsciiRun(text.substr(i));
    out.append(text.data() + i, run);
    i += run;
    if (i == text.size()) break;
    const std::optional<char32_t> c = NextUtf8(text, i);
    const std::optional<char> byte = c ? UnicodeToCp1252(*c) : std::nullopt;
    if (!byte && exact) {
      if (bad) *bad = c.value_or(kMalformedUtf8);
      return std::nullopt;
    }
    any |= !byte;
    out += byte.value_or('?');
  }
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

size_t Cp1252Utf8Length(std::string_view text) {
  size_t length = 0;
  for (size_t i = 0; i < text.size();) {
    const size_t run = AsciiRun(text.substr(i));
    length += run;
    i += run;
    if (i < text.size()) length += kUtf8High[static_cast<unsigned char>(text[i++]) - 0x80].length;
  }
  return length;
}

char* Cp1252ToUtf8(std::string_view text, char* out) {
  for (size_t i = 0; i < text.size();) {
    const size_t run = AsciiRun(text.substr(i));
    std::memcpy(out, text.data() + i, run);
    out += run;
    i += run;
    if (i == text.size()) break;
    const Utf8Form& form = kUtf8High[static_cast<unsigned char>(text[i++]) - 0x80];
    std::memcpy(out, form.bytes, form.length);
    out += form.length;
  }
  return out;
}

std::string Cp1252ToUtf8(std::string_view text) {
  std::string out(Cp1252Utf8Length(text), '\0');
  Cp1252ToUtf8(text, out.data());
  return out;
}

std::u16string Cp1252ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (unsigned char b : text) out += Cp1252ToUnicode(b);
  return out;
}

std::string Utf8ToCp1252(std::string_view text, bool* lost) { return *Utf8RunsToCp1252(text, false, nullptr, lost); }

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
  return Utf8RunsToCp1252(text, true, bad, nullptr);
}

}  // namespace rt
