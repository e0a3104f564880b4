// The ODBC session: a connection through the driver manager, statements with
// bound parameters, cursors, catalog calls and diagnostics; texts cross to and
// from the driver here.
#include "runtime/sql/odbc_session.h"
#include "runtime/base/code_page.h"
#include "runtime/base/text.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <mutex>
#include <type_traits>

#include "runtime/sql/sql_connect.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace rt {

namespace {

// Asks for multiple active result sets on a SQL Server connection.
constexpr SQLINTEGER kCoptMarsEnabled = 1224;

SQLHENV Environment() {
  static SQLHENV env = [] {
    SQLHENV h = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h))) return SQLHENV(SQL_NULL_HENV);
    SQLSetEnvAttr(h, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC2), 0);
    return h;
  }();
  return env;
}

// The program's texts are in the Windows ANSI code page; the driver manager of
// this platform passes narrow texts on as UTF-8, so they are converted at this
// boundary and the same characters reach the server.
std::string ToDriver(std::string_view text) {
#ifdef _WIN32
  return std::string(text);
#else
  return Cp1252ToUtf8(text);
#endif
}
std::string FromDriver(std::string_view text) {
#ifdef _WIN32
  return std::string(text);
#else
  return Utf8ToCp1252(text);
#endif
}

SqlError Diagnose(SQLSMALLINT type, SQLHANDLE handle) {
  SqlError err;
  SQLCHAR state[6] = {};
  SQLINTEGER native = 0;
  SQLCHAR msg[2048] = {};
  SQLSMALLINT len = 0;
  if (SQL_SUCCEEDED(SQLGetDiagRec(type, handle, 1, state, &native, msg, sizeof msg, &len))) {
    err.state = reinterpret_cast<char*>(state);
    // A driver may echo the connection string: no password of it goes further.
    err.message = MaskPassword(StripBracketTags(FromDriver(reinterpret_cast<char*>(msg))));
  } else {
    err.state = "HY000";
    err.message = "General error";
  }
  return err;
}

// A statement handle with one owner; the handle is freed when its owner goes,
// on every path.
struct FreeStatement {
  void operator()(SQLHSTMT stmt) const { SQLFreeHandle(SQL_HANDLE_STMT, stmt); }
};
using StmtHandle = std::unique_ptr<std::remove_pointer_t<SQLHSTMT>, FreeStatement>;

// The parameters of one statement: each bound once to storage of its own,
// which later runs of the statement fill with their values; a parameter is
// bound again only when its kind changes or its text outgrows the storage.
// The storage stays put until the statement is freed.
class BoundParams {
 public:
  bool Set(SQLHSTMT stmt, const std::vector<SqlValue>& params) {
    if (slots_.size() != params.size()) {
      slots_.clear();
      slots_.resize(params.size());
    }
    for (size_t i = 0; i < params.size(); ++i)
      if (!slots_[i].Set(stmt, static_cast<SQLUSMALLINT>(i + 1), params[i])) return false;
    return true;
  }

 private:
  struct Slot {
    bool bound = false;
    SqlValue::Kind kind = SqlValue::Kind::Null;
    SQLINTEGER number = 0;
    double real = 0;
    SQL_TIMESTAMP_STRUCT stamp{};
    std::string bytes;     // text or binary, sized to its capacity
    SQLLEN length = 0;     // the length or SQL_NULL_DATA

