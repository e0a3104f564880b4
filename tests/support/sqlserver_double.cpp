// The SQL Server stand-in behind the SQL driver's session: the statements only
// SQL Server answers its own way, over a session to another database.
#include "support/sqlserver_double.h"

#include <algorithm>
#include <cctype>

#include "runtime/base/text.h"
#include "support/sqlserver_answers.h"

namespace testsupport {

namespace {

using rt::Upper;

bool Starts(const std::string& s, const std::string& prefix) { return rt::StartsWithNoCase(s, prefix); }

std::string Word(const std::string& s, size_t& pos) {
  while (pos < s.size() && s[pos] == ' ') ++pos;
  size_t start = pos;
  while (pos < s.size() && s[pos] != ' ' && s[pos] != '(') ++pos;
  return s.substr(start, pos - start);
}

std::string Unquote(std::string name) {
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
  return name;
}

// Top-level items of "CREATE TABLE t (a int,b varchar(2), c image,PRIMARY KEY (a ))".
std::vector<std::string> ColumnsOfCreate(const std::string& sql) {
  std::vector<std::string> cols;
  size_t open = sql.find('(');
  if (open == std::string::npos) return cols;
  int depth = 0;
  std::string item;
  auto flush = [&] {
    size_t p = 0;
    std::string name = Word(item, p);
    if (!name.empty() && Upper(name) != "PRIMARY" && Upper(name) != "UNIQUE") cols.push_back(Unquote(name));
    item.clear();
  };
  for (size_t i = open + 1; i < sql.size(); ++i) {
    char c = sql[i];
    if (c == '(') ++depth;
    if (c == ')') {
      if (depth == 0) break;
      --depth;
    }
    if (c == ',' && depth == 0) {
      flush();
      continue;
    }
    item += c;
  }
  flush();
  return cols;
}

class EmptyCursor : public rt::SqlCursor {
 public:
  explicit EmptyCursor(std::vector<std::string> names) : names_(std::move(names)) {}
  bool Fetch(std::vector<rt::SqlValue>&, rt::SqlError& err) override {
    err = {};
    return false;
  }
  std::vector<std::string> ColumnNames() override { return names_; }

 private:
  std::vector<std::string> names_;
};

class DoubleSession : public rt::SqlSession {
 public:
  explicit DoubleSession(std::shared_ptr<SqlServerState> s) : s_(std::move(s)) {}

  // The SQLSTATE in the spelling the server uses.
  std::string State(const std::string& odbc2) const {
    if (!s_->odbc3States) return odbc2;
    if (odbc2 == "S0001") return "42S01";
    if (odbc2 == "S0011") return "42S11";
    if (odbc2 == "S0002") return "42S02";
    return odbc2;
  }

  bool Exec(const std::string& sql, const std::vector<rt::SqlValue>&, rt::SqlError& err) override {
    s_->log.push_back(sql);
    for (auto it = s_->refuseOnce.begin(); it != s_->refuseOnce.end(); ++it) {
      if (Starts(sql, it->first)) {
        err = it->second;
        s_->refuseOnce.erase(it);
        return false;
      }
    }
    size_t pos = 0;
    std::string verb = Upper(Word(sql, pos));
    std::string what = Upper(Word(sql, pos));
    std::string name = Upper(Unquote(Word(sql, pos)));
    if (verb == "CREATE" && what == "TABLE") {
      if (s_->tables.count(name) || s_->phantomTableExists > 0) {
        if (!s_->tables.count(name)) --s_->phantomTableExists;
        err = {State("S0001"), "There is already an object named '" + name + "' in the database."};
        return false;
      }
      s_->tables[name] = ColumnsOfCreate(sql);
      return true;
    }
    if (verb == "CREATE" && what == "INDEX") {
      if (s_->indexes.count(name) || s_->phantomIndexExists > 0) {
        if (!s_->indexes.count(name)) --s_->phantomIndexExists;
        err = {State("S0011"), "The operation failed because an index or statistics with name '" + name +
                            "' already exists."};
        return false;
      }
      s_->indexes.insert(name);
      return true;
    }
    if (verb == "DROP" && what == "TABLE") {
      if (!s_->tables.erase(name)) {
        if (s_->phantomTableExists > 0) return true;
        err = {State("S0002"), "Cannot drop the table '" + name + "', because it does not exist or you do not have permission."};
        return false;
      }
      s_->hiddenFromCatalog.erase(name);
      return true;
    }
    if (verb == "DROP" && what == "INDEX") {
      if (!s_->indexes.erase(name)) {
        if (s_->phantomIndexExists > 0) return true;
        err = {State("S0002"), "Cannot drop the index '" + name + "', because it does not exist."};
        return false;
      }
      return true;
    }
    return true;
  }

