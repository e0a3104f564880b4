// The SQL form of a declaration: column names and types from the server's type
// list, and the CREATE TABLE and CREATE INDEX texts.
#include "runtime/sql/sql_schema.h"
#include "runtime/base/text.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace rt {

namespace {

constexpr std::string_view kReservedWords =
    "ABSOLUTE,ACTION,ADA,ADD,ALL,ALLOCATE,ALTER,AND,ANY,ARE,AS,ASC,ASSERTION,AT,AUTHORIZATION,AVG,"
    "BEGIN,BETWEEN,BIT,BIT_LENGTH,BOTH,BY,CASCADE,CASCADED,CASE,CAST,CATALOG,CHAR,CHAR_LENGTH,"
    "CHARACTER,CHARACTER_LENGTH,CHECK,CLOSE,COALESCE,COBOL,COLLATE,COLLATION,COLUMN,COMMIT,CONNECT,"
    "CONNECTION,CONSTRAINT,CONSTRAINTS,CONTINUE,CONVERT,CORRESPONDING,COUNT,CREATE,CROSS,CURRENT,"
    "CURRENT_DATE,CURRENT_TIME,CURRENT_TIMESTAMP,CURRENT_USER,CURSOR,DATABASE,DATE,DAY,DEALLOCATE,"
    "DEC,DECIMAL,DECLARE,DEFAULT,DEFERRABLE,DEFERRED,DELETE,DESC,DESCRIBE,DESCRIPTOR,DIAGNOSTICS,"
    "DISCONNECT,DISTINCT,DOMAIN,DOUBLE,DROP,ELSE,END,END-EXEC,ESCAPE,EXCEPT,EXCEPTION,EXEC,EXECUTE,"
    "EXISTS,EXTERNAL,EXTRACT,FALSE,FETCH,FIRST,FLOAT,FOR,FOREIGN,FORTRAN,FOUND,FROM,FULL,GET,GLOBAL,"
    "GO,GOTO,GRANT,GROUP,HAVING,HOUR,IDENTITY,IMMEDIATE,IN,INCLUDE,INDEX,INDICATOR,INITIALLY,INNER,"
    "INPUT,INSENSITIVE,INSERT,INTEGER,INTERSECT,INTERVAL,INTO,IS,ISOLATION,JOIN,KEY,LANGUAGE,LAST,"
    "LEADING,LEFT,LEVEL,LIKE,LOCAL,LOWER,MATCH,MAX,MIN,MINUTE,MODULE,MONTH,MUMPS,NAMES,NATIONAL,"
    "NATURAL,NCHAR,NEXT,NO,NONE,NOT,NULL,NULLIF,NUMERIC,OCTET_LENGTH,OF,ON,ONLY,OPEN,OPTION,OR,ORDER,"
    "OUTER,OUTPUT,OVERLAPS,PAD,PARTIAL,PASCAL,PLI,POSITION,PRECISION,PREPARE,PRESERVE,PRIMARY,PRIOR,"
    "PRIVILEGES,PROCEDURE,PUBLIC,REFERENCES,RELATIVE,RESTRICT,REVOKE,RIGHT,ROLLBACK,ROWS,SCHEMA,"
    "SCROLL,SECOND,SECTION,SELECT,SEQUENCE,SESSION_USER,SET,SIZE,SMALLINT,SOME,SPACE,SQL,SQLCA,"
    "SQLCODE,SQLERROR,SQLSTATE,SQLWARNING,SUBSTRING,SUM,SYSTEM_USER,TABLE,TEMPORARY,THEN,TIME,"
    "TIMESTAMP,TIMEZONE_HOUR,TIMEZONE_MINUTE,TO,TRAILING,TRANSACTION,TRANSLATE,TRANSLATION,TRIM,TRUE,"
    "UNION,UNIQUE,UNKNOWN,UPDATE,UPPER,USAGE,USER,USING,VALUE,VALUES,VARCHAR,VARYING,VIEW,WHEN,"
    "WHENEVER,WHERE,WITH,WORK,YEAR";

const std::set<std::string>& ReservedWords() {
  static const std::set<std::string> words = [] {
    std::set<std::string> s;
    size_t start = 0;
    while (start <= kReservedWords.size()) {
      size_t comma = kReservedWords.find(',', start);
      if (comma == std::string_view::npos) comma = kReservedWords.size();
      s.emplace(kReservedWords.substr(start, comma - start));
      start = comma + 1;
    }
    return s;
  }();
  return words;
}

}  // namespace

