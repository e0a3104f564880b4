// An ODBC driver that stands in for SQL Server in the tests. It keeps its data
// in the SQLite file that the connection's Database attribute names and hands
// the work to the SQLite ODBC driver, loaded beside it; the handles the driver
// manager holds are that driver's own. What the program relies on and SQL
// Server does differently is answered here: its type list, its information
// items, SP_RENAME, index names scoped by table ("DROP INDEX table.index"),
// its SQLSTATEs (those of the refusals the program acts on from
// server_answers.h) and bracketed messages, the multiple-active-result-sets
// attribute. A test may ask for the ways other servers differ (the modes below).
#include <dlfcn.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "support/server_answers.h"
#include "support/sqlserver_answers.h"

namespace {

constexpr SQLINTEGER kCoptMarsEnabled = 1224;
constexpr const char* kTags = "[Stand-in][SQL Server]";

// ---- the SQLite ODBC driver ----------------------------------------------

void* SqliteDriver() {
  static void* handle = dlopen(STANDIN_SQLITE_DRIVER, RTLD_NOW | RTLD_LOCAL);
  return handle;
}

template <class F>
F Real(const char* name) {
  void* h = SqliteDriver();
  return h ? reinterpret_cast<F>(dlsym(h, name)) : nullptr;
}

#define REAL(name) (*[] { static auto f = Real<decltype(&::name)>(#name); return f; }())

// ---- the server's modes ---------------------------------------------------

// Ways a server may differ from the plain stand-in, asked for by a test in the
// environment variable ORTAVIA_STANDIN_MODES, words separated by commas (see
// support/standin_modes.h): "refuse-commit" refuses the next commit, once (the
// word is taken out when it is used); "refusal-ends-transaction" ends the
// transaction at a statement it refuses and refuses every later one until the
// rollback; "dml-transactions" answers SQL_TC_DML to SQL_TXN_CAPABLE (no DDL in
// a transaction); "warning-first" puts a class-01 warning ahead of each error.
constexpr const char* kModes = "ORTAVIA_STANDIN_MODES";

std::vector<std::string> ModeWords() {
  std::vector<std::string> words;
  const char* v = std::getenv(kModes);
  std::string text = v ? v : "";
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    if (comma > start) words.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  return words;
}

bool Mode(const std::string& word) {
  const std::vector<std::string> words = ModeWords();
  return std::find(words.begin(), words.end(), word) != words.end();
}

// Whether the mode is asked for; it is then no longer.
bool TakeMode(const std::string& word) {
  std::vector<std::string> words = ModeWords();
  auto it = std::find(words.begin(), words.end(), word);
  if (it == words.end()) return false;
  words.erase(it);
  std::string rest;
  for (const std::string& w : words) rest += (rest.empty() ? "" : ",") + w;
  ::setenv(kModes, rest.c_str(), 1);
  return true;
}

// The name the server gives itself where it ends its transaction at a refusal.
constexpr const char* kEndingDbmsName = "SQL Server (XACT_ABORT ON)";

// ---- handles and their own diagnostics -----------------------------------

struct Diag {
  std::string state2, state3;  // as an ODBC 2 and an ODBC 3 caller gets it
  SQLINTEGER native = 0;
  std::string message;
  bool warningFirst = false;   // a class-01 warning comes as record 1, this as record 2
};

// The warning a server puts ahead of an error in "warning-first".
const Diag& LeadingWarning() {
  static const Diag warning{"01000", "01000", 5701, std::string("[Stand-in][SQL Server]") +
                                                        "Changed database context to 'master'.", false};
  return warning;
}

// The diagnostic records of an answer, in their order.
std::vector<Diag> RecordsOf(const Diag& d) {
  if (!d.warningFirst) return {d};
  return {LeadingWarning(), d};
}

struct Registry {
  std::mutex m;
  std::map<SQLHANDLE, SQLHANDLE> parent;  // dbc -> env, stmt -> dbc
  std::map<SQLHANDLE, SQLINTEGER> version; // env -> ODBC version asked for
  std::map<SQLHANDLE, Diag> diags;         // the answer of the last call, when ours
  std::map<SQLHANDLE, std::string> prepared;  // stmt -> text of its SQLPrepare
  std::map<SQLHANDLE, bool> manual;           // dbc -> autocommit is off
  std::map<SQLHANDLE, bool> aborted;          // dbc -> its transaction ended at a refusal
};

Registry& Reg() {
  static Registry r;
  return r;
}

void Forget(SQLHANDLE h) {
  Registry& r = Reg();
  std::lock_guard<std::mutex> lock(r.m);
  r.diags.erase(h);
}

bool Odbc3(SQLHANDLE h) {
  Registry& r = Reg();
  std::lock_guard<std::mutex> lock(r.m);
  for (int i = 0; i < 3; ++i) {
    auto v = r.version.find(h);
    if (v != r.version.end()) return v->second != SQL_OV_ODBC2;
    auto p = r.parent.find(h);
    if (p == r.parent.end()) break;
    h = p->second;
  }
  return true;
}

SQLHANDLE ParentOf(SQLHANDLE h) {
  Registry& r = Reg();
  std::lock_guard<std::mutex> lock(r.m);
  auto p = r.parent.find(h);
  return p == r.parent.end() ? SQL_NULL_HANDLE : p->second;
}

std::string StateFor(SQLHANDLE h, const Diag& d) { return Odbc3(h) ? d.state3 : d.state2; }

SQLRETURN Keep(SQLHANDLE h, Diag d, SQLRETURN rc) {
  if (rc == SQL_ERROR && Mode("warning-first")) d.warningFirst = true;
  Registry& r = Reg();
  std::lock_guard<std::mutex> lock(r.m);
  r.diags[h] = std::move(d);
  return rc;
}

// An answer of the stand-in's own, its ODBC 2 state derived from the ODBC 3 one.
SQLRETURN Answer(SQLHANDLE h, const std::string& state3, SQLINTEGER native, const std::string& message,
                 SQLRETURN rc = SQL_ERROR) {
  static const std::map<std::string, std::string> odbc2 = {
      {"42S02", "S0002"}, {"42S22", "S0022"}, {"42000", "37000"}, {"HY000", "S1000"}, {"HYC00", "S1C00"}};
  auto it = odbc2.find(state3);
  return Keep(h, {it == odbc2.end() ? state3 : it->second, state3, native, kTags + message}, rc);
}

// SQL Server's answer to a refusal the program acts on, as the servers' answers give it.
SQLRETURN Answer(SQLHANDLE h, rt::Refusal refusal, const std::string& message) {
  const testsupport::ServerAnswer& a = testsupport::AnswerOf(sqlserver::Info().dbmsName, refusal);
  return Keep(h, {std::string(a.state2), std::string(a.state3), a.native, kTags + message}, SQL_ERROR);
}

std::optional<Diag> OwnDiag(SQLHANDLE h) {
  Registry& r = Reg();
  std::lock_guard<std::mutex> lock(r.m);
  auto it = r.diags.find(h);
  if (it == r.diags.end()) return std::nullopt;
  return it->second;
}

SQLRETURN PutText(const std::string& text, SQLPOINTER out, SQLINTEGER size, SQLINTEGER* length) {
  if (length) *length = static_cast<SQLINTEGER>(text.size());
  if (!out || size <= 0) return text.empty() ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
  size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
  std::memcpy(out, text.data(), n);
  static_cast<char*>(out)[n] = '\0';
  return n < text.size() ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

// ---- statement text --------------------------------------------------------

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string Text(SQLCHAR* text, SQLINTEGER length) {
  if (!text) return {};
  return length == SQL_NTS ? std::string(reinterpret_cast<char*>(text))
                           : std::string(reinterpret_cast<char*>(text), static_cast<size_t>(length));
}

// A name as written, without its quotes or brackets.
std::string Bare(std::string name) {
  if (name.size() >= 2 && ((name.front() == '"' && name.back() == '"') ||
                           (name.front() == '[' && name.back() == ']') ||
                           (name.front() == '\'' && name.back() == '\'')))
    name = name.substr(1, name.size() - 2);
  return name;
}

// SQL text as a literal.
std::string Literal(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

std::string Quoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

// The words of a statement up to the first parenthesis; quoted names stay whole.
std::vector<std::string> Words(const std::string& sql, size_t* stop = nullptr) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < sql.size()) {
    while (i < sql.size() && std::isspace(static_cast<unsigned char>(sql[i]))) ++i;
    if (i >= sql.size() || sql[i] == '(') break;
    size_t start = i;
    while (i < sql.size() && !std::isspace(static_cast<unsigned char>(sql[i])) && sql[i] != '(') {
      char close = sql[i] == '"' ? '"' : sql[i] == '[' ? ']' : 0;
      if (close) {
        size_t end = sql.find(close, i + 1);
        i = end == std::string::npos ? sql.size() : end + 1;
      } else {
        ++i;
      }
    }
    words.push_back(sql.substr(start, i - start));
  }
  if (stop) *stop = i;
  return words;
}

// "table.index" into its parts; an index name alone gives an empty table.
std::pair<std::string, std::string> SplitIndex(const std::string& word) {
  size_t dot = std::string::npos;
  char quote = 0;
  for (size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '[') {
      quote = c == '[' ? ']' : '"';
    } else if (c == '.') {
      dot = i;
    }
  }
  if (dot == std::string::npos) return {"", Bare(word)};
  return {Bare(word.substr(0, dot)), Bare(word.substr(dot + 1))};
}

