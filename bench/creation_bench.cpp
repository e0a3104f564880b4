// Benchmark of the schema creation: the whole creation on empty databases and
// the pass over the existing schema, through the real ODBC driver on SQLite
// files and (when ORTAVIA_PG_PORT is set) on a PostgreSQL server.
//
// The anchor is the least work that gives the program's result, sent with
// each database's own client library (sqlite3's C API, libpq) over one
// connection per database:
//
// Creation: the CREATE TABLE and CREATE INDEX statements the program sent, in
// its order and its transactions, one call (PQexec, sqlite3_exec) each:
//   - a transaction of several statements: "BEGIN; <first>", the ones
//     between alone, "<last>; COMMIT";
//   - a transaction of one statement, and a statement that committed by
//     itself: the statement alone;
//   - after a refused statement of a transaction: "ROLLBACK" (never so far).
//   On PostgreSQL that is one round trip per statement (1270) and libpq's
//   connection start-up (5 each); the ODBC driver also sends BEGIN with the
//   first statement but its commit as a call of its own. On SQLite the
//   connection first runs the ODBC driver's settings where sqlite3's differ
//   (synchronous NORMAL; both journal in DELETE mode).
// Pass: per database, one query listing the columns of every table (what the
//   program's catalog read needs), in one call:
//   - PostgreSQL: pg_class joined to pg_namespace and pg_attribute, the
//     ordinary tables of the current schema: one round trip after libpq's
//     connection start-up; the ODBC driver's listing also reads the indexes'
//     columns and each column's type and default;
//   - SQLite: sqlite_master's tables joined to pragma_table_info, where the
//     ODBC driver lists the tables and then asks for each one's columns.
//
// The program's calls to the server are counted per table and per connection,
// and on PostgreSQL both runs are made once more through a loopback proxy
// that delays every message, as a network would, and counts round trips. The
// pass's time is split into the connections, the catalog listing inside the
// ODBC driver and the rest of the program, beside the anchor's connections and
// listing. Every figure prints as min, median and max of the repetitions.
//
// Usage: ortavia_bench [repetitions]   (ODBCSYSINI must list the drivers)
#include <unistd.h>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/connect.h"
#include "app/create_schema.h"
#include "app/migrate.h"
#include "app/program.h"
#include "dictionary/dictionary.h"
#include "dictionary/names.h"
#include "dictionary/tables.h"
#include "runtime/base/code_page.h"
#include "runtime/base/program.h"
#include "runtime/files/sqlite_file_driver.h"
#include "runtime/sql/odbc_session.h"
#include "runtime/sql/sql_connect.h"
#include "runtime/sql/sql_driver.h"
#include "runtime/test_hooks.h"
#include "support/connection_entries.h"
#include "support/fake_ui.h"
#include "support/program_state.h"

#include "delay_proxy.h"

