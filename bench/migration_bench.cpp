// Benchmark of the migration of a changed table: an old RefereExtCove of
// 10,000 rows on the server and a local file of 10,000 more records;
// MigrateStructures renames the table, creates it anew, carries both and drops
// the renamed table (the other five tables are current and only looked at).
//
// 1. On SQLite files, through the tests' SQL Server stand-in (the SQLite ODBC
//    driver under it) and again straight through the SQLite ODBC driver (the
//    program's embedded default): the program beside the sqlite3 anchor and
//    beside the floor, the least work that leaves the same table through the
//    same ODBC driver, found by measuring each form of INSERT the driver
//    takes. What the process's SQLite library compiles and runs is counted in
//    every run.
// 2. To PostgreSQL through a loopback proxy that delays each message as a
//    network would, beside a libpq anchor that sends the program's batches in
//    one transaction: time, round trips and the protocol messages of each.
// 3. A new database and a local file of 1,000,000 records: the program's time
//    and peak memory, in a process the bench started at its outset, before it
//    held any data.
// README.md in this folder says what each anchor and floor sends and why it is
// the least work.
//
// Usage: ortavia_migration_bench [repetitions] [local records of the large run]
// ODBCSYSINI must list the stand-in and the PostgreSQL driver (the tests'
// driver list); ORTAVIA_PG_PORT, ORTAVIA_PG_USER and ORTAVIA_PG_PASSWORD name
// the PostgreSQL server (without them that part is skipped).
#include <dlfcn.h>
#include <libpq-fe.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/migrate.h"
#include "app/migration_steps.h"
#include "app/program.h"
#include "dictionary/dictionary.h"
#include "runtime/base/code_page.h"
#include "runtime/files/files.h"
#include "runtime/files/sqlite_file_driver.h"
#include "runtime/sql/server_info.h"
#include "runtime/sql/sql_connect.h"
#include "runtime/sql/sql_driver.h"
#include "runtime/test_hooks.h"
#include "support/fake_ui.h"
#include "support/migration_prelude.h"
#include "support/sqlserver_answers.h"

#include "delay_proxy.h"

// ---------------------------------------------------------------- SQLite's own count

// What the process's SQLite library compiles and runs, the ODBC driver's
// calls included: the executable exports these (ENABLE_EXPORTS), so the
// driver, loaded later, reaches them before the library's own.
namespace {
std::atomic<long> g_compiles{0}, g_steps{0}, g_execs{0};
// While set, the texts compiled that read the renamed table or the local file
// (both named XRefereExtCove) are kept: the program's own reads of its inputs.
std::atomic<bool> g_keepReads{false};
std::mutex g_readsMutex;
std::vector<std::string> g_reads;
template <class F>
F Next(const char* name) {
  return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}
}  // namespace

extern "C" int sqlite3_prepare_v2(sqlite3* db, const char* sql, int bytes, sqlite3_stmt** stmt, const char** tail) {
  static const auto real = Next<int (*)(sqlite3*, const char*, int, sqlite3_stmt**, const char**)>("sqlite3_prepare_v2");
  ++g_compiles;
  if (g_keepReads && std::strncmp(sql, "SELECT ", 7) == 0 && std::strstr(sql, "XRefereExtCove") &&
      std::strstr(sql, " ORDER BY ")) {
    const std::lock_guard<std::mutex> lock(g_readsMutex);
    g_reads.emplace_back(sql, bytes < 0 ? std::strlen(sql) : static_cast<size_t>(bytes));
  }
  return real(db, sql, bytes, stmt, tail);
}
extern "C" int sqlite3_step(sqlite3_stmt* stmt) {
  static const auto real = Next<int (*)(sqlite3_stmt*)>("sqlite3_step");
  ++g_steps;
  return real(stmt);
}
extern "C" int sqlite3_exec(sqlite3* db, const char* sql, int (*callback)(void*, int, char**, char**), void* arg,
                            char** err) {
  static const auto real =
      Next<int (*)(sqlite3*, const char*, int (*)(void*, int, char**, char**), void*, char**)>("sqlite3_exec");
  ++g_execs;
  return real(db, sql, callback, arg, err);
}

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using benchsupport::DelayProxy;
using Owners = testsupport::Owners;

struct SqliteWork {
  long compiles = 0, steps = 0, execs = 0;
  static SqliteWork Now() { return {g_compiles.load(), g_steps.load(), g_execs.load()}; }
  SqliteWork operator-(const SqliteWork& o) const { return {compiles - o.compiles, steps - o.steps, execs - o.execs}; }
  std::string Text() const {
    return std::to_string(compiles) + " compiled, " + std::to_string(steps) + " steps, " + std::to_string(execs) +
           " sqlite3_exec";
  }
};