TypeList TypeList::FromRows(const std::vector<TypeInfoRow>& rows, const ServerInfo& server) {
  TypeList list;
  const bool floatNamesDouble = server.Dialect().floatIsDouble;
  for (const TypeInfoRow& row : rows) {
    int code = row.dataType;
    if (code == 91) code = sqlcode::kDate;
    if (code == 92) code = sqlcode::kTime;
    if (code == 93) code = sqlcode::kTimestamp;
    if (code < -9 || code > 12) continue;
    SqlTypeName type{row.typeName, row.createParams.value_or("")};
    if (floatNamesDouble && code == sqlcode::kFloat && !list.types_.count(sqlcode::kDouble))
      list.types_.emplace(sqlcode::kDouble, SqlTypeName{row.typeName, ""});
    list.types_.emplace(code, std::move(type));
  }
  return list;
}

const SqlTypeName* TypeList::Find(int code) const& {
  auto it = types_.find(code);
  return it == types_.end() ? nullptr : &it->second;
}

bool IsReservedWord(std::string_view name) { return ReservedWords().count(Upper(name)) != 0; }

std::string SqlIdentifier(std::string_view name, const ServerInfo& info) {
  std::string upper = Upper(name);
  bool special = ReservedWords().count(upper) || info.keywords.count(upper) ||
                 name.find(' ') != std::string_view::npos;
  if (!special) return std::string(name);
  if (name.find('.') != std::string_view::npos) return std::string(name);
  const std::string& quote = info.identifierQuote == " " ? std::string() : info.identifierQuote;
  if (!quote.empty() && name.substr(0, quote.size()) == quote) return std::string(name);
  std::string quoted = quote + std::string(name) + quote;
  return info.quotedCaseSensitive ? quoted : Upper(quoted);
}

std::string ColumnNameOf(std::string_view label, std::string_view externalName, const ServerInfo& info) {
  if (!externalName.empty()) return std::string(externalName);
  size_t colon = label.find(':');
  return SqlIdentifier(colon == std::string_view::npos ? label : label.substr(colon + 1), info);
}

std::string IndexNameOf(const KeyDescriptor& key) {
  if (!key.externalName.empty()) return key.externalName.substr(0, key.externalName.find('/'));
  std::string name = key.label;
  std::replace(name.begin(), name.end(), ':', '_');
  return name;
}

namespace {

// Which entries of a record have storage of their own, each walked level with
// its fill position: an entry that starts where the one before it ends has
// storage; one laid back onto an earlier entry of its level (and all of a
// group laid back) has none, and stands for that entry in keys. The stored
// entries but groups are the table's record columns, in entry order.
class RecordLayout {
 public:
  static Outcome<RecordLayout> Of(const TypeRecord& record) {
    RecordLayout layout(record.entries());
    if (const Outcome<void> walked = layout.Walk(0, 0, true); !walked) return Reason{walked.error()};
    int next = 0;
    for (int i = 1; i <= layout.n_; ++i)
      if (layout.IsColumn(i)) layout.column_[i] = next++;
    return layout;
  }

  bool Stored(int i) const { return stored_[i]; }
  bool IsColumn(int i) const { return stored_[i] && Entry(i).type != FieldType::Group; }

  // An 8-byte STRING followed by a group laid over it of a DATE and a TIME:
  // the handle of a date and a time, one column.
  bool IsDateTimeHandle(int i) const {
    const TypeEntry& e = Entry(i);
    if (e.type != FieldType::String || e.size != 8 || i + 3 > n_) return false;
    const TypeEntry& g = Entry(i + 1);
    const TypeEntry& d = Entry(i + 2);
    const TypeEntry& t = Entry(i + 3);
    return g.type == FieldType::Group && !stored_[i + 1] && d.parent == i + 1 && d.type == FieldType::Date &&
           t.parent == i + 1 && t.type == FieldType::Time;
  }

  // The column an entry stands for in a key: its own; for one laid back, the
  // entry's it is laid over; else that of a column at its position before its
  // group, or its group's. -1 for none.
  int ColumnOf(int i, int depth = 0) const {
    if (i < 1 || i > n_ || depth > n_) return -1;
    const TypeEntry& e = Entry(i);
    if (stored_[i]) return column_[i];
    if (laidOver_[i]) return ColumnOf(laidOver_[i], depth + 1);
    const int group = e.parent;
    if (group == 0) return -1;
    for (int j = 1; j < group; ++j)
      if (IsColumn(j) && Entry(j).offset == e.offset) return column_[j];
    return ColumnOf(group, depth + 1);
  }

 private:
  explicit RecordLayout(const std::vector<TypeEntry>& entries)
      : entries_(&entries),
        n_(static_cast<int>(entries.size())),
        stored_(n_ + 1, false),
        laidOver_(n_ + 1, 0),
        column_(n_ + 1, -1) {}

  const TypeEntry& Entry(int i) const { return (*entries_)[i - 1]; }