    bool Set(SQLHSTMT stmt, SQLUSMALLINT n, const SqlValue& v) {
      const bool text = v.kind == SqlValue::Kind::Text || v.kind == SqlValue::Kind::Null;
      std::string converted;
      if (text) converted = ToDriver(v.bytes);
      const std::string& data = text ? converted : v.bytes;
      const bool byteKind = text || v.kind == SqlValue::Kind::Binary;
      bool rebind = !bound || kind != v.kind;
      if (byteKind && data.size() > bytes.size()) {
        bytes.resize(std::max<size_t>(data.size(), 2 * bytes.size()));
        rebind = true;
      }
      const bool isNull = v.isNull || v.kind == SqlValue::Kind::Null;
      switch (v.kind) {
        case SqlValue::Kind::Long: number = static_cast<SQLINTEGER>(v.i); break;
        case SqlValue::Kind::Double: real = v.d; break;
        case SqlValue::Kind::Timestamp:
          stamp.year = static_cast<SQLSMALLINT>(v.ts.year);
          stamp.month = static_cast<SQLUSMALLINT>(v.ts.month);
          stamp.day = static_cast<SQLUSMALLINT>(v.ts.day);
          stamp.hour = static_cast<SQLUSMALLINT>(v.ts.hour);
          stamp.minute = static_cast<SQLUSMALLINT>(v.ts.minute);
          stamp.second = static_cast<SQLUSMALLINT>(v.ts.second);
          stamp.fraction = v.ts.fraction;
          break;
        default: std::copy(data.begin(), data.end(), bytes.begin()); break;
      }
      length = isNull ? SQL_NULL_DATA : byteKind ? static_cast<SQLLEN>(data.size()) : 0;
      kind = v.kind;
      if (!rebind) return true;
      bound = true;
      // Texts and binaries are bound with their storage's size, so that the
      // same binding serves every later value that fits.
      const SQLULEN room = std::max<SQLULEN>(bytes.size(), 1);
      switch (v.kind) {
        case SqlValue::Kind::Long:
          return SQL_SUCCEEDED(SQLBindParameter(stmt, n, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &number, 0,
                                                &length));
        case SqlValue::Kind::Double:
          return SQL_SUCCEEDED(SQLBindParameter(stmt, n, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &real, 0,
                                                &length));
        case SqlValue::Kind::Timestamp:
          return SQL_SUCCEEDED(SQLBindParameter(stmt, n, SQL_PARAM_INPUT, SQL_C_TIMESTAMP, SQL_TIMESTAMP, 23, 3,
                                                &stamp, 0, &length));
        case SqlValue::Kind::Binary:
          return SQL_SUCCEEDED(SQLBindParameter(stmt, n, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, room, 0,
                                                bytes.data(), static_cast<SQLLEN>(bytes.size()), &length));
        case SqlValue::Kind::Text:
        case SqlValue::Kind::Null:
          return SQL_SUCCEEDED(SQLBindParameter(stmt, n, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, room, 0,
                                                bytes.data(), static_cast<SQLLEN>(bytes.size()), &length));
      }
      return false;
    }
  };
  std::vector<Slot> slots_;
};

class OdbcCursor : public SqlCursor {
 public:
  OdbcCursor(StmtHandle stmt, std::vector<SqlValue::Kind> kinds, std::unique_ptr<BoundParams> params)
      : kinds_(std::move(kinds)), params_(std::move(params)), handle_(std::move(stmt)), stmt_(handle_.get()) {}

  bool Fetch(std::vector<SqlValue>& row, SqlError& err) override {
    err = {};
    SQLRETURN rc = SQLFetch(stmt_);
    if (rc == SQL_NO_DATA) return false;
    if (!SQL_SUCCEEDED(rc)) {
      err = Diagnose(SQL_HANDLE_STMT, stmt_);
      return false;
    }
    row.assign(kinds_.size(), SqlValue());
    for (size_t i = 0; i < kinds_.size(); ++i) {
      SQLUSMALLINT col = static_cast<SQLUSMALLINT>(i + 1);
      SqlValue& v = row[i];
      v.kind = kinds_[i];
      SQLLEN ind = 0;
      switch (kinds_[i]) {
        case SqlValue::Kind::Long: {
          SQLINTEGER x = 0;
          rc = SQLGetData(stmt_, col, SQL_C_SLONG, &x, 0, &ind);
          v.i = x;
          break;
        }
        case SqlValue::Kind::Double:
          rc = SQLGetData(stmt_, col, SQL_C_DOUBLE, &v.d, 0, &ind);
          break;
        case SqlValue::Kind::Timestamp: {
          SQL_TIMESTAMP_STRUCT t{};
          rc = SQLGetData(stmt_, col, SQL_C_TIMESTAMP, &t, sizeof t, &ind);
          v.ts = {t.year, t.month, t.day, t.hour, t.minute, t.second, t.fraction};
          break;
        }
        case SqlValue::Kind::Null:
        case SqlValue::Kind::Text:
        case SqlValue::Kind::Binary: {
          bool text = kinds_[i] != SqlValue::Kind::Binary;
          SQLSMALLINT ctype = text ? SQL_C_CHAR : SQL_C_BINARY;
          char buf[4096];
          while (true) {
            rc = SQLGetData(stmt_, col, ctype, buf, sizeof buf, &ind);
            if (rc == SQL_NO_DATA) { rc = SQL_SUCCESS; break; }
            if (!SQL_SUCCEEDED(rc) || ind == SQL_NULL_DATA) break;
            size_t room = sizeof buf - (text ? 1 : 0);
            size_t got = (ind == SQL_NO_TOTAL || static_cast<size_t>(ind) > room) ? room : static_cast<size_t>(ind);
            v.bytes.append(buf, got);
            if (rc == SQL_SUCCESS) break;
          }
          if (text) v.bytes = FromDriver(v.bytes);
          break;
        }
      }
      if (!SQL_SUCCEEDED(rc)) {
        err = Diagnose(SQL_HANDLE_STMT, stmt_);
        return false;
      }
      v.isNull = ind == SQL_NULL_DATA;
    }
    return true;
  }