  std::unique_ptr<rt::SqlCursor> Query(const std::string& sql, const std::vector<rt::SqlValue>& params,
                                       const std::vector<rt::SqlValue::Kind>&, rt::SqlError& err) override {
    s_->log.push_back(sql);
    (void)params;
    size_t from = Upper(sql).find(" FROM ");
    if (from == std::string::npos) {
      err = {"37000", "Incorrect syntax."};
      return nullptr;
    }
    size_t pos = from + 6;
    std::string name = Upper(Unquote(Word(sql, pos)));
    auto it = s_->tables.find(name);
    if (it == s_->tables.end()) {
      err = {State("S0002"), "Invalid object name '" + name + "'."};
      return nullptr;
    }
    return std::make_unique<EmptyCursor>(it->second);
  }

  bool Columns(const std::string&, const std::string& table, std::vector<std::string>& names,
               rt::SqlError& err) override {
    names.clear();
    if (s_->catalogFails) {
      err = {"IM001", "Driver does not support this function"};
      return false;
    }
    std::string name = Upper(table);
    auto it = s_->tables.find(name);
    if (it != s_->tables.end() && !s_->hiddenFromCatalog.count(name)) names = it->second;
    return true;
  }

  bool TypeInfo(std::vector<rt::TypeInfoRow>& rows, rt::SqlError&) override {
    rows = SqlServerTypeRows();
    return true;
  }

  rt::ServerInfo Info() override { return SqlServerInfo(); }

 private:
  std::shared_ptr<SqlServerState> s_;
};

}  // namespace

const std::vector<rt::TypeInfoRow>& SqlServerTypeRows() {
  static const std::vector<rt::TypeInfoRow> rows = [] {
    std::vector<rt::TypeInfoRow> out;
    for (const sqlserver::TypeRow& r : sqlserver::TypeRows()) {
      rt::TypeInfoRow row;
      row.dataType = r.dataType;
      row.typeName = r.name;
      if (r.createParams) row.createParams = r.createParams;
      out.push_back(std::move(row));
    }
    return out;
  }();
  return rows;
}

rt::ServerInfo SqlServerInfo() {
  const sqlserver::Information& answers = sqlserver::Info();
  rt::ServerInfo info;
  info.identifierQuote = answers.identifierQuote;
  info.quotedCaseSensitive = answers.quotedIdentifierCase == 3;  // SQL_IC_SENSITIVE
  info.nonNullableColumns = answers.nonNullableColumns == 1;     // SQL_NNC_NON_NULL
  info.identifierCase = answers.identifierCase;
  info.SetKeywords(answers.keywords);
  info.searchPatternEscape = answers.searchPatternEscape;
  info.dbmsName = answers.dbmsName;
  return info;
}

SqlServerDouble::SqlServerDouble() : state_(std::make_shared<SqlServerState>()) {}

std::unique_ptr<rt::SqlSession> SqlServerDouble::Connect() { return std::make_unique<DoubleSession>(state_); }

rt::SqlSessionFactory SqlServerDouble::Factory() {
  auto s = state_;
  return [s](const std::string& owner, rt::SqlError& err) -> std::unique_ptr<rt::SqlSession> {
    s->owners.push_back(owner);
    if (s->refuseLogin) {
      err = *s->refuseLogin;
      return nullptr;
    }
    ++s->connects;
    return std::make_unique<DoubleSession>(s);
  };
}

}  // namespace testsupport