// The SQLite name of a table's index: SQL Server scopes index names by table.
std::string IndexName(const std::string& table, const std::string& index) { return table + "." + index; }

// ---- work on the SQLite connection ----------------------------------------

struct SqliteError {
  std::string message;
};

// Runs a statement on its own handle of the connection; rows of the first column come back.
bool Run(SQLHDBC dbc, const std::string& sql, std::vector<std::string>* rows = nullptr,
         SqliteError* err = nullptr) {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  if (!SQL_SUCCEEDED(REAL(SQLAllocHandle)(SQL_HANDLE_STMT, dbc, &stmt))) return false;
  SQLRETURN rc = REAL(SQLExecDirect)(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
  bool ok = SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA;
  if (!ok && err) {
    SQLCHAR state[6] = {}, msg[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    REAL(SQLGetDiagRec)(SQL_HANDLE_STMT, stmt, 1, state, &native, msg, sizeof msg, &len);
    err->message = reinterpret_cast<char*>(msg);
  }
  while (ok && rows && SQL_SUCCEEDED(REAL(SQLFetch)(stmt))) {
    char buf[1024] = {};
    SQLLEN ind = 0;
    REAL(SQLGetData)(stmt, 1, SQL_C_CHAR, buf, sizeof buf, &ind);
    rows->push_back(ind == SQL_NULL_DATA ? std::string() : std::string(buf));
  }
  REAL(SQLFreeHandle)(SQL_HANDLE_STMT, stmt);
  return ok;
}

// The stored name of a table, found without regard to letter case.
std::optional<std::string> TableNamed(SQLHDBC dbc, const std::string& name) {
  std::vector<std::string> rows;
  Run(dbc, "SELECT name FROM sqlite_master WHERE type IN ('table','view') AND name = " + Literal(name) +
               " COLLATE NOCASE", &rows);
  if (rows.empty()) return std::nullopt;
  return rows.front();
}

// SP_RENAME old,new: the table and the names of its indexes.
SQLRETURN Rename(SQLHSTMT stmt, const std::string& args) {
  SQLHDBC dbc = ParentOf(stmt);
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    size_t comma = args.find(',', start);
    std::string part = args.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    part.erase(0, part.find_first_not_of(" \t"));
    part.erase(part.find_last_not_of(" \t;") + 1);
    if (part.size() > 1 && (part[0] == 'N' || part[0] == 'n') && part[1] == '\'') part.erase(0, 1);
    parts.push_back(Bare(part));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (parts.size() < 2 || parts[0].empty() || parts[1].empty())
    return Answer(stmt, "42000", 201, "Procedure or function 'sp_rename' expects parameter '@newname', which was not supplied.");
  const std::string& from = parts[0];
  const std::string& to = parts[1];
  std::optional<std::string> old = TableNamed(dbc, from);
  if (!old)
    return Answer(stmt, "42000", 15248,
                  "Either the parameter @objname is ambiguous or the claimed @objtype ((null)) is wrong.");
  std::vector<std::string> taken;
  Run(dbc, "SELECT name FROM sqlite_master WHERE name = " + Literal(to) + " COLLATE NOCASE", &taken);
  if (!taken.empty())
    return Answer(stmt, "42000", 15335,
                  "Error: The new name '" + to + "' is already in use as a object name and would cause a "
                  "duplicate that is not permitted.");
  SqliteError err;
  std::vector<std::string> indexes, sqls;
  Run(dbc, "SELECT name FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL AND tbl_name = " +
               Literal(*old) + " ORDER BY name", &indexes);
  bool ok = Run(dbc, "SAVEPOINT standin_rename") &&
            Run(dbc, "ALTER TABLE " + Quoted(*old) + " RENAME TO " + Quoted(to), nullptr, &err);
  for (size_t i = 0; ok && i < indexes.size(); ++i) {
    const std::string& name = indexes[i];
    std::string index = Upper(name).rfind(Upper(*old) + ".", 0) == 0 ? name.substr(old->size() + 1) : name;
    std::vector<std::string> sql;
    Run(dbc, "SELECT sql FROM sqlite_master WHERE type = 'index' AND name = " + Literal(name), &sql);
    size_t on = sql.empty() ? std::string::npos : Upper(sql[0]).find(" ON ");
    if (on == std::string::npos) continue;
    bool unique = Upper(sql[0]).rfind("CREATE UNIQUE", 0) == 0;
    ok = Run(dbc, "DROP INDEX " + Quoted(name), nullptr, &err) &&
         Run(dbc, std::string(unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") + Quoted(IndexName(to, index)) +
                      sql[0].substr(on), nullptr, &err);
  }
  if (!ok) {
    Run(dbc, "ROLLBACK TO standin_rename");
    Run(dbc, "RELEASE standin_rename");
    return Answer(stmt, "HY000", 0, err.message);
  }
  Run(dbc, "RELEASE standin_rename");
  return Answer(stmt, "01000", 15477,
                "Caution: Changing any part of an object name could break scripts and stored procedures.",
                SQL_SUCCESS_WITH_INFO);
}

// A statement in the form SQLite takes: index names scoped by their table.
// Empty with an answer set when SQL Server refuses the statement itself.
std::optional<std::string> Translate(SQLHSTMT stmt, const std::string& sql, SQLRETURN& refused) {
  size_t stop = 0;
  std::vector<std::string> w = Words(sql, &stop);
  auto word = [&](size_t i) { return i < w.size() ? Upper(w[i]) : std::string(); };
  if (word(0) == "CREATE") {
    size_t i = 1;
    std::string unique;
    if (word(i) == "UNIQUE") { unique = "UNIQUE "; ++i; }
    if (word(i) == "CLUSTERED" || word(i) == "NONCLUSTERED") ++i;
    if (word(i) == "INDEX" && word(i + 2) == "ON" && i + 3 < w.size()) {
      std::string table = Bare(w[i + 3]);
      return "CREATE " + unique + "INDEX " + Quoted(IndexName(table, Bare(w[i + 1]))) + " ON " + Quoted(table) +
             " " + sql.substr(stop);
    }
  }
  if (word(0) == "DROP" && word(1) == "INDEX" && w.size() >= 3) {
    std::string table, index;
    if (word(3) == "ON" && w.size() >= 5) {
      table = Bare(w[4]);
      index = Bare(w[2]);
    } else {
      std::tie(table, index) = SplitIndex(w[2]);
    }
    if (table.empty()) {
      refused = Answer(stmt, "42000", 159, "Must specify the table name and index name for the DROP INDEX statement.");
      return std::nullopt;
    }
    return "DROP INDEX " + Quoted(IndexName(table, index));
  }
  return sql;
}

// SQLite's refusal of a statement said as SQL Server says it; false where SQLite's own is told.
bool SayAsSqlServer(SQLHSTMT stmt, const std::string& sql) {
  SQLCHAR state[6] = {}, buf[1024] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  if (!SQL_SUCCEEDED(REAL(SQLGetDiagRec)(SQL_HANDLE_STMT, stmt, 1, state, &native, buf, sizeof buf, &len)))
    return false;
  std::string msg = reinterpret_cast<char*>(buf);
  std::vector<std::string> w = Words(sql);
  auto word = [&](size_t i) { return i < w.size() ? Upper(w[i]) : std::string(); };
  // The name after a marker in SQLite's message, up to a blank or parenthesis.
  auto after = [&](const std::string& marker) {
    size_t p = msg.find(marker);
    if (p == std::string::npos) return std::string();
    p += marker.size();
    size_t end = msg.find_first_of(" (", p);
    std::string name = msg.substr(p, end == std::string::npos ? std::string::npos : end - p);
    if (name.rfind("main.", 0) == 0) name = name.substr(5);
    return name;
  };
  if (msg.find("already exists") != std::string::npos) {
    if (word(0) == "CREATE" && word(1) == "TABLE") {
      Answer(stmt, rt::Refusal::TableExists, "There is already an object named '" + Bare(w[2]) + "' in the database.");
      return true;
    }
    auto at = std::find_if(w.begin(), w.end(), [](const std::string& s) { return Upper(s) == "INDEX"; });
    if (word(0) == "CREATE" && at != w.end()) {
      std::string index = at + 1 < w.end() ? Bare(*(at + 1)) : std::string();
      std::string table = at + 3 < w.end() ? Bare(*(at + 3)) : std::string();
      Answer(stmt, rt::Refusal::IndexExists, "The operation failed because an index or statistics with name '" + index +
                                      "' already exists on table 'dbo." + table + "'.");
      return true;
    }
  }
  if (msg.find("no such table") != std::string::npos) {
    std::string name = after("no such table: ");
    if (word(0) == "DROP" && word(1) == "TABLE")
      Answer(stmt, "42S02", 3701,
             "Cannot drop the table '" + Bare(w[2]) + "', because it does not exist or you do not have permission.");
    else if (word(0) == "CREATE")
      Answer(stmt, "42S02", 1088,
             "Cannot find the object \"" + name + "\" because it does not exist or you do not have permissions.");
    else
      Answer(stmt, rt::Refusal::TableMissing, "Invalid object name '" + name + "'.");
    return true;
  }
  if (msg.find("no such index") != std::string::npos) {
    Answer(stmt, "42S02", 3701,
           "Cannot drop the index '" + (w.size() > 2 ? w[2] : std::string()) +
               "', because it does not exist or you do not have permission.");
    return true;
  }
  if (msg.find("UNIQUE constraint failed") != std::string::npos) {
    std::string column = after("constraint failed: ");
    std::string table = column.substr(0, column.find('.'));
    Answer(stmt, rt::Refusal::DuplicateKey,
           "Violation of PRIMARY KEY constraint 'PK_" + table + "'. Cannot insert duplicate key in object 'dbo." +
               table + "'.");
    return true;
  }
  if (msg.find("NOT NULL constraint failed") != std::string::npos) {
    std::string column = after("constraint failed: ");
    size_t dot = column.find('.');
    Answer(stmt, "23000", 515,
           "Cannot insert the value NULL into column '" + column.substr(dot + 1) + "', table 'dbo." +
               column.substr(0, dot) + "'; column does not allow nulls. INSERT fails.");
    return true;
  }
  if (msg.find("no such column") != std::string::npos) {
    Answer(stmt, "42S22", 207, "Invalid column name '" + after("no such column: ") + "'.");
    return true;
  }
  // Any other refusal is SQLite's own, told as it came: the record, once
  // read, is the SQLite driver's no more.
  const std::string read = reinterpret_cast<char*>(state);
  Keep(stmt, {read, read, native, msg}, SQL_ERROR);
  return false;
}

std::string TypeInfoQuery(SQLSMALLINT wanted, bool odbc3) {
  std::string rows;
  int order = 0;
  for (const sqlserver::TypeRow& r : sqlserver::TypeRows()) {
    int code = odbc3 && r.dataType == SQL_TIMESTAMP ? SQL_TYPE_TIMESTAMP : r.dataType;
    if (wanted != SQL_ALL_TYPES && wanted != code && wanted != r.dataType) continue;
    std::string name = r.name;
    bool identity = name.find("identity") != std::string::npos;
    bool money = name.find("money") != std::string::npos;
    auto text = [](const char* s) { return s ? Literal(s) : std::string("NULL"); };
    rows += std::string(rows.empty() ? "" : " UNION ALL ") + "SELECT " + std::to_string(++order) + " AS o, " +
            Literal(name) + " AS TYPE_NAME, " + std::to_string(code) + " AS DATA_TYPE, " +
            std::to_string(r.columnSize) + " AS COLUMN_SIZE, " + text(r.literalPrefix) + " AS LITERAL_PREFIX, " +
            text(r.literalSuffix) + " AS LITERAL_SUFFIX, " + text(r.createParams) + " AS CREATE_PARAMS, " +
            (identity ? "0" : "1") + " AS NULLABLE, " + (money ? "1" : "0") + " AS FIXED_PREC_SCALE, " +
            (identity ? "1" : "0") + " AS AUTO_UNIQUE_VALUE";
  }
  if (rows.empty())
    rows = "SELECT 0 AS o, NULL AS TYPE_NAME, NULL AS DATA_TYPE, NULL AS COLUMN_SIZE, NULL AS LITERAL_PREFIX, "
           "NULL AS LITERAL_SUFFIX, NULL AS CREATE_PARAMS, NULL AS NULLABLE, NULL AS FIXED_PREC_SCALE, "
           "NULL AS AUTO_UNIQUE_VALUE WHERE 0";
  return "SELECT TYPE_NAME, DATA_TYPE, COLUMN_SIZE, LITERAL_PREFIX, LITERAL_SUFFIX, CREATE_PARAMS, NULLABLE, "
         "0 AS CASE_SENSITIVE, 3 AS SEARCHABLE, NULL AS UNSIGNED_ATTRIBUTE, FIXED_PREC_SCALE, AUTO_UNIQUE_VALUE, "
         "TYPE_NAME AS LOCAL_TYPE_NAME, NULL AS MINIMUM_SCALE, NULL AS MAXIMUM_SCALE, DATA_TYPE AS SQL_DATA_TYPE, "
         "NULL AS SQL_DATETIME_SUB, NULL AS NUM_PREC_RADIX, NULL AS INTERVAL_PRECISION FROM (" +
         rows + ") ORDER BY o";
}

// The value of one attribute of a connection string (braces removed); empty when absent.
std::optional<std::string> Attribute(const std::string& cs, const std::string& key) {
  size_t pos = 0;
  while (pos < cs.size()) {
    size_t eq = cs.find('=', pos);
    if (eq == std::string::npos) break;
    std::string name = cs.substr(pos, eq - pos);
    name.erase(0, name.find_first_not_of(" ;"));
    name.erase(name.find_last_not_of(' ') + 1);
    std::string value;
    size_t end = eq + 1;
    if (end < cs.size() && cs[end] == '{') {
      ++end;
      while (end < cs.size()) {
        if (cs[end] == '}') {
          if (end + 1 < cs.size() && cs[end + 1] == '}') { value += '}'; end += 2; continue; }
          ++end;
          break;
        }
        value += cs[end++];
      }
      while (end < cs.size() && cs[end] != ';') ++end;
    } else {
      size_t semi = cs.find(';', end);
      value = cs.substr(end, semi == std::string::npos ? std::string::npos : semi - end);
      end = semi == std::string::npos ? cs.size() : semi;
    }
    if (Upper(name) == Upper(key)) return value;
    pos = end + 1;
  }
  return std::nullopt;
}

// The arguments of "[EXEC[UTE]] SP_RENAME old,new"; nothing for another statement.
std::optional<std::string> RenameArguments(const std::string& sql) {
  std::vector<std::string> w = Words(sql);
  std::string first = w.empty() ? std::string() : Upper(w[0]);
  if ((first == "EXEC" || first == "EXECUTE") && w.size() > 1) first = Upper(w[1]);
  if (first.rfind("SP_RENAME", 0) != 0) return std::nullopt;
  return sql.substr(Upper(sql).find("SP_RENAME") + 9);
}

SQLRETURN Execute(SQLHSTMT stmt, const std::string& sql) {
  if (std::optional<std::string> args = RenameArguments(sql)) return Rename(stmt, *args);
  SQLRETURN refused = SQL_ERROR;
  std::optional<std::string> text = Translate(stmt, sql, refused);
  if (!text) return refused;
  SQLRETURN rc = REAL(SQLExecDirect)(stmt, reinterpret_cast<SQLCHAR*>(text->data()), SQL_NTS);
  if (rc == SQL_ERROR) SayAsSqlServer(stmt, sql);
  return rc;
}

// In "refusal-ends-transaction", a statement on a connection whose transaction
// a refusal ended is refused (the answer set) until the rollback.
bool RefusedInAbortedTransaction(SQLHSTMT stmt) {
  if (!Mode("refusal-ends-transaction")) return false;
  const SQLHDBC dbc = ParentOf(stmt);
  {
    Registry& r = Reg();
    std::lock_guard<std::mutex> lock(r.m);
    if (!r.aborted[dbc]) return false;
  }
  Answer(stmt, "25000", 3930,
         "The current transaction cannot be committed and cannot support operations that write to the log file. "
         "Roll back the transaction.");
  return true;
}

// A statement's answer; in "refusal-ends-transaction" a refusal inside a
// transaction ends it: what it held is rolled back.
SQLRETURN NoteRefusal(SQLHSTMT stmt, SQLRETURN rc) {
  if (rc != SQL_ERROR || !Mode("refusal-ends-transaction")) return rc;
  const SQLHDBC dbc = ParentOf(stmt);
  {
    Registry& r = Reg();
    std::lock_guard<std::mutex> lock(r.m);
    if (!r.manual[dbc]) return rc;
    r.aborted[dbc] = true;
  }
  REAL(SQLEndTran)(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
  return rc;
}

// The end of a transaction, answered here or left to SQLite (nothing): a
// commit refused once in "refuse-commit", the transaction left as it was;
// after a refusal that ended it, a commit finds none (what it held is gone).
std::optional<SQLRETURN> EndTransaction(SQLHDBC dbc, SQLSMALLINT completion) {
  Forget(dbc);
  bool aborted = false;
  {
    Registry& r = Reg();
    std::lock_guard<std::mutex> lock(r.m);
    aborted = r.aborted[dbc];
    r.aborted[dbc] = false;
  }
  if (completion == SQL_COMMIT && aborted)
    return Answer(dbc, "25000", 3902, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
  if (completion == SQL_COMMIT && TakeMode("refuse-commit"))
    return Answer(dbc, "HY000", 9002, "The transaction log for database 'data' is full.");
  return std::nullopt;
}

}  // namespace

// ---- entry points the driver manager calls ---------------------------------

extern "C" {

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  if (!SqliteDriver()) return SQL_ERROR;  // nothing to work through
  Forget(input);
  SQLRETURN rc = REAL(SQLAllocHandle)(type, input, output);
  if (SQL_SUCCEEDED(rc) && output && (type == SQL_HANDLE_DBC || type == SQL_HANDLE_STMT)) {
    Registry& r = Reg();
    std::lock_guard<std::mutex> lock(r.m);
    r.parent[*output] = input;
  }
  return rc;
}

SQLRETURN SQL_API SQLAllocEnv(SQLHENV* env) { return SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, env); }
SQLRETURN SQL_API SQLAllocConnect(SQLHENV env, SQLHDBC* dbc) { return SQLAllocHandle(SQL_HANDLE_DBC, env, dbc); }
SQLRETURN SQL_API SQLAllocStmt(SQLHDBC dbc, SQLHSTMT* stmt) { return SQLAllocHandle(SQL_HANDLE_STMT, dbc, stmt); }

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
  {
    Registry& r = Reg();
    std::lock_guard<std::mutex> lock(r.m);
    r.parent.erase(handle);
    r.version.erase(handle);
    r.diags.erase(handle);
    r.prepared.erase(handle);
  }
  return REAL(SQLFreeHandle)(type, handle);
}

SQLRETURN SQL_API SQLFreeEnv(SQLHENV env) { return SQLFreeHandle(SQL_HANDLE_ENV, env); }
SQLRETURN SQL_API SQLFreeConnect(SQLHDBC dbc) { return SQLFreeHandle(SQL_HANDLE_DBC, dbc); }
SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT stmt, SQLUSMALLINT option) {
  if (option == SQL_DROP) return SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  Forget(stmt);
  return REAL(SQLFreeStmt)(stmt, option);
}

SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV env, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER length) {
  Forget(env);
  if (attr == SQL_ATTR_ODBC_VERSION) {
    Registry& r = Reg();
    std::lock_guard<std::mutex> lock(r.m);
    r.version[env] = static_cast<SQLINTEGER>(reinterpret_cast<intptr_t>(value));
  }
  return REAL(SQLSetEnvAttr)(env, attr, value, length);
}

