// Benchmark of the schema creation: the whole creation on empty databases and
// the pass over the existing schema, through the real ODBC driver on SQLite
// files and (when ORTAVIA_PG_PORT is set) on a PostgreSQL server, against the
// same statements replayed by the database's own client (sqlite3, psql).
//
// The statements are captured by a session layer wrapped around the ODBC
// session during the first repetition: every statement with its parameters
// written in as literals, and every catalog look-up of a table's columns as the
// equivalent catalog query of the server, so the client does the same work.
//
// Usage: ortavia_bench [repetitions]   (ODBCSYSINI must list the drivers)
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/connect.h"
#include "app/create_schema.h"
#include "app/migrate.h"
#include "app/program.h"
#include "dictionary/dictionary.h"
#include "dictionary/names.h"
#include "dictionary/tables.h"
#include "runtime/odbc_session.h"
#include "runtime/program.h"
#include "runtime/sql_connect.h"
#include "runtime/sql_driver.h"
#include "runtime/text.h"
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

// ---------------------------------------------------------------- capture

// Statements of one pass, per database, in the order they were sent.
using Script = std::map<std::string, std::vector<std::string>>;

struct Recorder {
  Kind kind = Kind::SQLite;
  Script* target = nullptr;  // null: not capturing
  int failures = 0;          // statements the server refused, all passes
};
Recorder g_recorder;

std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

std::string Literal(const rt::SqlValue& v, Kind kind) {
  using K = rt::SqlValue::Kind;
  if (v.isNull || v.kind == K::Null) return "NULL";
  char buf[64];
  switch (v.kind) {
    case K::Long:
      return std::to_string(v.i);
    case K::Double:
      std::snprintf(buf, sizeof buf, "%.17g", v.d);
      return buf;
    case K::Text:
      return Quoted(rt::Cp1252ToUtf8(v.bytes));
    case K::Binary: {
      std::string hex;
      for (unsigned char c : v.bytes) {
        std::snprintf(buf, sizeof buf, "%02x", c);
        hex += buf;
      }
      return kind == Kind::SQLite ? "X'" + hex + "'" : "'\\x" + hex + "'::bytea";
    }
    case K::Timestamp:
      std::snprintf(buf, sizeof buf, "'%04d-%02d-%02d %02d:%02d:%02d.%06u'", v.ts.year, v.ts.month, v.ts.day,
                    v.ts.hour, v.ts.minute, v.ts.second, v.ts.fraction / 1000);
      return buf;
    default:
      return "NULL";
  }
}

// The statement with each parameter marker outside quotes replaced by its value.
std::string Inline(const std::string& sql, const std::vector<rt::SqlValue>& params, Kind kind) {
  std::string out;
  size_t next = 0;
  char quote = 0;
  for (char c : sql) {
    if (quote) {
      out += c;
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
      out += c;
    } else if (c == '[') {
      quote = ']';
      out += c;
    } else if (c == '?' && next < params.size()) {
      out += Literal(params[next++], kind);
    } else {
      out += c;
    }
  }
  return out;
}

// What the client runs for the driver's catalog look-up of a table's columns.
std::string CatalogQuery(const std::string& schema, const std::string& table, Kind kind) {
  const std::string t = Quoted(rt::Cp1252ToUtf8(table));
  if (kind == Kind::SQLite) return "SELECT name FROM pragma_table_info(" + t + ")";
  std::string sql =
      "SELECT a.attname FROM pg_catalog.pg_attribute a JOIN pg_catalog.pg_class c ON c.oid = a.attrelid "
      "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace WHERE c.relname = " + t +
      " AND a.attnum > 0 AND NOT a.attisdropped";
  sql += schema.empty() ? " AND pg_catalog.pg_table_is_visible(c.oid)"
                        : " AND n.nspname = " + Quoted(rt::Cp1252ToUtf8(schema));
  return sql + " ORDER BY a.attnum";
}

// The ODBC session with every statement noted under its database.
class RecordingSession : public rt::SqlSession {
 public:
  RecordingSession(std::unique_ptr<rt::SqlSession> inner, std::string database)
      : inner_(std::move(inner)), database_(std::move(database)) {}

