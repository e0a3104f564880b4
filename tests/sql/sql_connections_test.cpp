// Connections and creation through the real ODBC driver manager, on SQLite
// files and on the PostgreSQL test server: every open takes the owner of the
// moment, a lost connection is made anew, and a table is created whole or not
// at all, whether the creation is refused, killed or cut off part way.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "runtime/files/files.h"
#include "runtime/sql/sql_connect.h"
#include "runtime/sql/sql_driver.h"
#include "sql/odbc_backends.h"
#include "sql/sql_fixtures.h"
#include "support/database_probe.h"
#include "support/observed_odbc.h"

using namespace rt;
using namespace testsupport;

namespace {

class Connections : public OdbcBackends {
 protected:
  // HDSCRAP (a table and six indexes) created in "a" by a run never interrupted: its statements.
  std::vector<std::string> CleanCreation() {
    auto decl = Hdscrap().Decl("HDSCRAP", Owner("a"));
    FileBlock f(*decl);
    observer_->statements.clear();
    CREATE(f);
    EXPECT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
    std::vector<std::string> clean = observer_->statements;
    EXPECT_EQ(clean.size(), 7u);
    REMOVE(f);
    EXPECT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
    observer_->statements.clear();
    observer_->ends.clear();
    return clean;
  }
};

TEST_P(Connections, EveryOpenTakesTheOwnerOfTheMoment) {
  NameVar owner;
  auto decl = Hdscrap().Decl("HDSCRAP", "");
  decl->ownerVar = &owner;
  FileBlock f(*decl);
  for (const char* which : {"a", "b"}) {
    owner.Set(Owner(which));
    OPEN(f);
    EXPECT_EQ(LastErrorCode(), kFileNotFound) << which << ": " << ErrorTextForMessage();
    CREATE(f);
    ASSERT_EQ(LastErrorCode(), kNoError) << which << ": " << ErrorTextForMessage();
    OPEN(f);
    EXPECT_EQ(LastErrorCode(), kNoError) << which << ": " << ErrorTextForMessage();
    EXPECT_TRUE(Tables(which).count("hdscrap")) << which;
  }
  EXPECT_EQ(observer_->connects, 2);
  // Back on the first owner: its connection is open still and the table found there.
  owner.Set(Owner("a"));
  const size_t sent = observer_->statements.size();
  FileBlock other(*decl);
  OPEN(other);
  EXPECT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  OPEN(f);
  EXPECT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  EXPECT_EQ(observer_->connects, 2);
  EXPECT_EQ(observer_->statements.size(), sent);
  for (const char* which : {"a", "b"}) {
    owner.Set(Owner(which));
    REMOVE(f);
    EXPECT_EQ(LastErrorCode(), kNoError) << which << ": " << ErrorTextForMessage();
  }
}

TEST_P(Connections, LostConnectionIsMadeAnewAtTheNextOpen) {
  if (!Postgres()) GTEST_SKIP() << "a file database has no connection to lose";
  auto decl = Hdscrap().Decl("HDSCRAP", Owner("a"));
  FileBlock f(*decl);
  OPEN(f);
  CREATE(f);
  ASSERT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  // Each run reads the catalog on the server, where the loss shows.
  for (int round = 1; round <= 2; ++round) {
    ASSERT_TRUE(testsupport::DropPostgresSessions(pg_.login));
    BeginFileRun();
    FileBlock again(*decl);
    OPEN(again);
    EXPECT_EQ(LastErrorCode(), kNoError) << round << ": " << ErrorTextForMessage();
    EXPECT_EQ(observer_->connects, 1 + round);
  }
  // Within a run the open answers from the catalog read; the creation that
  // follows finds the connection lost and is made on a new one.
  auto logs = Logs().Decl("LOGS", Owner("a"));
  FileBlock l(*logs);
  OPEN(l);
  EXPECT_EQ(LastErrorCode(), kFileNotFound) << ErrorTextForMessage();
  ASSERT_TRUE(testsupport::DropPostgresSessions(pg_.login));
  CREATE(l);
  EXPECT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  EXPECT_EQ(observer_->connects, 4);
  EXPECT_TRUE(Tables("a").count("logs"));
  REMOVE(l);
  EXPECT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  // A pass-through statement on a lost connection runs on a new one too.
  ASSERT_TRUE(testsupport::DropPostgresSessions(pg_.login));
  REMOVE(f);  // fails on the lost connection...
  EXPECT_EQ(LastErrorCode(), kFileSystemError);
  SET_PROPERTY(f, FilePropSql, "DROP TABLE HDSCRAP");  // ...which the next statement replaces
  EXPECT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  EXPECT_FALSE(Tables("a").count("hdscrap"));
}

// How a creation is stopped after a given number of its statements.
enum class Stop { Refused, Killed, Lost };

struct Interruption {
  const char* name;
  Stop how;
  size_t after;  // statements the server took before the stop
};

TEST_P(Connections, InterruptedCreationLeavesNoPartOfTheTableAndIsCompletedNextTime) {
  const std::vector<std::string> clean = CleanCreation();
  ASSERT_EQ(clean.size(), 7u);
  const Interruption cases[] = {
      {"refused first index", Stop::Refused, 1},
      {"refused third index", Stop::Refused, 3},
      {"killed after CREATE TABLE", Stop::Killed, 1},
      {"killed after two indexes", Stop::Killed, 3},
      {"connection lost after CREATE TABLE", Stop::Lost, 1},
      {"connection lost after two indexes", Stop::Lost, 3},
  };
  auto decl = Hdscrap().Decl("HDSCRAP", Owner("a"));
  for (const Interruption& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.how == Stop::Lost && !Postgres()) continue;
    UseNewDriver();
    const std::string probe = Probe(Database("a"));
    if (c.how == Stop::Refused) {
      // Another table holds an index of the name the next index statement uses.
      const std::string index = clean[c.after].substr(13, clean[c.after].find(" ON ") - 13);
      ASSERT_TRUE(testsupport::Execute(probe, "CREATE TABLE blocker (x int)"));
      ASSERT_TRUE(testsupport::Execute(probe, "CREATE INDEX " + index + " ON blocker (x)"));
      FileBlock f(*decl);
      CREATE(f);
      EXPECT_EQ(LastErrorCode(), kFileSystemError);
      EXPECT_EQ(observer_->statements, std::vector<std::string>(clean.begin(), clean.begin() + c.after + 1));
      EXPECT_EQ(observer_->ends, std::vector<std::string>{"rollback"});
      ASSERT_TRUE(testsupport::Execute(probe, "DROP TABLE blocker"));
    } else if (c.how == Stop::Killed) {
      const pid_t child = fork();
      ASSERT_NE(child, -1);
      if (child == 0) {
        UseNewDriver();
        observer_->afterStatement = [&, taken = size_t{0}](const std::string&, bool ok) mutable {
          if (ok && ++taken == c.after) ::kill(::getpid(), SIGKILL);
        };
        FileBlock f(*decl);
        CREATE(f);
        ::_exit(3);
      }
      int status = 0;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    } else {
      observer_->afterStatement = [&](const std::string&, bool ok) {
        if (ok && observer_->statements.size() == c.after) testsupport::DropPostgresSessions(pg_.login);
      };
      FileBlock f(*decl);
      CREATE(f);
      EXPECT_EQ(LastErrorCode(), kFileSystemError);
      observer_->afterStatement = {};
    }
    EXPECT_FALSE(Tables("a").count("hdscrap"));

    // The next run finds the table missing and makes it with the statements of a clean run.
    observer_->statements.clear();
    FileBlock f(*decl);
    OPEN(f);
    EXPECT_EQ(LastErrorCode(), kFileNotFound) << ErrorTextForMessage();
    CREATE(f);
    EXPECT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
    EXPECT_EQ(observer_->statements, clean);
    OPEN(f);
    EXPECT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
    REMOVE(f);
    EXPECT_EQ(LastErrorCode(), kNoError) << ErrorTextForMessage();
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, Connections, ::testing::Values("SQLite", "PostgreSQL"),
                         [](const auto& info) { return info.param; });

}  // namespace