  // Walks the members of parent from its start; owned: they have storage of
  // their own unless laid back.
  Outcome<void> Walk(int parent, uint32_t start, bool owned) {
    uint32_t fill = start;
    for (int i = 1; i <= n_; ++i) {
      const TypeEntry& e = Entry(i);
      if (e.parent != parent) continue;
      bool membersOwned = false;
      if (owned && e.offset == fill) {
        stored_[i] = true;
        fill = e.offset + e.size;
        membersOwned = true;
      } else if (owned && e.offset < fill) {
        for (int j = 1; j < i && !laidOver_[i]; ++j)
          if (Entry(j).parent == parent && Entry(j).offset == e.offset) laidOver_[i] = j;
        if (!laidOver_[i]) return Reason{"entry " + std::to_string(i) + " is laid where no earlier entry starts"};
      } else if (owned) {
        return Reason{"entry " + std::to_string(i) + " starts after the end of the previous one"};
      }
      if (e.type != FieldType::Group) continue;
      if (Outcome<void> members = Walk(i, e.offset, membersOwned); !members) return members;
    }
    return {};
  }

  const std::vector<TypeEntry>* entries_;
  int n_;
  std::vector<bool> stored_;
  std::vector<int> laidOver_;  // the earlier entry of the same level at the same position
  std::vector<int> column_;    // the record column of a stored entry
};

void AddRecordColumns(const TypeRecord& record, const RecordLayout& layout, const ServerInfo& info,
                      SqlTableSchema& schema) {
  const auto& entries = record.entries();
  for (int i = 1; i <= static_cast<int>(entries.size()); ++i) {
    if (!layout.IsColumn(i)) continue;
    const TypeEntry& e = entries[i - 1];
    schema.hasFields = true;
    SqlColumn col;
    col.name = ColumnNameOf(e.label, e.externalName, info);
    col.entry = i;
    col.type = e.type;
    col.size = e.size;
    col.places = e.places;
    col.offset = e.offset;
    col.dateTime = layout.IsDateTimeHandle(i);
    schema.columns.push_back(std::move(col));
  }
  schema.recordColumnCount = schema.columns.size();
}

void AddBlobColumns(const std::vector<BlobDescriptor>& blobs, const ServerInfo& info, SqlTableSchema& schema) {
  for (size_t b = 0; b < blobs.size(); ++b) {
    SqlColumn col;
    col.name = ColumnNameOf(blobs[b].label, blobs[b].externalName, info);
    col.blob = static_cast<int>(b);
    col.binary = (blobs[b].attrs & kBlobBinary) != 0;
    col.size = blobs[b].memoSize;
    col.type = (blobs[b].attrs & kBlobIsBlob) ? FieldType::String : FieldType::Memo;
    schema.columns.push_back(std::move(col));
  }
}

// The key's columns; the columns of a key that takes no empty part made NOT
// NULL where the server allows it.
Outcome<SqlKey> BuildSqlKey(const KeyDescriptor& key, const RecordLayout& layout, const ServerInfo& info,
                      SqlTableSchema& schema) {
  SqlKey k;
  k.key = &key;
  k.indexName = IndexNameOf(key);
  const bool notNull = ((key.attrs & kKeyPrimary) || !(key.attrs & kKeyOpt)) && info.nonNullableColumns;
  for (int32_t comp : key.components) {
    const int col = layout.ColumnOf(comp < 0 ? -comp : comp);
    if (col < 0) return Reason{"key " + key.label + " names entry " + std::to_string(comp) + " that is no column"};
    k.columns.push_back({col, comp < 0});
    if (notNull) schema.columns[col].notNull = true;
  }
  return k;
}

}  // namespace

Outcome<SqlTableSchema> BuildTableSchema(const TypeRecord& record, const std::vector<KeyDescriptor>& keys,
                                         const std::vector<BlobDescriptor>& blobs, std::string_view tableName,
                                         const ServerInfo& info) {
  const Outcome<RecordLayout> layout = RecordLayout::Of(record);
  if (!layout) return Reason{layout.error()};
  SqlTableSchema schema;
  schema.tableName = SqlIdentifier(tableName, info);
  AddRecordColumns(record, *layout, info, schema);
  AddBlobColumns(blobs, info, schema);
  for (const KeyDescriptor& key : keys) {
    Outcome<SqlKey> k = BuildSqlKey(key, *layout, info, schema);
    if (!k) return Reason{k.error()};
    if ((key.attrs & kKeyPrimary) && schema.primaryKey < 0) schema.primaryKey = static_cast<int>(schema.keys.size());
    schema.keys.push_back(std::move(*k));
  }
  return schema;
}