  bool Exec(const std::string& sql, const std::vector<rt::SqlValue>& params, rt::SqlError& err) override {
    Note(Inline(rt::Cp1252ToUtf8(sql), params, g_recorder.kind));
    return Counted(inner_->Exec(sql, params, err));
  }
  std::unique_ptr<rt::SqlCursor> Query(const std::string& sql, const std::vector<rt::SqlValue>& params,
                                       const std::vector<rt::SqlValue::Kind>& kinds, rt::SqlError& err) override {
    Note(Inline(rt::Cp1252ToUtf8(sql), params, g_recorder.kind));
    auto cursor = inner_->Query(sql, params, kinds, err);
    Counted(cursor != nullptr);
    return cursor;
  }
  bool Columns(const std::string& schema, const std::string& table, std::vector<std::string>& names,
               rt::SqlError& err) override {
    Note(CatalogQuery(schema, table, g_recorder.kind));
    return inner_->Columns(schema, table, names, err);
  }
  bool TypeInfo(std::vector<rt::TypeInfoRow>& rows, rt::SqlError& err) override { return inner_->TypeInfo(rows, err); }
  rt::ServerInfo Info() override { return inner_->Info(); }
  bool Broken() override { return inner_->Broken(); }
  bool BeginTransaction(rt::SqlError& err) override { return inner_->BeginTransaction(err); }
  bool EndTransaction(bool commit, rt::SqlError& err) override { return inner_->EndTransaction(commit, err); }

 private:
  void Note(std::string statement) {
    if (g_recorder.target) (*g_recorder.target)[database_].push_back(std::move(statement));
  }
  static bool Counted(bool ok) {
    if (!ok) ++g_recorder.failures;
    return ok;
  }
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
    std::unique_ptr<rt::SqlSession> inner = rt::OdbcConnect(full, err);
    if (!inner) return nullptr;
    return std::make_unique<RecordingSession>(std::move(inner), p.database);
  };
}

// ---------------------------------------------------------------- clients

