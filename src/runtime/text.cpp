#include "runtime/text.h"

#include <algorithm>
#include <cstring>

namespace rt {

std::string_view CLIP(std::string_view text) {
  const size_t end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view{} : text.substr(0, end + 1);
}

bool BlankPaddedEqual(std::string_view a, std::string_view b) {
  if (a.size() < b.size()) std::swap(a, b);
  if (a.compare(0, b.size(), b) != 0) return false;
  return a.find_first_not_of(' ', b.size()) == std::string_view::npos;
}

int INSTRING(std::string_view text, std::string_view sub, int step, int start) {
  if (step == 0 || sub.empty() || sub.size() > text.size()) return 0;
  const long long last = static_cast<long long>(text.size() - sub.size()) + 1;  // last fitting position
  long long pos = start;
  const long long stride = step;
  // Move to the first position of the sequence that lies within the text.
  if (stride > 0 && pos < 1) pos += (1 - pos + stride - 1) / stride * stride;
  if (stride < 0 && pos > last) pos -= (pos - last - stride - 1) / -stride * -stride;
  for (; pos >= 1 && pos <= last; pos += stride)
    if (text.compare(static_cast<size_t>(pos - 1), sub.size(), sub) == 0) return static_cast<int>(pos);
  return 0;
}

void AssignCString(char* dest, size_t size, std::string_view text) {
  if (size == 0) return;
  const size_t n = std::min(text.size(), size - 1);
  std::memcpy(dest, text.data(), n);
  dest[n] = '\0';
}

void AssignString(char* dest, size_t size, std::string_view text) {
  const size_t n = std::min(text.size(), size);
  std::memcpy(dest, text.data(), n);
  std::memset(dest + n, ' ', size - n);
}

std::string CStringValue(const char* area, size_t size) {
  return std::string(area, strnlen(area, size));
}

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

}  // namespace

std::string Cp1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char b : text) {
    if (b < 0x80) out += static_cast<char>(b);
    else if (b < 0xA0) AppendUtf8(out, kCp1252High[b - 0x80] ? kCp1252High[b - 0x80] : 0xFFFD);
    else AppendUtf8(out, b);
  }
  return out;
}

std::string Utf8ToCp1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      out += static_cast<char>(b);
      ++i;
      continue;
    }
    const int extra = (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    char32_t c = extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool ok = extra > 0 && i + extra < text.size() + 1;
    for (int k = 1; ok && k <= extra; ++k) {
      if (i + k >= text.size()) { ok = false; break; }
      const unsigned char n = static_cast<unsigned char>(text[i + k]);
      if ((n & 0xC0) != 0x80) ok = false;
      else c = (c << 6) | (n & 0x3F);
    }
    if (!ok) {
      out += '?';
      ++i;
      continue;
    }
    i += extra + 1;
    char mapped = '?';
    if (c >= 0xA0 && c <= 0xFF) {
      mapped = static_cast<char>(c);
    } else {
      for (int k = 0; k < 32; ++k)
        if (kCp1252High[k] == c) mapped = static_cast<char>(0x80 + k);
    }
    out += mapped;
  }
  return out;
}

}  // namespace rt
