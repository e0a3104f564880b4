// Benchmark of the schema creation: the whole creation on empty databases and
// the pass over the existing schema, through the real ODBC driver on SQLite
// files and (when ORTAVIA_PG_PORT is set) on a PostgreSQL server.
//
// The anchor is what the databases cannot do without, sent with each
// database's own client library (sqlite3's C API, libpq) over one connection
// per database: for the creation, the CREATE TABLE and CREATE INDEX
// statements the program sent, alone, with the program's commits; for the
// pass, one listing of the columns of every table. The program's calls to the
// server are counted per table and per connection, and on PostgreSQL both
// runs are made once more through a loopback proxy that delays every message,
// as a network would. The pass's time is split into the connections, the
// catalog listing inside the ODBC driver and the rest of the program, beside
// the anchor's connections and listing.
//
// Usage: ortavia_bench [repetitions]   (ODBCSYSINI must list the drivers)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
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
#include "runtime/sql/odbc_session.h"
#include "runtime/sql/sql_connect.h"
#include "runtime/sql/sql_driver.h"
#include "support/connection_entries.h"
#include "support/fake_ui.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

enum class Kind { SQLite, PostgreSQL };

struct Backend {
  Kind kind;
  std::string name;        // as printed
  std::string odbcDriver;  // ORTAVIA_SQL_DRIVER
  std::string server, dbData, dbServer, login, password;
  std::string port;        // PostgreSQL only: added to the owner as its fifth part
};

