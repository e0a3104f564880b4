// The table of server dialects against what each server answers
// (support/server_answers.cpp): each answer means to the driver what the
// answers' table says, and the real drivers give those answers.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "runtime/sql/odbc_session.h"
#include "runtime/sql/server_dialect.h"
#include "sql/odbc_backends.h"
#include "support/database_probe.h"
#include "support/server_answers.h"

using namespace rt;
using namespace testsupport;

namespace {

constexpr Refusal kRefusals[] = {Refusal::TableExists, Refusal::IndexExists, Refusal::TableMissing,
                                 Refusal::ConnectionLost, Refusal::DuplicateKey, Refusal::TransactionEnded};

const char* Name(Refusal refusal) {
  switch (refusal) {
    case Refusal::TableExists: return "table exists";
    case Refusal::IndexExists: return "index exists";
    case Refusal::TableMissing: return "table missing";
    case Refusal::ConnectionLost: return "connection lost";
    case Refusal::DuplicateKey: return "duplicate key";
    case Refusal::TransactionEnded: return "transaction ended";
  }
  return "?";
}

TEST(ServerDialect, EachAnswerMeansItsRefusalAndNoOther) {
  for (const ServerAnswer& answer : ServerAnswers()) {
    const ServerDialect& dialect = DialectOf(answer.server);
    for (std::string_view state : {answer.state2, answer.state3}) {
      const SqlError err{std::string(state), answer.native, "", ""};
      for (Refusal refusal : kRefusals)
        EXPECT_EQ(dialect.Means(err, refusal), refusal == answer.refusal && answer.actedOn)
            << answer.server << " " << state << " (" << answer.native << ") as " << Name(refusal);
    }
  }
}

TEST(ServerDialect, RecognisedBySqlDbmsName) {
  const std::pair<const char*, ServerDialect> cases[] = {
      // SQL_DBMS_NAME        dialect, refusal ends transaction, float is double
      {"Microsoft SQL Server", {"SQL Server", false, true}},
      {"SQL Server", {"SQL Server", false, true}},
      {"PostgreSQL", {"PostgreSQL", true, false}},
      {"SQLite", {"SQLite", false, false}},
      {"Oracle", {"", false, false}},
      {"", {"", false, false}},
  };
  for (const auto& [dbmsName, want] : cases) {
    const ServerDialect& got = DialectOf(dbmsName);
    EXPECT_EQ(std::tie(got.name, got.refusalEndsTransaction, got.floatIsDouble),
              std::tie(want.name, want.refusalEndsTransaction, want.floatIsDouble))
        << dbmsName;
  }
}

// Statements that draw each refusal a table and an index can draw, on an
// empty database (none: taken). A "?" is the value 1, bound by the session
// as the driver binds a row's values, written out on the raw connection.
struct Step {
  const char* sql;
  std::optional<Refusal> refusal;
  bool query = false;
};
constexpr Step kSteps[] = {
    {"CREATE TABLE T (a int NOT NULL, b int, PRIMARY KEY (a ))", std::nullopt},
    {"CREATE TABLE T (a int)", Refusal::TableExists},
    {"CREATE INDEX IX ON T (b )", std::nullopt},
    {"CREATE INDEX IX ON T (b )", Refusal::IndexExists},
    {"SELECT * FROM NADA WHERE 0 = 1", Refusal::TableMissing, true},
    {"INSERT INTO T (a) VALUES (?)", std::nullopt},
    {"INSERT INTO T (a) VALUES (?)", Refusal::DuplicateKey},
};

SqlStatus Send(SqlSession& session, const Step& step) {
  const std::string sql = step.sql;
  const std::vector<SqlValue> params =
      sql.find('?') == std::string::npos ? std::vector<SqlValue>{} : std::vector<SqlValue>{SqlValue::Long(1)};
  if (step.query) return StatusOf(session.Query(sql, params, {}));
  return session.Exec(sql, params);
}

class RealAnswers : public OdbcBackends {
 protected:
  std::string Server() const {
    if (Postgres()) return "PostgreSQL";
    return GetParam() == "SQLite" ? "SQLite" : "SQL Server";
  }
  // The server's answers to the refusal, in order.
  std::vector<ServerAnswer> AnswersTo(Refusal refusal) const {
    std::vector<ServerAnswer> out;
    for (const ServerAnswer& answer : ServerAnswers())
      if (answer.server == Server() && answer.refusal == refusal) out.push_back(answer);
    return out;
  }
};

// The program's session (ODBC 2) on database "a" gets each row's ODBC 2 state
// and native code; a connection of its own at ODBC 3 on "b" gets its ODBC 3 state.
TEST_P(RealAnswers, EachRefusalIsAnsweredAsTheServersAnswersSay) {
  SqlResult<std::unique_ptr<SqlSession>> session = OdbcConnect(Owner("a"));
  ASSERT_TRUE(session) << session.error().message;
  EXPECT_EQ((*session)->Info().dbmsName.find(Server()), 0u) << (*session)->Info().dbmsName;
  std::vector<std::string> literal;
  for (const Step& step : kSteps) {
    SCOPED_TRACE(step.sql);
    std::string sql = step.sql;
    if (const size_t value = sql.find('?'); value != std::string::npos) sql.replace(value, 1, "1");
    literal.push_back(sql);
    const SqlStatus ran = Send(**session, step);
    if (!step.refusal) {
      EXPECT_TRUE(ran) << ran.error().message;
      continue;
    }
    ASSERT_FALSE(ran);
    const ServerAnswer want = AnswersTo(*step.refusal).at(0);
    EXPECT_EQ(ran.error().state, want.state2) << ran.error().message;
    EXPECT_EQ(ran.error().native, want.native) << ran.error().message;
    EXPECT_FALSE(ran.error().call.empty());
  }

  const std::vector<RawAnswer> raw = RawAnswers(BuildConnectionString(*ChosenOdbcDriver(), Owner("b")), literal);
  ASSERT_EQ(raw.size(), literal.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    SCOPED_TRACE(literal[i]);
    const std::optional<Refusal> refusal = kSteps[i].refusal;
    EXPECT_EQ(raw[i].state, refusal ? AnswersTo(*refusal).at(0).state3 : "") << raw[i].message;
    if (refusal) {
      EXPECT_EQ(raw[i].native, AnswersTo(*refusal).at(0).native);
    }
  }
}

TEST_P(RealAnswers, ALostConnectionIsAnsweredAsTheServersAnswersSay) {
  if (!Postgres()) GTEST_SKIP() << "a file database has no connection to lose";
  SqlResult<std::unique_ptr<SqlSession>> session = OdbcConnect(Owner("a"));
  ASSERT_TRUE(session) << session.error().message;
  ASSERT_TRUE((*session)->Exec("SELECT 1", {}));
  ASSERT_TRUE(DropPostgresSessions(pg_.login));
  for (const ServerAnswer& want : AnswersTo(Refusal::ConnectionLost)) {
    const SqlStatus ran = (*session)->Exec("SELECT 1", {});
    ASSERT_FALSE(ran);
    EXPECT_EQ(ran.error().state, want.state2) << ran.error().message;
    EXPECT_EQ(ran.error().native, want.native) << ran.error().message;
  }
  EXPECT_TRUE((*session)->Broken());
}

INSTANTIATE_TEST_SUITE_P(Backends, RealAnswers, ::testing::Values("SQLite", "SqlServerStandIn", "PostgreSQL"),
                         [](const auto& info) { return info.param; });

}  // namespace
