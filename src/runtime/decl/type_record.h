// The record layout of a table: field types, the TypeRecord byte form that
// describes a record field by field, its encoder and its checking decoder.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/base/outcome.h"

namespace rt {

enum class FieldType : uint8_t {
  Byte = 1, Short = 2, UShort = 3, Date = 4, Time = 5, Long = 6, ULong = 7,
  SReal = 8, Real = 9, Decimal = 10, PDecimal = 11,
  String = 18, CString = 19, PString = 20, Memo = 21, Group = 22,
};

// True for the type codes the runtime knows (those of FieldType).
inline constexpr bool IsKnownTypeCode(int code) { return (code >= 1 && code <= 11) || (code >= 18 && code <= 22); }

// Optional-part flags of a TypeRecord entry.
inline constexpr uint8_t kEntryExternalName = 0x01;
inline constexpr uint8_t kEntryLabel = 0x02;
inline constexpr uint8_t kEntryPicture = 0x04;
inline constexpr uint8_t kEntryAdjust = 0x08;
inline constexpr uint8_t kEntryDims = 0x10;

// Variable-length numbers of the TypeRecord format.
void EncodeVarNum(std::vector<uint8_t>& out, int32_t value);
// Reads one number at pos and advances pos; nullopt when the bytes end first.
std::optional<int32_t> DecodeVarNum(std::span<const uint8_t> bytes, size_t& pos);

// One field as declared: the input of TypeRecord::Encode.
struct FieldSpec {
  FieldType type = FieldType::Byte;
  uint32_t size = 0;            // STRING/CSTRING/PSTRING/MEMO/DECIMAL sizes; others follow from the type
  uint8_t places = 0;           // DECIMAL/PDECIMAL
  std::string label;            // "PREFIX:NAME"; empty means no label
  std::string externalName;     // empty means none
  std::optional<int32_t> adjust;  // position adjustment
  std::vector<FieldSpec> members;  // GROUP members
};

// One decoded entry. Entries are numbered from 1 in stored (pre-)order.
struct TypeEntry {
  FieldType type = FieldType::Byte;
  uint8_t flags = 0;
  uint32_t size = 0;
  uint8_t places = 0;
  std::string label;
  std::string externalName;
  std::optional<int32_t> adjust;
  uint32_t offset = 0;      // position in the record
  int parent = 0;           // entry number of the enclosing group, 0 at the top level
  uint32_t descendants = 0; // GROUP only
};

// Fixed size of a field of a type without a size part.
uint32_t FixedSizeOf(FieldType type);

class TypeRecord {
 public:
  // Builds the byte form from declared fields (group sizes and counts follow from members).
  static TypeRecord Encode(const std::vector<FieldSpec>& fields);
  // Decodes and checks a byte form; a truncated or inconsistent one gives the
  // reason instead, found without reading past the end.
  static Outcome<TypeRecord> Decode(std::span<const uint8_t> bytes);

  const std::vector<uint8_t>& bytes() const { return bytes_; }
  uint32_t recordSize() const { return recordSize_; }
  const std::vector<TypeEntry>& entries() const { return entries_; }
  size_t entryCount() const { return entries_.size(); }
  // Entry by its number, counted from 1.
  const TypeEntry& entry(int number) const { return entries_.at(number - 1); }
  // Entry number of a label (compared exactly), 0 when absent.
  int FindLabel(std::string_view label) const;
  // Number of top-level entries (the table's field count for validation).
  int topLevelCount() const;

 private:
  std::vector<uint8_t> bytes_;
  uint32_t recordSize_ = 0;
  std::vector<TypeEntry> entries_;
};

// A field that holds a value: not a group, and not the text handle that a
// date-time group lies over. Named by its label without the prefix.
struct ValueField {
  std::string name;
  int entry = 0;  // TypeRecord entry number
};
std::vector<ValueField> ValueFieldsOf(const TypeRecord& record);

}  // namespace rt
