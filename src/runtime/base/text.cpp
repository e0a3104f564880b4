// Text helpers of the runtime: areas, trimming, clipping and letter case.
#include "runtime/base/text.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace rt {

std::string_view CLIP(std::string_view text) {
  const size_t end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view{} : text.substr(0, end + 1);
}

std::string_view Trim(std::string_view text, std::string_view blanks) {
  const size_t begin = text.find_first_not_of(blanks);
  if (begin == std::string_view::npos) return {};
  return text.substr(begin, text.find_last_not_of(blanks) - begin + 1);
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(text[i])) != std::toupper(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

bool SameText(std::string_view a, std::string_view b) { return a.size() == b.size() && StartsWithNoCase(a, b); }

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

std::string_view CStringView(const char* area, size_t size) { return {area, strnlen(area, size)}; }
std::string CStringValue(const char* area, size_t size) { return std::string(CStringView(area, size)); }

}  // namespace rt
