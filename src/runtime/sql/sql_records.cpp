// The SQL driver's record operations: reading in key order, getting by key,
// adding and changing rows.
#include "runtime/sql/sql_driver_impl.h"

#include "runtime/sql/sql_values.h"

namespace rt {

namespace {

std::string ColumnList(const SqlTableSchema& s) {
  std::string out;
  for (size_t i = 0; i < s.columns.size(); ++i) out += (i ? "," : "") + s.columns[i].name;
  return out;
}

// A refused INSERT or UPDATE: a duplicate key has its own error code.
int WriteRefused(const SqlError& err) {
  if (!IsDuplicateKeyState(err)) return Refused(err);
  SetFileError(err.state, err.message);
  return kCreatesDuplicateKey;
}

}  // namespace

const SqlKey* SqlDriver::Impl::KeyOf(SqlFileState& st, const KeyDescriptor* key) {
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
  for (const SqlColumn& col : s.columns) row.push_back(ValueOf(file, col));
  return row;
}

std::vector<SqlValue::Kind> SqlDriver::Impl::Kinds(const SqlTableSchema& s) {
  std::vector<SqlValue::Kind> kinds;
  for (const SqlColumn& col : s.columns) kinds.push_back(KindOf(col));
  return kinds;
}

void SqlDriver::Impl::TakeRow(FileBlock& file, SqlFileState& st, std::vector<SqlValue>& row) {
  for (size_t i = 0; i < st.schema->columns.size(); ++i) StoreValue(file, st.schema->columns[i], row[i]);
  st.currentRow = std::move(row);
  st.haveCurrent = true;
}

int SqlDriver::SetKey(FileBlock& file, const KeyDescriptor& key) {
  SqlFileState& st = StateOf(file);
  if (int rc = impl_->ConnectWithSchema(file, st)) return rc;
  if (!impl_->KeyOf(st, &key)) return kFunctionNotSupported;
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
    std::string sql = "SELECT " + ColumnList(s) + " FROM " + s.tableName;
    const SqlKey* key = impl_->KeyOf(st, st.pendingKey);
    if (!key && s.primaryKey >= 0) key = &s.keys[s.primaryKey];
    if (key) {
      sql += " ORDER BY ";
      for (size_t i = 0; i < key->columns.size(); ++i) {
        sql += (i ? "," : "") + s.columns[key->columns[i].column].name;
        if (key->columns[i].descending) sql += " DESC";
      }
    }
    st.lastSql = sql;
    SqlError err;
    st.cursor = st.conn->session->Query(sql, {}, impl_->Kinds(s), err);
    if (!st.cursor) return Refused(err);
    st.sequenceStarted = true;
  }
  if (!st.cursor) return kRecordNotAvailable;
  std::vector<SqlValue> row;
  SqlError err;
  if (!st.cursor->Fetch(row, err)) {
    st.cursor.reset();
    if (!err.state.empty()) return Refused(err);
    return kRecordNotAvailable;
  }
  impl_->TakeRow(file, st, row);
  return kNoError;
}

int SqlDriver::Get(FileBlock& file, const KeyDescriptor& key) {
  SqlFileState& st = StateOf(file);
  if (int rc = impl_->ConnectWithSchema(file, st)) return rc;
  const SqlTableSchema& s = *st.schema;
  const SqlKey* k = impl_->KeyOf(st, &key);
  if (!k) return kFunctionNotSupported;
  st.lastKey = &key;
  std::string sql = "SELECT " + ColumnList(s) + " FROM " + s.tableName;
  std::vector<SqlValue> params;
  impl_->KeyWhere(s, *k, impl_->RowOfBuffer(file, s), sql, params);
  st.lastSql = sql;
  SqlError err;
  std::unique_ptr<SqlCursor> cursor = st.conn->session->Query(sql, params, impl_->Kinds(s), err);
  if (!cursor) return Refused(err);
  std::vector<SqlValue> row;
  if (!cursor->Fetch(row, err)) {
    if (!err.state.empty()) return Refused(err);
    return kRecordNotFound;
  }
  impl_->TakeRow(file, st, row);
  return kNoError;
}

bool SqlDriver::Impl::KeyTaken(SqlFileState& st, const SqlKey& key, const std::vector<SqlValue>& row,
                               SqlError& err) {
  const SqlTableSchema& s = *st.schema;
  std::string sql = "SELECT 1 FROM " + s.tableName;
  std::vector<SqlValue> params;
  KeyWhere(s, key, row, sql, params);
  std::unique_ptr<SqlCursor> cursor = st.conn->session->Query(sql, params, {SqlValue::Kind::Long}, err);
  if (!cursor) return false;
  std::vector<SqlValue> found;
  return cursor->Fetch(found, err);
}

int SqlDriver::Add(FileBlock& file) {
  SqlFileState& st = StateOf(file);
  if (int rc = impl_->ConnectWithSchema(file, st)) return rc;
  const SqlTableSchema& s = *st.schema;
  std::vector<SqlValue> row = impl_->RowOfBuffer(file, s);
  // Where a refused INSERT would end the transaction it runs in, a duplicate
  // is answered before it is sent. In the transaction that created the table
  // every row is known to the driver: only a key seen before is looked up.
  const SqlConnection& conn = *st.conn;
  const bool ledger = conn.transaction && st.createdInTransaction == conn.transactionNumber;
  std::vector<uint64_t> hashes;
  if (conn.transaction && conn.info.RefusalEndsTransaction()) {
    for (const SqlKey& key : s.keys) {
      if (key.key->attrs & kKeyDup) continue;
      std::string text;
      bool hasNull = false;
      for (const SqlKeyColumn& c : key.columns) {
        const SqlValue& v = row[c.column];
        hasNull |= v.isNull;
        text += std::to_string(static_cast<int>(v.kind)) + ':' + std::to_string(v.i) + ':' + std::to_string(v.d) +
                ':' + std::to_string(v.bytes.size()) + ':' + v.bytes + '|';
      }
      if (hasNull) continue;  // a key with an empty part clashes with none
      const uint64_t hash = std::hash<std::string>{}(text);
      if (ledger) hashes.push_back(hash);
      if (ledger && !st.addedKeys.count(hash)) continue;
      SqlError err;
      if (impl_->KeyTaken(st, key, row, err)) {
        SetFileError("23000", "The row's " + key.key->label + " is taken");
        return kCreatesDuplicateKey;
      }
      if (!err.state.empty()) return Refused(err);
    }
  }
  std::string sql = "INSERT INTO " + s.tableName + " (" + ColumnList(s) + ") VALUES (";
  for (size_t i = 0; i < s.columns.size(); ++i) sql += i ? ",?" : "?";
  sql += ")";
  SqlError err;
  if (!impl_->Exec(st, sql, row, err)) return WriteRefused(err);
  st.addedKeys.insert(hashes.begin(), hashes.end());
  st.currentRow = std::move(row);
  st.haveCurrent = true;
  return kNoError;
}

int SqlDriver::Put(FileBlock& file) {
  SqlFileState& st = StateOf(file);
  if (int rc = impl_->ConnectWithSchema(file, st)) return rc;
  const SqlTableSchema& s = *st.schema;
  if (!st.haveCurrent) return kRecordNotAvailable;
  const SqlKey* key = s.primaryKey >= 0 ? &s.keys[s.primaryKey] : impl_->KeyOf(st, st.lastKey);
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
  SqlError err;
  if (!impl_->Exec(st, sql, params, err)) return WriteRefused(err);
  st.currentRow = std::move(row);
  return kNoError;
}

}  // namespace rt
