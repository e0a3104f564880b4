// The record layout of a table: field types, the TypeRecord byte form that
// describes a record field by field, its encoder and its checking decoder.
//
// The byte form; integers are little-endian, "num" is a variable-length number.
//
// The header: the record's own group entry, without a label.
//
//   OFFSET  SIZE  DESCRIPTION
//   0       1     type code 22 (GROUP)
//   1       1     flags, 0
//   2       4     the record size in bytes
//   6       4     the number of entries, at all depths
//   10      4     the byte length of the whole TypeRecord, this header included
//   14      ...   the entries, in pre-order: a group is followed at once by all its members
//
// One entry, its parts in this order:
//
//   SIZE    PRESENT WHEN              DESCRIPTION
//   1       always                    type code (FieldType)
//   1       always                    flags (kEntry...); bits 0xE0 are never set
//   ...     by type, below            the type part
//   text    flag 0x04, string types   picture, NUL-terminated (read and dropped)
//   text    flag 0x02                 label "PREFIX:NAME", NUL-terminated
//   text    flag 0x01                 external name, NUL-terminated
//   num     flag 0x08                 position adjustment
//   1+num   flag 0x10                 dimensions: a count, then that many numbers, each above 0
//
// The type part and the size of the field:
//
//   CODE    TYPE                      TYPE PART                                     SIZE OF THE FIELD
//   1       BYTE                      none                                          1
//   2, 3    SHORT, USHORT             none                                          2
//   4 to 8  DATE, TIME, LONG,         none                                          4
//           ULONG, SREAL
//   9       REAL                      none                                          8
//   10, 11  DECIMAL, PDECIMAL         size (1, above 0), places (1)                 the size
//   18-21   STRING, CSTRING,          size (num, above 0)                           the size
//           PSTRING, MEMO
//   22      GROUP                     size (4), descendant entries (4), byte        the size
//                                     length of the entry and its descendants (4)
//
// A variable-length number: the first byte b holds the magnitude's five most
// significant bits in bits 0-4, the count of further bytes (0 to 3) in bits
// 5-6, each further byte the next eight bits, most significant first; bit 7
// set makes it negative. So the magnitude is at most 2^29 - 1: 3 is 03, 51 is
// 20 33, 10000 is 40 27 10, -8 is 88.
//
// Positions are not stored: each level (the record, each group) keeps a
// running position from its own start; an entry lies at the running position
// plus its adjustment and moves the running position to its end; after a
// group, its level goes on from the group's end. Every entry lies inside the
// groups around it, and the record ends where the furthest entry does.
// Entries are numbered from 1 in stored order; key components name them so.
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
  // Builds the byte form from declared fields (group sizes and counts follow
  // from members); fields that cannot be laid out by the format's rules give
  // the reason instead.
  static Outcome<TypeRecord> TryEncode(const std::vector<FieldSpec>& fields);
  // The same for fields the caller knows to be sound: the reason is thrown as
  // std::invalid_argument.
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