  std::vector<std::string> ColumnNames() override {
    std::vector<std::string> names;
    SQLSMALLINT count = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(stmt_, &count))) return names;
    for (SQLSMALLINT i = 1; i <= count; ++i) {
      SQLCHAR name[512] = {};
      SQLSMALLINT len = 0, type = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      SQLDescribeCol(stmt_, static_cast<SQLUSMALLINT>(i), name, sizeof name, &len, &type, &size, &digits, &nullable);
      names.push_back(FromDriver(reinterpret_cast<char*>(name)));
    }
    return names;
  }

 private:
  std::vector<SqlValue::Kind> kinds_;
  std::unique_ptr<BoundParams> params_;  // outlives the statement that binds it
  StmtHandle handle_;
  SQLHSTMT stmt_;
};

class OdbcSession : public SqlSession {
 public:
  explicit OdbcSession(SQLHDBC dbc) : dbc_(dbc) {}
  ~OdbcSession() override {
    prepared_.clear();
    // A transaction still open is rolled back: a connection is not closed in the middle of one.
    if (inTransaction_) SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  }

  bool Exec(const std::string& sql, const std::vector<SqlValue>& params, SqlError& err) override {
    if (!Flush(err)) return false;
    SqlTrace(sql);
    if (params.empty()) {
      // It may change the tables that prepared statements name.
      prepared_.clear();
      return Run(sql, params, nullptr, err) != nullptr;
    }
    return RunPrepared(sql, params, err);
  }

  std::unique_ptr<SqlCursor> Query(const std::string& sql, const std::vector<SqlValue>& params,
                                   const std::vector<SqlValue::Kind>& kinds, SqlError& err) override {
    if (!Flush(err)) return nullptr;
    SqlTrace(sql);
    auto bound = std::make_unique<BoundParams>();
    StmtHandle stmt = Run(sql, params, bound.get(), err);
    if (!stmt) return nullptr;
    return std::make_unique<OdbcCursor>(std::move(stmt), kinds, std::move(bound));
  }

  bool Columns(const std::string& schema, const std::string& table, std::vector<std::string>& names,
               SqlError& err) override {
    names.clear();
    if (!Flush(err)) return false;
    // Names are identifiers, not patterns: "_" and "%" are escaped.
    const std::string tab = ToDriver(Literal(table));
    StmtHandle stmt = CatalogColumns(schema, tab.c_str(), err);
    if (!stmt) return false;
    OdbcCursor cursor(std::move(stmt), {SqlValue::Kind::Text, SqlValue::Kind::Text, SqlValue::Kind::Text,
                             SqlValue::Kind::Text}, nullptr);
    std::vector<SqlValue> row;
    while (cursor.Fetch(row, err)) names.push_back(row[3].bytes);
    return err.state.empty();
  }