double Millis(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void Check(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error(what);
}

void Sql(sqlite3* db, const std::string& sql) {
  char* err = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
  const std::string message = err ? err : "";
  sqlite3_free(err);
  Check(rc == SQLITE_OK, message + " in " + sql.substr(0, 80));
}

struct Db {
  explicit Db(const fs::path& file) { Check(sqlite3_open(file.c_str(), &db) == SQLITE_OK, "open " + file.string()); }
  ~Db() { sqlite3_close(db); }
  sqlite3* db = nullptr;
};

std::vector<std::string> Column(const fs::path& file, const std::string& sql) {
  Db d(file);
  sqlite3_stmt* st = nullptr;
  Check(sqlite3_prepare_v2(d.db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK, sqlite3_errmsg(d.db));
  std::vector<std::string> out;
  while (sqlite3_step(st) == SQLITE_ROW) {
    const unsigned char* t = sqlite3_column_text(st, 0);
    out.emplace_back(t ? reinterpret_cast<const char*>(t) : "");
  }
  sqlite3_finalize(st);
  return out;
}

// A local file of the old layout: records first..first+count-1, in one transaction.
void MakeLocalFile(const fs::path& file, int first, int count) {
  fs::remove(file);
  Db d(file);
  Sql(d.db, testsupport::LocalCoveTable("XRefereExtCove"));
  Sql(d.db, "BEGIN");
  sqlite3_stmt* st = nullptr;
  Check(sqlite3_prepare_v2(d.db,
                           "INSERT INTO XRefereExtCove (UNICO, UNICOREFERE, TIPO, SUBTIPO, FACTURA, TIPOCAMBIO,"
                           " IDENTIFICACION, FECHA_EXPED, OBSERVACIONES, FECHA_MOD, HORA_MOD, USER_MOD, HORA_MODX,"
                           " MIN_MODX) VALUES (?, ?, 'I', 'A1', ?, 19.25, 'Aduana de Nuevo Laredo', '2015-02-28',"
                           " 'Certificado de origen revisado por el área de comercio exterior', '2016-03-01',"
                           " '10:15:30.50', 'JM', 10, 15)",
                           -1, &st, nullptr) == SQLITE_OK,
        sqlite3_errmsg(d.db));
  for (int i = first; i < first + count; ++i) {
    const std::string factura = "F-" + std::to_string(i);
    sqlite3_bind_int(st, 1, i);
    sqlite3_bind_int(st, 2, i / 3);
    sqlite3_bind_text(st, 3, factura.c_str(), -1, SQLITE_TRANSIENT);
    Check(sqlite3_step(st) == SQLITE_DONE, sqlite3_errmsg(d.db));
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  Sql(d.db, "COMMIT");
}

// The program's state before a migration, with a new SQL driver (no
// connection of an earlier run kept): on data.db and server.db of the current
// directory, or on the owners given.
struct Program {
  Program() : Program(testsupport::SqliteOwners("data.db", "server.db")) {}
  explicit Program(const Owners& owners)
      : state({.drivers = true, .owners = owners, .halt = testsupport::Halt::kAsIs, .windowLayer = true}) {}
  testsupport::ProgramState state;
  testsupport::FakeWindowLayer& ui = state.ui();
};

bool Migrate(Program& p) {
  bool done = false;
  try {
    done = app::MigrateStructures();
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(e.what() + (p.ui.boxes.empty() ? "" : ": " + p.ui.boxes[0].text));
  }
  Check(p.ui.boxes.empty(), p.ui.boxes.empty() ? "" : p.ui.boxes[0].text);
  return done;
}
bool Migrate() {
  Program p;
  return Migrate(p);
}
bool Migrate(const Owners& owners) {
  Program p(owners);
  return Migrate(p);
}

// The tables the migration drops for the creation loop, made with their
// current layout as the creation leaves them: after one whole press every
// changed table but RefereExtCove is current. (A migration on empty databases
// alone leaves these missing, and each would then be sent its drop.)
void MakeDroppedTablesCurrent(const Owners* owners = nullptr) {
  const auto p = owners ? std::make_unique<Program>(*owners) : std::make_unique<Program>();
  for (const app::ChangedTable& row : app::ChangedTables()) {
    if (!row.dropped) continue;
    rt::FileBlock& f = dict::FileOf(row.label);
    rt::CREATE(f);
    Check(rt::LastErrorCode() == 0, rt::ErrorTextForMessage());
  }
}

// A table of the old RefereExtCove layout named table, of count rows, written
// through the SQL driver as the old program wrote it: on data.db of the
// current directory, or on the owners given.
void MakeOldTable(const std::string& table, int count, const Owners* owners = nullptr) {
  const auto p = owners ? std::make_unique<Program>(*owners) : std::make_unique<Program>();
  auto decl = std::make_unique<rt::FileDecl>(app::MigrationFile("XRefereExtCove1").decl);
  decl->attrs |= rt::kFileCreate;
  decl->tableName = table;
  rt::FileBlock& f = rt::ThreadFile(*decl);
  rt::CREATE(f);
  rt::OPEN(f);
  Check(rt::LastErrorCode() == 0, rt::ErrorTextForMessage());
  rt::BeginTransaction(f);
  const rt::TypeRecord& rec = *f.decl().record;
  auto field = [&](const char* label) { return f.buffer() + rec.entry(rec.FindLabel(label)).offset; };
  for (int i = 1; i <= count; ++i) {
    f.ClearRecord();
    std::memcpy(field("XRCOV1:UNICO"), &i, 4);
    std::snprintf(reinterpret_cast<char*>(field("XRCOV1:FACTURA")), 21, "T-%d", i);
    std::snprintf(reinterpret_cast<char*>(field("XRCOV1:OBSERVACIONES")), 255, "Fila %d del sistema anterior", i);
    rt::DateStorage{28, 2, 2015}.Store(field("XRCOV1:FECHA_MOD"));
    rt::ADD(f);
    Check(rt::LastErrorCode() == 0, rt::ErrorTextForMessage());
  }
  rt::CommitTransaction(f);
  rt::CLOSE(f);
  rt::ReleaseThreadFile(*decl);
}

struct Figures {
  std::vector<double> ms;
  double Min() const { return *std::min_element(ms.begin(), ms.end()); }
  double Max() const { return *std::max_element(ms.begin(), ms.end()); }
  double Median() const {
    std::vector<double> v = ms;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
  }
};

std::string Cells(const Figures& f, const char* unit, int precision = 1) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "min %9.*f  median %9.*f  max %9.*f %s", precision, f.Min(), precision, f.Median(),
                precision, f.Max(), unit);
  return buf;
}

void Print(const std::string& what, const Figures& f, const std::string& after = "") {
  std::printf("  %-58s %s%s\n", what.c_str(), Cells(f, "ms").c_str(), after.c_str());
}

// ---------------------------------------------------------------- SQLite: anchor and floor

// The rows of a table: every column as its storage class gives it.
struct Value {
  int type = SQLITE_NULL;
  sqlite3_int64 i = 0;
  double d = 0;
  std::string bytes;  // TEXT and BLOB
  bool operator==(const Value& o) const {
    return type == o.type && i == o.i && (d == o.d || (d != d && o.d != o.d)) && bytes == o.bytes;
  }
};
using Rows = std::vector<std::vector<Value>>;

Rows ReadRows(const fs::path& db, const std::string& table) {
  Db d(db);
  sqlite3_stmt* st = nullptr;
  Check(sqlite3_prepare_v2(d.db, ("SELECT * FROM " + table + " ORDER BY rowid").c_str(), -1, &st, nullptr) ==
            SQLITE_OK,
        sqlite3_errmsg(d.db));
  const size_t columns = static_cast<size_t>(sqlite3_column_count(st));
  Rows rows;
  while (sqlite3_step(st) == SQLITE_ROW) {
    std::vector<Value> row(columns);
    for (size_t c = 0; c < columns; ++c) {
      Value& v = row[c];
      const int col = static_cast<int>(c);
      v.type = sqlite3_column_type(st, col);
      if (v.type == SQLITE_INTEGER) v.i = sqlite3_column_int64(st, col);
      if (v.type == SQLITE_FLOAT) v.d = sqlite3_column_double(st, col);
      if (v.type == SQLITE_TEXT || v.type == SQLITE_BLOB) {
        const void* p = v.type == SQLITE_TEXT ? static_cast<const void*>(sqlite3_column_text(st, col))
                                              : sqlite3_column_blob(st, col);
        v.bytes.assign(static_cast<const char*>(p), static_cast<size_t>(sqlite3_column_bytes(st, col)));
      }
    }
    rows.push_back(std::move(row));
  }
  sqlite3_finalize(st);
  return rows;
}

void CheckSameRows(const fs::path& db, const Rows& expected, const std::string& who) {
  const Rows got = ReadRows(db, "RefereExtCove");
  Check(got.size() == expected.size(), who + ": " + std::to_string(got.size()) + " rows");
  for (size_t r = 0; r < got.size(); ++r) Check(got[r] == expected[r], who + ": row " + std::to_string(r + 1) + " differs");
}

// The way the program reaches the SQLite files: through the tests' SQL
// Server stand-in, or straight through the SQLite driver (the program's
// embedded default). The old rows wait in oldTable: on the stand-in the old
// table itself, which the program renames; on SQLite, which takes no rename,
// the renamed one, as a migration ended before its drop leaves it.
struct Road {
  std::string title;       // how the heading names it
  std::string sqlDriver;   // the program's driver choice (ORTAVIA_SQL_DRIVER)
  std::string odbcDriver;  // the floor's: the driver list's name of the same driver
  std::string oldTable;
  rt::ServerInfo server;   // what the road's server says it is
};

// The anchor in one of its forms: with the sqlite3 library, at the ODBC
// driver's synchronous setting, one transaction that drops the old table,
// creates the new one with the program's own statements and inserts the rows
// through one prepared INSERT of batch rows (and one for the last, shorter,
// batch), each value bound as its storage class.
double Anchor(const Road& road, const fs::path& db, const std::vector<std::string>& ddl, const Rows& rows,
              size_t batch) {
  const size_t columns = rows.front().size();
  const Clock::time_point start = Clock::now();
  Db d(db);
  Sql(d.db, "PRAGMA synchronous=NORMAL");
  Sql(d.db, "BEGIN");
  Sql(d.db, "DROP TABLE " + road.oldTable);
  for (const std::string& s : ddl) Sql(d.db, s);
  std::map<size_t, sqlite3_stmt*> prepared;
  for (size_t first = 0; first < rows.size(); first += batch) {
    const size_t n = std::min(batch, rows.size() - first);
    sqlite3_stmt*& st = prepared[n];
    if (!st) {
      std::string insert = "INSERT INTO RefereExtCove VALUES ";
      for (size_t r = 0; r < n; ++r) {
        insert += r ? ",(" : "(";
        for (size_t c = 0; c < columns; ++c) insert += c ? ",?" : "?";
        insert += ")";
      }
      Check(sqlite3_prepare_v2(d.db, insert.c_str(), -1, &st, nullptr) == SQLITE_OK, sqlite3_errmsg(d.db));
    }
    for (size_t r = 0; r < n; ++r)
      for (size_t c = 0; c < columns; ++c) {
        const Value& v = rows[first + r][c];
        const int p = static_cast<int>(r * columns + c + 1);
        const int size = static_cast<int>(v.bytes.size());
        if (v.type == SQLITE_INTEGER) sqlite3_bind_int64(st, p, v.i);
        else if (v.type == SQLITE_FLOAT) sqlite3_bind_double(st, p, v.d);
        else if (v.type == SQLITE_TEXT) sqlite3_bind_text(st, p, v.bytes.data(), size, SQLITE_STATIC);
        else if (v.type == SQLITE_BLOB) sqlite3_bind_blob(st, p, v.bytes.data(), size, SQLITE_STATIC);
        else sqlite3_bind_null(st, p);
      }
    Check(sqlite3_step(st) == SQLITE_DONE, sqlite3_errmsg(d.db));
    sqlite3_reset(st);
  }
  for (const auto& [n, st] : prepared) sqlite3_finalize(st);
  Sql(d.db, "COMMIT");
  return Millis(Clock::now() - start);
}

// One form of the anchor or the floor and its figures.
struct FormRun {
  std::string name;
  size_t batch;  // rows an execution
  Figures figures;
  SqliteWork work;      // of the first run
  std::string refused;  // the ODBC driver's answer where it does not take the form
};

// The forms of INSERT measured through the ODBC driver, each statement
// prepared once and executed once per batch of rows.
enum class Form {
  Values,  // INSERT INTO t VALUES (?,...),(?,...),...
  With,    // WITH v(...) AS (VALUES (?,...),...) INSERT INTO t SELECT * FROM v
  Array,   // INSERT INTO t VALUES (?,...) with an array of rows as its parameters
};

struct FloorRun : FormRun {
  Form form;
};

// What the program reads before it sends a row, read as the program reads it
// (its own SELECT texts) in the least work: the old rows through the ODBC
// driver, one prepared statement with every column bound, fetched in blocks
// where the driver takes them; the local file's records with the sqlite3
// library, one prepared statement stepped once a record, each value taken as
// its storage class. Nothing is converted or kept.
struct Inputs {
  std::string oldRows;       // the program's SELECT of the renamed table, naming the old one
  fs::path localFile;        // a copy of the local file
  std::string localRecords;  // the program's SELECT of the local file
  size_t oldCount = 0, localCount = 0;
  size_t block = 100;  // rows a fetch of the old rows; 1 where the driver takes no blocks
};

// Every value of a batch in one buffer per column, bound once per prepared
// statement, column-wise: the driver reads the values where they lie.
class Batch {
 public:
  Batch(const Rows& rows, size_t batch) : rows_(rows), batch_(batch), columns_(rows.front().size()) {
    types_.assign(columns_, SQLITE_NULL);
    widths_.assign(columns_, 1);
    for (const auto& row : rows)
      for (size_t c = 0; c < columns_; ++c) {
        const Value& v = row[c];
        if (v.type == SQLITE_NULL) continue;
        Check(types_[c] == SQLITE_NULL || types_[c] == v.type, "column " + std::to_string(c + 1) + " of mixed types");
        types_[c] = v.type;
        widths_[c] = std::max(widths_[c], v.bytes.size());
      }
    ints_.resize(columns_ * batch);
    doubles_.resize(columns_ * batch);
    lengths_.resize(columns_ * batch);
    for (size_t c = 0; c < columns_; ++c) bytes_.emplace_back(widths_[c] * batch, '\0');
  }

  // Binds row r, column c of the batch to parameter number, or, with rows
  // set, the whole column as an array of rows.
  SQLRETURN Bind(SQLHSTMT st, SQLUSMALLINT number, size_t r, size_t c) {
    SQLLEN* length = &lengths_[c * batch_ + r];
    switch (types_[c]) {
      case SQLITE_INTEGER:
        return SQLBindParameter(st, number, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &ints_[c * batch_ + r],
                                0, length);
      case SQLITE_FLOAT:
        return SQLBindParameter(st, number, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &doubles_[c * batch_ + r],
                                0, length);
      default: {
        const bool blob = types_[c] == SQLITE_BLOB;
        const SQLLEN width = static_cast<SQLLEN>(widths_[c]);
        return SQLBindParameter(st, number, SQL_PARAM_INPUT, blob ? SQL_C_BINARY : SQL_C_CHAR,
                                blob ? SQL_VARBINARY : SQL_VARCHAR, widths_[c], 0, &bytes_[c][r * widths_[c]], width,
                                length);
      }
    }
  }

  // The rows first..first+n-1 into the buffers.
  void Fill(size_t first, size_t n) {
    for (size_t r = 0; r < n; ++r)
      for (size_t c = 0; c < columns_; ++c) {
        const Value& v = rows_[first + r][c];
        const size_t at = c * batch_ + r;
        lengths_[at] = v.type == SQLITE_NULL ? SQL_NULL_DATA : static_cast<SQLLEN>(v.bytes.size());
        if (v.type == SQLITE_INTEGER) ints_[at] = v.i;
        if (v.type == SQLITE_FLOAT) doubles_[at] = v.d;
        if (v.type == SQLITE_TEXT || v.type == SQLITE_BLOB)
          std::memcpy(&bytes_[c][r * widths_[c]], v.bytes.data(), v.bytes.size());
      }
  }

 private:
  const Rows& rows_;
  size_t batch_, columns_;
  std::vector<int> types_;
  std::vector<size_t> widths_;
  std::vector<sqlite3_int64> ints_;
  std::vector<double> doubles_;
  std::vector<SQLLEN> lengths_;
  std::vector<std::string> bytes_;
};

std::string Diagnostic(SQLSMALLINT type, SQLHANDLE h) {
  SQLCHAR state[6] = {}, text[512] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  SQLGetDiagRec(type, h, 1, state, &native, text, sizeof text, &len);
  return std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(text);
}

// The statement of a form for n rows.
std::string FormText(Form form, size_t columns, size_t n) {
  std::string one = "(";
  for (size_t c = 0; c < columns; ++c) one += c ? ",?" : "?";
  one += ")";
  std::string values;
  for (size_t r = 0; r < (form == Form::Array ? 1 : n); ++r) values += (r ? "," : "") + one;
  if (form != Form::With) return "INSERT INTO RefereExtCove VALUES " + values;
  std::string names;
  for (size_t c = 0; c < columns; ++c) names += (c ? ",c" : "c") + std::to_string(c + 1);
  return "WITH v(" + names + ") AS (VALUES " + values + ") INSERT INTO RefereExtCove SELECT * FROM v";
}

// The same work as Anchor, through the ODBC driver the program reaches, in one
// form; its time in ms, or nothing (and the driver's answer in refused) where
// the driver does not take the form.
// The rows read of an executed statement, every column bound as text to
// buffers of blockRows rows (one, where the driver takes no blocks: then
// blockRows is set to 1).
size_t FetchAll(SQLHSTMT st, size_t& blockRows) {
  SQLSMALLINT columns = 0;
  SQLNumResultCols(st, &columns);
  constexpr SQLLEN kWidth = 256;
  SQLULEN fetched = 0;
  if (!SQL_SUCCEEDED(SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(blockRows), 0)))
    blockRows = 1;
  SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
  std::vector<char> bytes(static_cast<size_t>(columns) * blockRows * kWidth);
  std::vector<SQLLEN> lengths(static_cast<size_t>(columns) * blockRows);
  for (SQLSMALLINT c = 0; c < columns; ++c) {
    const size_t at = static_cast<size_t>(c) * blockRows;
    Check(SQL_SUCCEEDED(SQLBindCol(st, static_cast<SQLUSMALLINT>(c + 1), SQL_C_CHAR, &bytes[at * kWidth], kWidth,
                                   &lengths[at])),
          "bind: " + Diagnostic(SQL_HANDLE_STMT, st));
  }
  size_t rows = 0;
  for (;;) {
    const SQLRETURN rc = SQLFetch(st);
    if (rc == SQL_NO_DATA) break;
    Check(SQL_SUCCEEDED(rc), "fetch: " + Diagnostic(SQL_HANDLE_STMT, st));
    for (SQLSMALLINT c = 0; c < columns; ++c)
      for (SQLULEN r = 0; r < fetched; ++r)
        Check(lengths[static_cast<size_t>(c) * blockRows + r] < kWidth, "a value longer than its buffer");
    rows += fetched;
  }
  SQLCloseCursor(st);
  return rows;
}

