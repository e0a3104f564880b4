// Reads the dictionary's declaration text: one item per table, written as
//
//   - LABEL (prefix PFX): KIND (driver DRV), NAME, OWNER[; driver options "..."]; ATTRS; record N bytes.
//     - Fields: FIELD; FIELD; ...
//     - Keys: KEY; KEY; ...            (or: none.)
//     - BLOB: NAME BLOB BINARY.        (only where the table has one)
//
// and turns each item into the table's declaration and its managers' values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/decl/file_decl.h"

namespace dict {

// The names a date or time pair makes beside its own. "X date pair" is the
// 8-byte text handle X_SQLDATEHANDLE with the group X_SQLDATEGROUP over it: the
// date X, then its time part X_SQLDATETIMEFIELD. "X time pair" is the same with
// the date part X_SQLDATEDATEFIELD, then the time X. Readers of a record find
// the parts by these suffixes.
inline constexpr std::string_view kPairHandleSuffix = "_SQLDATEHANDLE";
inline constexpr std::string_view kPairGroupSuffix = "_SQLDATEGROUP";
inline constexpr std::string_view kTimePartSuffix = "_SQLDATETIMEFIELD";
inline constexpr std::string_view kDatePartSuffix = "_SQLDATEDATEFIELD";

// The time part of the date field X, the date part of the time field X.
inline std::string TimePartOf(std::string_view date) { return std::string(date).append(kTimePartSuffix); }
inline std::string DatePartOf(std::string_view time) { return std::string(time).append(kDatePartSuffix); }

// One table of the dictionary: its declaration and the per-table values of its managers.
struct TableInfo {
  rt::FileDecl decl;                         // decl.label is the dictionary label
  std::string prefix;                        // field prefix, without the colon
  std::vector<std::string> keyDescriptions;  // registered description of each key, in key order
  int module = 0;                            // dictionary module, 1 to 18
  uint32_t declaredLength = 0;               // the record length the item states
};

struct CatalogueError {
  std::string module;  // "M01"
  std::string table;   // label; empty when the head line cannot be read
  std::string text;    // the offending text
  std::string reason;
  std::string Message() const;
};

// Parses one module's text. Each table that reads without fault is appended to
// out; each fault to errors, and parsing goes on with the next table.
void ParseCatalogue(int moduleNumber, std::string_view text, std::vector<TableInfo>& out,
                    std::vector<CatalogueError>& errors);

// "M01" ... "M18".
std::string ModuleName(int moduleNumber);

}  // namespace dict
