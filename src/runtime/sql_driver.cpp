// The SQL file driver: tables opened, checked against the catalog, created
// with their indexes, read and written through an SQL session.
#include "runtime/sql_driver.h"

#include <atomic>
#include <cctype>
#include <cstring>
#include <map>

#include "runtime/base/text.h"
#include "runtime/odbc_session.h"
#include "runtime/sql/sql_schema.h"

namespace rt {

namespace {

// A server that keeps answering "exists" after each successful drop is given up on.
constexpr int kMaxRecreate = 16;

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

bool StateIs(const SqlError& err, const char* odbc2, const char* odbc3) {
  return err.state == odbc2 || err.state == odbc3;
}

// The columns of every table of one schema as one catalog call reported them,
// kept current for the tables the driver creates.
struct CatalogRead {
  bool read = false;
  uint64_t run = 0;     // the FileRun it was read in
  uint64_t epoch = 0;   // the driver's catalog epoch it was read at
  bool failed = false;  // the listing failed: tables are looked up one by one
  // By the upper-case name: the tables of that name in any letter case, with
  // the name as the catalog reports it and their columns.
  std::map<std::string, std::vector<std::pair<std::string, std::vector<std::string>>>> tables;

  void Put(const std::string& name, std::vector<std::string> columns) {
    auto& variants = tables[Upper(name)];
    for (auto& [n, cols] : variants)
      if (n == name) {
        cols = std::move(columns);
        return;
      }
    variants.emplace_back(name, std::move(columns));
  }
};

// One connection of a thread, shared by every table of the same owner text.
struct SqlConnection {
  std::unique_ptr<SqlSession> session;
  ServerInfo info;
  std::optional<TypeList> types;
  std::map<std::string, CatalogRead> catalogs;  // by schema ("" the connection's own)
};

// How the catalog read answers for a table name.
enum class Listed { Yes, No, Ask };

struct SqlFileState : DriverState {
  std::shared_ptr<SqlConnection> conn;
  std::optional<std::string> tableName;       // settled at the first connection
  const SqlConnection* schemaConn = nullptr;  // the connection the schema was built for
  std::optional<SqlTableSchema> schema;
  std::string schemaError;
  bool verifyViaSelect = false;
  bool checkedFromCatalog = false;            // the last check answered from a catalog read,
  uint64_t checkRun = 0, checkEpoch = 0;      // made in this run and at this catalog epoch
  std::string lastSql;
  const KeyDescriptor* pendingKey = nullptr;  // set by SETkey, read by the next NEXT
  bool sequenceStarted = false;
  std::unique_ptr<SqlCursor> cursor;
  const KeyDescriptor* lastKey = nullptr;
  std::vector<SqlValue> currentRow;           // the row last read, for PUT
  bool haveCurrent = false;
};

SqlFileState& StateOf(FileBlock& file) {
  auto* state = dynamic_cast<SqlFileState*>(file.driverState.get());
  if (!state) {
    file.driverState = std::make_unique<SqlFileState>();
    state = static_cast<SqlFileState*>(file.driverState.get());
  }
  return *state;
}

int Refused(const SqlError& err) {
  SetFileError(err.state, err.message);
  return kFileSystemError;
}

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

SqlValue::Kind KindOf(const SqlColumn& col) {
  if (col.blob >= 0) return SqlValue::Kind::Binary;
  if (col.dateTime) return SqlValue::Kind::Timestamp;
  switch (col.type) {
    case FieldType::Byte:
    case FieldType::Short:
    case FieldType::UShort:
    case FieldType::Long:
    case FieldType::ULong: return SqlValue::Kind::Long;
    case FieldType::SReal:
    case FieldType::Real: return SqlValue::Kind::Double;
    default: return SqlValue::Kind::Text;
  }
}

// The value of a column taken from the record buffer (or the BLOB's data).
SqlValue ValueOf(FileBlock& file, const SqlColumn& col) {
  if (col.blob >= 0) {
    auto& data = file.blobData();
    if (static_cast<size_t>(col.blob) >= data.size() || data[col.blob].empty())
      return SqlValue::Null(SqlValue::Kind::Binary);
    return SqlValue::Binary(std::string(data[col.blob].begin(), data[col.blob].end()));
  }
  const uint8_t* p = file.buffer() + col.offset;
  if (col.dateTime) {
    static const uint8_t zero[8] = {};
    if (std::memcmp(p, zero, 8) == 0) return SqlValue::Null(SqlValue::Kind::Timestamp);
    SqlTimestamp ts;
    ts.day = p[0];
    ts.month = p[1];
    ts.year = Le16(p + 2);
    if (ts.day == 0 && ts.month == 0 && ts.year == 0) ts = {1900, 1, 1};  // a time without a date
    ts.fraction = static_cast<uint32_t>(p[4]) * 10000000u;
    ts.second = p[5];
    ts.minute = p[6];
    ts.hour = p[7];
    return SqlValue::Time(ts);
  }
  switch (col.type) {
    case FieldType::Byte: return SqlValue::Long(p[0]);
    case FieldType::Short: { int16_t v; std::memcpy(&v, p, 2); return SqlValue::Long(v); }
    case FieldType::UShort: return SqlValue::Long(Le16(p));
    case FieldType::Long: { int32_t v; std::memcpy(&v, p, 4); return SqlValue::Long(v); }
    case FieldType::ULong: { uint32_t v; std::memcpy(&v, p, 4); return SqlValue::Long(v); }
    case FieldType::SReal: { float v; std::memcpy(&v, p, 4); return SqlValue::Double(v); }
    case FieldType::Real: { double v; std::memcpy(&v, p, 8); return SqlValue::Double(v); }
    case FieldType::CString: {
      size_t len = strnlen(reinterpret_cast<const char*>(p), col.size);
      return SqlValue::Text(std::string(reinterpret_cast<const char*>(p), len));
    }
    default: return SqlValue::Text(std::string(reinterpret_cast<const char*>(p), col.size));
  }
}

// Writes a column's value read from the server into the record buffer.
void StoreValue(FileBlock& file, const SqlColumn& col, const SqlValue& v) {
  if (col.blob >= 0) {
    auto& data = file.blobData();
    if (data.size() < file.blobs().size()) data.resize(file.blobs().size());
    if (static_cast<size_t>(col.blob) < data.size())
      data[col.blob].assign(v.bytes.begin(), v.bytes.end());
    return;
  }
  uint8_t* p = file.buffer() + col.offset;
  if (col.dateTime) {
    std::memset(p, 0, 8);
    if (v.isNull) return;
    p[0] = static_cast<uint8_t>(v.ts.day);
    p[1] = static_cast<uint8_t>(v.ts.month);
    p[2] = static_cast<uint8_t>(v.ts.year & 0xFF);
    p[3] = static_cast<uint8_t>((v.ts.year >> 8) & 0xFF);
    p[4] = static_cast<uint8_t>(v.ts.fraction / 10000000u);
    p[5] = static_cast<uint8_t>(v.ts.second);
    p[6] = static_cast<uint8_t>(v.ts.minute);
    p[7] = static_cast<uint8_t>(v.ts.hour);
    return;
  }
  switch (col.type) {
    case FieldType::Byte: p[0] = static_cast<uint8_t>(v.isNull ? 0 : v.i); return;
    case FieldType::Short:
    case FieldType::UShort: { uint16_t x = static_cast<uint16_t>(v.isNull ? 0 : v.i); std::memcpy(p, &x, 2); return; }
    case FieldType::Long:
    case FieldType::ULong: { uint32_t x = static_cast<uint32_t>(v.isNull ? 0 : v.i); std::memcpy(p, &x, 4); return; }
    case FieldType::SReal: { float x = static_cast<float>(v.isNull ? 0 : v.d); std::memcpy(p, &x, 4); return; }
    case FieldType::Real: { double x = v.isNull ? 0 : v.d; std::memcpy(p, &x, 8); return; }
    case FieldType::CString: {
      std::memset(p, 0, col.size);
      if (col.size) std::memcpy(p, v.bytes.data(), std::min<size_t>(v.bytes.size(), col.size - 1));
      return;
    }
    default: {
      std::memset(p, ' ', col.size);
      std::memcpy(p, v.bytes.data(), std::min<size_t>(v.bytes.size(), col.size));
      return;
    }
  }
}

std::string ColumnList(const SqlTableSchema& s) {
  std::string out;
  for (size_t i = 0; i < s.columns.size(); ++i) out += (i ? "," : "") + s.columns[i].name;
  return out;
}

}  // namespace

bool SqlOptionSet(std::string_view options, std::string_view name) {
  std::string up = Upper(options);
  std::string want = "/" + Upper(name) + "=";
  size_t pos = 0;
  while ((pos = up.find(want, pos)) != std::string::npos) {
    pos += want.size();
    if (up.compare(pos, 4, "TRUE") == 0) return true;
  }
  return false;
}

struct SqlDriver::Impl {
  SqlSessionFactory factory;
  uint64_t id;
  // Raised by every statement that may change the catalog behind the driver's
  // back (pass-through SQL, DROP): every catalog read kept is read again.
  std::atomic<uint64_t> catalogEpoch{0};