// The records of the local file, stepped and every value taken as its storage class.
size_t StepAll(const Inputs& in) {
  Db d(in.localFile);
  sqlite3_stmt* st = nullptr;
  Check(sqlite3_prepare_v2(d.db, in.localRecords.c_str(), -1, &st, nullptr) == SQLITE_OK, sqlite3_errmsg(d.db));
  const int columns = sqlite3_column_count(st);
  size_t rows = 0, bytes = 0;
  while (sqlite3_step(st) == SQLITE_ROW) {
    ++rows;
    for (int c = 0; c < columns; ++c) {
      const int type = sqlite3_column_type(st, c);
      if (type == SQLITE_INTEGER) bytes += static_cast<size_t>(sqlite3_column_int64(st, c) & 1);
      else if (type == SQLITE_FLOAT) bytes += sqlite3_column_double(st, c) > 0;
      else if (type == SQLITE_TEXT && sqlite3_column_text(st, c)) bytes += static_cast<size_t>(sqlite3_column_bytes(st, c));
    }
  }
  sqlite3_finalize(st);
  Check(bytes > 0, "the local file's values were not read");
  return rows;
}

std::optional<double> OdbcFloor(const Road& road, const fs::path& db, const std::vector<std::string>& ddl,
                                const Rows& rows, FloorRun& run, SqliteWork* work, Inputs* inputs = nullptr) {
  const size_t columns = rows.front().size();
  Batch buffers(rows, run.batch);
  const SqliteWork before = SqliteWork::Now();
  const Clock::time_point start = Clock::now();
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  std::string cs = "Driver={" + road.odbcDriver + "};Database=" + db.string();
  Check(SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(cs.data()), SQL_NTS, nullptr, 0,
                                       nullptr, SQL_DRIVER_NOPROMPT)),
        "ODBC connect");
  SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
  SQLHSTMT direct = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &direct);
  auto exec = [&](std::string sql) {
    Check(SQL_SUCCEEDED(SQLExecDirect(direct, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS)),
          sql.substr(0, 60) + ": " + Diagnostic(SQL_HANDLE_STMT, direct));
  };
  if (inputs) {
    // The old rows before their table goes, then the local file's records.
    SQLHSTMT read = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &read);
    std::string sql = inputs->oldRows;
    Check(SQL_SUCCEEDED(SQLPrepare(read, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS)) &&
              SQL_SUCCEEDED(SQLExecute(read)),
          "the old rows: " + Diagnostic(SQL_HANDLE_STMT, read));
    size_t block = 100;
    const size_t old = FetchAll(read, block);
    inputs->block = block;
    SQLFreeHandle(SQL_HANDLE_STMT, read);
    Check(old == inputs->oldCount, "old rows read: " + std::to_string(old));
    const size_t local = StepAll(*inputs);
    Check(local == inputs->localCount, "local records read: " + std::to_string(local));
  }
  exec("DROP TABLE " + road.oldTable);
  for (const std::string& s : ddl) exec(s);
  // One statement for the full batches and one for the last, shorter, one.
  std::map<size_t, SQLHSTMT> prepared;
  auto statement = [&](size_t n) {
    SQLHSTMT& st = prepared[n];
    if (st) return st;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    std::string sql = FormText(run.form, columns, n);
    if (!SQL_SUCCEEDED(SQLPrepare(st, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS)))
      throw std::invalid_argument(Diagnostic(SQL_HANDLE_STMT, st));
    if (run.form == Form::Array) {
      SQLSetStmtAttr(st, SQL_ATTR_PARAM_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_PARAM_BIND_BY_COLUMN), 0);
      if (!SQL_SUCCEEDED(SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(n), 0)))
        throw std::invalid_argument(Diagnostic(SQL_HANDLE_STMT, st));
      for (size_t c = 0; c < columns; ++c) buffers.Bind(st, static_cast<SQLUSMALLINT>(c + 1), 0, c);
    } else {
      for (size_t r = 0; r < n; ++r)
        for (size_t c = 0; c < columns; ++c) buffers.Bind(st, static_cast<SQLUSMALLINT>(r * columns + c + 1), r, c);
    }
    return st;
  };
  bool taken = true;
  try {
    for (size_t first = 0; first < rows.size(); first += run.batch) {
      const size_t n = std::min(run.batch, rows.size() - first);
      SQLHSTMT st = statement(n);
      buffers.Fill(first, n);
      if (!SQL_SUCCEEDED(SQLExecute(st))) throw std::invalid_argument(Diagnostic(SQL_HANDLE_STMT, st));
    }
  } catch (const std::invalid_argument& e) {
    run.refused = e.what();
    taken = false;
  }
  Check(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, dbc, taken ? SQL_COMMIT : SQL_ROLLBACK)), "commit");
  for (const auto& [n, st] : prepared) SQLFreeHandle(SQL_HANDLE_STMT, st);
  SQLFreeHandle(SQL_HANDLE_STMT, direct);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  const double ms = Millis(Clock::now() - start);
  if (work) *work = SqliteWork::Now() - before;
  if (!taken) return std::nullopt;
  return ms;
}

