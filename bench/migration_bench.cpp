// Benchmark of the migration of a changed table through the tests' SQL Server
// stand-in and the real ODBC driver manager, on SQLite files.
//
// The program: an old RefereExtCove of 10,000 rows on the server and a local
// file of 10,000 more records; MigrateStructures renames the table, creates it
// anew, carries both and drops the renamed table (the other five tables are
// current and only looked at). The anchor does the least work that leaves the
// same database: with the sqlite3 C library, at the ODBC driver's synchronous
// setting (NORMAL), it opens the database and in one transaction drops the old
// table, creates the new one with the program's own CREATE TABLE and CREATE
// INDEX texts and inserts the same 20,000 rows through one prepared INSERT,
// their values read beforehand from the program's result.
//
// Beside it, the floor of the ODBC driver under the stand-in: the same statements
// and rows sent through it directly, 31 rows to an INSERT (the program's
// batch), each value bound as its storage class, one transaction. That
// driver compiles every statement it executes, which no program on it avoids.
//
// Then a new database and a local file of 1,000,000 records (the README's CSV
// road): the program's time and peak memory, measured in a process of its own.
//
// Usage: ortavia_migration_bench [repetitions] [local records of the large run]
// ODBCSYSINI must list the stand-in (the tests' driver list).
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/migrate.h"
#include "app/program.h"
#include "dictionary/dictionary.h"
#include "runtime/files/files.h"
#include "runtime/files/tps_driver.h"
#include "runtime/sql/sql_driver.h"
#include "runtime/test_hooks.h"
#include "support/fake_ui.h"
#include "support/migration_prelude.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

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

// The program's state before a migration on data.db and server.db of the
// current directory, with a new SQL driver (no connection of an earlier run
// kept: the owners name the files relative to the current directory).
struct NewDriver {
  NewDriver() { rt::RegisterSqlDriver(); }
};
struct Program {
  Program() : prelude("data.db", "server.db") {}
  NewDriver driver;
  testsupport::FakeWindowLayer ui;
  testsupport::MigrationPrelude prelude;
};

bool Migrate() {
  Program p;
  const bool done = app::MigrateStructures();
  Check(p.ui.boxes.empty(), p.ui.boxes.empty() ? "" : p.ui.boxes[0].text);
  return done;
}

// An old RefereExtCove of count rows on the server, written through the SQL
// driver as the old program wrote it.
void MakeOldTable(int count) {
  Program p;
  auto decl = std::make_unique<rt::FileDecl>(app::MigrationFile("XRefereExtCove1").decl);
  decl->attrs |= rt::kFileCreate;
  decl->tableName = "RefereExtCove";
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

// Runs f in a process of its own: its time in ms (sent back through a pipe)
// and its peak memory in MB.
std::pair<double, double> InChild(const std::function<double()>& f) {
  int out[2];
  Check(::pipe(out) == 0, "pipe");
  std::fflush(stdout);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(out[0]);
    double ms = -1;
    try {
      ms = f();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", e.what());
    }
    (void)!::write(out[1], &ms, sizeof ms);
    ::_exit(ms < 0 ? 1 : 0);
  }
  ::close(out[1]);
  double ms = -1;
  (void)!::read(out[0], &ms, sizeof ms);
  ::close(out[0]);
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  Check(WIFEXITED(status) && WEXITSTATUS(status) == 0 && ms >= 0, "the measured process failed");
  return {ms, usage.ru_maxrss / 1024.0};
}

// The anchor's rows: every column of the program's result, as its storage
// class gives it.
struct Value {
  int type;
  sqlite3_int64 i = 0;
  double d = 0;
  std::string text;
};

std::vector<std::vector<Value>> ReadRows(const fs::path& db, const std::string& table, size_t& columns) {
  Db d(db);
  sqlite3_stmt* st = nullptr;
  Check(sqlite3_prepare_v2(d.db, ("SELECT * FROM " + table).c_str(), -1, &st, nullptr) == SQLITE_OK,
        sqlite3_errmsg(d.db));
  columns = static_cast<size_t>(sqlite3_column_count(st));
  std::vector<std::vector<Value>> rows;
  while (sqlite3_step(st) == SQLITE_ROW) {
    std::vector<Value> row(columns);
    for (size_t c = 0; c < columns; ++c) {
      Value& v = row[c];
      const int col = static_cast<int>(c);
      v.type = sqlite3_column_type(st, col);
      if (v.type == SQLITE_INTEGER) v.i = sqlite3_column_int64(st, col);
      if (v.type == SQLITE_FLOAT) v.d = sqlite3_column_double(st, col);
      if (v.type == SQLITE_TEXT) v.text = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
    }
    rows.push_back(std::move(row));
  }
  sqlite3_finalize(st);
  return rows;
}