SQLRETURN SQL_API SQLDriverConnect(SQLHDBC dbc, SQLHWND window, SQLCHAR* in, SQLSMALLINT inLength, SQLCHAR* out,
                                   SQLSMALLINT outSize, SQLSMALLINT* outLength, SQLUSMALLINT completion) {
  Forget(dbc);
  std::string cs = Text(in, inLength);
  std::optional<std::string> database = Attribute(cs, "Database");
  if (!database || database->empty())
    return Answer(dbc, "08001", 4060, "Cannot open a database: the connection names none (Database=).");
  if (database->find(';') != std::string::npos)
    return Answer(dbc, "08001", 4060, "Cannot open database \"" + *database + "\" requested by the login.");
  std::string sqlite = "Database=" + *database + ";Timeout=10000";
  (void)window;
  (void)completion;
  return REAL(SQLDriverConnect)(dbc, nullptr, reinterpret_cast<SQLCHAR*>(sqlite.data()), SQL_NTS, out, outSize,
                                outLength, SQL_DRIVER_NOPROMPT);
}

SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC dbc, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER length) {
  Forget(dbc);
  if (attr == kCoptMarsEnabled) return SQL_SUCCESS;
  SQLRETURN rc = REAL(SQLSetConnectAttr)(dbc, attr, value, length);
  if (attr == SQL_ATTR_AUTOCOMMIT && SQL_SUCCEEDED(rc)) {
    Registry& r = Reg();
    std::lock_guard<std::mutex> lock(r.m);
    r.manual[dbc] = reinterpret_cast<SQLULEN>(value) == SQL_AUTOCOMMIT_OFF;
    if (!r.manual[dbc]) r.aborted[dbc] = false;
  }
  return rc;
}