// The fastest by median of the forms measured; each printed, with the ODBC
// driver's answer for a form it did not take.
template <class Run>
const Run& Fastest(const std::vector<Run>& runs) {
  const Run* best = nullptr;
  for (const Run& f : runs) {
    if (!f.refused.empty()) {
      std::printf("    %-56s not taken: %s\n", f.name.c_str(), f.refused.c_str());
      continue;
    }
    Print("  " + f.name, f.figures, "; " + f.work.Text());
    if (!best || f.figures.Median() < best->figures.Median()) best = &f;
  }
  Check(best != nullptr, "no form was taken");
  return *best;
}

// The migration on one road, beside the anchor's and the floor's forms, on
// copies of the road's template folder.
void LocalRun(const Road& road, const fs::path& root, const fs::path& templ, const fs::path& run,
              const fs::path& anchor, int repetitions, int old, int local) {
  std::printf("Migration of %d old rows and %d local records %s (%d runs)\n", old, local, road.title.c_str(),
              repetitions);
  ::setenv("ORTAVIA_SQL_DRIVER", road.sqlDriver.c_str(), 1);
  const std::string total = std::to_string(old + local);
  Figures program;
  SqliteWork programWork;
  std::vector<FormRun> anchors;
  std::vector<FloorRun> floors;
  FloorRun reading;  // the program's form, beside the reading of its inputs
  Inputs inputs;
  std::vector<std::string> ddl;
  Rows rows;
  auto fresh = [&] {
    fs::remove(anchor / "data.db");
    fs::copy(templ / "data.db", anchor / "data.db");
  };
  for (int r = 0; r < repetitions; ++r) {
    fs::current_path(root);
    fs::remove_all(run);
    fs::copy(templ, run);
    fs::current_path(run);
    const SqliteWork before = SqliteWork::Now();
    g_keepReads = r == 0;
    const Clock::time_point start = Clock::now();
    Check(Migrate(), "the migration did not finish");
    program.ms.push_back(Millis(Clock::now() - start));
    g_keepReads = false;
    if (r == 0) programWork = SqliteWork::Now() - before;
    const std::vector<std::string> count = Column("data.db", "SELECT count(*) FROM RefereExtCove");
    Check(count == std::vector<std::string>{total}, "rows missing: " + (count.empty() ? "" : count[0]));
    Check(!fs::exists("XRefereExtCove.TPS"), "the local file stayed");
    if (rows.empty()) {
      ddl = Column("data.db", "SELECT sql FROM sqlite_master WHERE tbl_name = 'RefereExtCove' AND sql IS NOT NULL"
                              " ORDER BY type DESC, rowid");
      rows = ReadRows("data.db", "RefereExtCove");
      const size_t columns = rows.front().size();
      // The program's batch and form (the dialect table's row of the server
      // the road names), and the most one statement takes: the linked
      // library's limit, within the 65,535 parameters an ODBC parameter
      // number can reach.
      sqlite3* probe = nullptr;
      sqlite3_open(":memory:", &probe);
      const int limit = sqlite3_limit(probe, SQLITE_LIMIT_VARIABLE_NUMBER, -1);
      sqlite3_close(probe);
      const rt::ServerDialect& dialect = road.server.Dialect();
      const size_t batch = dialect.BatchRows(columns, road.server.MajorVersion(), static_cast<size_t>(limit));
      const Form programForm = dialect.rowsForm == rt::RowsForm::WithValues ? Form::With : Form::Values;
      const size_t most = std::min<size_t>(static_cast<size_t>(limit), 65535) / columns;
      const std::string each = " rows an execution", n = std::to_string(batch);
      const std::string values = "INSERT ... VALUES, ", with = "WITH v AS (VALUES ...) INSERT, ";
      anchors = {{"one row's INSERT, a step a row", 1, {}, {}, {}},
                 {values + n + each, batch, {}, {}, {}}};
      floors = {
          {{values + n + each, batch, {}, {}, {}}, Form::Values},
          {{with + n + each, batch, {}, {}, {}}, Form::With},
          {{with + std::to_string(most) + each, most, {}, {}, {}}, Form::With},
          {{"one row's INSERT, arrays of " + n + " rows", batch, {}, {}, {}}, Form::Array},
          {{"one row's INSERT, an array of all rows", rows.size(), {}, {}, {}}, Form::Array},
      };
      reading = {{(programForm == Form::With ? with : values) + n + " rows, reading the inputs", batch, {}, {}, {}},
                 programForm};
      // The program's reads: the renamed table's by the driver (named as in
      // the template, where on the stand-in the old table is not renamed
      // yet), and the local file's, its columns quoted, by the local-file
      // driver.
      for (const std::string& sql : g_reads) {
        const size_t quoted = sql.find(" FROM \"XRefereExtCove\" "), plain = sql.find(" FROM XRefereExtCove ");
        if (quoted != std::string::npos) inputs.localRecords = sql;
        if (plain != std::string::npos)
          inputs.oldRows = sql.substr(0, plain) + " FROM " + road.oldTable + " " + sql.substr(plain + 21);
      }
      Check(!inputs.oldRows.empty() && !inputs.localRecords.empty(), "the program's reads were not seen");
      inputs.localFile = anchor / "XRefereExtCove.TPS";
      fs::copy_file(templ / "XRefereExtCove.TPS", inputs.localFile, fs::copy_options::overwrite_existing);
      inputs.oldCount = static_cast<size_t>(old);
      inputs.localCount = static_cast<size_t>(local);
    }
    fs::current_path(root);
    for (FormRun& a : anchors) {
      fresh();
      const SqliteWork beforeAnchor = SqliteWork::Now();
      a.figures.ms.push_back(Anchor(road, anchor / "data.db", ddl, rows, a.batch));
      if (r == 0) a.work = SqliteWork::Now() - beforeAnchor;
      CheckSameRows(anchor / "data.db", rows, "the anchor, " + a.name);
    }
    for (FloorRun& f : floors) {
      if (!f.refused.empty()) continue;
      fresh();
      const std::optional<double> ms = OdbcFloor(road, anchor / "data.db", ddl, rows, f, r == 0 ? &f.work : nullptr);
      if (!ms) continue;
      f.figures.ms.push_back(*ms);
      CheckSameRows(anchor / "data.db", rows, f.name);
    }
    fresh();
    const std::optional<double> ms =
        OdbcFloor(road, anchor / "data.db", ddl, rows, reading, r == 0 ? &reading.work : nullptr, &inputs);
    Check(ms.has_value(), reading.name + ": " + reading.refused);
    reading.figures.ms.push_back(*ms);
    CheckSameRows(anchor / "data.db", rows, reading.name);
  }
  Print("program (MigrateStructures)", program, "; " + programWork.Text());
  std::printf("  the anchor: sqlite3, drop, create, the rows in each form of INSERT, prepared once:\n");
  const FormRun& fastestAnchor = Fastest(anchors);
  std::printf("  the floor: the same through the ODBC driver, in each form of INSERT, prepared once:\n");
  const FloorRun& floor = Fastest(floors);
  std::printf("  the anchor: %s; the floor: %s (the fastest of each)\n", fastestAnchor.name.c_str(),
              floor.name.c_str());
  const double p = program.Median(), f = floor.figures.Median(), a = fastestAnchor.figures.Median();
  std::printf("  medians: program / floor %.2fx; program / anchor %.2fx; floor / anchor %.2fx\n", p / f, p / a, f / a);
  // The floor in the form the program sends this server, in memory and
  // after reading what the program reads.
  const FloorRun& inForm = *std::find_if(floors.begin(), floors.end(), [&](const FloorRun& fr) {
    return fr.form == reading.form && fr.batch == reading.batch;
  });
  std::printf("  the program's form here: %s\n", inForm.name.c_str());
  Print("  " + reading.name, reading.figures,
        "; " + reading.work.Text() + "; old rows fetched " + std::to_string(inputs.block) + " a call");
  const double v = inForm.figures.Median(), i = reading.figures.Median();
  std::printf("  medians: program / floor in this form %.2fx; program / the same reading the inputs %.2fx;"
              " reading the inputs / in memory %.2fx\n",
              p / v, p / i, i / v);
}

