// SQL form of a table declaration: names, columns, key columns, the server's
// type list and the CREATE TABLE / CREATE INDEX texts. Everything here is a pure
// function of the declaration and of what the server reported about itself.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/decl/file_decl.h"
#include "runtime/base/outcome.h"
#include "runtime/sql/server_info.h"

namespace rt {

struct SqlTypeName {
  std::string name;
  std::string createParams;  // empty: the type takes no parameters
};

// The first row per code from -9 to 12, ODBC 3 date-time codes read as ODBC 2
// ones; on SQL Server the first float row also names the double type when no
// double came first.
class TypeList {
 public:
  static TypeList FromRows(const std::vector<TypeInfoRow>& rows, const ServerInfo& server);
  // The type points into the list: a list about to go (a temporary) gives none.
  const SqlTypeName* Find(int code) const&;
  const SqlTypeName* Find(int code) const&& = delete;
  bool Holds(int code) const { return Find(code) != nullptr; }

 private:
  std::map<int, SqlTypeName> types_;
};

// True for one of the 234 reserved words (any letter case).
bool IsReservedWord(std::string_view name);
// The identifier rule: a reserved word, a server keyword or a name with a blank
// is quoted (unless it holds a period or is quoted already) and upper-cased
// unless quoted identifiers are case-sensitive.
std::string SqlIdentifier(std::string_view name, const ServerInfo& info);
// Column name of a label or external name.
std::string ColumnNameOf(std::string_view label, std::string_view externalName, const ServerInfo& info);
// Index name of a key.
std::string IndexNameOf(const KeyDescriptor& key);

// One column of the table, bound to the record or to a BLOB.
struct SqlColumn {
  std::string name;
  int entry = 0;          // TypeRecord entry number; 0 for a BLOB
  int blob = -1;          // BLOB index, -1 for a record column
  FieldType type = FieldType::Byte;
  uint32_t size = 0;
  uint8_t places = 0;
  uint32_t offset = 0;
  bool dateTime = false;  // an 8-byte handle carrying a DATE and a TIME
  bool binary = false;    // BLOB with BINARY
  bool notNull = false;
};

struct SqlKeyColumn {
  int column = 0;         // index into SqlTableSchema::columns
  bool descending = false;
};

struct SqlKey {
  const KeyDescriptor* key = nullptr;
  std::string indexName;
  std::vector<SqlKeyColumn> columns;
};

// The settled SQL names and column layout of one table.
struct SqlTableSchema {
  std::string tableName;
  std::vector<SqlColumn> columns;   // record columns first, then BLOBs
  std::vector<SqlKey> keys;         // declaration order
  size_t recordColumnCount = 0;
  int primaryKey = -1;              // index into keys
  bool hasFields = false;
};

// Derives the schema, or the reason it cannot (error 75: a layout that breaks
// the storage rules or a key component that stands for no column).
Outcome<SqlTableSchema> BuildTableSchema(const TypeRecord& record, const std::vector<KeyDescriptor>& keys,
                                         const std::vector<BlobDescriptor>& blobs, std::string_view tableName,
                                         const ServerInfo& info);

// The SQL type of a column with its parameters; nullopt when the type list
// cannot store it.
std::optional<std::string> SqlTypeOf(const SqlColumn& column, const TypeList& types);

struct CreateStatements {
  std::string createTable;
  std::vector<std::string> indexNames;     // one per index statement
  std::vector<std::string> createIndexes;
};

// CREATE TABLE and CREATE INDEX texts; where a column's type is not in the
// list, the reason is that column's name.
Outcome<CreateStatements> BuildCreateStatements(const SqlTableSchema& schema, const TypeList& types);

// The table's column names, comma-separated, as SELECT and INSERT list them.
std::string ColumnList(const SqlTableSchema& schema);

// A key's column list in parentheses, as written in constraint and index clauses.
std::string ParenthesisedKeyColumns(const SqlTableSchema& schema, const SqlKey& key, bool withDirections);

}  // namespace rt