SQLRETURN SQL_API SQLGetInfo(SQLHDBC dbc, SQLUSMALLINT item, SQLPOINTER value, SQLSMALLINT size,
                             SQLSMALLINT* length) {
  Forget(dbc);
  const sqlserver::Information& info = sqlserver::Info();
  std::optional<std::string> text;
  std::optional<SQLUSMALLINT> number;
  switch (item) {
    case SQL_DBMS_NAME: text = Mode("refusal-ends-transaction") ? kEndingDbmsName : info.dbmsName; break;
    case SQL_DBMS_VER: text = info.dbmsVersion; break;
    case SQL_IDENTIFIER_QUOTE_CHAR: text = info.identifierQuote; break;
    case SQL_KEYWORDS: text = info.keywords; break;
    case SQL_SEARCH_PATTERN_ESCAPE: text = info.searchPatternEscape; break;
    case SQL_IDENTIFIER_CASE: number = static_cast<SQLUSMALLINT>(info.identifierCase); break;
    case SQL_QUOTED_IDENTIFIER_CASE: number = static_cast<SQLUSMALLINT>(info.quotedIdentifierCase); break;
    case SQL_NON_NULLABLE_COLUMNS: number = static_cast<SQLUSMALLINT>(info.nonNullableColumns); break;
    case SQL_TXN_CAPABLE:
      number = static_cast<SQLUSMALLINT>(Mode("dml-transactions") ? SQL_TC_DML : info.txnCapable);
      break;
    default: return REAL(SQLGetInfo)(dbc, item, value, size, length);
  }
  if (number) {
    if (value) *static_cast<SQLUSMALLINT*>(value) = *number;
    if (length) *length = sizeof(SQLUSMALLINT);
    return SQL_SUCCESS;
  }
  SQLINTEGER full = 0;
  SQLRETURN rc = PutText(*text, value, size, &full);
  if (length) *length = static_cast<SQLSMALLINT>(full);
  return rc;
}