namespace {

namespace fs = std::filesystem;
using benchsupport::DelayProxy;
using Clock = std::chrono::steady_clock;

enum class Kind { SQLite, PostgreSQL };

struct Backend {
  Kind kind;
  std::string name;        // as printed
  std::string odbcDriver;  // ORTAVIA_SQL_DRIVER
  std::string server, dbData, dbServer, login, password;
  std::string port;        // PostgreSQL only: added to the owner as its fifth part
  std::string settings;    // SQLite only: PRAGMA statements run on each anchor connection
};

double Millis(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Timed(const std::function<void()>& f) {
  Clock::time_point start = Clock::now();
  f();
  return Millis(Clock::now() - start);
}

// ---------------------------------------------------------------- program side

// The DDL of one transaction (or one statement that committed by itself).
struct Group {
  bool transaction = false;
  std::vector<std::string> statements;  // UTF-8
};
// Per database, in the order sent.
using Ddl = std::map<std::string, std::vector<Group>>;

// The program's calls to the server in one run, and the time spent connecting
// and in the catalog listings.
struct Calls {
  int connects = 0, statements = 0, queries = 0, listings = 0, lookups = 0, typeLists = 0, commits = 0;
  long listedColumns = 0;  // the rows of the catalog listings
  double connectMs = 0, listingMs = 0;
  int Total() const { return statements + queries + listings + lookups + typeLists + commits; }
};

struct Recorder {
  Ddl* capture = nullptr;  // null: DDL not captured
  std::map<std::string, bool> inTransaction;
  Calls calls;
};
Recorder g_recorder;

bool IsDdl(const std::string& sql) { return sql.rfind("CREATE TABLE ", 0) == 0 || sql.rfind("CREATE INDEX ", 0) == 0; }

// The ODBC session with its calls counted and its DDL noted under its database.
class RecordingSession : public rt::SqlSession {
 public:
  RecordingSession(std::unique_ptr<rt::SqlSession> inner, std::string database)
      : inner_(std::move(inner)), database_(std::move(database)) {}

  rt::SqlStatus Exec(const std::string& sql, const std::vector<rt::SqlValue>& params) override {
    ++g_recorder.calls.statements;
    rt::SqlStatus ran = inner_->Exec(sql, params);
    if (ran && g_recorder.capture && IsDdl(sql)) {
      auto& groups = (*g_recorder.capture)[database_];
      if (!g_recorder.inTransaction[database_]) groups.push_back({false, {}});
      groups.back().statements.push_back(rt::Cp1252ToUtf8(sql));
    }
    return ran;
  }
  rt::SqlResult<std::unique_ptr<rt::SqlCursor>> Query(const std::string& sql, const std::vector<rt::SqlValue>& params,
                                                      const std::vector<rt::SqlValue::Kind>& kinds) override {
    ++g_recorder.calls.queries;
    return inner_->Query(sql, params, kinds);
  }
  rt::SqlResult<std::vector<std::string>> Columns(const std::string& schema, const std::string& table) override {
    ++g_recorder.calls.lookups;
    return inner_->Columns(schema, table);
  }
  rt::SqlResult<TableColumns> AllColumns(const std::string& schema) override {
    ++g_recorder.calls.listings;
    std::optional<rt::SqlResult<TableColumns>> listed;
    g_recorder.calls.listingMs += Timed([&] { listed.emplace(inner_->AllColumns(schema)); });
    if (*listed)
      for (const auto& [table, columns] : **listed) g_recorder.calls.listedColumns += static_cast<long>(columns.size());
    return std::move(*listed);
  }
  rt::SqlResult<std::vector<rt::TypeInfoRow>> TypeInfo() override {
    ++g_recorder.calls.typeLists;
    return inner_->TypeInfo();
  }
  rt::ServerInfo Info() override { return inner_->Info(); }
  bool Broken() override { return inner_->Broken(); }
  rt::SqlStatus BeginTransaction() override {
    if (g_recorder.capture) {
      (*g_recorder.capture)[database_].push_back({true, {}});
      g_recorder.inTransaction[database_] = true;
    }
    return inner_->BeginTransaction();
  }
  rt::SqlStatus EndTransaction(bool commit) override {
    ++g_recorder.calls.commits;
    if (g_recorder.capture) {
      g_recorder.inTransaction[database_] = false;
      auto& groups = (*g_recorder.capture)[database_];
      if (!commit && !groups.empty()) groups.pop_back();
    }
    return inner_->EndTransaction(commit);
  }

 private:
  std::unique_ptr<rt::SqlSession> inner_;
  std::string database_;
};

// The ODBC connection for an owner, with the port added as the owner's fifth
// part when the backend has one (the connection window has no port entry).
rt::SqlSessionFactory RecordingFactory(const Backend& b) {
  return [port = b.port](const std::string& owner) -> rt::SqlResult<std::unique_ptr<rt::SqlSession>> {
    rt::OwnerParts p = rt::ParseOwner(owner);
    std::string full = owner;
    if (!port.empty()) {
      full = rt::OwnerPart(p.server) + "," + rt::OwnerPart(p.database) + "," + rt::OwnerPart(p.login) + "," +
             rt::OwnerPart(p.password) + ",Port=" + port;
    }
    std::optional<rt::SqlResult<std::unique_ptr<rt::SqlSession>>> inner;
    g_recorder.calls.connectMs += Timed([&] { inner.emplace(rt::OdbcConnect(full)); });
    if (!*inner) return std::move(*inner);
    ++g_recorder.calls.connects;
    return std::make_unique<RecordingSession>(std::move(**inner), p.database);
  };
}

// One press of the schema button with the entries typed in and "&Aceptar";
// false when the run did not end with "Proceso terminado." and no message.
bool RunCreation(const Backend& b) {
  testsupport::FakeWindowLayer ui;
  testsupport::TypeConnectionEntries(ui, {b.server, b.dbServer, b.dbData, b.login, b.password});
  try {
    app::CreateSchema();
  } catch (const rt::ProgramHalted&) {
  }
  for (const auto& box : ui.boxes) std::cerr << "  message: " << box.caption << ": " << box.text << "\n";
  auto progress = ui.Latest(app::kProgressLabel);
  return ui.boxes.empty() && progress &&
         progress->properties[{app::kProgressBar, rt::ui::PROP_Progress}] ==
             std::to_string(dict::CreationList().size()) &&
         progress->properties[{app::kProgressText, rt::ui::PROP_Text}] == "Proceso terminado.";
}

// The dictionary and the program's services of one program start, as the
// program's thread sets them up, and their release (connections included).
class ProgramScope {
 public:
  explicit ProgramScope(const Backend& b) : driver_(std::make_shared<rt::SqlDriver>(RecordingFactory(b))) {
    state_.emplace(testsupport::ProgramState::Options{
        .sqlDriver = b.odbcDriver, .drivers = true, .sql = driver_, .dictionary = true});
  }
  ~ProgramScope() {
    state_.reset();
    driver_->DropThreadConnections();
  }

 private:
  std::shared_ptr<rt::SqlDriver> driver_;
  std::optional<testsupport::ProgramState> state_;
};

// One run of the program in a program start of its own; its time, and its
// calls in calls. Ends the benchmark when the run does not end well.
double ProgramRun(const Backend& b, Calls& calls, Ddl* capture = nullptr) {
  ProgramScope scope(b);
  g_recorder.calls = {};
  g_recorder.capture = capture;
  g_recorder.inTransaction.clear();
  bool ok = false;
  const double ms = Timed([&] { ok = RunCreation(b); });
  g_recorder.capture = nullptr;
  calls = g_recorder.calls;
  if (!ok) {
    std::cerr << b.name << ": the creation did not end well\n";
    std::exit(1);
  }
  return ms;
}

// ---------------------------------------------------------------- anchor side

// One connection of the database's own client library.
class Client {
 public:
  virtual ~Client() = default;
  virtual bool Exec(const std::string& sql) = 0;
  // Lists the columns of every table of the schema; the rows read.
  virtual long ListColumns() = 0;
};

// The columns of every table of the schema, in one query: what the program's
// catalog read needs (the PostgreSQL ODBC driver's listing reads the indexes'
// columns too). No ORDER BY: the program finds a column by its name (its
// place is only where it looks first), so an order adds nothing.
const char* const kPgListing =
    "SELECT c.relname, a.attname FROM pg_catalog.pg_class c "
    "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
    "JOIN pg_catalog.pg_attribute a ON a.attrelid = c.oid "
    "WHERE n.nspname = current_schema() AND c.relkind = 'r' AND a.attnum > 0 AND NOT a.attisdropped";
const char* const kSqliteListing =
    "SELECT m.name, p.name FROM sqlite_master m, pragma_table_info(m.name) p WHERE m.type = 'table'";

class PgClient : public Client {
 public:
  PgClient(const Backend& b, const std::string& database) {
    const char* keys[] = {"host", "port", "dbname", "user", "password", nullptr};
    const char* values[] = {b.server.c_str(), b.port.c_str(), database.c_str(), b.login.c_str(),
                            b.password.c_str(), nullptr};
    conn_ = PQconnectdbParams(keys, values, 0);
    if (PQstatus(conn_) != CONNECTION_OK) {
      std::cerr << "libpq: " << PQerrorMessage(conn_);
      std::exit(2);
    }
    PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
  }
  ~PgClient() override { PQfinish(conn_); }
  bool Exec(const std::string& sql) override {
    PGresult* r = PQexec(conn_, sql.c_str());
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
    if (!ok) std::cerr << "libpq: " << sql.substr(0, 60) << ": " << PQerrorMessage(conn_);
    PQclear(r);
    return ok;
  }
  long ListColumns() override {
    PGresult* r = PQexec(conn_, kPgListing);
    const long rows = PQresultStatus(r) == PGRES_TUPLES_OK ? PQntuples(r) : -1;
    PQclear(r);
    return rows;
  }

 private:
  PGconn* conn_ = nullptr;
};

class SqliteClient : public Client {
 public:
  SqliteClient(const std::string& file, const std::string& settings) {
    if (sqlite3_open(file.c_str(), &db_) != SQLITE_OK || (!settings.empty() && !Exec(settings))) {
      std::cerr << "sqlite3: cannot open " << file << "\n";
      std::exit(2);
    }
  }
  ~SqliteClient() override { sqlite3_close(db_); }
  bool Exec(const std::string& sql) override {
    char* msg = nullptr;
    const bool ok = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &msg) == SQLITE_OK;
    if (!ok) std::cerr << "sqlite3: " << sql.substr(0, 60) << ": " << (msg ? msg : "") << "\n";
    sqlite3_free(msg);
    return ok;
  }
  long ListColumns() override {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, kSqliteListing, -1, &stmt, nullptr) != SQLITE_OK)
      return -1;
    long rows = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      if (sqlite3_column_text(stmt, 0) && sqlite3_column_text(stmt, 1)) ++rows;
    }
    sqlite3_finalize(stmt);
    return rows;
  }

 private:
  sqlite3* db_ = nullptr;
};

