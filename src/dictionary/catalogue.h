// Reads the dictionary's declaration text, the one place where a table is
// declared, and turns each item into the table's declaration and its managers'
// values. The text's grammar:
//
// An item per table, in dictionary order. A line starting with "- " opens an
// item (its head); the item's part lines follow it, indented, each once; blank
// lines are ignored. A line's final full stop is passed over. Names are
// written in UTF-8 and held in the program's code page, Windows-1252.
//
//   - LABEL (prefix PFX): KIND (driver DRV), NAME, OWNER[; driver options "TEXT"]; ATTRS; record N bytes.
//     - Fields: FIELD; FIELD; ...
//     - Keys: KEY; KEY; ...             or   - Keys: none.
//     - BLOB: BLOB; BLOB; ...           only where the table has BLOB fields
//
//   PART    WRITTEN AS                                     MEANING
//   LABEL   a name (no blank, ( ) , ; " :)                 the table's label, unique in the dictionary
//   PFX     a name                                         prefix of its field and key labels, "PFX:NAME"
//   KIND    SQL Server table (driver MSSQL)                the kind of file and its driver, which must agree
//           TopSpeed file (driver TOPSPEED)
//           line-oriented text file (driver ASCII)
//           comma-separated text file (driver BASIC)
//           raw-record file (driver DOS)
//           FoxPro file (driver FoxPro)
//           dBase III file (driver dBase3)
//   NAME    name = label                                   the table name is the label
//           name "TEXT"                                    a literal table name
//           name taken from a TableNameVar                 the value of the table's name variable when the
//                                                          table is used; nothing sets it
//           name taken from a TableNameVar that the        the same; the creation procedure sets the
//             creation sets to "TEXT"                      variable to TEXT
//   OWNER   DataOwner | ServerOwner                        an owner variable (sets the owner bit)
//           the literal owner password TEXT                a literal owner (sets the owner bit)
//           no owner
//   ATTRS   CREATE, RECLAIM, ENCRYPT, THREAD               the attribute words, any of them, comma-separated
//           no attributes
//   N       a number                                       the record length; must be where the fields end
//
//   FIELD   NAME TYPE                                      TYPE: LONG, REAL, BYTE, DATE, TIME, STRING(n), CSTRING(n)
//           NAME date pair                                 NAME_SQLDATEHANDLE STRING(8), and over it the group
//                                                          NAME_SQLDATEGROUP of NAME DATE, NAME_SQLDATETIMEFIELD TIME
//           NAME time pair                                 the same with NAME_SQLDATEDATEFIELD DATE, NAME TIME
//           H STRING(8) with GROUP G over it: A T, B T     a text handle and the 8-byte group G laid over it,
//                                                          of one DATE and one TIME (either order)
//           GROUP G over the field N bytes back (S bytes): A T, B T
//                                                          a group laid N bytes back (adjustment -N); its members
//                                                          must fill S bytes, 8
//           ... (position moved by N bytes)                after a field: the positive adjustment N
//           ... with external name "TEXT"                  after a field: its external name
//   KEY     PFX:NAME ATTR ... (C, -C, ...) [described "TEXT"] [with external name "TEXT"]
//                                                          ATTR: PRIMARY, DUP, OPT, NOCASE, INDEX; C a field
//                                                          name without the prefix, -C descending; described:
//                                                          the description its manager registers, else the label
//   BLOB    NAME BLOB BINARY                               a binary BLOB field "PFX:NAME"
//
// A fault in an item is reported as one CatalogueError naming the table; the
// other items are read on.
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
  std::string creationName;                  // what the creation sets the name variable to; empty for none
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
// out; each faulty one gives one entry of errors, and parsing goes on with the
// next table. It throws nothing for any text.
void ParseCatalogue(int moduleNumber, std::string_view text, std::vector<TableInfo>& out,
                    std::vector<CatalogueError>& errors);

// "M01" ... "M18".
std::string ModuleName(int moduleNumber);

}  // namespace dict