SQLRETURN SQL_API SQLGetTypeInfo(SQLHSTMT stmt, SQLSMALLINT type) {
  Forget(stmt);
  std::string sql = TypeInfoQuery(type, Odbc3(stmt));
  return REAL(SQLExecDirect)(stmt, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS);
}

SQLRETURN SQL_API SQLExecDirect(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length) {
  Forget(stmt);
  if (RefusedInAbortedTransaction(stmt)) return SQL_ERROR;
  return NoteRefusal(stmt, Execute(stmt, Text(text, length)));
}

SQLRETURN SQL_API SQLPrepare(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length) {
  Forget(stmt);
  std::string sql = Text(text, length);
  {
    Registry& r = Reg();
    std::lock_guard<std::mutex> lock(r.m);
    r.prepared[stmt] = sql;
  }
  if (RenameArguments(sql)) return SQL_SUCCESS;  // run at SQLExecute
  SQLRETURN refused = SQL_ERROR;
  std::optional<std::string> translated = Translate(stmt, sql, refused);
  if (!translated) return refused;
  SQLRETURN rc = REAL(SQLPrepare)(stmt, reinterpret_cast<SQLCHAR*>(translated->data()), SQL_NTS);
  if (rc == SQL_ERROR) SayAsSqlServer(stmt, sql);
  return rc;
}