// A road's template in the empty folder dir: every changed table current (one
// migration on empty databases, then the tables it drops for the creation
// made), then RefereExtCove replaced by an old one of old rows in the road's
// old table.
void LocalTemplate(const Road& road, const fs::path& dir, int old) {
  fs::current_path(dir);
  ::setenv("ORTAVIA_SQL_DRIVER", road.sqlDriver.c_str(), 1);
  Migrate();
  MakeDroppedTablesCurrent();
  { Db d("data.db"); Sql(d.db, "DROP TABLE RefereExtCove"); }
  MakeOldTable(road.oldTable, old);
}

// ---------------------------------------------------------------- PostgreSQL

struct PgServer {
  std::string port, user, password;
  Owners OwnersAt(const std::string& port) const {
    return {rt::BuildOwner("127.0.0.1", "ortavia_data", user, password) + ",Port=" + port,
            rt::BuildOwner("127.0.0.1", "ortavia_server", user, password) + ",Port=" + port};
  }
};

class PgConn {
 public:
  PgConn(const PgServer& s, const std::string& database, const std::string& port) {
    const char* keys[] = {"host", "port", "dbname", "user", "password", nullptr};
    const char* values[] = {"127.0.0.1", port.c_str(), database.c_str(), s.user.c_str(), s.password.c_str(), nullptr};
    conn_ = PQconnectdbParams(keys, values, 0);
    if (PQstatus(conn_) != CONNECTION_OK) {
      const std::string message = PQerrorMessage(conn_);
      PQfinish(conn_);
      throw std::runtime_error("libpq: " + message);
    }
    PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
  }
  ~PgConn() { PQfinish(conn_); }
  PgConn(const PgConn&) = delete;
  PgConn& operator=(const PgConn&) = delete;

