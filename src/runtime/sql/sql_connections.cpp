// The SQL driver's connections, one per thread and owner text and found again
// when lost, and the missing-table check against the catalog read of each
// connection.
#include "runtime/sql/sql_driver_impl.h"

#include "runtime/sql/odbc_session.h"

namespace rt {

namespace {

// SQL_IDENTIFIER_CASE: unquoted names kept in upper or lower case, or kept as
// written and matched without regard to case.
constexpr int kIcUpper = 1, kIcLower = 2, kIcMixed = 4;

// Whether a name stands in the server's identifier quotes (q; a blank means none).
bool IsQuoted(std::string_view name, std::string_view q) {
  return !q.empty() && q != " " && name.size() >= 2 * q.size() && name.substr(0, q.size()) == q &&
         name.substr(name.size() - q.size()) == q;
}

// A name as the catalog lists it: without its identifier quotes.
std::string Unquoted(std::string_view name, std::string_view q) {
  return std::string(IsQuoted(name, q) ? name.substr(q.size(), name.size() - 2 * q.size()) : name);
}

}  // namespace

SqlDriver::Impl::Pool& SqlDriver::Impl::ThreadPool() {
  thread_local Pool pool;
  return pool;
}

SqlDriver::Impl::Unanswered& SqlDriver::Impl::ThreadUnanswered() {
  thread_local Unanswered unanswered;
  return unanswered;
}

// The connection of the table's owner as it reads now, on this thread: the
// open one made for the same owner text, or a new one when there is none or
// the one there has been lost. With reused, tells whether it was open already.
int SqlDriver::Impl::Attach(FileBlock& file, SqlFileState& st, bool* reused) {
  const std::string owner = file.decl().Owner();
  auto& pool = ThreadPool();
  const auto key = std::make_pair(id, owner);
  auto it = pool.find(key);
  if (it != pool.end() && it->second->session->Broken()) {
    const bool inTransaction = it->second->transaction;
    pool.erase(it);
    it = pool.end();
    // What a lost transaction had done is gone with it: its statements must
    // not go on, one by one, on a new connection.
    if (inTransaction) {
      SqlTrace("connection lost in a transaction");
      return Refused(SqlError{"08S01", 0, "The connection was lost in the middle of a transaction"});
    }
    SqlTrace("connection lost; connecting again");
  }
  if (reused) *reused = it != pool.end();
  if (it != pool.end()) {
    st.conn = it->second;
  } else {
    auto& unanswered = ThreadUnanswered();
    if (auto u = unanswered.find(key); u != unanswered.end()) {
      if (u->second.first == FileRun()) {
        SqlTrace("-- the server did not answer a connection earlier in this run: not tried again");
        return Refused(u->second.second);
      }
      unanswered.erase(u);
    }
    SqlResult<std::unique_ptr<SqlSession>> session = factory(owner);
    if (!session) {
      if (session.error().unanswered) unanswered[key] = {FileRun(), session.error()};
      return Refused(session.error());
    }
    auto conn = std::make_shared<SqlConnection>();
    conn->info = (*session)->Info();
    conn->session = std::move(*session);
    pool[key] = conn;
    st.conn = conn;
  }
  // The instance's table name is settled at its first connection; its SQL
  // names follow the server it is connected to.
  if (!st.tableName) st.tableName = file.decl().TableName();
  if (st.schemaConn != st.conn.get()) {
    Outcome<SqlTableSchema> schema =
        BuildTableSchema(*file.decl().record, file.keys(), file.blobs(), *st.tableName, st.conn->info);
    st.schema = schema ? std::optional(std::move(*schema)) : std::nullopt;
    st.schemaError = schema ? std::string() : schema.error();
    const std::string columns = st.schema ? ColumnList(*st.schema) : std::string();
    st.selectHead = st.schema ? "SELECT " + columns + " FROM " + st.schema->tableName : std::string();
    st.insertHead = st.schema ? std::make_shared<const std::string>("INSERT INTO " + st.schema->tableName + " (" +
                                                                    columns + ") VALUES ")
                              : nullptr;
    st.schemaConn = st.conn.get();
  }
  return kNoError;
}

int SqlDriver::Impl::WithSchema(FileBlock& file, SqlFileState& st, int rc) {
  if (rc) return rc;
  if (!st.schema) {
    SqlTrace("Invalid record layout of " + file.decl().TableName() + ": " + st.schemaError);
    return kInvalidFieldTypeDescriptor;
  }
  return kNoError;
}

SqlDriver::Impl::CatalogTable SqlDriver::Impl::CatalogName(const SqlFileState& st) const {
  const ServerInfo& info = st.conn->info;
  CatalogTable t;
  t.name = st.schema->tableName;
  const std::string& q = info.identifierQuote;
  size_t dot = t.name.find('.');
  if (dot != std::string::npos) {
    t.schema = t.name.substr(0, dot);
    t.name = t.name.substr(dot + 1);
  }
  const bool quoted = IsQuoted(t.name, q);
  if (quoted) {
    t.name = Unquoted(t.name, q);
  } else if (info.identifierCase == kIcUpper) {
    t.name = Upper(t.name);
  } else if (info.identifierCase == kIcLower) {
    t.name = Lower(t.name);
  }
  t.caseInsensitive = info.identifierCase == kIcMixed && !(quoted && info.quotedCaseSensitive);
  return t;
}

// The connection's catalog read of the schema, read when it has none for
// this run and epoch; the listing's error when it fails now, and null while
// it has failed in this run (then tables are looked up one by one).
SqlResult<CatalogRead*> SqlDriver::Impl::Catalog(SqlFileState& st, const std::string& schema) {
  CatalogRead& cat = st.conn->catalogs[schema];
  if (IsCurrent(cat)) return cat.failed ? nullptr : &cat;
  cat = CatalogRead{true, FileRun(), catalogEpoch.load(), false, {}};
  SqlResult<SqlSession::TableColumns> listed = st.conn->session->AllColumns(schema);
  if (!listed) {
    cat.failed = true;
    SqlTrace("catalog listing failed (" + listed.error().state + " " + listed.error().message +
             "); tables are looked up one by one");
    return Failed(listed.error());
  }
  for (auto& [name, columns] : *listed) cat.Put(name, std::move(columns));
  return &cat;
}

// The catalog read of the schema when there is a current one, without reading.
CatalogRead* SqlDriver::Impl::CurrentCatalog(SqlFileState& st, const std::string& schema) {
  auto it = st.conn->catalogs.find(schema);
  return it != st.conn->catalogs.end() && !it->second.failed && IsCurrent(it->second) ? &it->second : nullptr;
}

// Whether the catalog read lists the table: Ask where only a name in another
// letter case is listed and the server matches names with regard to case
// (the server itself decides then).
Listed SqlDriver::Impl::Find(const CatalogRead& cat, const CatalogTable& t, std::vector<std::string>& names) {
  auto it = cat.tables.find(Upper(t.name));
  if (it == cat.tables.end()) return Listed::No;
  for (const auto& [n, cols] : it->second)
    if (n == t.name) {
      names = cols;
      return Listed::Yes;
    }
  if (!t.caseInsensitive) return Listed::Ask;
  names = it->second.front().second;
  return Listed::Yes;
}

// The missing-table check. Answers from the connection's catalog read unless
// fresh is set (or the read failed, or it cannot tell), else asks the
// catalog for this one table. In a transaction the table itself is always
// looked at, so that what the check finds is the server's in the transaction.
int SqlDriver::Impl::CheckTableExists(FileBlock& file, SqlFileState& st, bool fresh) {
  std::vector<std::string> names;
  SqlSession& s = *st.conn->session;
  st.checkedFromCatalog = false;
  fresh = fresh || st.conn->transaction;
  if (SqlOptionSet(file.decl().options, "VERIFYVIASELECT")) st.verifyViaSelect = true;
  if (!st.verifyViaSelect) {
    const CatalogTable t = CatalogName(st);
    CatalogRead* cat = nullptr;
    if (fresh) {
      cat = CurrentCatalog(st, t.schema);
    } else {
      SqlResult<CatalogRead*> read = Catalog(st, t.schema);
      if (!read && s.Broken()) return Refused(read.error());
      cat = read ? *read : nullptr;
    }
    Listed listed = cat && !fresh ? Find(*cat, t, names) : Listed::Ask;
    st.checkedFromCatalog = listed != Listed::Ask;
    st.checkRun = FileRun();
    st.checkEpoch = catalogEpoch.load();
    if (listed == Listed::Ask) {
      SqlResult<std::vector<std::string>> columns = s.Columns(t.schema, t.name);
      if (!columns) {
        if (s.Broken()) return Refused(columns.error());
        st.verifyViaSelect = true;
      } else {
        names = std::move(*columns);
        if (cat && !names.empty()) cat->Put(t.name, names);
      }
    }
  }
  if (st.verifyViaSelect) {
    std::string sql = "SELECT * FROM " + st.schema->tableName + " WHERE 0 = 1";
    st.lastSql = sql;
    SqlResult<std::unique_ptr<SqlCursor>> cursor = s.Query(sql, {}, {});
    if (!cursor) {
      if (st.conn->info.Dialect().Means(cursor.error(), Refusal::TableMissing)) return kFileNotFound;
      return Refused(cursor.error());
    }
    names = (*cursor)->ColumnNames();
  }
  if (names.empty()) return st.schema->hasFields ? kFileNotFound : kNoError;
  const std::string& q = st.conn->info.identifierQuote;
  for (size_t i = 0; i < st.schema->recordColumnCount; ++i) {
    const SqlColumn& col = st.schema->columns[i];
    const std::string want = Unquoted(col.name, q);
    const bool exact = IsQuoted(col.name, q) && st.conn->info.quotedCaseSensitive;
    const auto matches = [&](const std::string& n) { return exact ? n == want : SameText(n, want); };
    // The catalog lists the columns in their order, which is the record's
    // for a table made from this layout: the same place is looked at first.
    bool found = i < names.size() && matches(names[i]);
    for (size_t k = 0; !found && k < names.size(); ++k) found = matches(names[k]);
    if (!found) {
      SetFileError({}, "Field " + std::to_string(col.entry));
      return kInvalidRecordDeclaration;
    }
  }
  return kNoError;
}

// A table the driver created is listed from now on with the columns it was made with.
void SqlDriver::Impl::Created(SqlFileState& st) {
  if (st.conn->transaction) {
    st.createdInTransaction = st.conn->transactionNumber;
    st.addedKeys.clear();
  }
  const CatalogTable t = CatalogName(st);
  CatalogRead* cat = CurrentCatalog(st, t.schema);
  if (!cat) return;
  std::vector<std::string> columns;
  for (const SqlColumn& col : st.schema->columns) columns.push_back(Unquoted(col.name, st.conn->info.identifierQuote));
  cat->Put(t.name, std::move(columns));
}

}  // namespace rt