  bool AllColumns(const std::string& schema, std::map<std::string, std::vector<std::string>>& tables,
                  SqlError& err) override {
    tables.clear();
    if (!Flush(err)) return false;
    const StmtHandle handle = CatalogColumns(schema, "%", err);
    if (!handle) return false;
    SQLHSTMT stmt = handle.get();
    // Thousands of rows: the two names are bound rather than fetched one by one.
    SQLCHAR table[1024], column[1024];
    SQLLEN tableLen = 0, columnLen = 0;
    SQLRETURN rc = SQLBindCol(stmt, 3, SQL_C_CHAR, table, sizeof table, &tableLen);
    if (SQL_SUCCEEDED(rc)) rc = SQLBindCol(stmt, 4, SQL_C_CHAR, column, sizeof column, &columnLen);
    std::string lastRaw;
    std::vector<std::string>* columns = nullptr;
    while (SQL_SUCCEEDED(rc) && SQL_SUCCEEDED(rc = SQLFetch(stmt))) {
      if (tableLen == SQL_NULL_DATA || columnLen == SQL_NULL_DATA) continue;
      const std::string raw(reinterpret_cast<char*>(table));
      if (!columns || raw != lastRaw) {
        columns = &tables[FromDriver(raw)];
        lastRaw = raw;
      }
      columns->push_back(FromDriver(reinterpret_cast<char*>(column)));
    }
    const bool ok = rc == SQL_NO_DATA;
    if (!ok) err = Failure(SQL_HANDLE_STMT, stmt);
    return ok;
  }

  bool TypeInfo(std::vector<TypeInfoRow>& rows, SqlError& err) override {
    rows.clear();
    if (!Flush(err)) return false;
    StmtHandle stmt = NewStatement(err);
    if (!stmt) return false;
    if (!SQL_SUCCEEDED(SQLGetTypeInfo(stmt.get(), SQL_ALL_TYPES))) {
      err = Failure(SQL_HANDLE_STMT, stmt.get());
      return false;
    }
    using K = SqlValue::Kind;
    OdbcCursor cursor(std::move(stmt), {K::Text, K::Long, K::Long, K::Text, K::Text, K::Text}, nullptr);
    std::vector<SqlValue> row;
    while (cursor.Fetch(row, err)) {
      TypeInfoRow r;
      r.typeName = row[0].bytes;
      r.dataType = static_cast<int>(row[1].i);
      if (!row[5].isNull) r.createParams = row[5].bytes;
      rows.push_back(std::move(r));
    }
    return err.state.empty();
  }

