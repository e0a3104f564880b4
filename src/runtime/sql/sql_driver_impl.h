// The SQL driver's inner parts, shared by its sources: a thread's connections
// and their catalog reads, the state kept on each table instance, and the
// driver's own state (SqlDriver::Impl). Only the driver's sources include it.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "runtime/base/text.h"
#include "runtime/sql/sql_driver.h"
#include "runtime/sql/sql_schema.h"
#include "runtime/sql/sql_session.h"

namespace rt {

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
  bool transaction = false;                      // a transaction begun by the driver is open
  uint64_t transactionNumber = 0;                // counts the transactions begun on it
};

// How the catalog read answers for a table name.
enum class Listed { Yes, No, Ask };

struct SqlFileState : DriverState {
  std::shared_ptr<SqlConnection> conn;
  std::optional<std::string> tableName;       // settled at the first connection
  const SqlConnection* schemaConn = nullptr;  // the connection the schema was built for
  std::optional<SqlTableSchema> schema;
  std::string schemaError;
  // Made with the schema: "SELECT a,b,... FROM t", and the head of every row ADD sends.
  std::string selectHead;
  InsertHead insertHead;
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
  // The transaction (by number) in which the driver created the table, and
  // loose hashes of the unique keys of the rows added in it since: an ADD
  // whose keys are new cannot clash, and its row may wait to be sent with
  // others; one whose keys were seen is looked up before it is sent.
  uint64_t createdInTransaction = 0;
  std::unordered_set<uint64_t> addedKeys;
};

inline SqlFileState& StateOf(FileBlock& file) {
  auto* state = dynamic_cast<SqlFileState*>(file.driverState.get());
  if (!state) {
    file.driverState = std::make_unique<SqlFileState>();
    state = static_cast<SqlFileState*>(file.driverState.get());
  }
  return *state;
}

inline int Refused(const SqlError& err) {
  SetFileError(err.state, err.message);
  return kFileSystemError;
}

struct SqlDriver::Impl {
  SqlSessionFactory factory;
  uint64_t id;

  // Raised by every statement that may change the catalog behind the driver's
  // back (pass-through SQL, DROP): every catalog read kept is read again.
  std::atomic<uint64_t> catalogEpoch{0};

  using Pool = std::map<std::pair<uint64_t, std::string>, std::shared_ptr<SqlConnection>>;
  static Pool& ThreadPool();
  // By driver and owner, the owners whose server took a connection and did not
  // answer it, with the run it was tried in and the refusal: in that run the
  // refusal is told again without a new attempt, which would wait as long.
  using Unanswered = std::map<std::pair<uint64_t, std::string>, std::pair<uint64_t, SqlError>>;
  static Unanswered& ThreadUnanswered();
  int Attach(FileBlock& file, SqlFileState& st, bool* reused = nullptr);

  // The connection the table uses already, or its owner's when it has none.
  int Connect(FileBlock& file, SqlFileState& st) { return st.conn ? kNoError : Attach(file, st); }

  int WithSchema(FileBlock& file, SqlFileState& st, int rc);
  int ConnectWithSchema(FileBlock& file, SqlFileState& st) { return WithSchema(file, st, Connect(file, st)); }

  int AttachWithSchema(FileBlock& file, SqlFileState& st, bool* reused = nullptr) {
    return WithSchema(file, st, Attach(file, st, reused));
  }

  // Takes the connection from the thread's pool: it is never handed out again.
  void Forget(const SqlConnection& conn) {
    auto& pool = ThreadPool();
    for (auto it = pool.begin(); it != pool.end();) it = it->second.get() == &conn ? pool.erase(it) : std::next(it);
  }

  // Runs an operation on the owner's connection; when a connection that was
  // open already turns out lost, the operation runs once more on a new one,
  // unless it ran in a transaction (its refusal is then the one told).
  // With retry, only while *retry holds.
  template <class Op>
  int OnOwnerConnection(FileBlock& file, SqlFileState& st, bool withSchema, Op op, const bool* retry = nullptr) {
    bool reused = false;
    int rc = withSchema ? AttachWithSchema(file, st, &reused) : Attach(file, st, &reused);
    if (rc) return rc;
    rc = op();
    if (rc == kNoError || rc == kFileNotFound || !reused || !st.conn->session->Broken() || (retry && !*retry) ||
        st.conn->transaction)
      return rc;
    rc = withSchema ? AttachWithSchema(file, st) : Attach(file, st);
    return rc ? rc : op();
  }

  SqlStatus Exec(SqlFileState& st, const std::string& sql, const std::vector<SqlValue>& params) {
    st.lastSql = sql;
    return st.conn->session->Exec(sql, params);
  }

  // The table name as the catalog knows it: split at the first period, quotes
  // removed, and an unquoted name in the server's own letter case where the
  // server folds unquoted names (so one catalog look-up finds it).
  struct CatalogTable {
    std::string schema, name;
    bool caseInsensitive = false;  // the server matches the name without regard to case
  };

  CatalogTable CatalogName(const SqlFileState& st) const;
  SqlResult<CatalogRead*> Catalog(SqlFileState& st, const std::string& schema);
  bool IsCurrent(const CatalogRead& cat) const { return cat.read && cat.run == FileRun() && cat.epoch == catalogEpoch.load(); }
  CatalogRead* CurrentCatalog(SqlFileState& st, const std::string& schema);
  static Listed Find(const CatalogRead& cat, const CatalogTable& t, std::vector<std::string>& names);
  int CheckTableExists(FileBlock& file, SqlFileState& st, bool fresh = false);
  void Created(SqlFileState& st);

  // A statement that may have changed the catalog was sent.
  void CatalogChanged() { ++catalogEpoch; }

  class TableCreation;
  int CreateTable(FileBlock& file, SqlFileState& st, bool lookAgain, bool& untouched);
  const SqlKey* SchemaKeyFor(SqlFileState& st, const KeyDescriptor* key);

  void KeyWhere(const SqlTableSchema& s, const SqlKey& key, const std::vector<SqlValue>& values,
                std::string& sql, std::vector<SqlValue>& params);

  std::vector<SqlValue> RowOfBuffer(FileBlock& file, const SqlTableSchema& s);
  std::vector<SqlValue::Kind> Kinds(const SqlTableSchema& s);
  // The row into the record; error 90 naming the row's key, the column and
  // the value when a field cannot hold its value exactly (the record cleared).
  int TakeRow(FileBlock& file, SqlFileState& st, std::vector<SqlValue>& row);
  // The first unique key whose values in the row a row of the table holds;
  // null when none does.
  SqlResult<const SqlKey*> TakenKey(SqlFileState& st, const std::vector<SqlValue>& row);
  // 0 when no row of the table holds the row's values of a unique key; 40 (a
  // duplicate key) when one does; the server's refusal otherwise.
  int UniqueKeysFree(SqlFileState& st, const std::vector<SqlValue>& row);
};

}  // namespace rt