namespace {

struct TypeChoice {
  std::vector<int> codes;
  int precision = 0;  // for parameters with a comma
  int scale = 0;
  int length = 0;     // for one-number parameters
  bool withParams = true;
  bool unchecked = false;  // taken without looking at the list
};

std::string WithParams(const SqlTypeName& type, const TypeChoice& choice) {
  if (!choice.withParams || type.createParams.empty()) return type.name;
  std::string params = type.createParams.find(',') != std::string::npos
                           ? std::to_string(choice.precision) + ", " + std::to_string(choice.scale)
                           : std::to_string(choice.length);
  size_t open = type.name.find('(');
  if (open == std::string::npos) return type.name + "(" + params + ")";
  size_t close = type.name.find(')', open);
  std::string rest = close == std::string::npos ? std::string() : type.name.substr(close + 1);
  return type.name.substr(0, open) + "(" + params + ")" + rest;
}

}  // namespace

std::optional<std::string> SqlTypeOf(const SqlColumn& column, const TypeList& types) {
  using namespace sqlcode;
  TypeChoice c;
  int size = static_cast<int>(column.size);
  c.length = size;
  c.precision = size;
  if (column.blob >= 0) {
    c.withParams = false;
    c.codes = column.binary ? std::vector<int>{kLongVarBinary, kBinary} : std::vector<int>{kLongVarChar};
  } else {
    switch (column.type) {
      case FieldType::CString:
        c.codes = {kVarChar, kChar};
        c.length = size - 1;
        c.precision = size - 1;
        break;
      case FieldType::String:
        c.codes = column.dateTime ? std::vector<int>{kTimestamp, kChar, kVarChar}
                                  : std::vector<int>{kChar, kVarChar};
        break;
      case FieldType::Byte: c.codes = {kTinyInt, kSmallInt, kInteger, kDecimal, kNumeric}; c.precision = 3; break;
      case FieldType::Short:
      case FieldType::UShort: c.codes = {kSmallInt, kInteger, kDecimal, kNumeric}; c.precision = 5; break;
      case FieldType::Long:
      case FieldType::ULong: c.codes = {kInteger, kDecimal, kNumeric}; c.precision = 8; break;
      case FieldType::SReal: c.codes = {kReal, kDouble}; break;
      case FieldType::Real: c.codes = {kDouble}; break;
      case FieldType::Decimal:
        c.codes = {kDecimal, kNumeric};
        c.precision = 2 * size - 1;
        c.scale = column.places;
        break;
      case FieldType::PDecimal:
        c.codes = {kNumeric, kDecimal};
        c.precision = 2 * size - 1;
        c.scale = column.places;
        break;
      case FieldType::Date: c.codes = {kDate}; break;
      case FieldType::Time: c.codes = {kTime}; break;
      default: c.codes = {kChar}; c.unchecked = true; break;
    }
  }
  for (int code : c.codes) {
    if (const SqlTypeName* type = types.Find(code)) return WithParams(*type, c);
  }
  if (c.unchecked) return WithParams(SqlTypeName{"char", "length"}, c);
  return std::nullopt;
}

std::string ColumnList(const SqlTableSchema& schema) {
  std::string out;
  for (size_t i = 0; i < schema.columns.size(); ++i) out += (i ? "," : "") + schema.columns[i].name;
  return out;
}

std::string ParenthesisedKeyColumns(const SqlTableSchema& schema, const SqlKey& key, bool withDirections) {
  std::string out = "(";
  for (size_t i = 0; i < key.columns.size(); ++i) {
    if (i) out += ",";
    out += schema.columns[key.columns[i].column].name + " ";
    if (withDirections && key.columns[i].descending) out += "DESC ";
  }
  return out + ")";
}

Outcome<CreateStatements> BuildCreateStatements(const SqlTableSchema& schema, const TypeList& types) {
  CreateStatements out;
  std::string& sql = out.createTable;
  sql = "CREATE TABLE " + schema.tableName + " (";
  for (size_t i = 0; i < schema.columns.size(); ++i) {
    const SqlColumn& col = schema.columns[i];
    std::optional<std::string> type = SqlTypeOf(col, types);
    if (!type) return Reason{col.name};
    if (col.blob >= 0) {
      sql += ", " + col.name + " " + *type;
    } else {
      if (i) sql += ",";
      sql += col.name + " " + *type;
      if (col.notNull) sql += " NOT NULL";
    }
  }
  for (const SqlKey& key : schema.keys) {
    if (key.key->attrs & kKeyDup) continue;
    sql += (key.key->attrs & kKeyPrimary) ? ",PRIMARY KEY " : ",UNIQUE ";
    sql += ParenthesisedKeyColumns(schema, key, false);
  }
  sql += ")";
  for (const SqlKey& key : schema.keys) {
    if ((key.key->attrs & kKeyIndex) || !(key.key->attrs & kKeyDup)) continue;
    out.indexNames.push_back(key.indexName);
    out.createIndexes.push_back("CREATE INDEX " + key.indexName + " ON " + schema.tableName + " " +
                                ParenthesisedKeyColumns(schema, key, true));
  }
  return out;
}

}  // namespace rt