  bool Broken() override {
    if (lost_) return true;
    SQLUINTEGER dead = SQL_CD_FALSE;
    if (SQL_SUCCEEDED(SQLGetConnectAttr(dbc_, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) && dead == SQL_CD_TRUE)
      lost_ = true;
    return lost_;
  }

  bool BeginTransaction(SqlError& err) override {
    SqlTrace("-- begin transaction");
    inTransaction_ = SetAutoCommit(false, err);
    return inTransaction_;
  }

  bool ExecDeferred(const std::string& head, const std::vector<SqlValue>& row, SqlError& err) override {
    if (!queued_.empty() && (queuedHead_ != head || queued_.front().size() != row.size()) && !Flush(err))
      return false;
    queuedHead_ = head;
    queued_.push_back(row);
    // As many rows as keep an INSERT within 999 parameters, which every server takes.
    const size_t batch = std::clamp<size_t>(kBatchParameters / std::max<size_t>(row.size(), 1), 1, kBatchRows);
    return queued_.size() < batch || Flush(err);
  }

  bool EndTransaction(bool commit, SqlError& err) override {
    if (commit && !Flush(err)) {
      SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
      SqlError ignored;
      if (SetAutoCommit(true, ignored)) inTransaction_ = false;
      return false;
    }
    queued_.clear();
    SqlTrace(commit ? "-- commit" : "-- rollback");
    prepared_.clear();
    bool ok = SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, dbc_, commit ? SQL_COMMIT : SQL_ROLLBACK));
    if (!ok) err = Failure(SQL_HANDLE_DBC, dbc_);
    SqlError ignored;
    // Back to one transaction per statement (a failed commit is rolled back first).
    if (!ok && commit) SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
    if (!SetAutoCommit(true, ok ? err : ignored)) ok = false;
    else inTransaction_ = false;
    return ok;
  }

  ServerInfo Info() override {
    if (info_) return *info_;
    ServerInfo info;
    info.identifierQuote = InfoText(SQL_IDENTIFIER_QUOTE_CHAR);
    info.quotedCaseSensitive = InfoShort(SQL_QUOTED_IDENTIFIER_CASE) == SQL_IC_SENSITIVE;
    info.nonNullableColumns = InfoShort(SQL_NON_NULLABLE_COLUMNS) == SQL_NNC_NON_NULL;
    info.identifierCase = InfoShort(SQL_IDENTIFIER_CASE);
    info.SetKeywords(InfoText(SQL_KEYWORDS));
    info.searchPatternEscape = InfoText(SQL_SEARCH_PATTERN_ESCAPE);
    info.dbmsName = InfoText(SQL_DBMS_NAME);
    info.ddlTransactions = InfoShort(SQL_TXN_CAPABLE) == SQL_TC_ALL;
    info_ = info;
    return info;
  }

 private:
  // A name as a catalog search pattern that matches only itself.
  std::string Literal(const std::string& name) {
    const std::string esc = Info().searchPatternEscape;
    if (esc.empty()) return name;
    std::string out;
    for (char c : name) {
      if (c == '_' || c == '%' || esc.find(c) == 0) out += esc;
      out += c;
    }
    return out;
  }

  // A new statement on the connection; null with err when none can be had.
  StmtHandle NewStatement(SqlError& err) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt))) return StmtHandle(stmt);
    err = Failure(SQL_HANDLE_DBC, dbc_);
    return nullptr;
  }

  // SQLColumns on a new statement for the table pattern (already in the
  // driver's characters) of the schema (any when empty); the statement, or
  // null with err.
  StmtHandle CatalogColumns(const std::string& schema, const char* tablePattern, SqlError& err) {
    StmtHandle stmt = NewStatement(err);
    if (!stmt) return nullptr;
    std::string sch = ToDriver(Literal(schema));
    SqlTrace("-- catalog columns of " + (schema.empty() ? std::string() : schema + ".") + tablePattern);
    SQLRETURN rc = SQLColumns(stmt.get(), nullptr, 0,
                              schema.empty() ? nullptr : reinterpret_cast<SQLCHAR*>(sch.data()),
                              schema.empty() ? 0 : SQL_NTS,
                              reinterpret_cast<SQLCHAR*>(const_cast<char*>(tablePattern)), SQL_NTS,
                              reinterpret_cast<SQLCHAR*>(const_cast<char*>("%")), SQL_NTS);
    if (!SQL_SUCCEEDED(rc)) {
      err = Failure(SQL_HANDLE_STMT, stmt.get());
      return nullptr;
    }
    return stmt;
  }

  // Runs the statement on a new handle, its parameters bound in keep (when
  // given, so they outlive a cursor); the handle, or null with err.
  StmtHandle Run(const std::string& sql, const std::vector<SqlValue>& params, BoundParams* keep, SqlError& err) {
    StmtHandle handle = NewStatement(err);
    if (!handle) return nullptr;
    SQLHSTMT stmt = handle.get();
    BoundParams local;
    BoundParams& b = keep ? *keep : local;
    const std::string text = ToDriver(sql);
    SQLRETURN rc;
    if (params.empty()) {
      rc = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())), SQL_NTS);
    } else {
      rc = SQLPrepare(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())), SQL_NTS);
      if (SQL_SUCCEEDED(rc)) rc = b.Set(stmt, params) ? SQLExecute(stmt) : SQL_ERROR;
    }
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
      err = Failure(SQL_HANDLE_STMT, stmt);
      SqlTrace("  -> " + err.state + " " + err.message);
      return nullptr;
    }
    return handle;
  }

  // Sends the queued rows: in one INSERT of many rows, or, where the server
  // refuses that (an older one, or a row of them refused), one by one; a
  // server that ends its transaction at a refusal gets no second try.
  bool Flush(SqlError& err) {
    if (queued_.empty()) return true;
    const std::vector<std::vector<SqlValue>> rows = std::move(queued_);
    queued_.clear();
    const std::string one = RowPlaceholders(rows.front().size());
    if (manyRows_ && rows.size() > 1) {
      std::string sql = queuedHead_;
      std::vector<SqlValue> params;
      params.reserve(rows.size() * rows.front().size());
      for (size_t i = 0; i < rows.size(); ++i) {
        sql += (i ? "," : "") + one;
        params.insert(params.end(), rows[i].begin(), rows[i].end());
      }
      SqlTrace(sql.substr(0, queuedHead_.size() + one.size()) + ",... (" + std::to_string(rows.size()) + " rows)");
      if (RunPrepared(sql, params, err)) return true;
      if (Info().RefusalEndsTransaction() || lost_) return false;
    }
    for (const std::vector<SqlValue>& row : rows) {
      SqlTrace(queuedHead_ + one);
      if (!RunPrepared(queuedHead_ + one, row, err)) return false;
    }
    // Each row was taken alone: it is the INSERT of many rows that this server refuses.
    if (rows.size() > 1) manyRows_ = false;
    return true;
  }

  // Runs a statement with parameters on the handle it was prepared on before,
  // preparing it at its first run: a copy of many rows prepares its INSERT once.
  bool RunPrepared(const std::string& sql, const std::vector<SqlValue>& params, SqlError& err) {
    auto it = prepared_.find(sql);
    if (it == prepared_.end()) {
      StmtHandle handle = NewStatement(err);
      if (!handle) return false;
      const std::string text = ToDriver(sql);
      if (!SQL_SUCCEEDED(SQLPrepare(handle.get(), reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())), SQL_NTS))) {
        err = Failure(SQL_HANDLE_STMT, handle.get());
        SqlTrace("  -> " + err.state + " " + err.message);
        return false;
      }
      if (prepared_.size() >= kPreparedKept) prepared_.clear();
      it = prepared_.emplace(sql, Prepared{std::move(handle), std::make_unique<BoundParams>()}).first;
    }
    // No cursor to close: closing one makes some drivers compile the statement anew.
    SQLHSTMT stmt = it->second.handle.get();
    SQLRETURN rc = it->second.params->Set(stmt, params) ? SQLExecute(stmt) : SQL_ERROR;
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
      err = Failure(SQL_HANDLE_STMT, stmt);
      SqlTrace("  -> " + err.state + " " + err.message);
      return false;
    }
    return true;
  }

  // The diagnostic of a failure; a connection-class SQLSTATE marks the connection lost.
  SqlError Failure(SQLSMALLINT type, SQLHANDLE handle) {
    SqlError err = Diagnose(type, handle);
    if (err.state.rfind("08", 0) == 0) lost_ = true;
    return err;
  }

  bool SetAutoCommit(bool on, SqlError& err) {
    SQLULEN value = on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
    if (SQL_SUCCEEDED(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(value), 0)))
      return true;
    err = Failure(SQL_HANDLE_DBC, dbc_);
    return false;
  }

  std::string InfoText(SQLUSMALLINT item) {
    std::vector<char> buf(16384, 0);
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(dbc_, item, buf.data(), static_cast<SQLSMALLINT>(buf.size() - 1), &len)))
      return {};
    return std::string(buf.data());
  }
  int InfoShort(SQLUSMALLINT item) {
    SQLUSMALLINT v = 0;
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(dbc_, item, &v, sizeof v, &len))) return 0;
    return v;
  }

  static constexpr size_t kPreparedKept = 16;
  static constexpr size_t kBatchParameters = 999, kBatchRows = 100;

  SQLHDBC dbc_;
  // A prepared statement and the storage its parameters are bound to; the
  // handle goes first, the storage after it.
  struct Prepared {
    StmtHandle handle;
    std::unique_ptr<BoundParams> params;
    ~Prepared() { handle.reset(); }
    Prepared(StmtHandle h, std::unique_ptr<BoundParams> p) : handle(std::move(h)), params(std::move(p)) {}
    Prepared(Prepared&&) = default;
  };
  std::map<std::string, Prepared> prepared_;  // by statement text; freed before the connection
  std::optional<ServerInfo> info_;
  bool lost_ = false;
  bool inTransaction_ = false;  // autocommit is off
  // Rows queued by ExecDeferred, all for queuedHead_.
  std::string queuedHead_;
  std::vector<std::vector<SqlValue>> queued_;
  bool manyRows_ = true;  // the server takes an INSERT of many rows
};

}  // namespace