std::unique_ptr<Client> Connect(const Backend& b, const std::string& database) {
  if (b.kind == Kind::SQLite) return std::make_unique<SqliteClient>(database, b.settings);
  return std::make_unique<PgClient>(b, database);
}

// The settings of the SQLite ODBC driver's connections that differ from a
// plain sqlite3_open's, as the PRAGMA statements that give them (with the
// installed driver: synchronous NORMAL where sqlite3 runs FULL; both keep
// the journal in DELETE mode). Read from one connection of each, each to a
// new file of its own, since a journal mode can stay with its file.
std::string SqliteDriverSettings(const Backend& b, const fs::path& dir) {
  static const char* const kSettings[] = {"synchronous", "journal_mode", "locking_mode", "page_size",
                                          "auto_vacuum", "cache_size",   "cache_spill",  "temp_store",
                                          "mmap_size",   "secure_delete", "foreign_keys"};
  const std::string odbcFile = (dir / "settings-odbc.db").string(), plainFile = (dir / "settings-plain.db").string();
  ::setenv("ORTAVIA_SQL_DRIVER", b.odbcDriver.c_str(), 1);
  rt::SqlResult<std::unique_ptr<rt::SqlSession>> connected =
      rt::OdbcConnect(rt::BuildOwner(b.server, odbcFile, b.login, b.password));
  sqlite3* plain = nullptr;
  if (!connected || sqlite3_open(plainFile.c_str(), &plain) != SQLITE_OK) {
    std::cerr << "SQLite settings: cannot connect: " << (connected ? "" : connected.error().message) << "\n";
    std::exit(2);
  }
  std::unique_ptr<rt::SqlSession> odbc = std::move(*connected);
  std::string settings;
  for (const char* name : kSettings) {
    const std::string pragma = std::string("PRAGMA ") + name;
    std::string driver, own;
    if (auto cursor = odbc->Query(pragma, {}, {rt::SqlValue::Kind::Text})) {
      std::vector<rt::SqlValue> row;
      if (const auto fetched = (*cursor)->Fetch(row); fetched && *fetched == rt::Fetched::Row) driver = row[0].bytes;
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(plain, pragma.c_str(), -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
      own = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    sqlite3_finalize(stmt);
    if (driver != own) settings += pragma + " = " + driver + ";";
  }
  sqlite3_close(plain);
  odbc.reset();
  fs::remove(odbcFile);
  fs::remove(plainFile);
  return settings;
}

void ResetDatabases(const Backend& b) {
  if (b.kind == Kind::SQLite) {
    fs::remove(b.dbData);
    fs::remove(b.dbServer);
    return;
  }
  for (const std::string& db : {b.dbData, b.dbServer}) {
    auto c = Connect(b, db);
    if (!c->Exec("DROP SCHEMA public CASCADE") || !c->Exec("CREATE SCHEMA public")) std::exit(2);
  }
}

// The DDL, one call per statement over one connection per database, in the
// program's transactions: BEGIN rides with the first statement of a
// transaction and COMMIT with its last, and a transaction of one statement
// is that statement alone (it commits by itself). A refused statement rolls
// its transaction back and ends it.
double AnchorCreation(const Backend& b, const Ddl& ddl, int& refused) {
  return Timed([&] {
    for (const auto& [db, groups] : ddl) {
      auto c = Connect(b, db);
      for (const Group& g : groups) {
        const size_t n = g.statements.size();
        const bool joined = g.transaction && n > 1;
        for (size_t i = 0; i < n; ++i) {
          std::string sql = g.statements[i];
          if (joined && i == 0) sql = "BEGIN; " + sql;
          if (joined && i + 1 == n) sql += "; COMMIT";
          if (c->Exec(sql)) continue;
          ++refused;
          if (joined) {
            c->Exec("ROLLBACK");
            break;
          }
        }
      }
    }
  });
}

// One listing of the columns of every table, one connection per database;
// connectMs is the part of the time spent connecting.
double AnchorPass(const Backend& b, long& rows, double& connectMs) {
  double connecting = 0;
  const double ms = Timed([&] {
    rows = 0;
    for (const std::string& db : {b.dbData, b.dbServer}) {
      std::unique_ptr<Client> c;
      connecting += Timed([&] { c = Connect(b, db); });
      rows += c->ListColumns();
    }
  });
  connectMs = connecting;
  return ms;
}

// ---------------------------------------------------------------- the runs

// One figure over the repetitions.
class Series {
 public:
  void Add(double x) { v_.push_back(x); }
  double Min() const { return v_.empty() ? 0 : *std::min_element(v_.begin(), v_.end()); }
  double Max() const { return v_.empty() ? 0 : *std::max_element(v_.begin(), v_.end()); }
  double Median() const {
    if (v_.empty()) return 0;
    std::vector<double> s = v_;
    std::sort(s.begin(), s.end());
    const size_t n = s.size();
    return n % 2 ? s[n / 2] : (s[n / 2 - 1] + s[n / 2]) / 2;
  }
  // Each repetition's figure divided by the other's of the same repetition.
  Series Over(const Series& d) const {
    Series r;
    for (size_t i = 0; i < v_.size() && i < d.v_.size(); ++i) r.Add(d.v_[i] > 0 ? v_[i] / d.v_[i] : 0);
    return r;
  }
  Series Minus(const Series& d) const {
    Series r;
    for (size_t i = 0; i < v_.size() && i < d.v_.size(); ++i) r.Add(v_[i] - d.v_[i]);
    return r;
  }

 private:
  std::vector<double> v_;
};

// "min median max", each in width characters.
std::string Cell(const Series& s, int precision, int width = 8) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%*.*f %*.*f %*.*f", width, precision, s.Min(), width, precision, s.Median(), width,
                precision, s.Max());
  return buf;
}

