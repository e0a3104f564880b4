// The changed tables, as data: one row per table, in the order the migration
// takes them, and the old-layout declarations the rows make.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dictionary/catalogue.h"
#include "runtime/decl/file_block.h"
#include "runtime/decl/file_decl.h"

namespace app {

// A table's layout before it changed, in the dictionary's notation.
struct OldLayout {
  int length;               // the record's bytes
  std::string_view fields;  // the item's "Fields:" text
  std::string_view keys;    // its "Keys:" text, '@' standing for the declaration's prefix
};

// A declaration of an old layout: its label and field prefix.
struct OldDecl {
  const char* label;
  const char* prefix;
};

// One changed table. A migrated one (dropped false) is renamed with an "X" in
// front, created anew, filled from the renamed table's rows and then from
// the local file's records, the renamed table dropped, then its extra pass
// run; a dropped one is only dropped, for the creation loop to make anew.
struct ChangedTable {
  const char* label;    // the dictionary table
  const char* carrier;  // the table whose SQL pass-through carries its statements (its database)
  const char* sqlName;  // the name its statements give it; for one named by a variable, the
                        // name the creation gives it, and the statements take the variable's value
  bool namedByVariable;
  bool dropped;  // dropped for the creation loop; nothing below applies
  const OldLayout* layout;
  const char* owner;      // the owner word of the renamed table's declaration
  OldDecl renamed;        // the renamed table ("X" and the name), in the carrier's database
  OldDecl local;          // the local file, in the current directory
  const char* localFile;  // the local file's name when the local declaration takes it from
                          // its name variable; null: its label
  const char* keepEmpty;  // a field of the table that is not carried; "" for none
  bool removeLocalFile;   // once every record of it arrived
  void (*extraPass)();    // run after the drop, in the same transaction; null for none
};

// Every changed table, in the migration's order.
std::span<const ChangedTable> ChangedTables();

// What a table's statements name it: its sqlName, or its name variable's text without trailing blanks.
std::string StatementName(const ChangedTable& t);

// The two old-layout declarations of a migrated table.
struct OldDecls {
  const dict::TableInfo* renamed;
  const dict::TableInfo* local;
};
OldDecls OldDeclsOf(const ChangedTable& t);

// The name variable of a local file named by one (localFile), empty until its migration sets it.
rt::NameVar& LocalFileNameVar(const ChangedTable& t);

// The faults of the old-layout declarations, one per faulty declaration; the
// program's start-up shows them and ends rather than start.
std::vector<dict::CatalogueError> CheckOldLayouts();

// Set-up of the old-layout instances, once per thread, in the rows' order
// (each row's local file, then its renamed table), and the release of those
// set up (the thread's end).
void SetUpOldLayoutFiles();
void ReleaseOldLayoutFiles();

}  // namespace app