  using Pool = std::map<std::pair<uint64_t, std::string>, std::shared_ptr<SqlConnection>>;
  static Pool& ThreadPool() {
    thread_local Pool pool;
    return pool;
  }

  // The connection of the table's owner as it reads now, on this thread: the
  // open one made for the same owner text, or a new one when there is none or
  // the one there has been lost. With reused, tells whether it was open already.
  int Attach(FileBlock& file, SqlFileState& st, bool* reused = nullptr) {
    const std::string owner = file.decl().Owner();
    auto& pool = ThreadPool();
    const auto key = std::make_pair(id, owner);
    auto it = pool.find(key);
    if (it != pool.end() && it->second->session->Broken()) {
      SqlTrace("connection lost; connecting again");
      pool.erase(it);
      it = pool.end();
    }
    if (reused) *reused = it != pool.end();
    if (it != pool.end()) {
      st.conn = it->second;
    } else {
      SqlError err;
      std::unique_ptr<SqlSession> session = factory(owner, err);
      if (!session) return Refused(err);
      auto conn = std::make_shared<SqlConnection>();
      conn->info = session->Info();
      conn->session = std::move(session);
      pool[key] = conn;
      st.conn = conn;
    }
    // The instance's table name is settled at its first connection; its SQL
    // names follow the server it is connected to.
    if (!st.tableName) st.tableName = file.decl().TableName();
    if (st.schemaConn != st.conn.get()) {
      std::string why;
      st.schema = BuildTableSchema(*file.decl().record, file.keys(), file.blobs(), *st.tableName, st.conn->info, &why);
      st.schemaError = st.schema ? std::string() : why.empty() ? "invalid layout" : why;
      st.schemaConn = st.conn.get();
    }
    return kNoError;
  }