// Runs a program with stdin from a file (or /dev/null) and its output discarded
// (errors appended to errLog); its exit status.
int RunClient(const std::vector<std::string>& argv, const std::string& stdinFile, const std::string& errLog) {
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    int in = open(stdinFile.empty() ? "/dev/null" : stdinFile.c_str(), O_RDONLY);
    int out = open("/dev/null", O_WRONLY);
    int err = open(errLog.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> PsqlArgs(const Backend& b, const std::string& database) {
  return {"psql", "-X", "-q", "-h", b.server, "-p", b.port, "-U", b.login, "-d", database};
}

void ResetDatabases(const Backend& b, const std::string& errLog) {
  if (b.kind == Kind::SQLite) {
    fs::remove(b.dbData);
    fs::remove(b.dbServer);
    return;
  }
  for (const std::string& db : {b.dbData, b.dbServer}) {
    std::vector<std::string> args = PsqlArgs(b, db);
    for (const char* a : {"-v", "ON_ERROR_STOP=1", "-c", "DROP SCHEMA public CASCADE", "-c", "CREATE SCHEMA public"})
      args.push_back(a);
    if (RunClient(args, "", errLog) != 0) {
      std::cerr << "cannot reset " << db << " (see " << errLog << ")\n";
      std::exit(2);
    }
  }
}

// The script files of one pass, one per database.
std::map<std::string, std::string> WriteScripts(const Script& script, const fs::path& dir, const std::string& pass) {
  std::map<std::string, std::string> files;
  int n = 0;
  for (const auto& [db, statements] : script) {
    fs::path file = dir / (pass + "-" + std::to_string(n++) + ".sql");
    std::ofstream out(file, std::ios::binary);
    for (const std::string& s : statements) out << s << ";\n";
    files[db] = file.string();
  }
  return files;
}

void RunScripts(const Backend& b, const std::map<std::string, std::string>& files, const std::string& errLog) {
  for (const auto& [db, file] : files) {
    if (b.kind == Kind::SQLite) {
      RunClient({"sqlite3", db}, file, errLog);
    } else {
      std::vector<std::string> args = PsqlArgs(b, db);
      args.push_back("-f");
      args.push_back(file);
      RunClient(args, "", errLog);
    }
  }
}

// ---------------------------------------------------------------- program

// One press of the schema button with the entries typed in and "&Aceptar";
// false when the run did not end with "Proceso terminado." and no message.
bool RunCreation(const Backend& b) {
  testing_support::FakeWindowLayer ui;
  testing_support::TypeConnectionEntries(ui, {b.server, b.dbServer, b.dbData, b.login, b.password});
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

// The dictionary and the program's services of one run, as the program's
// thread sets them up, and their release.
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

double Millis(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double Timed(const std::function<void()>& f) {
  Clock::time_point start = Clock::now();
  f();
  return Millis(Clock::now() - start);
}

size_t Count(const Script& s) {
  size_t n = 0;
  for (const auto& [db, statements] : s) n += statements.size();
  return n;
}

struct Row {
  std::string backend, pass;
  size_t statements;
  double program, client;
};

void Bench(const Backend& b, int reps, const fs::path& dir, std::vector<Row>& rows) {
  const std::string errLog = (dir / (b.name + "-client-errors.log")).string();
  fs::remove(errLog);
  Script create, existing;
  std::vector<double> progCreate, progExisting, clientCreate, clientExisting;
  g_recorder = {};
  g_recorder.kind = b.kind;
  for (int rep = 0; rep < reps; ++rep) {
    ResetDatabases(b, errLog);
    ProgramScope scope(b);
    g_recorder.target = rep == 0 ? &create : nullptr;
    bool ok = true;
    progCreate.push_back(Timed([&] { ok = RunCreation(b); }));
    g_recorder.target = rep == 0 ? &existing : nullptr;
    progExisting.push_back(Timed([&] { ok = RunCreation(b) && ok; }));
    g_recorder.target = nullptr;
    if (!ok) {
      std::cerr << b.name << ": the creation did not end well\n";
      std::exit(1);
    }
  }
  const int programFailures = g_recorder.failures / reps;

  const auto createFiles = WriteScripts(create, dir, b.name + "-create");
  const auto existingFiles = WriteScripts(existing, dir, b.name + "-existing");
  for (int rep = 0; rep < reps; ++rep) {
    ResetDatabases(b, errLog);
    clientCreate.push_back(Timed([&] { RunScripts(b, createFiles, errLog); }));
    clientExisting.push_back(Timed([&] { RunScripts(b, existingFiles, errLog); }));
  }
  size_t clientErrors = 0;
  {
    std::ifstream in(errLog);
    std::string line;
    while (std::getline(in, line))
      if (line.find("rror") != std::string::npos) ++clientErrors;
  }
  std::cout << b.name << ": " << Count(create) << " + " << Count(existing) << " statements, refused by the server "
            << programFailures << " per run (program), " << clientErrors / reps << " per run (client); scripts in "
            << dir.string() << "\n";
  rows.push_back({b.name, "creation on empty databases", Count(create), Median(progCreate), Median(clientCreate)});
  rows.push_back({b.name, "pass over the existing schema", Count(existing), Median(progExisting),
                  Median(clientExisting)});
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
    ::setenv("PGPASSWORD", password, 1);  // for psql
  } else {
    std::cout << "PostgreSQL skipped: ORTAVIA_PG_PORT, ORTAVIA_PG_USER, ORTAVIA_PG_PASSWORD not set\n";
  }

  std::vector<Row> rows;
  for (const Backend& b : backends) Bench(b, reps, dir, rows);
  // The scripts stay for a look; the database files go.
  fs::remove(backends[0].dbData);
  fs::remove(backends[0].dbServer);

  std::printf("\nmedian of %d repetitions, milliseconds (client: sqlite3 / psql with one script per database)\n",
              reps);
  std::printf("%-11s %-30s %10s %12s %12s %8s\n", "backend", "pass", "statements", "program", "client", "ratio");
  for (const Row& r : rows)
    std::printf("%-11s %-30s %10zu %12.1f %12.1f %8.2f\n", r.backend.c_str(), r.pass.c_str(), r.statements,
                r.program, r.client, r.client > 0 ? r.program / r.client : 0.0);
  return 0;
}
