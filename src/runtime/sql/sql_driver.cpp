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

// One creation of a table on its connection: CREATE TABLE and its indexes,
// each sent again after a drop while the server answers that it exists, and
// the table dropped when an index fails. Where the server can roll back DDL,
// the table and its indexes are made in one transaction, so no failure or
// interruption leaves part of them behind. In a transaction begun already (a
// migration's), the creation is part of it: it neither commits nor rolls
// back, and a failure is left to its owner. untouched stays true while the
// server has taken no statement of this creation.
class SqlDriver::Impl::TableCreation {
 public:
  TableCreation(Impl& driver, FileBlock& file, SqlFileState& st, bool& untouched)
      : driver_(driver),
        file_(file),
        st_(st),
        conn_(*st.conn),
        dialect_(conn_.info.Dialect()),
        untouched_(untouched),
        joined_(conn_.transaction),
        atomic_(conn_.info.ddlTransactions && !joined_),
        dropTable_("DROP TABLE " + st.schema->tableName) {}

  int Run(bool lookAgain) {
    if (!conn_.types) {
      SqlResult<std::vector<TypeInfoRow>> rows = conn_.session->TypeInfo();
      if (!rows) return Refused(rows.error());
      conn_.types = TypeList::FromRows(*rows, conn_.info);
    }
    const Outcome<CreateStatements> stmts = BuildCreateStatements(*st_.schema, *conn_.types);
    if (!stmts) {
      SqlTrace("Could not Create Field " + stmts.error());
      SqlTrace("File system does not support data type");
      return kInvalidFieldTypeDescriptor;
    }
    if (int rc = Begin()) return rc;
    bool opened = false;
    // A refused statement may have ended a joined transaction: the table is not looked at again then.
    if (int rc = CreateTheTable(stmts->createTable, lookAgain && !joined_, opened)) return rc;
    if (opened) return kNoError;  // the open that follows answers as for any existing table
    if (int rc = CreateIndexes(*stmts)) return rc;
    if (atomic_)
      if (SqlStatus committed = conn_.session->EndTransaction(true); !committed) return Refused(committed.error());
    driver_.Created(st_);
    return kNoError;
  }

 private:
  SqlStatus Send(const std::string& sql) {
    SqlStatus sent = driver_.Exec(st_, sql, {});
    if (sent) untouched_ = false;
    return sent;
  }

  int Begin() {
    if (!atomic_) return kNoError;
    SqlStatus begun = conn_.session->BeginTransaction();
    return begun ? kNoError : Refused(begun.error());
  }
  // What is reported is the failure that led here; a rollback refused as well adds nothing to it.
  void RollBack() {
    if (atomic_) static_cast<void>(conn_.session->EndTransaction(false));
  }
  int Fail(const SqlError& err) {
    RollBack();
    return Refused(err);
  }

  // The answer to sql after dropping with drop what the server answers exists
  // already (the refusal exists) and sending sql again, while it keeps so
  // answering; a server that still answers "exists" after kMaxRecreate drops
  // is given up on.
  SqlStatus Recreate(SqlStatus sent, const std::string& sql, Refusal exists, const std::string& drop) {
    for (int drops = 0; !sent && dialect_.Means(sent.error(), exists) && drops < kMaxRecreate; ++drops) {
      if (exists == Refusal::TableExists) driver_.CatalogChanged();  // a table goes from the catalog reads
      if (SqlStatus dropped = Send(drop); !dropped) return dropped;
      sent = Send(sql);
    }
    return sent;
  }

  // CREATE TABLE. A check answered from a catalog read may be older than the
  // table: another process may have made it since. With lookAgain the table
  // itself is looked at first at a refusal, and a table found there is
  // opened, never dropped (opened set).
  int CreateTheTable(const std::string& createTable, bool lookAgain, bool& opened) {
    SqlStatus sent = Send(createTable);
    if (!sent && lookAgain && !conn_.session->Broken()) {
      RollBack();
      const int found = driver_.CheckTableExists(file_, st_, true);
      if (found == kNoError || found == kInvalidRecordDeclaration) {
        SqlTrace(st_.schema->tableName + " exists already; it is opened as it is");
        opened = true;
        return kNoError;
      }
      if (found != kFileNotFound) return found;
      if (int rc = Begin()) return rc;
    }
    sent = Recreate(std::move(sent), createTable, Refusal::TableExists, dropTable_);
    return sent ? kNoError : Fail(sent.error());
  }

  int CreateIndexes(const CreateStatements& stmts) {
    for (size_t i = 0; i < stmts.createIndexes.size(); ++i) {
      const std::string& sql = stmts.createIndexes[i];
      const SqlStatus sent = Recreate(Send(sql), sql, Refusal::IndexExists, "DROP INDEX " + stmts.indexNames[i]);
      if (sent) continue;
      // No table stays behind with only part of its indexes.
      if (!atomic_ && !joined_) {
        driver_.CatalogChanged();
        static_cast<void>(Send(dropTable_));
      }
      return Fail(sent.error());
    }
    return kNoError;
  }

  Impl& driver_;
  FileBlock& file_;
  SqlFileState& st_;
  SqlConnection& conn_;
  const ServerDialect& dialect_;
  bool& untouched_;
  const bool joined_;
  const bool atomic_;
  const std::string dropTable_;
};

int SqlDriver::Impl::CreateTable(FileBlock& file, SqlFileState& st, bool lookAgain, bool& untouched) {
  return TableCreation(*this, file, st, untouched).Run(lookAgain);
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
  std::erase_if(Impl::ThreadUnanswered(), [&](const auto& u) { return u.first.first == impl_->id; });
}

int SqlDriver::Open(FileBlock& file, int) {
  SqlFileState& st = StateOf(file);
  st.cursor.reset();
  st.pendingKey = nullptr;
  st.sequenceStarted = false;
  st.haveCurrent = false;
  const std::string& opts = file.decl().options;
  const bool verify = !SqlOptionSet(opts, "NOVERIFY") && !SqlOptionSet(opts, "TURBOSQL");
  return impl_->OnOwnerConnection(file, st, true, [&] { return verify ? impl_->CheckTableExists(file, st) : kNoError; });
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
  const bool commit = step == TransactionStep::Commit;
  const SqlStatus ended = conn.session->EndTransaction(commit);
  // Over once the session ends it (a refused commit is rolled back). A
  // session that could not has closed its connection: what became of the
  // transaction is not known, it stays open here for every later end to
  // refuse, and the connection is never handed out again.
  if (ended || !conn.session->Broken()) conn.transaction = false;
  else impl_->Forget(conn);
  // What was rolled back may be in the catalog reads kept: they are read again.
  if (!commit || !ended) impl_->CatalogChanged();
  return ended ? kNoError : Refused(ended.error());
}

void SqlDriver::Destroy(FileBlock& file) { file.driverState.reset(); }

void RegisterSqlDriver() { RegisterDriver(std::make_shared<SqlDriver>()); }

}  // namespace rt
