// The ODBC session on its failure paths, through the real driver manager on
// each backend: a parameter's storage that grows under a reused prepared
// statement, queued rows refused when the commit comes, rows of two INSERTs
// queued one after the other; and on the SQL Server stand-in in the modes of
// other servers: a commit refused, a warning ahead of an error, a refusal
// that ends the transaction.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "runtime/sql/odbc_session.h"
#include "sql/odbc_backends.h"
#include "support/server_answers.h"
#include "support/standin_modes.h"

namespace {

using rt::SqlValue;

class OdbcSessionFaults : public testsupport::OdbcBackends {
 protected:
  std::unique_ptr<rt::SqlSession> Connect() {
    rt::SqlResult<std::unique_ptr<rt::SqlSession>> session = rt::OdbcConnect(Owner("a"));
    if (!session) {
      ADD_FAILURE() << session.error().state << " " << session.error().message;
      return nullptr;
    }
    return std::move(*session);
  }
  // The first column of the query's rows, read beside the session.
  std::vector<std::string> Rows(const std::string& query) const {
    return testsupport::Rows(Probe(Database("a")), query);
  }
  static void Run(rt::SqlSession& session, const std::string& sql, const std::vector<SqlValue>& params = {}) {
    const rt::SqlStatus ran = session.Exec(sql, params);
    EXPECT_TRUE(ran.ok()) << sql << ": " << (ran ? "" : ran.error().state + " " + ran.error().message);
  }
  static std::vector<SqlValue> Row(int64_t n, const std::string& s) { return {SqlValue::Long(n), SqlValue::Text(s)}; }
};

// Each text goes through the one prepared INSERT; a longer one than those
// before it arrives whole, not read from storage the statement outgrew.
TEST_P(OdbcSessionFaults, TextsLongerThanTheOnesBeforeThemArriveThroughOneStatement) {
  std::unique_ptr<rt::SqlSession> session = Connect();
  ASSERT_TRUE(session);
  Run(*session, "CREATE TABLE GROWN (N INTEGER, S VARCHAR(200))");
  const std::vector<std::string> texts = {"ab", std::string(40, 'x'), "c", std::string(90, 'y') + "end",
                                          std::string(150, 'z')};
  for (size_t i = 0; i < texts.size(); ++i)
    Run(*session, "INSERT INTO GROWN (N, S) VALUES (?, ?)", Row(static_cast<int64_t>(i), texts[i]));
  EXPECT_EQ(Rows("SELECT S FROM GROWN ORDER BY N"), texts);
}

// Rows still queued when the commit comes, one of them refused: the commit
// is answered with the refusal and nothing of the transaction stays, the
// rows sent before the queue included.
TEST_P(OdbcSessionFaults, QueuedRowsRefusedAtTheCommitUndoTheWholeTransaction) {
  std::unique_ptr<rt::SqlSession> session = Connect();
  ASSERT_TRUE(session);
  Run(*session, "CREATE TABLE KEPT (N INTEGER PRIMARY KEY, S VARCHAR(10))");
  ASSERT_TRUE(session->BeginTransaction().ok());
  Run(*session, "INSERT INTO KEPT (N, S) VALUES (?, ?)", Row(1, "sent"));
  const std::string head = "INSERT INTO KEPT (N, S) VALUES ";
  EXPECT_TRUE(session->ExecDeferred(head, Row(2, "queued")).ok());
  EXPECT_TRUE(session->ExecDeferred(head, Row(1, "twice")).ok());
  const rt::SqlStatus committed = session->EndTransaction(true);
  ASSERT_FALSE(committed.ok());
  EXPECT_TRUE(session->Info().Dialect().Means(committed.error(), rt::Refusal::DuplicateKey))
      << committed.error().state << " " << committed.error().message;
  EXPECT_EQ(Rows("SELECT count(*) FROM KEPT"), std::vector<std::string>{"0"});
  // Statements commit by themselves again.
  Run(*session, "INSERT INTO KEPT (N, S) VALUES (?, ?)", Row(3, "after"));
  EXPECT_EQ(Rows("SELECT S FROM KEPT"), std::vector<std::string>{"after"});
}

// Rows queued for one table, then for another, then for the first again:
// each arrives in its own table.
TEST_P(OdbcSessionFaults, RowsQueuedForTwoTablesArriveEachInItsOwn) {
  std::unique_ptr<rt::SqlSession> session = Connect();
  ASSERT_TRUE(session);
  Run(*session, "CREATE TABLE FIRSTT (N INTEGER, S VARCHAR(10))");
  Run(*session, "CREATE TABLE SECONDT (N INTEGER, S VARCHAR(10))");
  ASSERT_TRUE(session->BeginTransaction().ok());
  EXPECT_TRUE(session->ExecDeferred("INSERT INTO FIRSTT (N, S) VALUES ", Row(1, "a")).ok());
  EXPECT_TRUE(session->ExecDeferred("INSERT INTO SECONDT (N, S) VALUES ", Row(2, "b")).ok());
  EXPECT_TRUE(session->ExecDeferred("INSERT INTO FIRSTT (N, S) VALUES ", Row(3, "c")).ok());
  EXPECT_TRUE(session->EndTransaction(true).ok());
  EXPECT_EQ(Rows("SELECT S FROM FIRSTT ORDER BY N"), (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(Rows("SELECT S FROM SECONDT ORDER BY N"), std::vector<std::string>{"b"});
}

INSTANTIATE_TEST_SUITE_P(Backends, OdbcSessionFaults, ::testing::Values("SQLite", "SqlServerStandIn", "PostgreSQL"),
                         [](const auto& info) { return info.param; });

// The same session on the stand-in answering as servers that differ from it.
class StandInSessionFaults : public OdbcSessionFaults {};

// A commit the server refuses: the transaction is rolled back before the
// connection commits by itself again, so nothing of it stays.
TEST_P(StandInSessionFaults, ARefusedCommitIsRolledBack) {
  std::unique_ptr<rt::SqlSession> session = Connect();
  ASSERT_TRUE(session);
  Run(*session, "CREATE TABLE REFUSED (N INTEGER, S VARCHAR(10))");
  ASSERT_TRUE(session->BeginTransaction().ok());
  Run(*session, "INSERT INTO REFUSED (N, S) VALUES (?, ?)", Row(1, "open"));
  testsupport::StandInModes modes(testsupport::kRefuseCommit);
  const rt::SqlStatus committed = session->EndTransaction(true);
  ASSERT_FALSE(committed.ok());
  EXPECT_EQ(committed.error().native, 9002) << committed.error().message;
  Run(*session, "INSERT INTO REFUSED (N, S) VALUES (?, ?)", Row(2, "alone"));
  EXPECT_EQ(Rows("SELECT S FROM REFUSED ORDER BY N"), std::vector<std::string>{"alone"});
}

// A driver that puts a warning ahead of its error: the error is the refusal told.
TEST_P(StandInSessionFaults, TheErrorBehindAWarningIsTheRefusal) {
  std::unique_ptr<rt::SqlSession> session = Connect();
  ASSERT_TRUE(session);
  Run(*session, "CREATE TABLE TOLD (N INTEGER PRIMARY KEY)");
  Run(*session, "INSERT INTO TOLD (N) VALUES (1)");
  testsupport::StandInModes modes(testsupport::kWarningFirst);
  struct Case {
    const char* sql;
    rt::Refusal refusal;
  };
  const Case cases[] = {
      {"SELECT N FROM NOSUCH", rt::Refusal::TableMissing},
      {"CREATE TABLE TOLD (N INTEGER)", rt::Refusal::TableExists},
      {"INSERT INTO TOLD (N) VALUES (1)", rt::Refusal::DuplicateKey},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    const rt::SqlStatus ran = session->Exec(c.sql, {});
    ASSERT_FALSE(ran.ok());
    const testsupport::ServerAnswer& answer = testsupport::AnswerOf("SQL Server", c.refusal);
    EXPECT_EQ(ran.error().state, answer.state2) << ran.error().message;
    EXPECT_EQ(ran.error().native, answer.native);
    EXPECT_TRUE(session->Info().Dialect().Means(ran.error(), c.refusal));
  }
}

// A server whose refusal ends the transaction: an INSERT of many queued rows
// that it refuses is not sent again row by row (each would be refused for the
// ended transaction, hiding the refusal itself).
TEST_P(StandInSessionFaults, OnAServerEndingItsTransactionTheRefusalOfQueuedRowsIsTold) {
  testsupport::StandInModes modes(testsupport::kRefusalEndsTransaction);
  std::unique_ptr<rt::SqlSession> session = Connect();
  ASSERT_TRUE(session);
  Run(*session, "CREATE TABLE ENDED (N INTEGER PRIMARY KEY, S VARCHAR(10))");
  ASSERT_TRUE(session->Info().Dialect().refusalEndsTransaction);
  ASSERT_TRUE(session->BeginTransaction().ok());
  Run(*session, "INSERT INTO ENDED (N, S) VALUES (?, ?)", Row(1, "sent"));
  const std::string head = "INSERT INTO ENDED (N, S) VALUES ";
  EXPECT_TRUE(session->ExecDeferred(head, Row(2, "queued")).ok());
  EXPECT_TRUE(session->ExecDeferred(head, Row(1, "twice")).ok());
  const rt::SqlStatus committed = session->EndTransaction(true);
  ASSERT_FALSE(committed.ok());
  EXPECT_TRUE(session->Info().Dialect().Means(committed.error(), rt::Refusal::DuplicateKey))
      << committed.error().state << " " << committed.error().native << " " << committed.error().message;
  EXPECT_EQ(Rows("SELECT count(*) FROM ENDED"), std::vector<std::string>{"0"});
}

INSTANTIATE_TEST_SUITE_P(StandIn, StandInSessionFaults, ::testing::Values("SqlServerStandIn"),
                         [](const auto& info) { return info.param; });

}  // namespace