double Millis(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Timed(const std::function<void()>& f) {
  Clock::time_point start = Clock::now();
  f();
  return Millis(Clock::now() - start);
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
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

  bool Exec(const std::string& sql, const std::vector<rt::SqlValue>& params, rt::SqlError& err) override {
    ++g_recorder.calls.statements;
    const bool ok = inner_->Exec(sql, params, err);
    if (ok && g_recorder.capture && IsDdl(sql)) {
      auto& groups = (*g_recorder.capture)[database_];
      if (!g_recorder.inTransaction[database_]) groups.push_back({false, {}});
      groups.back().statements.push_back(rt::Cp1252ToUtf8(sql));
    }
    return ok;
  }
  std::unique_ptr<rt::SqlCursor> Query(const std::string& sql, const std::vector<rt::SqlValue>& params,
                                       const std::vector<rt::SqlValue::Kind>& kinds, rt::SqlError& err) override {
    ++g_recorder.calls.queries;
    return inner_->Query(sql, params, kinds, err);
  }
  bool Columns(const std::string& schema, const std::string& table, std::vector<std::string>& names,
               rt::SqlError& err) override {
    ++g_recorder.calls.lookups;
    return inner_->Columns(schema, table, names, err);
  }
  bool AllColumns(const std::string& schema, std::map<std::string, std::vector<std::string>>& tables,
                  rt::SqlError& err) override {
    ++g_recorder.calls.listings;
    bool ok = false;
    g_recorder.calls.listingMs += Timed([&] { ok = inner_->AllColumns(schema, tables, err); });
    return ok;
  }
  bool TypeInfo(std::vector<rt::TypeInfoRow>& rows, rt::SqlError& err) override {
    ++g_recorder.calls.typeLists;
    return inner_->TypeInfo(rows, err);
  }
  rt::ServerInfo Info() override { return inner_->Info(); }
  bool Broken() override { return inner_->Broken(); }
  bool BeginTransaction(rt::SqlError& err) override {
    if (g_recorder.capture) {
      (*g_recorder.capture)[database_].push_back({true, {}});
      g_recorder.inTransaction[database_] = true;
    }
    return inner_->BeginTransaction(err);
  }
  bool EndTransaction(bool commit, rt::SqlError& err) override {
    ++g_recorder.calls.commits;
    if (g_recorder.capture) {
      g_recorder.inTransaction[database_] = false;
      auto& groups = (*g_recorder.capture)[database_];
      if (!commit && !groups.empty()) groups.pop_back();
    }
    return inner_->EndTransaction(commit, err);
  }

 private:
  std::unique_ptr<rt::SqlSession> inner_;
  std::string database_;
};

// The ODBC connection for an owner, with the port added as the owner's fifth
// part when the backend has one (the connection window has no port entry).
rt::SqlSessionFactory RecordingFactory(const Backend& b) {
  return [port = b.port](const std::string& owner, rt::SqlError& err) -> std::unique_ptr<rt::SqlSession> {
    rt::OwnerParts p = rt::ParseOwner(owner);
    std::string full = owner;
    if (!port.empty()) {
      full = rt::OwnerPart(p.server) + "," + rt::OwnerPart(p.database) + "," + rt::OwnerPart(p.login) + "," +
             rt::OwnerPart(p.password) + ",Port=" + port;
    }
    std::unique_ptr<rt::SqlSession> inner;
    g_recorder.calls.connectMs += Timed([&] { inner = rt::OdbcConnect(full, err); });
    if (!inner) return nullptr;
    ++g_recorder.calls.connects;
    return std::make_unique<RecordingSession>(std::move(inner), p.database);
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
    ::setenv("ORTAVIA_SQL_DRIVER", b.odbcDriver.c_str(), 1);
    rt::RegisterDriver(driver_);
    app::ProgramErrors().Setup(state_);
    dict::SetReporter(&app::ProgramErrors());
    dict::DictionaryInit();
    rt::SetHaltHandler([](int) {});
  }
  ~ProgramScope() {
    rt::SetHaltHandler({});
    dict::DictionaryKill();
    app::ReleaseMigrationFiles();
    for (const auto& t : dict::Tables())
      if (rt::HasThreadFile(t.decl)) rt::ReleaseThreadFile(t.decl);
    driver_->DropThreadConnections();
  }

 private:
  classlib::ThreadErrorState state_;
  std::shared_ptr<rt::SqlDriver> driver_;
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
  // Reads the columns of every table, with the catalog query the ODBC driver
  // sends for one listing (asDriver) or the leanest query; the rows read.
  virtual long ListColumns(bool asDriver) = 0;
};

// The query the PostgreSQL ODBC driver sends for the columns of every table of
// the current schema (one SQLColumns call), and the leanest listing.
const char* const kDriverListing =
    "select n.nspname, c.relname, a.attname, a.atttypid, t.typname, a.attnum, a.attlen, a.atttypmod, "
    "a.attnotnull, c.relhasrules, c.relkind, c.oid, pg_get_expr(d.adbin, d.adrelid), case t.typtype when "
    "'d' then t.typbasetype else 0 end, t.typtypmod, 0, attidentity, c.relhassubclass from "
    "(((pg_catalog.pg_class c inner join pg_catalog.pg_namespace n on n.oid = c.relnamespace and "
    "c.relname like '%' and n.nspname like 'public') inner join pg_catalog.pg_attribute a on (not "
    "a.attisdropped) and a.attnum > 0 and a.attname like '%' and a.attrelid = c.oid) inner join "
    "pg_catalog.pg_type t on t.oid = a.atttypid) left outer join pg_attrdef d on a.atthasdef and "
    "d.adrelid = a.attrelid and d.adnum = a.attnum order by n.nspname, c.relname, attnum";
const char* const kLeanListing =
    "SELECT c.relname, a.attname FROM pg_catalog.pg_attribute a "
    "JOIN pg_catalog.pg_class c ON c.oid = a.attrelid "
    "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
    "WHERE n.nspname = current_schema() AND a.attnum > 0 AND NOT a.attisdropped "
    "ORDER BY c.relname, a.attnum";

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
  long ListColumns(bool asDriver) override {
    PGresult* r = PQexec(conn_, asDriver ? kDriverListing : kLeanListing);
    const long rows = PQresultStatus(r) == PGRES_TUPLES_OK ? PQntuples(r) : -1;
    PQclear(r);
    return rows;
  }

 private:
  PGconn* conn_ = nullptr;
};