// The figures of one backend, direct or through the delaying proxy.
struct Measures {
  Series progCreate, progPass, anchorCreate, anchorPass;
  Series passConnect, passListing, anchorConnect;              // parts of the pass
  Series tripsProgCreate, tripsProgPass, tripsAnchorCreate, tripsAnchorPass;  // through the proxy
  Calls createCalls, passCalls;  // the program's, in the first repetition
  Ddl ddl;                       // the program's, in the first repetition
  int refused = 0;
  long listed = 0;
};

// The time of f in ms, and the proxy's round trips in trips when there is one.
void Step(DelayProxy* proxy, Series& ms, Series& trips, const std::function<void()>& f) {
  if (proxy) proxy->ResetCount();
  ms.Add(Timed(f));
  if (proxy) trips.Add(static_cast<double>(proxy->RoundTrips()));
}

// reps repetitions of: the program's creation and pass, then the anchor's, on
// databases emptied before each creation; b is what the runs connect to,
// direct what the databases are emptied through.
Measures Measure(const Backend& b, const Backend& direct, int reps, DelayProxy* proxy) {
  Measures m;
  for (int rep = 0; rep < reps; ++rep) {
    Calls calls;
    ResetDatabases(direct);
    Step(proxy, m.progCreate, m.tripsProgCreate, [&] { ProgramRun(b, calls, rep == 0 ? &m.ddl : nullptr); });
    if (rep == 0) m.createCalls = calls;
    Step(proxy, m.progPass, m.tripsProgPass, [&] { ProgramRun(b, calls); });
    if (rep == 0) m.passCalls = calls;
    m.passConnect.Add(calls.connectMs);
    m.passListing.Add(calls.listingMs);
    ResetDatabases(direct);
    int refused = 0;
    Step(proxy, m.anchorCreate, m.tripsAnchorCreate, [&] { AnchorCreation(b, m.ddl, refused); });
    m.refused = std::max(m.refused, refused);
    double connecting = 0;
    Step(proxy, m.anchorPass, m.tripsAnchorPass, [&] { AnchorPass(b, m.listed, connecting); });
    m.anchorConnect.Add(connecting);
  }
  return m;
}