double Anchor(const fs::path& db, const std::vector<std::string>& ddl, const std::vector<std::vector<Value>>& rows,
              size_t columns) {
  const Clock::time_point start = Clock::now();
  Db d(db);
  Sql(d.db, "PRAGMA synchronous=NORMAL");
  Sql(d.db, "BEGIN");
  Sql(d.db, "DROP TABLE RefereExtCove");
  for (const std::string& s : ddl) Sql(d.db, s);
  std::string insert = "INSERT INTO RefereExtCove VALUES (";
  for (size_t c = 0; c < columns; ++c) insert += c ? ",?" : "?";
  sqlite3_stmt* st = nullptr;
  Check(sqlite3_prepare_v2(d.db, (insert + ")").c_str(), -1, &st, nullptr) == SQLITE_OK, sqlite3_errmsg(d.db));
  for (const auto& row : rows) {
    for (size_t c = 0; c < columns; ++c) {
      const Value& v = row[c];
      const int n = static_cast<int>(c + 1);
      if (v.type == SQLITE_INTEGER) sqlite3_bind_int64(st, n, v.i);
      else if (v.type == SQLITE_FLOAT) sqlite3_bind_double(st, n, v.d);
      else if (v.type == SQLITE_TEXT) sqlite3_bind_text(st, n, v.text.data(), static_cast<int>(v.text.size()), SQLITE_STATIC);
      else sqlite3_bind_null(st, n);
    }
    Check(sqlite3_step(st) == SQLITE_DONE, sqlite3_errmsg(d.db));
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  Sql(d.db, "COMMIT");
  return Millis(Clock::now() - start);
}

// The same work as Anchor, through the ODBC driver the program reaches.
double OdbcFloor(const fs::path& db, const std::vector<std::string>& ddl, const std::vector<std::vector<Value>>& rows,
                 size_t columns) {
  const Clock::time_point start = Clock::now();
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT st = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  std::string cs = "Driver={SQL Server Stand-in};Database=" + db.string();
  Check(SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(cs.data()), SQL_NTS, nullptr, 0,
                                       nullptr, SQL_DRIVER_NOPROMPT)),
        "ODBC connect");
  SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
  auto direct = [&](std::string sql) {
    Check(SQL_SUCCEEDED(SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS)), sql.substr(0, 60));
  };
  direct("DROP TABLE RefereExtCove");
  for (const std::string& s : ddl) direct(s);
  const size_t batch = 999 / columns;
  std::string one = "(";
  for (size_t c = 0; c < columns; ++c) one += c ? ",?" : "?";
  one += ")";
  std::vector<SQLLEN> lengths(batch * columns);
  for (size_t first = 0; first < rows.size(); first += batch) {
    const size_t n = std::min(batch, rows.size() - first);
    std::string sql = "INSERT INTO RefereExtCove VALUES ";
    for (size_t r = 0; r < n; ++r) sql += (r ? "," : "") + one;
    Check(SQL_SUCCEEDED(SQLPrepare(st, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS)), "prepare");
    for (size_t r = 0; r < n; ++r)
      for (size_t c = 0; c < columns; ++c) {
        const Value& v = rows[first + r][c];
        SQLLEN& len = lengths[r * columns + c];
        const SQLUSMALLINT p = static_cast<SQLUSMALLINT>(r * columns + c + 1);
        len = v.type == SQLITE_NULL ? SQL_NULL_DATA : v.type == SQLITE_TEXT ? static_cast<SQLLEN>(v.text.size()) : 0;
        if (v.type == SQLITE_INTEGER)
          SQLBindParameter(st, p, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, const_cast<sqlite3_int64*>(&v.i), 0,
                           &len);
        else if (v.type == SQLITE_FLOAT)
          SQLBindParameter(st, p, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, const_cast<double*>(&v.d), 0, &len);
        else
          SQLBindParameter(st, p, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, std::max<size_t>(v.text.size(), 1), 0,
                           const_cast<char*>(v.text.data()), static_cast<SQLLEN>(v.text.size()), &len);
      }
    if (const SQLRETURN rc = SQLExecute(st); !SQL_SUCCEEDED(rc)) {
      SQLCHAR state[6] = {}, text[512] = {};
      SQLINTEGER native = 0;
      SQLSMALLINT len = 0;
      SQLGetDiagRec(SQL_HANDLE_STMT, st, 1, state, &native, text, sizeof text, &len);
      Check(false, "ODBC floor: " + std::to_string(rc) + " " + reinterpret_cast<char*>(state) + " " +
                       reinterpret_cast<char*>(text));
    }
  }
  Check(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT)), "commit");
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return Millis(Clock::now() - start);
}