  // The connection the table uses already, or its owner's when it has none.
  int Connect(FileBlock& file, SqlFileState& st) { return st.conn ? kNoError : Attach(file, st); }

  int WithSchema(FileBlock& file, SqlFileState& st, int rc) {
    if (rc) return rc;
    if (!st.schema) {
      SqlTrace("Invalid record layout of " + file.decl().TableName() + ": " + st.schemaError);
      return kInvalidFieldTypeDescriptor;
    }
    return kNoError;
  }
  int ConnectWithSchema(FileBlock& file, SqlFileState& st) { return WithSchema(file, st, Connect(file, st)); }
  int AttachWithSchema(FileBlock& file, SqlFileState& st, bool* reused = nullptr) {
    return WithSchema(file, st, Attach(file, st, reused));
  }

  // Runs an operation on the owner's connection; when a connection that was
  // open already turns out lost, the operation runs once more on a new one.
  // With retry, only while *retry holds.
  template <class Op>
  int OnOwnerConnection(FileBlock& file, SqlFileState& st, bool withSchema, Op op, const bool* retry = nullptr) {
    bool reused = false;
    int rc = withSchema ? AttachWithSchema(file, st, &reused) : Attach(file, st, &reused);
    if (rc) return rc;
    rc = op();
    if (rc == kNoError || rc == kFileNotFound || !reused || !st.conn->session->Broken() || (retry && !*retry))
      return rc;
    rc = withSchema ? AttachWithSchema(file, st) : Attach(file, st);
    return rc ? rc : op();
  }

  bool Exec(SqlFileState& st, const std::string& sql, const std::vector<SqlValue>& params, SqlError& err) {
    st.lastSql = sql;
    return st.conn->session->Exec(sql, params, err);
  }

  // The table name as the catalog knows it: split at the first period, quotes
  // removed, and an unquoted name in the server's own letter case where the
  // server folds unquoted names (so one catalog look-up finds it).
  struct CatalogTable {
    std::string schema, name;
    bool caseInsensitive = false;  // the server matches the name without regard to case
  };
  CatalogTable CatalogName(const SqlFileState& st) const {
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
    } else if (info.identifierCase == kIcUpper || info.identifierCase == kIcLower) {
      for (char& c : t.name)
        c = static_cast<char>(info.identifierCase == kIcUpper ? std::toupper(static_cast<unsigned char>(c))
                                                                   : std::tolower(static_cast<unsigned char>(c)));
    }
    t.caseInsensitive = info.identifierCase == kIcMixed && !(quoted && info.quotedCaseSensitive);
    return t;
  }