std::string Per(double n, double d, int precision = 1) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.*f", precision, d > 0 ? n / d : 0.0);
  return buf;
}

std::string CallText(const Calls& c, double tables) {
  const double connections = std::max(1, c.connects);
  return std::to_string(c.Total()) + " (" + Per(c.Total(), tables, 2) + "/table, " +
         Per(c.Total(), connections) + "/connection; catalog " + std::to_string(c.listings) + " listings, " +
         std::to_string(c.lookups) + " look-ups)";
}

void PrintAnchorWork(const std::string& name, const Measures& m) {
  size_t statements = 0, groups = 0;
  for (const auto& [db, gs] : m.ddl) {
    groups += gs.size();
    for (const Group& g : gs) statements += g.statements.size();
  }
  std::cout << name << ": anchor DDL " << statements << " statements in " << groups << " commits, refused "
            << m.refused << " at most per run; the pass's listing " << m.listed
            << " table columns, the program's catalog read " << m.passCalls.listedColumns << " rows\n";
}

// Program, anchor and their ratio per repetition, min median max each.
void PrintDirect(const std::vector<std::pair<std::string, Measures>>& results, int reps) {
  const double tables = static_cast<double>(dict::CreationList().size());
  std::printf("\n%d repetitions, milliseconds, min median max; ratio: the program's time over the anchor's in the "
              "same repetition\n",
              reps);
  std::printf("%-11s %-30s %-26s   %-26s   %s\n", "backend", "pass", "program", "anchor", "ratio");
  for (const auto& [name, m] : results) {
    std::printf("%-11s %-30s %s   %s   %s\n", name.c_str(), "creation on empty databases",
                Cell(m.progCreate, 1).c_str(), Cell(m.anchorCreate, 1).c_str(),
                Cell(m.progCreate.Over(m.anchorCreate), 2).c_str());
    std::printf("%-11s %-30s %s   %s   %s\n", name.c_str(), "pass over the existing schema",
                Cell(m.progPass, 1).c_str(), Cell(m.anchorPass, 1).c_str(),
                Cell(m.progPass.Over(m.anchorPass), 2).c_str());
  }
  std::printf("\nthe program's calls to the server (first repetition)\n");
  for (const auto& [name, m] : results) {
    std::printf("%-11s %-30s %s\n", name.c_str(), "creation on empty databases", CallText(m.createCalls, tables).c_str());
    std::printf("%-11s %-30s %s\n", name.c_str(), "pass over the existing schema", CallText(m.passCalls, tables).c_str());
  }

  std::printf("\nwhere the pass's time goes, milliseconds, min median max: the program's ODBC connections, its "
              "catalog listings (the driver's catalog call, its rows and their release) and the rest of the pass; "
              "the anchor's connections and its listing query\n");
  std::printf("%-11s %-30s %s\n", "backend", "part", "     min   median      max");
  for (const auto& [name, m] : results) {
    const std::pair<const char*, Series> parts[] = {
        {"program", m.progPass},
        {"  connecting", m.passConnect},
        {"  catalog listings", m.passListing},
        {"  the rest", m.progPass.Minus(m.passConnect).Minus(m.passListing)},
        {"anchor", m.anchorPass},
        {"  connecting", m.anchorConnect},
        {"  listing", m.anchorPass.Minus(m.anchorConnect)},
    };
    for (const auto& [part, s] : parts) std::printf("%-11s %-30s %s\n", name.c_str(), part, Cell(s, 1).c_str());
  }
}