  void Exec(const std::string& sql) { Clear(PQexec(conn_, sql.c_str()), sql); }
  // Every row of a query, each value as its text, nothing for NULL.
  std::vector<std::vector<std::optional<std::string>>> Rows(const std::string& sql) {
    PGresult* r = PQexec(conn_, sql.c_str());
    Check(PQresultStatus(r) == PGRES_TUPLES_OK, sql.substr(0, 60) + ": " + PQerrorMessage(conn_));
    std::vector<std::vector<std::optional<std::string>>> rows(static_cast<size_t>(PQntuples(r)));
    for (int i = 0; i < PQntuples(r); ++i)
      for (int c = 0; c < PQnfields(r); ++c)
        rows[static_cast<size_t>(i)].push_back(PQgetisnull(r, i, c) ? std::nullopt
                                                                    : std::optional<std::string>(PQgetvalue(r, i, c)));
    PQclear(r);
    return rows;
  }
  std::vector<std::string> Column(const std::string& sql) {
    std::vector<std::string> out;
    for (const auto& row : Rows(sql)) out.push_back(row.at(0).value_or(""));
    return out;
  }
  void Prepare(const std::string& name, const std::string& sql) {
    Clear(PQprepare(conn_, name.c_str(), sql.c_str(), 0, nullptr), sql);
  }
  void ExecPrepared(const std::string& name, const std::vector<const char*>& values) {
    Clear(PQexecPrepared(conn_, name.c_str(), static_cast<int>(values.size()), values.data(), nullptr, nullptr, 0),
          name);
  }

 private:
  void Clear(PGresult* r, const std::string& what) {
    const ExecStatusType status = PQresultStatus(r);
    PQclear(r);
    Check(status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK, what.substr(0, 60) + ": " + PQerrorMessage(conn_));
  }
  PGconn* conn_ = nullptr;
};

// The protocol messages the clients send through the proxy, by kind; the
// simple queries and the statements parsed also by their first word.
class PgMessages {
 public:
  void Feed(int link, const char* data, size_t size) {
    std::lock_guard<std::mutex> lock(m_);
    Stream& s = streams_[link];
    s.pending.append(data, size);
    size_t at = 0;
    for (;;) {
      const size_t head = s.started ? 5 : 4;
      if (s.pending.size() - at < head) break;
      const char* p = s.pending.data() + at + (s.started ? 1 : 0);
      const size_t length = Int32(p);
      const size_t whole = (s.started ? 1 : 0) + length;
      if (length < 4 || s.pending.size() - at < whole) break;
      if (s.started) {
        Note(s.pending[at], p + 4, length - 4);
      } else {
        // The start-up message, after any request for encryption (answered no).
        const size_t code = length >= 8 ? Int32(p + 4) : 0;
        s.started = code != 80877103 && code != 80877104;
        ++kinds_["start-up or encryption request"];
      }
      at += whole;
    }
    s.pending.erase(0, at);
  }
  // The counts start again; each connection's place in its stream stays.
  void Reset() {
    std::lock_guard<std::mutex> lock(m_);
    kinds_.clear();
    words_.clear();
    maxParameters_ = 0;
  }
  size_t MaxParameters() const {
    std::lock_guard<std::mutex> lock(m_);
    return maxParameters_;
  }
  // The messages of a kind ("Execute": one a prepared execution).
  size_t Count(const std::string& kind) const {
    std::lock_guard<std::mutex> lock(m_);
    const auto it = kinds_.find(kind);
    return it == kinds_.end() ? 0 : static_cast<size_t>(it->second);
  }
  std::string Text() const {
    std::lock_guard<std::mutex> lock(m_);
    std::string out;
    for (const auto& [kind, n] : kinds_) {
      out += (out.empty() ? "" : ", ") + kind + " " + std::to_string(n);
      std::string words;
      for (const auto& [word, k] : words_)
        if (word.first == kind) words += (words.empty() ? "" : ", ") + word.second + " " + std::to_string(k);
      if (!words.empty()) out += " (" + words + ")";
      if (kind == "Bind") out += " (at most " + std::to_string(maxParameters_) + " parameters)";
    }
    return out;
  }

 private:
  struct Stream {
    bool started = false;
    std::string pending;
  };
  static size_t Int32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return (size_t{u[0]} << 24) | (size_t{u[1]} << 16) | (size_t{u[2]} << 8) | u[3];
  }
  static std::string FirstWord(const char* text, size_t size) {
    size_t i = 0;
    while (i < size && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    size_t j = i;
    while (j < size && std::isalpha(static_cast<unsigned char>(text[j]))) ++j;
    std::string w(text + i, j - i);
    for (char& ch : w) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return w.empty() ? "?" : w;
  }
  void Note(char type, const char* body, size_t size) {
    static const std::map<char, const char*> kNames = {
        {'Q', "Query"}, {'P', "Parse"},    {'B', "Bind"},   {'E', "Execute"},   {'S', "Sync"},
        {'D', "Describe"}, {'C', "Close"}, {'H', "Flush"},  {'X', "Terminate"}, {'p', "authentication"}};
    const auto named = kNames.find(type);
    const std::string kind = named != kNames.end() ? named->second : std::string("'") + type + "'";
    ++kinds_[kind];
    if (type == 'Q') ++words_[{kind, FirstWord(body, size)}];
    if (type == 'P') {
      const size_t name = ::strnlen(body, size);
      if (name < size) ++words_[{kind, FirstWord(body + name + 1, size - name - 1)}];
    }
    if (type == 'B') {
      // Portal and statement names, the formats, then the number of values.
      size_t i = ::strnlen(body, size) + 1;
      if (i < size) i += ::strnlen(body + i, size - i) + 1;
      if (i + 2 > size) return;
      const size_t formats = (size_t{static_cast<unsigned char>(body[i])} << 8) | static_cast<unsigned char>(body[i + 1]);
      i += 2 + 2 * formats;
      if (i + 2 > size) return;
      const size_t values = (size_t{static_cast<unsigned char>(body[i])} << 8) | static_cast<unsigned char>(body[i + 1]);
      maxParameters_ = std::max(maxParameters_, values);
    }
  }

  mutable std::mutex m_;
  std::map<int, Stream> streams_;
  std::map<std::string, long> kinds_;
  std::map<std::pair<std::string, std::string>, long> words_;
  size_t maxParameters_ = 0;
};

// What makes RefereExtCove on the server: its columns, its constraints and its
// other indexes, as the catalog describes them; CREATE statements of the same
// table.
struct PgTable {
  std::vector<std::string> columns, constraints, indexes;
  bool operator==(const PgTable& o) const {
    return columns == o.columns && constraints == o.constraints && indexes == o.indexes;
  }
  std::vector<std::string> Ddl() const {
    std::string create = "CREATE TABLE refereextcove (";
    for (size_t i = 0; i < columns.size(); ++i) create += (i ? ", " : "") + columns[i];
    for (const std::string& c : constraints) create += ", " + c;
    std::vector<std::string> out{create + ")"};
    out.insert(out.end(), indexes.begin(), indexes.end());
    return out;
  }
};