  // The connection's catalog read of the schema, read when it has none for
  // this run and epoch; nullptr when the listing failed (then tables are
  // looked up one by one). A lost connection leaves its error in err.
  CatalogRead* Catalog(SqlFileState& st, const std::string& schema, SqlError& err) {
    CatalogRead& cat = st.conn->catalogs[schema];
    if (!IsCurrent(cat)) {
      const uint64_t run = FileRun(), epoch = catalogEpoch.load();
      std::map<std::string, std::vector<std::string>> listed;
      cat = CatalogRead{true, run, epoch, false, {}};
      if (st.conn->session->AllColumns(schema, listed, err)) {
        for (auto& [name, columns] : listed) cat.Put(name, std::move(columns));
      } else {
        cat.failed = true;
        SqlTrace("catalog listing failed (" + err.state + " " + err.message + "); tables are looked up one by one");
      }
    }
    return cat.failed ? nullptr : &cat;
  }

  bool IsCurrent(const CatalogRead& cat) const { return cat.read && cat.run == FileRun() && cat.epoch == catalogEpoch.load(); }

  // The catalog read of the schema when there is a current one, without reading.
  CatalogRead* CurrentCatalog(SqlFileState& st, const std::string& schema) {
    auto it = st.conn->catalogs.find(schema);
    return it != st.conn->catalogs.end() && !it->second.failed && IsCurrent(it->second) ? &it->second : nullptr;
  }