std::string RowPlaceholders(size_t count) {
  std::string out = "(";
  for (size_t i = 0; i < count; ++i) out += i ? ",?" : "?";
  return out + ")";
}

bool IsDuplicateKeyState(const SqlError& err) {
  if (err.state.rfind("23", 0) == 0) return true;
  const std::string m = Lower(err.message);
  return m.find("unique constraint") != std::string::npos || m.find("duplicate key") != std::string::npos ||
         m.find("primary key constraint") != std::string::npos;
}

bool SqlTraceOn() {
  const char* v = std::getenv("ORTAVIA_SQL_TRACE");
  return v && std::strcmp(v, "1") == 0;
}

void SqlTrace(const std::string& line) {
  if (!SqlTraceOn()) return;
  static std::mutex m;
  std::lock_guard<std::mutex> lock(m);
  std::cerr << "[MSSQL] " << line << "\n";
}

std::vector<std::string> InstalledOdbcDrivers() {
  std::vector<std::string> names;
  SQLHENV env = Environment();
  if (env == SQL_NULL_HENV) return names;
  SQLCHAR desc[512], attrs[2048];
  SQLSMALLINT descLen = 0, attrLen = 0;
  SQLUSMALLINT dir = SQL_FETCH_FIRST;
  while (names.size() < kMaxOdbcDrivers &&
         SQL_SUCCEEDED(SQLDrivers(env, dir, desc, sizeof desc, &descLen, attrs, sizeof attrs, &attrLen))) {
    names.emplace_back(reinterpret_cast<char*>(desc));
    dir = SQL_FETCH_NEXT;
  }
  return names;
}