SQLRETURN SQL_API SQLExecute(SQLHSTMT stmt) {
  Forget(stmt);
  if (RefusedInAbortedTransaction(stmt)) return SQL_ERROR;
  std::string sql;
  {
    Registry& r = Reg();
    std::lock_guard<std::mutex> lock(r.m);
    sql = r.prepared[stmt];
  }
  if (std::optional<std::string> args = RenameArguments(sql)) return NoteRefusal(stmt, Rename(stmt, *args));
  SQLRETURN rc = REAL(SQLExecute)(stmt);
  if (rc == SQL_ERROR) SayAsSqlServer(stmt, sql);
  return NoteRefusal(stmt, rc);
}

SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion) {
  if (type == SQL_HANDLE_DBC)
    if (std::optional<SQLRETURN> answered = EndTransaction(handle, completion)) return *answered;
  return REAL(SQLEndTran)(type, handle, completion);
}

SQLRETURN SQL_API SQLTransact(SQLHENV env, SQLHDBC dbc, SQLUSMALLINT completion) {
  if (dbc != SQL_NULL_HDBC)
    if (std::optional<SQLRETURN> answered = EndTransaction(dbc, static_cast<SQLSMALLINT>(completion))) return *answered;
  return REAL(SQLTransact)(env, dbc, completion);
}

SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLCHAR* state,
                                SQLINTEGER* native, SQLCHAR* message, SQLSMALLINT size, SQLSMALLINT* length) {
  std::optional<Diag> own = OwnDiag(handle);
  if (!own) return REAL(SQLGetDiagRec)(type, handle, record, state, native, message, size, length);
  const std::vector<Diag> records = RecordsOf(*own);
  if (record < 1 || static_cast<size_t>(record) > records.size()) return SQL_NO_DATA;
  const Diag* d = &records[static_cast<size_t>(record) - 1];
  if (state) std::memcpy(state, StateFor(handle, *d).c_str(), 6);
  if (native) *native = d->native;
  SQLINTEGER full = 0;
  SQLRETURN rc = PutText(d->message, message, size, &full);
  if (length) *length = static_cast<SQLSMALLINT>(full);
  return rc;
}

SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLSMALLINT field,
                                  SQLPOINTER value, SQLSMALLINT size, SQLSMALLINT* length) {
  std::optional<Diag> own = OwnDiag(handle);
  if (!own) return REAL(SQLGetDiagField)(type, handle, record, field, value, size, length);
  const std::vector<Diag> records = RecordsOf(*own);
  const Diag* d = &records.back();
  auto number = [&](SQLINTEGER v) {
    if (value) *static_cast<SQLINTEGER*>(value) = v;
    return SQL_SUCCESS;
  };
  auto text = [&](const std::string& s) {
    SQLINTEGER full = 0;
    SQLRETURN rc = PutText(s, value, size, &full);
    if (length) *length = static_cast<SQLSMALLINT>(full);
    return rc;
  };
  if (record == 0) {
    if (field == SQL_DIAG_NUMBER) return number(static_cast<SQLINTEGER>(records.size()));
    if (field == SQL_DIAG_RETURNCODE) {
      if (value) *static_cast<SQLRETURN*>(value) = d->state3 == "01000" ? SQL_SUCCESS_WITH_INFO : SQL_ERROR;
      return SQL_SUCCESS;
    }
    if (field == SQL_DIAG_ROW_COUNT || field == SQL_DIAG_CURSOR_ROW_COUNT) return number(0);
    return SQL_NO_DATA;
  }
  if (record < 1 || static_cast<size_t>(record) > records.size()) return SQL_NO_DATA;
  d = &records[static_cast<size_t>(record) - 1];
  switch (field) {
    case SQL_DIAG_SQLSTATE: return text(StateFor(handle, *d));
    case SQL_DIAG_NATIVE: return number(d->native);
    case SQL_DIAG_MESSAGE_TEXT: return text(d->message);
    case SQL_DIAG_CLASS_ORIGIN:
    case SQL_DIAG_SUBCLASS_ORIGIN: return text(d->state3.rfind("42S", 0) == 0 ? "ODBC 3.0" : "ISO 9075");
    case SQL_DIAG_CONNECTION_NAME:
    case SQL_DIAG_SERVER_NAME: return text("");
    case SQL_DIAG_COLUMN_NUMBER: return number(SQL_NO_COLUMN_NUMBER);
    case SQL_DIAG_ROW_NUMBER: return number(SQL_NO_ROW_NUMBER);
    default: return SQL_NO_DATA;
  }
}

SQLRETURN SQL_API SQLError(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLCHAR* state, SQLINTEGER* native,
                           SQLCHAR* message, SQLSMALLINT size, SQLSMALLINT* length) {
  SQLHANDLE handle = stmt ? stmt : dbc ? dbc : env;
  if (!OwnDiag(handle)) return REAL(SQLError)(env, dbc, stmt, state, native, message, size, length);
  SQLRETURN rc = SQLGetDiagRec(0, handle, 1, state, native, message, size, length);
  // SQLError hands each record out once: the warning ahead of an error goes first.
  std::optional<Diag> d = OwnDiag(handle);
  if (d && d->warningFirst) {
    d->warningFirst = false;
    Keep(handle, *d, SQL_SUCCESS);
  } else {
    Forget(handle);
  }
  return rc;
}

// Everything else is the SQLite driver's.
#define FORWARD(name, handle, params, args) \
  SQLRETURN SQL_API name params {           \
    Forget(handle);                         \
    return REAL(name) args;                 \
  }

FORWARD(SQLBindCol, s, (SQLHSTMT s, SQLUSMALLINT c, SQLSMALLINT t, SQLPOINTER v, SQLLEN n, SQLLEN* i),
        (s, c, t, v, n, i))
FORWARD(SQLBindParameter, s,
        (SQLHSTMT s, SQLUSMALLINT p, SQLSMALLINT io, SQLSMALLINT ct, SQLSMALLINT st, SQLULEN sz, SQLSMALLINT d,
         SQLPOINTER v, SQLLEN n, SQLLEN* i),
        (s, p, io, ct, st, sz, d, v, n, i))
FORWARD(SQLCancel, s, (SQLHSTMT s), (s))
FORWARD(SQLCloseCursor, s, (SQLHSTMT s), (s))
FORWARD(SQLColAttribute, s,
        (SQLHSTMT s, SQLUSMALLINT c, SQLUSMALLINT f, SQLPOINTER v, SQLSMALLINT n, SQLSMALLINT* l, SQLLEN* x),
        (s, c, f, v, n, l, x))
FORWARD(SQLColAttributes, s,
        (SQLHSTMT s, SQLUSMALLINT c, SQLUSMALLINT f, SQLPOINTER v, SQLSMALLINT n, SQLSMALLINT* l, SQLLEN* x),
        (s, c, f, v, n, l, x))
