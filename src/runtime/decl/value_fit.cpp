#include "runtime/decl/value_fit.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "runtime/base/code_page.h"

namespace rt {

IntRange RangeOf(FieldType type) {
  switch (type) {
    case FieldType::Byte: return {0, 255};
    case FieldType::Short: return {-32768, 32767};
    case FieldType::UShort: return {0, 65535};
    case FieldType::Long: return {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()};
    default: return {0, std::numeric_limits<uint32_t>::max()};
  }
}

std::string WholeNumberUnfit(FieldType type, int64_t value) {
  const IntRange r = RangeOf(type);
  if (value >= r.low && value <= r.high) return {};
  return "is outside the field's range (" + std::to_string(r.low) + " to " + std::to_string(r.high) + ")";
}

std::string TextUnfit(FieldType type, uint32_t fieldSize, size_t size) {
  const size_t room = type == FieldType::CString ? (fieldSize ? fieldSize - 1 : 0) : fieldSize;
  if (size <= room) return {};
  return "has " + std::to_string(size) + " characters, more than the field's " + std::to_string(room);
}

std::string CharacterUnfit(char32_t character) {
  if (character == kMalformedUtf8) return "is not UTF-8 text";
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(character));
  return std::string("holds a character that Windows-1252 cannot hold (") + code + ")";
}

std::string RealUnfit(FieldType type, double value) {
  if (type == FieldType::SReal && std::abs(value) > std::numeric_limits<float>::max())
    return "is outside the field's range";
  return {};
}

std::string UnfitValueText(std::string_view key, std::string_view column, std::string_view shown,
                           std::string_view why) {
  return "Record" + std::string(key.empty() ? "" : " ") + std::string(key) + ", column " + std::string(column) +
         ": " + std::string(shown) + " " + std::string(why) + ".";
}

}  // namespace rt