  // Whether the catalog read lists the table: Ask where only a name in another
  // letter case is listed and the server matches names with regard to case
  // (the server itself decides then).
  static Listed Find(const CatalogRead& cat, const CatalogTable& t, std::vector<std::string>& names) {
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
  // catalog for this one table.
  int Check(FileBlock& file, SqlFileState& st, bool fresh = false) {
    std::vector<std::string> names;
    SqlSession& s = *st.conn->session;
    st.checkedFromCatalog = false;
    if (SqlOptionSet(file.decl().options, "VERIFYVIASELECT")) st.verifyViaSelect = true;
    if (!st.verifyViaSelect) {
      const CatalogTable t = CatalogName(st);
      SqlError err;
      CatalogRead* cat = fresh ? CurrentCatalog(st, t.schema) : Catalog(st, t.schema, err);
      if (!cat && !fresh && s.Broken()) return Refused(err);
      Listed listed = cat && !fresh ? Find(*cat, t, names) : Listed::Ask;
      st.checkedFromCatalog = listed != Listed::Ask;
      st.checkRun = FileRun();
      st.checkEpoch = catalogEpoch.load();
      if (listed == Listed::Ask) {
        if (!s.Columns(t.schema, t.name, names, err)) {
          if (s.Broken()) return Refused(err);
          st.verifyViaSelect = true;
        } else if (cat && !names.empty()) {
          cat->Put(t.name, names);
        }
      }
    }
    if (st.verifyViaSelect) {
      names.clear();
      std::string sql = "SELECT * FROM " + st.schema->tableName + " WHERE 0 = 1";
      st.lastSql = sql;
      SqlError err;
      std::unique_ptr<SqlCursor> cursor = s.Query(sql, {}, {}, err);
      if (!cursor) {
        if (StateIs(err, "S0002", "42S02")) return kFileNotFound;
        return Refused(err);
      }
      names = cursor->ColumnNames();
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
  void Created(SqlFileState& st) {
    const CatalogTable t = CatalogName(st);
    CatalogRead* cat = CurrentCatalog(st, t.schema);
    if (!cat) return;
    std::vector<std::string> columns;
    for (const SqlColumn& col : st.schema->columns) columns.push_back(Unquoted(col.name, st.conn->info.identifierQuote));
    cat->Put(t.name, std::move(columns));
  }

  // A statement that may have changed the catalog was sent.
  void CatalogChanged() { ++catalogEpoch; }

  // Creates the table on its connection: CREATE TABLE and its indexes, with
  // the retries on "exists" and the drop on failure. untouched stays true
  // while the server has taken no statement of this creation.
  int CreateTable(FileBlock& file, SqlFileState& st, bool lookAgain, bool& untouched) {
    SqlConnection& conn = *st.conn;
    if (!conn.types) {
      std::vector<TypeInfoRow> rows;
      SqlError err;
      if (!conn.session->TypeInfo(rows, err)) return Refused(err);
      conn.types = TypeList::FromRows(rows, conn.info);
    }
    std::optional<CreateStatements> stmts;
    {
      std::string failed;
      stmts = BuildCreateStatements(*st.schema, *conn.types, &failed);
      if (!stmts) {
        SqlTrace("Could not Create Field " + failed);
        SqlTrace("File system does not support data type");
        return kInvalidFieldTypeDescriptor;
      }
    }
    auto run = [&](const std::string& sql, SqlError& err) {
      const bool ok = Exec(st, sql, {}, err);
      if (ok) untouched = false;
      return ok;
    };
    // Where the server can roll back DDL, the table and its indexes are made in
    // one transaction, so no failure or interruption leaves part of them behind.
    const bool atomic = conn.info.ddlTransactions;
    auto begin = [&]() -> int {
      SqlError err;
      return !atomic || conn.session->BeginTransaction(err) ? kNoError : Refused(err);
    };
    auto rollback = [&] {
      SqlError ignored;
      if (atomic) conn.session->EndTransaction(false, ignored);
    };
    auto fail = [&](const SqlError& err) {
      rollback();
      return Refused(err);
    };
    if (int rc = begin()) return rc;
    const std::string dropTable = "DROP TABLE " + st.schema->tableName;
    for (int attempt = 0;; ++attempt) {
      SqlError err;
      if (run(stmts->createTable, err)) break;
      // A check answered from a catalog read may be older than the table:
      // another process may have made it since. The table itself is looked at
      // first, and a table found there is opened, never dropped.
      if (lookAgain && !conn.session->Broken()) {
        lookAgain = false;
        rollback();
        const int found = Check(file, st, true);
        if (found == kNoError || found == kInvalidRecordDeclaration) {
          SqlTrace(st.schema->tableName + " exists already; it is opened as it is");
          return kNoError;  // the open that follows answers as for any existing table
        }
        if (found != kFileNotFound) return found;
        if (int rc = begin()) return rc;
      }
      if (!StateIs(err, "S0001", "42S01") || attempt >= kMaxRecreate) return fail(err);
      SqlError dropErr;
      CatalogChanged();
      if (!run(dropTable, dropErr)) return fail(dropErr);
    }
    for (size_t i = 0; i < stmts->createIndexes.size(); ++i) {
      SqlError err;
      bool ok = false;
      for (int attempt = 0;; ++attempt) {
        if (run(stmts->createIndexes[i], err)) { ok = true; break; }
        if (!StateIs(err, "S0011", "42S11") || attempt >= kMaxRecreate) break;
        SqlError dropErr;
        if (!run("DROP INDEX " + stmts->indexNames[i], dropErr)) { err = dropErr; break; }
      }
      if (!ok) {
        // No table stays behind with only part of its indexes.
        if (!atomic) {
          SqlError ignored;
          CatalogChanged();
          run(dropTable, ignored);
        }
        return fail(err);
      }
    }
    if (atomic) {
      SqlError err;
      if (!conn.session->EndTransaction(true, err)) return Refused(err);
    }
    Created(st);
    return kNoError;
  }

  const SqlKey* KeyOf(SqlFileState& st, const KeyDescriptor* key) {
    if (!key) return nullptr;
    for (const SqlKey& k : st.schema->keys)
      if (k.key == key) return &k;
    for (const SqlKey& k : st.schema->keys)
      if (k.key->label == key->label) return &k;
    return nullptr;
  }

  // WHERE text and parameters for a key's columns with the given values.
  void KeyWhere(const SqlTableSchema& s, const SqlKey& key, const std::vector<SqlValue>& values,
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

  std::vector<SqlValue> RowOfBuffer(FileBlock& file, const SqlTableSchema& s) {
    std::vector<SqlValue> row;
    for (const SqlColumn& col : s.columns) row.push_back(ValueOf(file, col));
    return row;
  }

  std::vector<SqlValue::Kind> Kinds(const SqlTableSchema& s) {
    std::vector<SqlValue::Kind> kinds;
    for (const SqlColumn& col : s.columns) kinds.push_back(KindOf(col));
    return kinds;
  }

  void TakeRow(FileBlock& file, SqlFileState& st, std::vector<SqlValue>& row) {
    for (size_t i = 0; i < st.schema->columns.size(); ++i) StoreValue(file, st.schema->columns[i], row[i]);
    st.currentRow = std::move(row);
    st.haveCurrent = true;
  }
};

SqlDriver::SqlDriver(SqlSessionFactory factory) : impl_(std::make_unique<Impl>()) {
  static std::atomic<uint64_t> next{1};
  impl_->factory = factory ? std::move(factory) : SqlSessionFactory(OdbcConnect);
  impl_->id = next++;
}

SqlDriver::~SqlDriver() = default;

void SqlDriver::DropThreadConnections() {
  auto& pool = Impl::ThreadPool();
  for (auto it = pool.begin(); it != pool.end();)
    it = it->first.first == impl_->id ? pool.erase(it) : std::next(it);
}

int SqlDriver::Open(FileBlock& file, int) {
  SqlFileState& st = StateOf(file);
  st.cursor.reset();
  st.pendingKey = nullptr;
  st.sequenceStarted = false;
  st.haveCurrent = false;
  const std::string& opts = file.decl().options;
  const bool verify = !SqlOptionSet(opts, "NOVERIFY") && !SqlOptionSet(opts, "TURBOSQL");
  return impl_->OnOwnerConnection(file, st, true, [&] { return verify ? impl_->Check(file, st) : kNoError; });
}

int SqlDriver::Close(FileBlock& file) {
  SqlFileState& st = StateOf(file);
  st.cursor.reset();
  st.pendingKey = nullptr;
  st.sequenceStarted = false;
  st.haveCurrent = false;
  return kNoError;
}

int SqlDriver::Create(FileBlock& file) {
  if (!(file.decl().attrs & kFileCreate)) return kNoCreateAttribute;
  SqlFileState& st = StateOf(file);
  // Whether the check before this creation answered from a catalog read that
  // still holds (no statement since that may have changed the catalog).
  const bool lookAgain = st.checkedFromCatalog && st.checkRun == FileRun() &&
                         st.checkEpoch == impl_->catalogEpoch.load();
  // An open answered from the catalog read does not reach the server: a
  // connection lost since is found here, and the creation is made on a new
  // one when the server took nothing of it on the lost one.
  bool untouched = true;
  return impl_->OnOwnerConnection(
      file, st, true, [&] { return impl_->CreateTable(file, st, lookAgain, untouched); }, &untouched);
}

int SqlDriver::Remove(FileBlock& file) {
  SqlFileState& st = StateOf(file);
  if (int rc = impl_->AttachWithSchema(file, st)) return rc;
  SqlError err;
  impl_->CatalogChanged();
  if (!impl_->Exec(st, "DROP TABLE " + st.schema->tableName, {}, err)) return Refused(err);
  return kNoError;
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

int SqlDriver::Add(FileBlock& file) {
  SqlFileState& st = StateOf(file);
  if (int rc = impl_->ConnectWithSchema(file, st)) return rc;
  const SqlTableSchema& s = *st.schema;
  std::string sql = "INSERT INTO " + s.tableName + " (" + ColumnList(s) + ") VALUES (";
  for (size_t i = 0; i < s.columns.size(); ++i) sql += i ? ",?" : "?";
  sql += ")";
  std::vector<SqlValue> row = impl_->RowOfBuffer(file, s);
  SqlError err;
  if (!impl_->Exec(st, sql, row, err)) {
    if (IsDuplicateKeyState(err)) {
      SetFileError(err.state, err.message);
      return kCreatesDuplicateKey;
    }
    return Refused(err);
  }
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
  if (!impl_->Exec(st, sql, params, err)) {
    if (IsDuplicateKeyState(err)) {
      SetFileError(err.state, err.message);
      return kCreatesDuplicateKey;
    }
    return Refused(err);
  }
  st.currentRow = std::move(row);
  return kNoError;
}

bool SqlDriver::GetProperty(FileBlock& file, int prop, std::string& value) {
  if (prop == FilePropDriver) {
    value = Name();
    return true;
  }
  if (prop == FilePropSql) {
    value = StateOf(file).lastSql;
    return true;
  }
  return false;
}

int SqlDriver::SetProperty(FileBlock& file, int prop, const std::string& value) {
  if (prop != FilePropSql) return kFunctionNotSupported;
  if (value.empty()) return kNoError;
  SqlFileState& st = StateOf(file);
  // Whatever the statement changed, the catalog is read afresh before the next check.
  impl_->CatalogChanged();
  return impl_->OnOwnerConnection(file, st, false, [&] {
    SqlError err;
    return impl_->Exec(st, value, {}, err) ? kNoError : Refused(err);
  });
}

void SqlDriver::Destroy(FileBlock& file) { file.driverState.reset(); }

void RegisterSqlDriver() { RegisterDriver(std::make_shared<SqlDriver>()); }

}  // namespace rt