std::string ConfiguredOdbcDriverPrefix() {
#ifdef _WIN32
  char value[256] = {};
  DWORD size = sizeof value;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Ortavia\\MSSQL", "DLL", RRF_RT_REG_SZ, nullptr, value, &size) ==
      ERROR_SUCCESS)
    return value;
  return {};
#else
  const char* v = std::getenv("ORTAVIA_SQL_DRIVER");
  return v ? v : "";
#endif
}

std::optional<std::string> ChosenOdbcDriver() {
  return ChooseOdbcDriver(InstalledOdbcDrivers(), ConfiguredOdbcDriverPrefix());
}

std::unique_ptr<SqlSession> OdbcConnect(const std::string& owner, SqlError& err) {
  std::optional<std::string> driver = ChosenOdbcDriver();
  if (!driver) {
    err = {"1", "Driver Not Installed"};
    SqlTrace("no ODBC driver installed for the connection");
    return nullptr;
  }
  std::string cs = ToDriver(BuildConnectionString(*driver, owner));
  SqlTrace("connect " + ToDriver(TracedConnectionString(*driver, owner)));
  SQLHDBC dbc = SQL_NULL_HDBC;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, Environment(), &dbc))) {
    err = {"HY001", "Cannot allocate a connection"};
    return nullptr;
  }
  // A driver that does not know the attribute simply refuses it.
  SQLSetConnectAttr(dbc, kCoptMarsEnabled, reinterpret_cast<SQLPOINTER>(1), SQL_IS_UINTEGER);
  SQLCHAR out[1024];
  SQLSMALLINT outLen = 0;
  SQLRETURN rc = SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(cs.data()), SQL_NTS, out, sizeof out,
                                  &outLen, SQL_DRIVER_NOPROMPT);
  std::fill(cs.begin(), cs.end(), '\0');
  if (!SQL_SUCCEEDED(rc)) {
    err = Diagnose(SQL_HANDLE_DBC, dbc);
    SqlTrace("  -> " + err.state + " " + err.message);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    return nullptr;
  }
  return std::make_unique<OdbcSession>(dbc);
}

}  // namespace rt