PgTable DescribeTable(PgConn& c) {
  PgTable t;
  t.columns = c.Column(
      "SELECT quote_ident(a.attname) || ' ' || format_type(a.atttypid, a.atttypmod) ||"
      " CASE WHEN a.attnotnull THEN ' NOT NULL' ELSE '' END ||"
      " COALESCE(' DEFAULT ' || pg_get_expr(d.adbin, d.adrelid), '')"
      " FROM pg_attribute a LEFT JOIN pg_attrdef d ON d.adrelid = a.attrelid AND d.adnum = a.attnum"
      " WHERE a.attrelid = 'refereextcove'::regclass AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum");
  t.constraints = c.Column(
      "SELECT 'CONSTRAINT ' || quote_ident(conname) || ' ' || pg_get_constraintdef(oid) FROM pg_constraint"
      " WHERE conrelid = 'refereextcove'::regclass ORDER BY conname");
  t.indexes = c.Column(
      "SELECT pg_get_indexdef(i.indexrelid) FROM pg_index i WHERE i.indrelid = 'refereextcove'::regclass"
      " AND NOT EXISTS (SELECT 1 FROM pg_constraint c WHERE c.conindid = i.indexrelid)"
      " ORDER BY pg_get_indexdef(i.indexrelid)");
  return t;
}

std::vector<std::string> TableText(PgConn& c) {
  return c.Column("SELECT t::text FROM refereextcove t ORDER BY 1");
}

// The databases as before each migration: the changed tables current, then
// RefereExtCove replaced by the old rows in XRefereExtCove, as a migration
// ended before its drop leaves them (the program renames a table with
// SP_RENAME, which PostgreSQL refuses); made directly, not through the proxy,
// in the empty folder dir.
void PgTemplate(const PgServer& pg, const fs::path& dir, int old) {
  for (const char* db : {"ortavia_data", "ortavia_server"})
    PgConn(pg, db, pg.port).Exec("DROP SCHEMA public CASCADE; CREATE SCHEMA public");
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::current_path(dir);
  Check(Migrate(pg.OwnersAt(pg.port)), "the migration on empty databases did not finish");
  PgConn(pg, "ortavia_data", pg.port).Exec("DROP TABLE refereextcove");
  const Owners owners = pg.OwnersAt(pg.port);
  MakeDroppedTablesCurrent(&owners);
  MakeOldTable("XRefereExtCove", old, &owners);
}

// The anchor: one connection, the old table dropped and the new one made in
// one message, then the rows in batches of batch rows through one prepared
// INSERT (and one for the last, shorter, batch), in the same transaction.
double PgAnchor(const PgServer& pg, const std::string& port, const std::vector<std::string>& ddl,
                const std::vector<std::vector<std::optional<std::string>>>& rows, size_t batch) {
  const size_t columns = rows.front().size();
  const Clock::time_point start = Clock::now();
  PgConn c(pg, "ortavia_data", port);
  std::string head = "BEGIN; DROP TABLE xrefereextcove";
  for (const std::string& s : ddl) head += "; " + s;
  c.Exec(head);
  std::map<size_t, std::string> prepared;
  std::vector<const char*> values;
  for (size_t first = 0; first < rows.size(); first += batch) {
    const size_t n = std::min(batch, rows.size() - first);
    std::string& name = prepared[n];
    if (name.empty()) {
      name = "rows" + std::to_string(n);
      std::string sql = "INSERT INTO refereextcove VALUES ";
      for (size_t r = 0; r < n; ++r) {
        sql += r ? ",(" : "(";
        for (size_t k = 0; k < columns; ++k) sql += (k ? ",$" : "$") + std::to_string(r * columns + k + 1);
        sql += ")";
      }
      c.Prepare(name, sql);
    }
    values.clear();
    for (size_t r = first; r < first + n; ++r)
      for (const auto& v : rows[r]) values.push_back(v ? v->c_str() : nullptr);
    c.ExecPrepared(name, values);
  }
  c.Exec("COMMIT");
  return Millis(Clock::now() - start);
}

void PostgresRun(const PgServer& pg, const fs::path& root, const fs::path& localFile, int reps, int old, int local) {
  // 5 ms each way: 10 ms a round trip.
  constexpr auto kDelay = std::chrono::milliseconds(5);
  PgMessages messages;
  DelayProxy proxy(std::atoi(pg.port.c_str()), kDelay,
                   [&messages](int link, const char* data, size_t size) { messages.Feed(link, data, size); });
  const std::string through = std::to_string(proxy.port());
  const fs::path empty = root / "pg-empty", run = root / "pg-run";
  ::setenv("ORTAVIA_SQL_DRIVER", "PostgreSQL Unicode", 1);
  Figures program, anchor, programTrips, anchorTrips;
  std::string programMessages, anchorMessages;
  size_t programExecutions = 0, anchorExecutions = 0;
  PgTable table;
  std::vector<std::string> result;
  std::vector<std::vector<std::optional<std::string>>> rows;
  size_t batch = 0;
  const std::string total = std::to_string(old + local);
  for (int rep = 0; rep < reps; ++rep) {
    PgTemplate(pg, empty, old);
    fs::remove_all(run);
    fs::create_directories(run);
    fs::copy(localFile, run / localFile.filename());
    fs::current_path(run);
    proxy.ResetCount();
    messages.Reset();
    const Clock::time_point start = Clock::now();
    Check(Migrate(pg.OwnersAt(through)), "the migration to PostgreSQL did not finish");
    program.ms.push_back(Millis(Clock::now() - start));
    programTrips.ms.push_back(static_cast<double>(proxy.RoundTrips()));
    Check(!fs::exists(run / localFile.filename()), "the local file stayed");
    {
      PgConn c(pg, "ortavia_data", pg.port);
      Check(c.Column("SELECT count(*) FROM refereextcove") == std::vector<std::string>{total}, "rows missing");
      if (rep == 0) {
        programMessages = messages.Text();
        programExecutions = messages.Count("Execute");
        table = DescribeTable(c);
        result = TableText(c);
        rows = c.Rows("SELECT * FROM refereextcove");
        // The program's batch, as the server received it.
        batch = messages.MaxParameters() / rows.front().size();
        if (batch == 0) batch = std::max<size_t>(1, 999 / rows.front().size());
      }
    }

    PgTemplate(pg, empty, old);
    proxy.ResetCount();
    messages.Reset();
    anchor.ms.push_back(PgAnchor(pg, through, table.Ddl(), rows, batch));
    anchorTrips.ms.push_back(static_cast<double>(proxy.RoundTrips()));
    if (rep == 0) {
      anchorMessages = messages.Text();
      anchorExecutions = messages.Count("Execute");
    }
    PgConn c(pg, "ortavia_data", pg.port);
    Check(DescribeTable(c) == table, "the anchor's table differs from the program's");
    Check(TableText(c) == result, "the anchor's rows differ from the program's");
  }
  std::printf("\nMigration of %d old rows and %d local records to PostgreSQL through a loopback proxy delaying each "
              "message %lld ms each way (%d runs)\n",
              old, local, static_cast<long long>(kDelay.count()), reps);
  std::printf("  %-58s %s\n", "program (MigrateStructures)", Cells(program, "ms", 0).c_str());
  std::printf("  %-58s %s\n", "", Cells(programTrips, "round trips", 0).c_str());
  const std::string anchorName = "anchor (libpq: the program's " + std::to_string(batch) + "-row batches)";
  std::printf("  %-58s %s\n", anchorName.c_str(), Cells(anchor, "ms", 0).c_str());
  std::printf("  %-58s %s\n", "", Cells(anchorTrips, "round trips", 0).c_str());
  std::printf("  program / anchor (medians): time %.2fx, round trips %.2fx\n", program.Median() / anchor.Median(),
              programTrips.Median() / anchorTrips.Median());
  // Each prepared execution is a round trip of its own, for either client; the
  // rest is what a run costs whatever its number of rows.
  std::printf("  round trips of the first run: prepared executions (the batches of rows) program %zu, anchor %zu; "
              "the rest program %.0f, anchor %.0f\n",
              programExecutions, anchorExecutions, programTrips.ms.front() - static_cast<double>(programExecutions),
              anchorTrips.ms.front() - static_cast<double>(anchorExecutions));
  std::printf("  messages sent in the first run: program: %s\n", programMessages.c_str());
  std::printf("                                  anchor: %s\n", anchorMessages.c_str());
}

