// Whether a value read from outside (a local file, a server's row) fits its
// field exactly, and the words that say why not. A record's reader refuses a
// value its field cannot hold rather than store another one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/decl/type_record.h"

namespace rt {

// The values a whole-number field holds.
struct IntRange {
  int64_t low, high;
};
IntRange RangeOf(FieldType type);

// Why a whole number does not fit a field of type; empty when it does.
std::string WholeNumberUnfit(FieldType type, int64_t value);
// Why a text of size characters does not fit a text field of entry's type and
// size (a CSTRING keeps one byte for its end); empty when it does.
std::string TextUnfit(FieldType type, uint32_t fieldSize, size_t size);
// Why a text with a character the code page lacks (or that is not UTF-8:
// kMalformedUtf8) cannot be kept.
std::string CharacterUnfit(char32_t character);
// A real number too large for an SREAL; empty when it fits.
std::string RealUnfit(FieldType type, double value);

// The message about a value that does not fit: "Record KEY, column NAME:
// VALUE WHY." (key as ", "-joined "COLUMN VALUE" pairs, may be empty).
std::string UnfitValueText(std::string_view key, std::string_view column, std::string_view shown,
                           std::string_view why);

}  // namespace rt