FORWARD(SQLColumns, s,
        (SQLHSTMT s, SQLCHAR* a, SQLSMALLINT an, SQLCHAR* b, SQLSMALLINT bn, SQLCHAR* c, SQLSMALLINT cn,
         SQLCHAR* d, SQLSMALLINT dn),
        (s, a, an, b, bn, c, cn, d, dn))
FORWARD(SQLTables, s,
        (SQLHSTMT s, SQLCHAR* a, SQLSMALLINT an, SQLCHAR* b, SQLSMALLINT bn, SQLCHAR* c, SQLSMALLINT cn,
         SQLCHAR* d, SQLSMALLINT dn),
        (s, a, an, b, bn, c, cn, d, dn))
FORWARD(SQLPrimaryKeys, s,
        (SQLHSTMT s, SQLCHAR* a, SQLSMALLINT an, SQLCHAR* b, SQLSMALLINT bn, SQLCHAR* c, SQLSMALLINT cn),
        (s, a, an, b, bn, c, cn))
FORWARD(SQLDescribeCol, s,
        (SQLHSTMT s, SQLUSMALLINT c, SQLCHAR* n, SQLSMALLINT sz, SQLSMALLINT* l, SQLSMALLINT* t, SQLULEN* cs,
         SQLSMALLINT* d, SQLSMALLINT* nl),
        (s, c, n, sz, l, t, cs, d, nl))
FORWARD(SQLDescribeParam, s,
        (SQLHSTMT s, SQLUSMALLINT p, SQLSMALLINT* t, SQLULEN* cs, SQLSMALLINT* d, SQLSMALLINT* nl),
        (s, p, t, cs, d, nl))
FORWARD(SQLDisconnect, c, (SQLHDBC c), (c))
FORWARD(SQLExtendedFetch, s, (SQLHSTMT s, SQLUSMALLINT o, SQLLEN r, SQLULEN* n, SQLUSMALLINT* st),
        (s, o, r, n, st))
FORWARD(SQLFetch, s, (SQLHSTMT s), (s))
FORWARD(SQLFetchScroll, s, (SQLHSTMT s, SQLSMALLINT o, SQLLEN r), (s, o, r))
FORWARD(SQLGetConnectAttr, c, (SQLHDBC c, SQLINTEGER a, SQLPOINTER v, SQLINTEGER n, SQLINTEGER* l),
        (c, a, v, n, l))
FORWARD(SQLGetConnectOption, c, (SQLHDBC c, SQLUSMALLINT o, SQLPOINTER v), (c, o, v))
FORWARD(SQLSetConnectOption, c, (SQLHDBC c, SQLUSMALLINT o, SQLULEN v), (c, o, v))
FORWARD(SQLGetCursorName, s, (SQLHSTMT s, SQLCHAR* n, SQLSMALLINT sz, SQLSMALLINT* l), (s, n, sz, l))
FORWARD(SQLSetCursorName, s, (SQLHSTMT s, SQLCHAR* n, SQLSMALLINT l), (s, n, l))
FORWARD(SQLGetData, s, (SQLHSTMT s, SQLUSMALLINT c, SQLSMALLINT t, SQLPOINTER v, SQLLEN n, SQLLEN* i),
        (s, c, t, v, n, i))
FORWARD(SQLGetDescField, d, (SQLHDESC d, SQLSMALLINT r, SQLSMALLINT f, SQLPOINTER v, SQLINTEGER n, SQLINTEGER* l),
        (d, r, f, v, n, l))
FORWARD(SQLSetDescField, d, (SQLHDESC d, SQLSMALLINT r, SQLSMALLINT f, SQLPOINTER v, SQLINTEGER n),
        (d, r, f, v, n))
FORWARD(SQLGetDescRec, d,
        (SQLHDESC d, SQLSMALLINT r, SQLCHAR* n, SQLSMALLINT sz, SQLSMALLINT* l, SQLSMALLINT* t, SQLSMALLINT* st,
         SQLLEN* len, SQLSMALLINT* p, SQLSMALLINT* sc, SQLSMALLINT* nl),
        (d, r, n, sz, l, t, st, len, p, sc, nl))
FORWARD(SQLGetEnvAttr, e, (SQLHENV e, SQLINTEGER a, SQLPOINTER v, SQLINTEGER n, SQLINTEGER* l), (e, a, v, n, l))
FORWARD(SQLGetFunctions, c, (SQLHDBC c, SQLUSMALLINT f, SQLUSMALLINT* v), (c, f, v))
FORWARD(SQLGetStmtAttr, s, (SQLHSTMT s, SQLINTEGER a, SQLPOINTER v, SQLINTEGER n, SQLINTEGER* l), (s, a, v, n, l))
FORWARD(SQLSetStmtAttr, s, (SQLHSTMT s, SQLINTEGER a, SQLPOINTER v, SQLINTEGER n), (s, a, v, n))
FORWARD(SQLGetStmtOption, s, (SQLHSTMT s, SQLUSMALLINT o, SQLPOINTER v), (s, o, v))
FORWARD(SQLSetStmtOption, s, (SQLHSTMT s, SQLUSMALLINT o, SQLULEN v), (s, o, v))
FORWARD(SQLMoreResults, s, (SQLHSTMT s), (s))
FORWARD(SQLNumParams, s, (SQLHSTMT s, SQLSMALLINT* n), (s, n))
FORWARD(SQLNumResultCols, s, (SQLHSTMT s, SQLSMALLINT* n), (s, n))
FORWARD(SQLParamData, s, (SQLHSTMT s, SQLPOINTER* v), (s, v))
FORWARD(SQLPutData, s, (SQLHSTMT s, SQLPOINTER v, SQLLEN n), (s, v, n))
FORWARD(SQLRowCount, s, (SQLHSTMT s, SQLLEN* n), (s, n))
FORWARD(SQLSetPos, s, (SQLHSTMT s, SQLSETPOSIROW r, SQLUSMALLINT o, SQLUSMALLINT l), (s, r, o, l))

}  // extern "C"
