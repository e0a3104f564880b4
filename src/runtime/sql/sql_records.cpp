// The SQL driver's record operations: reading in key order, getting by key,
// adding and changing rows.
#include "runtime/sql/sql_driver_impl.h"

#include <optional>

#include "runtime/base/code_page.h"
#include "runtime/decl/value_fit.h"
#include "runtime/sql/sql_values.h"

namespace rt {

namespace {

// A refused INSERT or UPDATE: a duplicate key has its own error code.
int WriteRefused(const SqlConnection& conn, const SqlError& err) {
  if (!conn.info.Dialect().Means(err, Refusal::DuplicateKey)) return Refused(err);
  SetFileError(err.state, err.message);
  return kCreatesDuplicateKey;
}

}  // namespace

const SqlKey* SqlDriver::Impl::SchemaKeyFor(SqlFileState& st, const KeyDescriptor* key) {
  if (!key) return nullptr;
  for (const SqlKey& k : st.schema->keys)
    if (k.key == key) return &k;
  for (const SqlKey& k : st.schema->keys)
    if (k.key->label == key->label) return &k;
  return nullptr;
}

// WHERE text and parameters for a key's columns with the given values.
void SqlDriver::Impl::KeyWhere(const SqlTableSchema& s, const SqlKey& key, const std::vector<SqlValue>& values,
              std::string& sql, std::vector<SqlValue>& params) {
  sql += " WHERE ";
  for (size_t i = 0; i < key.columns.size(); ++i) {
    const SqlColumn& col = s.columns[key.columns[i].column];
    if (i) sql += " AND ";
    const SqlValue& v = values[key.columns[i].column];
    if (v.isNull) {
      sql += col.name + " IS NULL";
    } else {
      sql += col.name + " = ?";
      params.push_back(v);
    }
  }
}

std::vector<SqlValue> SqlDriver::Impl::RowOfBuffer(FileBlock& file, const SqlTableSchema& s) {
  std::vector<SqlValue> row;
  row.reserve(s.columns.size());
  for (const SqlColumn& col : s.columns) row.push_back(ValueOf(file, col));
  return row;
}

std::vector<SqlValue::Kind> SqlDriver::Impl::Kinds(const SqlTableSchema& s) {
  std::vector<SqlValue::Kind> kinds;
  for (const SqlColumn& col : s.columns) kinds.push_back(KindOf(col));
  return kinds;
}

int SqlDriver::Impl::TakeRow(FileBlock& file, SqlFileState& st, std::vector<SqlValue>& row) {
  const SqlTableSchema& s = *st.schema;
  for (size_t i = 0; i < s.columns.size(); ++i) {
    const std::string why = StoreValue(file, s.columns[i], row[i]);
    if (why.empty()) continue;
    std::string key;
    if (s.primaryKey >= 0)
      for (const SqlKeyColumn& k : s.keys[s.primaryKey].columns)
        key += (key.empty() ? "" : ", ") + s.columns[k.column].name + " " + ShownValue(row[k.column]);
    file.ClearRecord();
    st.haveCurrent = false;
    SetFileError({}, UnfitValueText(key, s.columns[i].name, ShownValue(row[i]), why));
    return kFileSystemError;
  }
  st.currentRow = std::move(row);
  st.haveCurrent = true;
  return kNoError;
}

int SqlDriver::SetKey(FileBlock& file, const KeyDescriptor& key) {
  SqlFileState& st = StateOf(file);
  if (int rc = impl_->ConnectWithSchema(file, st)) return rc;
  if (!impl_->SchemaKeyFor(st, &key)) return kFunctionNotSupported;
  st.cursor.reset();
  st.pendingKey = &key;
  st.lastKey = &key;
  st.sequenceStarted = false;
  return kNoError;
}

int SqlDriver::Next(FileBlock& file) {
  SqlFileState& st = StateOf(file);
  if (int rc = impl_->ConnectWithSchema(file, st)) return rc;
  const SqlTableSchema& s = *st.schema;
  if (!st.sequenceStarted) {
    std::string sql = st.selectHead;
    const SqlKey* key = impl_->SchemaKeyFor(st, st.pendingKey);
    if (!key && s.primaryKey >= 0) key = &s.keys[s.primaryKey];
    if (key) {
      sql += " ORDER BY ";
      for (size_t i = 0; i < key->columns.size(); ++i) {
        sql += (i ? "," : "") + s.columns[key->columns[i].column].name;
        if (key->columns[i].descending) sql += " DESC";
      }
    }
    st.lastSql = sql;
    SqlResult<std::unique_ptr<SqlCursor>> cursor = st.conn->session->Query(sql, {}, impl_->Kinds(s));
    if (!cursor) return Refused(cursor.error());
    st.cursor = std::move(*cursor);
    st.sequenceStarted = true;
  }
  if (!st.cursor) return kRecordNotAvailable;
  std::vector<SqlValue> row;
  const SqlResult<Fetched> fetched = st.cursor->Fetch(row);
  if (!fetched || *fetched == Fetched::End) {
    st.cursor.reset();
    return fetched ? kRecordNotAvailable : Refused(fetched.error());
  }
  if (const int taken = impl_->TakeRow(file, st, row)) {
    st.cursor.reset();
    return taken;
  }
  return kNoError;
}

int SqlDriver::Get(FileBlock& file, const KeyDescriptor& key) {
  SqlFileState& st = StateOf(file);
  if (int rc = impl_->ConnectWithSchema(file, st)) return rc;
  const SqlTableSchema& s = *st.schema;
  const SqlKey* k = impl_->SchemaKeyFor(st, &key);
  if (!k) return kFunctionNotSupported;
  st.lastKey = &key;
  std::string sql = st.selectHead;
  std::vector<SqlValue> params;
  impl_->KeyWhere(s, *k, impl_->RowOfBuffer(file, s), sql, params);
  st.lastSql = sql;
  SqlResult<std::unique_ptr<SqlCursor>> cursor = st.conn->session->Query(sql, params, impl_->Kinds(s));
  if (!cursor) return Refused(cursor.error());
  std::vector<SqlValue> row;
  const SqlResult<Fetched> fetched = (*cursor)->Fetch(row);
  if (!fetched) return Refused(fetched.error());
  if (*fetched == Fetched::End) return kRecordNotFound;
  return impl_->TakeRow(file, st, row);
}

SqlResult<const SqlKey*> SqlDriver::Impl::TakenKey(SqlFileState& st, const std::vector<SqlValue>& row) {
  const SqlTableSchema& s = *st.schema;
  for (const SqlKey& key : s.keys) {
    if (key.key->attrs & kKeyDup) continue;
    std::string sql = "SELECT 1 FROM " + s.tableName;
    std::vector<SqlValue> params;
    KeyWhere(s, key, row, sql, params);
    SqlResult<std::unique_ptr<SqlCursor>> cursor = st.conn->session->Query(sql, params, {SqlValue::Kind::Long});
    if (!cursor) return Failed(cursor.error());
    std::vector<SqlValue> found;
    const SqlResult<Fetched> fetched = (*cursor)->Fetch(found);
    if (!fetched) return Failed(fetched.error());
    if (*fetched == Fetched::Row) return &key;
  }
  return nullptr;
}

// A hash of a row's values of a key, as loose as any server's comparison of
// them: a text without its trailing blanks, letter case or accents. Equal keys
// always hash alike; unequal ones rarely do, and then a look-up decides.
std::optional<uint64_t> LooseKeyHash(const SqlKey& key, const std::vector<SqlValue>& row) {
  std::string text;
  for (const SqlKeyColumn& c : key.columns) {
    const SqlValue& v = row[c.column];
    if (v.isNull) return std::nullopt;  // a key with an empty part clashes with none
    text += std::to_string(static_cast<int>(v.kind)) + ':';
    switch (v.kind) {
      case SqlValue::Kind::Long: text += std::to_string(v.i); break;
      case SqlValue::Kind::Double: text.append(reinterpret_cast<const char*>(&v.d), sizeof v.d); break;
      case SqlValue::Kind::Timestamp:
        text += std::to_string(v.ts.year) + '-' + std::to_string(v.ts.month) + '-' + std::to_string(v.ts.day) + ' ' +
                std::to_string(v.ts.hour) + ':' + std::to_string(v.ts.minute) + ':' + std::to_string(v.ts.second) +
                '.' + std::to_string(v.ts.fraction);
        break;
      default: text += FoldForComparison(CLIP(v.bytes)); break;
    }
    text += '|';
  }
  return std::hash<std::string>{}(text);
}

int SqlDriver::Impl::UniqueKeysFree(SqlFileState& st, const std::vector<SqlValue>& row) {
  const SqlResult<const SqlKey*> taken = TakenKey(st, row);
  if (!taken) return Refused(taken.error());
  if (!*taken) return kNoError;
  SetFileError("23000", "The row's " + (*taken)->key->label + " is taken");
  return kCreatesDuplicateKey;
}

int SqlDriver::Add(FileBlock& file) {
  SqlFileState& st = StateOf(file);
  if (int rc = impl_->ConnectWithSchema(file, st)) return rc;
  const SqlTableSchema& s = *st.schema;
  std::vector<SqlValue> row = impl_->RowOfBuffer(file, s);
  const InsertHead& head = st.insertHead;
  SqlConnection& conn = *st.conn;
  // In the transaction that created the table every row of it came through
  // here: a key not seen before cannot clash, and the row may wait to go with
  // others in one INSERT. A key seen before is looked up on the server.
  if (conn.transaction && st.createdInTransaction == conn.transactionNumber) {
    std::vector<uint64_t> hashes;
    bool seen = false;
    for (const SqlKey& key : s.keys) {
      if (key.key->attrs & kKeyDup) continue;
      const std::optional<uint64_t> hash = LooseKeyHash(key, row);
      if (!hash) continue;
      hashes.push_back(*hash);
      seen |= st.addedKeys.count(*hash) > 0;
    }
    if (seen)
      if (int rc = impl_->UniqueKeysFree(st, row)) return rc;
    // A refusal now may be of rows added before this one: never this row's duplicate.
    if (SqlStatus sent = conn.session->ExecDeferred(head, row); !sent) return Refused(sent.error());
    st.addedKeys.insert(hashes.begin(), hashes.end());
    st.currentRow = std::move(row);
    st.haveCurrent = true;
    return kNoError;
  }
  // Where a refused INSERT would end the transaction it runs in, a duplicate
  // is answered before it is sent.
  if (conn.transaction && conn.info.Dialect().refusalEndsTransaction)
    if (int rc = impl_->UniqueKeysFree(st, row)) return rc;
  if (SqlStatus added = impl_->Exec(st, *head + RowPlaceholders(row.size()), row); !added)
    return WriteRefused(conn, added.error());
  st.currentRow = std::move(row);
  st.haveCurrent = true;
  return kNoError;
}

int SqlDriver::Put(FileBlock& file) {
  SqlFileState& st = StateOf(file);
  if (int rc = impl_->ConnectWithSchema(file, st)) return rc;
  const SqlTableSchema& s = *st.schema;
  if (!st.haveCurrent) return kRecordNotAvailable;
  const SqlKey* key = s.primaryKey >= 0 ? &s.keys[s.primaryKey] : impl_->SchemaKeyFor(st, st.lastKey);
  if (!key) {
    for (const SqlKey& k : s.keys)
      if (!(k.key->attrs & kKeyDup)) { key = &k; break; }
  }
  if (!key) return kFunctionNotSupported;
  std::string sql = "UPDATE " + s.tableName + " SET ";
  std::vector<SqlValue> row = impl_->RowOfBuffer(file, s);
  std::vector<SqlValue> params;
  for (size_t i = 0; i < s.columns.size(); ++i) {
    sql += (i ? "," : "") + s.columns[i].name + " = ?";
    params.push_back(row[i]);
  }
  impl_->KeyWhere(s, *key, st.currentRow, sql, params);
  if (SqlStatus put = impl_->Exec(st, sql, params); !put) return WriteRefused(*st.conn, put.error());
  st.currentRow = std::move(row);
  return kNoError;
}

}  // namespace rt
