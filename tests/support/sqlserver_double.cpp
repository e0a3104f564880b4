// The SQL Server stand-in behind the SQL driver's session: the statements only
// SQL Server answers its own way, over a session to another database.
#include "support/sqlserver_double.h"

#include <algorithm>
#include <cctype>

#include "runtime/base/text.h"
#include "support/server_answers.h"
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
  rt::SqlResult<rt::Fetched> Fetch(std::vector<rt::SqlValue>&) override { return rt::Fetched::End; }
  std::vector<std::string> ColumnNames() override { return names_; }

 private:
  std::vector<std::string> names_;
};

class DoubleSession : public rt::SqlSession {
 public:
  // SQL Server's number for a DROP of a table or index there is not.
  static constexpr int32_t kCannotDrop = 3701;

  explicit DoubleSession(std::shared_ptr<SqlServerState> s) : s_(std::move(s)) {}

  // SQL Server's refusal, its SQLSTATE in the spelling the server uses; with
  // a native number of its own where SQL Server numbers the statement's apart.
  rt::Failure Refuse(rt::Refusal refusal, std::string message, int32_t native = 0) const {
    const ServerAnswer& answer = AnswerOf(sqlserver::Info().dbmsName, refusal);
    const std::string_view state = s_->odbc3States ? answer.state3 : answer.state2;
    return rt::Failed(rt::SqlError{std::string(state), native ? native : answer.native, std::move(message),
                                   "SQLExecDirect"});
  }

  rt::SqlStatus Exec(const std::string& sql, const std::vector<rt::SqlValue>&) override {
    s_->log.push_back(sql);
    for (auto it = s_->refuseOnce.begin(); it != s_->refuseOnce.end(); ++it) {
      if (Starts(sql, it->first)) {
        rt::SqlError err = it->second;
        s_->refuseOnce.erase(it);
        return rt::Failed(std::move(err));
      }
    }
    size_t pos = 0;
    std::string verb = Upper(Word(sql, pos));
    std::string what = Upper(Word(sql, pos));
    std::string name = Upper(Unquote(Word(sql, pos)));
    if (verb == "CREATE" && what == "TABLE") {
      if (s_->tables.count(name) || s_->phantomTableExists > 0) {
        if (!s_->tables.count(name)) --s_->phantomTableExists;
        return Refuse(rt::Refusal::TableExists, "There is already an object named '" + name + "' in the database.");
      }
      s_->tables[name] = ColumnsOfCreate(sql);
      return {};
    }
    if (verb == "CREATE" && what == "INDEX") {
      if (s_->indexes.count(name) || s_->phantomIndexExists > 0) {
        if (!s_->indexes.count(name)) --s_->phantomIndexExists;
        return Refuse(rt::Refusal::IndexExists, "The operation failed because an index or statistics with name '" +
                                                    name + "' already exists.");
      }
      s_->indexes.insert(name);
      return {};
    }
    if (verb == "DROP" && what == "TABLE") {
      if (!s_->tables.erase(name)) {
        if (s_->phantomTableExists > 0) return {};
        return Refuse(rt::Refusal::TableMissing,
                      "Cannot drop the table '" + name + "', because it does not exist or you do not have permission.",
                      kCannotDrop);
      }
      s_->hiddenFromCatalog.erase(name);
      return {};
    }
    if (verb == "DROP" && what == "INDEX") {
      if (!s_->indexes.erase(name)) {
        if (s_->phantomIndexExists > 0) return {};
        return Refuse(rt::Refusal::TableMissing, "Cannot drop the index '" + name + "', because it does not exist.",
                      kCannotDrop);
      }
      return {};
    }
    return {};
  }

  rt::SqlResult<std::unique_ptr<rt::SqlCursor>> Query(const std::string& sql, const std::vector<rt::SqlValue>&,
                                                      const std::vector<rt::SqlValue::Kind>&) override {
    s_->log.push_back(sql);
    size_t from = Upper(sql).find(" FROM ");
    if (from == std::string::npos) return rt::Failed(rt::SqlError{"37000", 102, "Incorrect syntax.", "SQLExecDirect"});
    size_t pos = from + 6;
    std::string name = Upper(Unquote(Word(sql, pos)));
    auto it = s_->tables.find(name);
    if (it == s_->tables.end()) return Refuse(rt::Refusal::TableMissing, "Invalid object name '" + name + "'.");
    return std::make_unique<EmptyCursor>(it->second);
  }

  rt::SqlResult<std::vector<std::string>> Columns(const std::string&, const std::string& table) override {
    if (s_->catalogFails)
      return rt::Failed(rt::SqlError{"IM001", 0, "Driver does not support this function", "SQLColumns"});
    std::string name = Upper(table);
    auto it = s_->tables.find(name);
    if (it != s_->tables.end() && !s_->hiddenFromCatalog.count(name)) return it->second;
    return std::vector<std::string>{};
  }

  rt::SqlResult<std::vector<rt::TypeInfoRow>> TypeInfo() override { return SqlServerTypeRows(); }

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
  return [s](const std::string& owner) -> rt::SqlResult<std::unique_ptr<rt::SqlSession>> {
    s->owners.push_back(owner);
    if (s->refuseLogin) return rt::Failed(*s->refuseLogin);
    ++s->connects;
    return std::make_unique<DoubleSession>(s);
  };
}

}  // namespace testsupport
