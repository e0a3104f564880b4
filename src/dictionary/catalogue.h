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