void PrintProxied(const std::string& name, const Measures& m, std::chrono::milliseconds delay, int reps) {
  const double tables = static_cast<double>(dict::CreationList().size());
  std::printf("\n%s through a loopback proxy delaying each message %lld ms each way, %d repetitions, min median "
              "max; ratio: the program's time over the anchor's in the same repetition\n",
              name.c_str(), static_cast<long long>(delay.count()), reps);
  std::printf("%-30s %-26s   %-20s   %-26s   %-20s   %s\n", "pass", "program, ms", "round trips", "anchor, ms",
              "round trips", "ratio");
  std::printf("%-30s %s   %s   %s   %s   %s\n", "creation on empty databases", Cell(m.progCreate, 0).c_str(),
              Cell(m.tripsProgCreate, 0, 6).c_str(), Cell(m.anchorCreate, 0).c_str(),
              Cell(m.tripsAnchorCreate, 0, 6).c_str(), Cell(m.progCreate.Over(m.anchorCreate), 2, 6).c_str());
  std::printf("%-30s %s   %s   %s   %s   %s\n", "pass over the existing schema", Cell(m.progPass, 0).c_str(),
              Cell(m.tripsProgPass, 0, 6).c_str(), Cell(m.anchorPass, 0).c_str(),
              Cell(m.tripsAnchorPass, 0, 6).c_str(), Cell(m.progPass.Over(m.anchorPass), 2, 6).c_str());
  std::printf("round trips per table in the creation (medians): program %s, anchor %s\n",
              Per(m.tripsProgCreate.Median(), tables, 2).c_str(), Per(m.tripsAnchorCreate.Median(), tables, 2).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const fs::path dir = fs::temp_directory_path() / ("ortavia-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  rt::RegisterSqlDriver();
  rt::RegisterSqliteFileDriver();  // as the program's main registers its drivers

  std::vector<Backend> backends;
  backends.push_back({Kind::SQLite, "SQLite", "SQLite3", "localhost", (dir / "data.db").string(),
                      (dir / "server.db").string(), "admin", "", "", ""});
  backends.back().settings = SqliteDriverSettings(backends.back(), dir);
  std::cout << "SQLite anchor connections run " << (backends.back().settings.empty() ? "as opened" : backends.back().settings)
            << " (the ODBC driver's settings where sqlite3's own differ)\n";
  const char* port = std::getenv("ORTAVIA_PG_PORT");
  const char* user = std::getenv("ORTAVIA_PG_USER");
  const char* password = std::getenv("ORTAVIA_PG_PASSWORD");
  if (port && *port && user && password) {
    backends.push_back({Kind::PostgreSQL, "PostgreSQL", "PostgreSQL Unicode", "127.0.0.1", "ortavia_data",
                        "ortavia_server", user, password, port, ""});
  } else {
    std::cout << "PostgreSQL skipped: ORTAVIA_PG_PORT, ORTAVIA_PG_USER, ORTAVIA_PG_PASSWORD not set\n";
  }

  std::vector<std::pair<std::string, Measures>> direct;
  for (const Backend& b : backends) {
    direct.emplace_back(b.name, Measure(b, b, reps, nullptr));
    PrintAnchorWork(b.name, direct.back().second);
  }
  fs::remove_all(dir);
  PrintDirect(direct, reps);

  // PostgreSQL once more through the delaying proxy, at most 3 repetitions.
  constexpr auto kDelay = std::chrono::milliseconds(15);
  const int proxyReps = std::min(reps, 3);
  for (const Backend& b : backends) {
    if (b.kind != Kind::PostgreSQL) continue;
    DelayProxy proxy(std::atoi(b.port.c_str()), kDelay);
    Backend through = b;
    through.port = std::to_string(proxy.port());
    const Measures m = Measure(through, b, proxyReps, &proxy);
    PrintProxied(b.name, m, kDelay, proxyReps);
  }
  return 0;
}