// ---------------------------------------------------------------- the large run

// The resident set of this process now, in MB.
double ResidentMb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  return 0;
}

// The process of the large run: the bench itself, started anew at its outset
// (so that its peak memory is the migration's own and not the pages of a
// bench that holds the other runs' data); it waits until the bench lets it
// migrate the databases of its folder.
class LargeRun {
 public:
  explicit LargeRun(const fs::path& dir) {
    parentMb_ = ResidentMb();
    Check(::pipe(go_) == 0 && ::pipe(result_) == 0, "pipe");
    std::fflush(stdout);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(go_[1]);
      ::close(result_[0]);
      const std::string go = std::to_string(go_[0]), result = std::to_string(result_[1]);
      ::execl("/proc/self/exe", "ortavia_migration_bench", "--large-run", go.c_str(), result.c_str(), dir.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(go_[0]);
    ::close(result_[1]);
  }
  ~LargeRun() {
    if (go_[1] >= 0) ::close(go_[1]);
    ::close(result_[0]);
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
  }
  double parentMb() const { return parentMb_; }

  // Its time in ms and its peak memory in MB.
  std::pair<double, double> Run() {
    Check(::write(go_[1], "g", 1) == 1, "the large run's process is gone");
    ::close(go_[1]);
    go_[1] = -1;
    double ms = -1;
    const bool read = ::read(result_[0], &ms, sizeof ms) == sizeof ms;
    int status = 0;
    rusage usage{};
    ::wait4(pid_, &status, 0, &usage);
    pid_ = -1;
    Check(read && WIFEXITED(status) && WEXITSTATUS(status) == 0 && ms >= 0, "the large run failed");
    return {ms, usage.ru_maxrss / 1024.0};
  }

  // The process's side: 0 also when the bench ended before the run.
  static int Child(int go, int result, const char* dir) {
    char c = 0;
    if (::read(go, &c, 1) != 1) return 0;
    try {
      fs::current_path(dir);
      const Clock::time_point start = Clock::now();
      Check(Migrate(), "the migration did not finish");
      const double ms = Millis(Clock::now() - start);
      return ::write(result, &ms, sizeof ms) == sizeof ms ? 0 : 1;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "large run: %s\n", e.what());
      return 1;
    }
  }

 private:
  int go_[2] = {-1, -1}, result_[2] = {-1, -1};
  pid_t pid_ = -1;
  double parentMb_ = 0;
};

// The program's drivers on the SQL Server stand-in; the program's end ends the run.
testsupport::ProgramState::Options BenchProgram() {
  return {.sqlDriver = "SQL Server", .drivers = true, .halt = testsupport::Halt::kThrow};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--large-run") == 0) {
    testsupport::ProgramState program(BenchProgram());
    return LargeRun::Child(std::atoi(argv[2]), std::atoi(argv[3]), argv[4]);
  }
  const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const int large = argc > 2 ? std::atoi(argv[2]) : 1000000;
  constexpr int kOldRows = 10000, kLocalRecords = 10000;
  const fs::path root = fs::temp_directory_path() / ("ortavia-migration-bench-" + std::to_string(::getpid()));
  const fs::path templ = root / "template", templSqlite = root / "template-sqlite", run = root / "run",
                 anchor = root / "anchor", big = root / "large";
  std::unique_ptr<LargeRun> largeRun;
  if (large > 0) largeRun = std::make_unique<LargeRun>(big);

  testsupport::ProgramState program(BenchProgram());
  fs::remove_all(root);
  for (const fs::path& p : {templ, templSqlite, run, anchor, big}) fs::create_directories(p);
  try {
    rt::ServerInfo standIn, sqlite;
    standIn.dbmsName = sqlserver::Info().dbmsName;
    standIn.dbmsVersion = sqlserver::Info().dbmsVersion;
    sqlite.dbmsName = "SQLite";
    sqlite.dbmsVersion = sqlite3_libversion();
    const Road standInRoad{"through the SQL Server stand-in", "SQL Server", "SQL Server Stand-in", "RefereExtCove",
                           standIn};
    const Road sqliteRoad{"straight through the SQLite driver (the embedded default)", "SQLite3", "SQLite3",
                          "XRefereExtCove", sqlite};
    // Each road's template, with the same local file.
    LocalTemplate(standInRoad, templ, kOldRows);
    MakeLocalFile(templ / "XRefereExtCove.TPS", kOldRows + 1, kLocalRecords);
    LocalTemplate(sqliteRoad, templSqlite, kOldRows);
    fs::copy_file(templ / "XRefereExtCove.TPS", templSqlite / "XRefereExtCove.TPS");

    LocalRun(standInRoad, root, templ, run, anchor, repetitions, kOldRows, kLocalRecords);
    std::printf("\n");
    LocalRun(sqliteRoad, root, templSqlite, run, anchor, repetitions, kOldRows, kLocalRecords);
    ::setenv("ORTAVIA_SQL_DRIVER", "SQL Server", 1);

    const char* pgPort = std::getenv("ORTAVIA_PG_PORT");
    const char* pgUser = std::getenv("ORTAVIA_PG_USER");
    const char* pgPassword = std::getenv("ORTAVIA_PG_PASSWORD");
    if (pgPort && *pgPort && pgUser && pgPassword) {
      PostgresRun({pgPort, pgUser, pgPassword}, root, templ / "XRefereExtCove.TPS", std::min(repetitions, 3), kOldRows,
                  kLocalRecords);
      ::setenv("ORTAVIA_SQL_DRIVER", "SQL Server", 1);
    } else {
      std::printf("\nPostgreSQL skipped: ORTAVIA_PG_PORT, ORTAVIA_PG_USER, ORTAVIA_PG_PASSWORD not set\n");
    }

    if (largeRun) {
      // A new database and a large local file, migrated by the process started at the outset.
      fs::current_path(root);
      fs::remove_all(big);
      fs::copy(templ, big);
      fs::current_path(big);
      { Db d("data.db"); Sql(d.db, "DROP TABLE RefereExtCove"); }
      MakeLocalFile(big / "XRefereExtCove.TPS", 1, large);
      fs::current_path(root);
      const auto [ms, mb] = largeRun->Run();
      Check(Column(big / "data.db", "SELECT count(*) FROM RefereExtCove") ==
                std::vector<std::string>{std::to_string(large)},
            "rows missing");
      std::printf("\nA new database and a local file of %d records: %.1f s, peak memory %.1f MB (a process of its "
                  "own, started by the bench at %.1f MB)\n",
                  large, ms / 1000, mb, largeRun->parentMb());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "migration bench: %s\n", e.what());
    largeRun.reset();
    fs::current_path("/");
    fs::remove_all(root);
    return 1;
  }
  largeRun.reset();
  fs::current_path("/");
  fs::remove_all(root);
  return 0;
}