class SqliteClient : public Client {
 public:
  explicit SqliteClient(const std::string& file) {
    if (sqlite3_open(file.c_str(), &db_) != SQLITE_OK) {
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
  long ListColumns(bool asDriver) override {
    if (asDriver) {
      // The SQLite ODBC driver's way: the tables, then each table's columns.
      char** tables = nullptr;
      int n = 0, cols = 0;
      if (sqlite3_get_table(db_,
                            "select tbl_name from sqlite_master where (type = 'table' or type = 'view') "
                            "and tbl_name like '%'",
                            &tables, &n, &cols, nullptr) != SQLITE_OK)
        return -1;
      long rows = 0;
      for (int i = 1; i <= n; ++i) {
        char* sql = sqlite3_mprintf("PRAGMA table_info(%Q)", tables[i]);
        char** info = nullptr;
        int m = 0, c = 0;
        if (sqlite3_get_table(db_, sql, &info, &m, &c, nullptr) == SQLITE_OK) rows += m;
        sqlite3_free_table(info);
        sqlite3_free(sql);
      }
      sqlite3_free_table(tables);
      return rows;
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_,
                           "SELECT m.name, p.name FROM sqlite_master m, pragma_table_info(m.name) p "
                           "WHERE m.type = 'table' ORDER BY m.name, p.cid",
                           -1, &stmt, nullptr) != SQLITE_OK)
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
  if (b.kind == Kind::SQLite) return std::make_unique<SqliteClient>(database);
  return std::make_unique<PgClient>(b, database);
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

// The DDL alone, one connection per database, with the program's commits.
double AnchorCreation(const Backend& b, const Ddl& ddl, int& refused) {
  return Timed([&] {
    for (const auto& [db, groups] : ddl) {
      auto c = Connect(b, db);
      for (const Group& g : groups) {
        if (g.transaction) c->Exec("BEGIN");
        for (const std::string& s : g.statements)
          if (!c->Exec(s)) ++refused;
        if (g.transaction) c->Exec("COMMIT");
      }
    }
  });
}

// One listing of the columns of every table, one connection per database;
// with connectMs, the part of the time spent connecting.
double AnchorPass(const Backend& b, bool asDriver, long& rows, double* connectMs = nullptr) {
  double connecting = 0;
  const double ms = Timed([&] {
    rows = 0;
    for (const std::string& db : {b.dbData, b.dbServer}) {
      std::unique_ptr<Client> c;
      connecting += Timed([&] { c = Connect(b, db); });
      rows += c->ListColumns(asDriver);
    }
  });
  if (connectMs) *connectMs = connecting;
  return ms;
}

// ---------------------------------------------------------------- delaying proxy

// A TCP proxy on 127.0.0.1 in front of a local port that hands on every chunk
// it reads after a fixed delay, in each direction, and counts round trips: a
// client message that follows an answer of the server (or opens the
// connection) begins a new one. At most kMaxLinks connections are served.
class DelayProxy {
 public:
  DelayProxy(int targetPort, std::chrono::milliseconds delay) : target_(targetPort), delay_(delay) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t len = sizeof a;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listener_, 16) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
      std::perror("proxy");
      std::exit(2);
    }
    port_ = ntohs(a.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
  }
  ~DelayProxy() {
    stop_ = true;
    acceptor_.join();
    ::close(listener_);
    std::lock_guard<std::mutex> lock(linksMutex_);
    for (auto& l : links_) l->Stop();
    links_.clear();
  }
  int port() const { return port_; }
  long RoundTrips() const { return roundTrips_.load(); }
  void ResetCount() { roundTrips_ = 0; }

 private:
  static constexpr int kMaxLinks = 64;
  static constexpr size_t kChunk = 64 * 1024;

  struct Chunk {
    Clock::time_point due;
    std::string data;  // empty: the sending side closed
  };

  // One direction: a reader that stamps each chunk and a writer that hands it
  // on once due.
  struct Pipe {
    int from = -1, to = -1;
    std::mutex m;
    std::condition_variable cv;
    std::deque<Chunk> queue;
    bool stopped = false;
    std::thread reader, writer;
  };

  struct Link {
    int client = -1, server = -1;
    Pipe up, down;  // client to server, server to client
    std::atomic<bool> serverSpoke{true};
    void Stop() {
      for (Pipe* p : {&up, &down}) {
        {
          std::lock_guard<std::mutex> lock(p->m);
          p->stopped = true;
        }
        p->cv.notify_all();
      }
      ::shutdown(client, SHUT_RDWR);
      ::shutdown(server, SHUT_RDWR);
      for (Pipe* p : {&up, &down}) {
        if (p->reader.joinable()) p->reader.join();
        if (p->writer.joinable()) p->writer.join();
      }
      ::close(client);
      ::close(server);
    }
  };

  void AcceptLoop() {
    int served = 0;
    while (!stop_) {
      pollfd p{listener_, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      const int client = ::accept(listener_, nullptr, nullptr);
      if (client < 0) continue;
      if (++served > kMaxLinks) {
        ::close(client);
        continue;
      }
      const int server = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      a.sin_port = htons(static_cast<uint16_t>(target_));
      if (server < 0 || ::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(client);
        if (server >= 0) ::close(server);
        continue;
      }
      const int one = 1;
      ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      auto link = std::make_unique<Link>();
      link->client = client;
      link->server = server;
      Start(*link, link->up, client, server, true);
      Start(*link, link->down, server, client, false);
      std::lock_guard<std::mutex> lock(linksMutex_);
      links_.push_back(std::move(link));
    }
  }

  void Start(Link& link, Pipe& pipe, int from, int to, bool fromClient) {
    pipe.from = from;
    pipe.to = to;
    pipe.reader = std::thread([this, &link, &pipe, fromClient] {
      std::string buf(kChunk, '\0');
      for (;;) {
        const ssize_t n = ::recv(pipe.from, buf.data(), buf.size(), 0);
        if (n < 0 && errno == EINTR) continue;
        const Clock::time_point due = Clock::now() + delay_;
        if (fromClient && n > 0 && link.serverSpoke.exchange(false)) ++roundTrips_;
        if (!fromClient && n > 0) link.serverSpoke = true;
        {
          std::lock_guard<std::mutex> lock(pipe.m);
          pipe.queue.push_back({due, n > 0 ? std::string(buf.data(), static_cast<size_t>(n)) : std::string()});
        }
        pipe.cv.notify_all();
        if (n <= 0) return;
      }
    });
    pipe.writer = std::thread([&link, &pipe] {
      for (;;) {
        Chunk c;
        {
          std::unique_lock<std::mutex> lock(pipe.m);
          pipe.cv.wait(lock, [&] { return pipe.stopped || !pipe.queue.empty(); });
          if (pipe.stopped) return;
          c = std::move(pipe.queue.front());
          pipe.queue.pop_front();
        }
        std::this_thread::sleep_until(c.due);
        if (c.data.empty()) {
          ::shutdown(pipe.to, SHUT_WR);
          return;
        }
        // The receiving side may have gone (EPIPE, ECONNRESET): that ends the
        // connection, both ways, and never raises SIGPIPE.
        for (size_t sent = 0; sent < c.data.size();) {
          const ssize_t n = ::send(pipe.to, c.data.data() + sent, c.data.size() - sent, MSG_NOSIGNAL);
          if (n < 0 && errno == EINTR) continue;
          if (n <= 0) {
            ::shutdown(link.client, SHUT_RDWR);
            ::shutdown(link.server, SHUT_RDWR);
            return;
          }
          sent += static_cast<size_t>(n);
        }
      }
    });
  }

  int target_;
  std::chrono::milliseconds delay_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<long> roundTrips_{0};
  std::thread acceptor_;
  std::mutex linksMutex_;
  std::vector<std::unique_ptr<Link>> links_;
};

// ---------------------------------------------------------------- the runs

struct Row {
  std::string backend, pass;
  double program, anchor;
  double lean;        // pass: the leanest listing
  std::string calls;  // the program's calls to the server
};

// Where the pass's time goes, medians of the repetitions.
struct PassSplit {
  std::string backend;
  double program, connect, listing;     // the program: whole, connecting, the driver's catalog listings
  double anchor, anchorConnect;         // the anchor: whole, connecting
};

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

void Bench(const Backend& b, int reps, std::vector<Row>& rows, std::vector<PassSplit>& splits) {
  const double tables = static_cast<double>(dict::CreationList().size());
  Ddl ddl;
  Calls createCalls, passCalls;
  std::vector<double> progCreate, progPass, anchorCreate, anchorPass, leanPass;
  std::vector<double> passConnect, passListing, anchorConnect;
  int refused = 0;
  long listed = 0, leanListed = 0;
  for (int rep = 0; rep < reps; ++rep) {
    ResetDatabases(b);
    Calls calls;
    progCreate.push_back(ProgramRun(b, calls, rep == 0 ? &ddl : nullptr));
    if (rep == 0) createCalls = calls;
    progPass.push_back(ProgramRun(b, calls));
    if (rep == 0) passCalls = calls;
    passConnect.push_back(calls.connectMs);
    passListing.push_back(calls.listingMs);
    ResetDatabases(b);
    anchorCreate.push_back(AnchorCreation(b, ddl, refused));
    anchorConnect.push_back(0);
    anchorPass.push_back(AnchorPass(b, true, listed, &anchorConnect.back()));
    leanPass.push_back(AnchorPass(b, false, leanListed));
  }
  size_t statements = 0, groups = 0;
  for (const auto& [db, gs] : ddl) {
    groups += gs.size();
    for (const Group& g : gs) statements += g.statements.size();
  }
  std::cout << b.name << ": anchor DDL " << statements << " statements in " << groups << " commits, refused "
            << refused / reps << " per run; catalog listing " << listed << " columns (leanest " << leanListed << ")\n";
  rows.push_back({b.name, "creation on empty databases", Median(progCreate), Median(anchorCreate), 0,
                  CallText(createCalls, tables)});
  rows.push_back({b.name, "pass over the existing schema", Median(progPass), Median(anchorPass), Median(leanPass),
                  CallText(passCalls, tables)});
  splits.push_back({b.name, Median(progPass), Median(passConnect), Median(passListing), Median(anchorPass),
                    Median(anchorConnect)});
}

// The runs of a PostgreSQL backend once more through the delaying proxy.
void BenchThroughProxy(const Backend& direct, int reps) {
  constexpr auto kDelay = std::chrono::milliseconds(15);
  DelayProxy proxy(std::atoi(direct.port.c_str()), kDelay);
  Backend b = direct;
  b.port = std::to_string(proxy.port());
  const double tables = static_cast<double>(dict::CreationList().size());
  Ddl ddl;
  Calls calls;
  int refused = 0;
  long listed = 0;

  ResetDatabases(direct);
  proxy.ResetCount();
  const double progCreate = ProgramRun(b, calls, &ddl);
  const long progCreateTrips = proxy.RoundTrips();
  std::vector<double> progPass;
  long progPassTrips = 0;
  for (int rep = 0; rep < reps; ++rep) {
    proxy.ResetCount();
    progPass.push_back(ProgramRun(b, calls));
    progPassTrips = proxy.RoundTrips();
  }
  ResetDatabases(direct);
  proxy.ResetCount();
  const double anchorCreate = AnchorCreation(b, ddl, refused);
  const long anchorCreateTrips = proxy.RoundTrips();
  std::vector<double> anchorPass;
  long anchorPassTrips = 0;
  for (int rep = 0; rep < reps; ++rep) {
    proxy.ResetCount();
    anchorPass.push_back(AnchorPass(b, true, listed));
    anchorPassTrips = proxy.RoundTrips();
  }

  std::printf("\n%s through a loopback proxy delaying each message %lld ms each way "
              "(creation once, pass median of %d), milliseconds and round trips\n",
              direct.name.c_str(), static_cast<long long>(kDelay.count()), reps);
  std::printf("%-30s %10s %12s %10s %12s %8s\n", "pass", "program", "round trips", "anchor", "round trips", "ratio");
  std::printf("%-30s %10.0f %12ld %10.0f %12ld %8.2f\n", "creation on empty databases", progCreate, progCreateTrips,
              anchorCreate, anchorCreateTrips, anchorCreate > 0 ? progCreate / anchorCreate : 0.0);
  std::printf("%-30s %10.0f %12ld %10.0f %12ld %8.2f\n", "pass over the existing schema", Median(progPass),
              progPassTrips, Median(anchorPass), anchorPassTrips,
              Median(anchorPass) > 0 ? Median(progPass) / Median(anchorPass) : 0.0);
  std::printf("round trips per table in the creation: program %s, anchor %s\n",
              Per(static_cast<double>(progCreateTrips), tables, 2).c_str(),
              Per(static_cast<double>(anchorCreateTrips), tables, 2).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const fs::path dir = fs::temp_directory_path() / ("ortavia-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  rt::RegisterSqlDriver();

  std::vector<Backend> backends;
  backends.push_back({Kind::SQLite, "SQLite", "SQLite3", "localhost", (dir / "data.db").string(),
                      (dir / "server.db").string(), "admin", "", ""});
  const char* port = std::getenv("ORTAVIA_PG_PORT");
  const char* user = std::getenv("ORTAVIA_PG_USER");
  const char* password = std::getenv("ORTAVIA_PG_PASSWORD");
  if (port && *port && user && password) {
    backends.push_back({Kind::PostgreSQL, "PostgreSQL", "PostgreSQL Unicode", "127.0.0.1", "ortavia_data",
                        "ortavia_server", user, password, port});
  } else {
    std::cout << "PostgreSQL skipped: ORTAVIA_PG_PORT, ORTAVIA_PG_USER, ORTAVIA_PG_PASSWORD not set\n";
  }

  std::vector<Row> rows;
  std::vector<PassSplit> splits;
  for (const Backend& b : backends) Bench(b, reps, rows, splits);
  fs::remove_all(dir);

  std::printf("\nmedian of %d repetitions, milliseconds; anchor through sqlite3 / libpq, one connection per "
              "database: the same CREATE statements alone with the program's commits (creation), the ODBC "
              "driver's catalog query for one listing of every table's columns (pass; leanest: the leanest "
              "query for the same listing)\n",
              reps);
  std::printf("%-11s %-30s %9s %9s %6s %9s %6s  %s\n", "backend", "pass", "program", "anchor", "ratio", "leanest",
              "ratio", "program's calls to the server");
  for (const Row& r : rows)
    std::printf("%-11s %-30s %9.1f %9.1f %6.2f %9.1f %6.2f  %s\n", r.backend.c_str(), r.pass.c_str(), r.program,
                r.anchor, r.anchor > 0 ? r.program / r.anchor : 0.0, r.lean, r.lean > 0 ? r.program / r.lean : 0.0,
                r.calls.c_str());

  std::printf("\nwhere the pass's time goes, milliseconds (medians): the program's ODBC connections, its catalog "
              "listings (the driver's catalog call, its rows and their release) and the rest of the pass; the "
              "anchor's connections and its listing query\n");
  std::printf("%-11s %9s %9s %9s %9s   %9s %9s %9s\n", "backend", "program", "connect", "listing", "rest", "anchor",
              "connect", "listing");
  for (const PassSplit& p : splits)
    std::printf("%-11s %9.1f %9.1f %9.1f %9.1f   %9.1f %9.1f %9.1f\n", p.backend.c_str(), p.program, p.connect,
                p.listing, p.program - p.connect - p.listing, p.anchor, p.anchorConnect,
                p.anchor - p.anchorConnect);

  for (const Backend& b : backends)
    if (b.kind == Kind::PostgreSQL) BenchThroughProxy(b, std::min(reps, 3));
  return 0;
}
