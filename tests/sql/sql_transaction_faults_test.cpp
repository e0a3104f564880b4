// The SQL driver's transactions on their failure paths, through the real
// driver manager: what a rollback undid is looked up afresh, a connection lost
// inside a transaction is not silently made anew, and on a server whose
// refusal ends the transaction a duplicate is answered before it is sent.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "runtime/files/files.h"
#include "runtime/sql/sql_driver.h"
#include "sql/odbc_backends.h"
#include "sql/sql_fixtures.h"
#include "support/database_probe.h"
#include "support/standin_modes.h"

using namespace rt;
using namespace testsupport;

namespace {

// A table of a key and a text.
TableBuilder Pairs() { return TableBuilder("PAI").Long("N").CStr("S", 11).Key("KEY_N", kPrimaryOpt, {"N"}); }

void SetRow(FileBlock& f, int32_t n, const std::string& s) {
  const TypeRecord& rec = *f.decl().record;
  f.ClearRecord();
  std::memcpy(f.buffer() + rec.entry(rec.FindLabel("PAI:N")).offset, &n, 4);
  std::memcpy(f.buffer() + rec.entry(rec.FindLabel("PAI:S")).offset, s.data(), s.size());
}

class Transactions : public OdbcBackends {
 protected:
  std::vector<std::string> Rows(const std::string& query) const {
    return testsupport::Rows(Probe(Database("a")), query);
  }
};

// A table created in a transaction that was rolled back is missing again:
// the catalog read that listed it is not trusted after the rollback.
TEST_P(Transactions, ATableCreatedInARolledBackTransactionIsMissingAtTheNextOpen) {
  auto decl = Pairs().Decl("PAIRS", Owner("a"));
  FileBlock f(*decl);
  OPEN(f);
  ASSERT_EQ(LastErrorCode(), kFileNotFound) << ErrorTextForMessage();
  BeginTransaction(f);
  ASSERT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  ASSERT_NO_FATAL_FAILURE(CreateOpenAndClose(f));
  RollbackTransaction(f);
  EXPECT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  OPEN(f);
  EXPECT_EQ(LastErrorCode(), kFileNotFound) << ErrorTextForMessage();
  EXPECT_FALSE(Tables("a").count("pairs"));
}

// A connection lost in the middle of a transaction: what the transaction did
// is gone with it, so its next statement is refused rather than run by itself
// on a new connection; once the transaction is ended, a new connection is made.
TEST_P(Transactions, AConnectionLostInsideATransactionRefusesTheRestOfIt) {
  if (!Postgres()) GTEST_SKIP() << "a file database has no connection to lose";
  auto decl = Pairs().Decl("PAIRS", Owner("a"));
  FileBlock f(*decl);
  CREATE(f);
  ASSERT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  BeginTransaction(f);
  ASSERT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  SET_PROPERTY(f, FilePropSql, "INSERT INTO PAIRS (N, S) VALUES (1, 'lost')");
  ASSERT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  ASSERT_TRUE(testsupport::DropPostgresSessions(pg_.login));
  SET_PROPERTY(f, FilePropSql, "DROP TABLE PAIRS");
  EXPECT_NE(LastErrorCode(), kNoError);
  EXPECT_EQ(observer_->connects, 1);
  EXPECT_TRUE(Tables("a").count("pairs"));
  RollbackTransaction(f);
  OPEN(f);
  EXPECT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  EXPECT_EQ(observer_->connects, 2);
  EXPECT_EQ(Rows("SELECT count(*) FROM PAIRS"), std::vector<std::string>{"0"});
}

INSTANTIATE_TEST_SUITE_P(Backends, Transactions, ::testing::Values("SQLite", "SqlServerStandIn", "PostgreSQL"),
                         [](const auto& info) { return info.param; });

// On a server whose refusal ends its transaction (the stand-in in that mode).
class EndingTransactions : public Transactions {
 protected:
  void SetUp() override {
    StandInModes::Set(kRefusalEndsTransaction);
    Transactions::SetUp();
  }
  void TearDown() override {
    Transactions::TearDown();
    StandInModes::Clear();
  }
};

// A row whose key the table holds is answered as a duplicate before it is
// sent: the transaction goes on and takes the rows after it.
TEST_P(EndingTransactions, ADuplicateIsAnsweredBeforeItIsSent) {
  auto decl = Pairs().Decl("PAIRS", Owner("a"));
  FileBlock f(*decl);
  CREATE(f);
  OPEN(f);
  ASSERT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  SetRow(f, 1, "before");
  ADD(f);
  ASSERT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  BeginTransaction(f);
  ASSERT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  SetRow(f, 1, "again");
  ADD(f);
  EXPECT_EQ(LastErrorCode(), kCreatesDuplicateKey) << ErrorTextForMessage();
  SetRow(f, 2, "after");
  ADD(f);
  EXPECT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  CommitTransaction(f);
  EXPECT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  EXPECT_EQ(Rows("SELECT S FROM PAIRS ORDER BY N"), (std::vector<std::string>{"before", "after"}));
}

INSTANTIATE_TEST_SUITE_P(StandIn, EndingTransactions, ::testing::Values("SqlServerStandIn"),
                         [](const auto& info) { return info.param; });

}  // namespace