void Print(const char* what, const Figures& f) {
  std::printf("  %-44s min %9.1f  median %9.1f  max %9.1f ms\n", what, f.Min(), f.Median(), f.Max());
}

}  // namespace

int main(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const int large = argc > 2 ? std::atoi(argv[2]) : 1000000;
  constexpr int kOldRows = 10000, kLocalRecords = 10000;
  ::setenv("ORTAVIA_SQL_DRIVER", "SQL Server", 1);
  rt::RegisterSqlDriver();
  rt::RegisterTopSpeedDriver();
  rt::SetHaltHandler([](int code) { throw std::runtime_error("the program ended with " + std::to_string(code)); });

  const fs::path root = fs::temp_directory_path() / ("ortavia-migration-bench-" + std::to_string(::getpid()));
  fs::remove_all(root);
  const fs::path templ = root / "template", run = root / "run", anchor = root / "anchor";
  for (const fs::path& p : {templ, run, anchor}) fs::create_directories(p);
  try {
    // The template: every changed table current (one migration on empty
    // databases), then RefereExtCove replaced by an old one of 10,000 rows.
    fs::current_path(templ);
    Migrate();
    { Db d("data.db"); Sql(d.db, "DROP TABLE RefereExtCove"); }
    MakeOldTable(kOldRows);
    MakeLocalFile(templ / "XRefereExtCove.TPS", kOldRows + 1, kLocalRecords);

    std::printf("Migration of %d old rows and %d local records through the SQL Server stand-in (%d runs)\n",
                kOldRows, kLocalRecords, repetitions);
    Figures program, anchors, floors;
    std::vector<std::string> ddl;
    std::vector<std::vector<Value>> rows;
    size_t columns = 0;
    for (int r = 0; r < repetitions; ++r) {
      fs::current_path(root);
      fs::remove_all(run);
      fs::copy(templ, run);
      fs::current_path(run);
      const Clock::time_point start = Clock::now();
      Check(Migrate(), "the migration did not finish");
      program.ms.push_back(Millis(Clock::now() - start));
      const std::vector<std::string> count = Column("data.db", "SELECT count(*) FROM RefereExtCove");
      Check(count == std::vector<std::string>{"20000"}, "rows missing: " + (count.empty() ? "" : count[0]));
      Check(!fs::exists("XRefereExtCove.TPS"), "the local file stayed");
      if (rows.empty()) {
        ddl = Column("data.db", "SELECT sql FROM sqlite_master WHERE tbl_name = 'RefereExtCove' AND sql IS NOT NULL"
                                " ORDER BY type DESC, rowid");
        rows = ReadRows("data.db", "RefereExtCove", columns);
      }
      fs::current_path(root);
      fs::remove(anchor / "data.db");
      fs::copy(templ / "data.db", anchor / "data.db");
      anchors.ms.push_back(Anchor(anchor / "data.db", ddl, rows, columns));
      Check(Column(anchor / "data.db", "SELECT count(*) FROM RefereExtCove") == std::vector<std::string>{"20000"},
            "anchor rows missing");
      fs::remove(anchor / "data.db");
      fs::copy(templ / "data.db", anchor / "data.db");
      floors.ms.push_back(OdbcFloor(anchor / "data.db", ddl, rows, columns));
      Check(Column(anchor / "data.db", "SELECT count(*) FROM RefereExtCove") == std::vector<std::string>{"20000"},
            "ODBC floor rows missing");
    }
    Print("program (MigrateStructures)", program);
    Print("anchor (sqlite3: drop, create, 20,000 INSERTs)", anchors);
    Print("the ODBC driver's floor (the same, through it)", floors);
    std::printf("  program / anchor (medians): %.2fx; program / the ODBC driver's floor: %.2fx\n",
                program.Median() / anchors.Median(), program.Median() / floors.Median());

    if (large > 0) {
      // A new database and a large local file.
      fs::current_path(root);
      fs::remove_all(run);
      fs::copy(templ, run);
      fs::current_path(run);
      { Db d("data.db"); Sql(d.db, "DROP TABLE RefereExtCove"); }
      MakeLocalFile(run / "XRefereExtCove.TPS", 1, large);
      const auto [ms, mb] = InChild([] {
        const Clock::time_point start = Clock::now();
        Check(Migrate(), "the migration did not finish");
        return Millis(Clock::now() - start);
      });
      Check(Column("data.db", "SELECT count(*) FROM RefereExtCove") == std::vector<std::string>{std::to_string(large)},
            "rows missing");
      std::printf("A new database and a local file of %d records: %.1f s, peak memory %.1f MB\n", large, ms / 1000,
                  mb);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "migration bench: %s\n", e.what());
    fs::current_path("/");
    fs::remove_all(root);
    return 1;
  }
  fs::current_path("/");
  fs::remove_all(root);
  return 0;
}
