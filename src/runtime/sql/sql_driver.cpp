// The SQL file driver: its tables opened, checked, created with their indexes
// and dropped; pass-through statements; the driver registered as "MSSQL".
#include "runtime/sql/sql_driver.h"

#include <atomic>

#include "runtime/sql/odbc_session.h"
#include "runtime/sql/sql_driver_impl.h"

namespace rt {

namespace {

// A server that keeps answering "exists" after each successful drop is given up on.
constexpr int kMaxRecreate = 16;

}  // namespace

// Creates the table on its connection: CREATE TABLE and its indexes, with
// the retries on "exists" and the drop on failure. untouched stays true
// while the server has taken no statement of this creation.
int SqlDriver::Impl::CreateTable(FileBlock& file, SqlFileState& st, bool lookAgain, bool& untouched) {
  SqlConnection& conn = *st.conn;
  if (!conn.types) {
    SqlResult<std::vector<TypeInfoRow>> rows = conn.session->TypeInfo();
    if (!rows) return Refused(rows.error());
    conn.types = TypeList::FromRows(*rows, conn.info);
  }
  const Reasoned<CreateStatements> stmts = BuildCreateStatements(*st.schema, *conn.types);
  if (!stmts) {
    SqlTrace("Could not Create Field " + stmts.error());
    SqlTrace("File system does not support data type");
    return kInvalidFieldTypeDescriptor;
  }
  auto run = [&](const std::string& sql, SqlError& err) {
    const SqlStatus ran = Exec(st, sql, {});
    if (ran) untouched = false;
    else err = ran.error();
    return ran.ok();
  };
  // Where the server can roll back DDL, the table and its indexes are made in
  // one transaction, so no failure or interruption leaves part of them behind.
  // In a transaction begun already (a migration's), the creation is part of it:
  // it neither commits nor rolls back, and a failure is left to its owner.
  const bool joined = conn.transaction;
  const bool atomic = conn.info.ddlTransactions && !joined;
  auto begin = [&]() -> int {
    if (!atomic) return kNoError;
    const SqlStatus begun = conn.session->BeginTransaction();
    return begun ? kNoError : Refused(begun.error());
  };
  auto rollback = [&] {
    if (atomic) static_cast<void>(conn.session->EndTransaction(false));
  };
  auto fail = [&](const SqlError& err) {
    rollback();
    return Refused(err);
  };
  if (joined) lookAgain = false;  // a refused statement may have ended the transaction
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
    if (!conn.info.Dialect().Means(err, Refusal::TableExists) || attempt >= kMaxRecreate) return fail(err);
    SqlError dropErr;
    CatalogChanged();
    if (!run(dropTable, dropErr)) return fail(dropErr);
  }
  for (size_t i = 0; i < stmts->createIndexes.size(); ++i) {
    SqlError err;
    bool ok = false;
    for (int attempt = 0;; ++attempt) {
      if (run(stmts->createIndexes[i], err)) { ok = true; break; }
      if (!conn.info.Dialect().Means(err, Refusal::IndexExists) || attempt >= kMaxRecreate) break;
      SqlError dropErr;
      if (!run("DROP INDEX " + stmts->indexNames[i], dropErr)) { err = dropErr; break; }
    }
    if (!ok) {
      // No table stays behind with only part of its indexes.
      if (!atomic && !joined) {
        SqlError ignored;
        CatalogChanged();
        run(dropTable, ignored);
      }
      return fail(err);
    }
  }
  if (atomic)
    if (SqlStatus committed = conn.session->EndTransaction(true); !committed) return Refused(committed.error());
  Created(st);
  return kNoError;
}

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
  if (!st.conn || !st.conn->transaction) st.addedKeys = {};
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
  impl_->CatalogChanged();
  SqlStatus dropped = impl_->Exec(st, "DROP TABLE " + st.schema->tableName, {});
  return dropped ? kNoError : Refused(dropped.error());
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
    SqlStatus ran = impl_->Exec(st, value, {});
    return ran ? kNoError : Refused(ran.error());
  });
}

int SqlDriver::Transaction(FileBlock& file, TransactionStep step) {
  SqlFileState& st = StateOf(file);
  if (step == TransactionStep::Begin) {
    if (int rc = impl_->Attach(file, st)) return rc;
    SqlConnection& conn = *st.conn;
    if (conn.transaction) {
      SetFileError("25000", "A transaction is open already on this connection");
      return kFileSystemError;
    }
    if (!conn.info.ddlTransactions) return kFunctionNotSupported;
    if (SqlStatus begun = conn.session->BeginTransaction(); !begun) return Refused(begun.error());
    conn.transaction = true;
    ++conn.transactionNumber;
    return kNoError;
  }
  if (!st.conn || !st.conn->transaction) return kNoError;  // nothing begun here
  SqlConnection& conn = *st.conn;
  conn.transaction = false;
  const bool commit = step == TransactionStep::Commit;
  const SqlStatus ended = conn.session->EndTransaction(commit);
  // What was rolled back may be in the catalog reads kept: they are read again.
  if (!commit || !ended) impl_->CatalogChanged();
  return ended ? kNoError : Refused(ended.error());
}

void SqlDriver::Destroy(FileBlock& file) { file.driverState.reset(); }

void RegisterSqlDriver() { RegisterDriver(std::make_shared<SqlDriver>()); }

}  // namespace rt
