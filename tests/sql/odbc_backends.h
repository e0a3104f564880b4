// A test of the SQL driver through the real ODBC driver manager, once per
// backend: "SQLite" (files), "SqlServerStandIn" (the tests' SQL Server driver
// over SQLite files) and "PostgreSQL" (the test server, skipped without one).
// Each backend offers two empty databases, "a" and "b"; the driver under
// "MSSQL" connects through an observer that notes what it sends.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "runtime/files/files.h"
#include "runtime/sql/sql_connect.h"
#include "runtime/sql/sql_driver.h"
#include "support/database_probe.h"
#include "support/observed_odbc.h"
#include "support/program_state.h"

namespace testsupport {

class OdbcBackends : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (Postgres()) {
      const auto pg = testsupport::UsePgTestServer();
      if (!pg) GTEST_SKIP() << "no PostgreSQL test server";
      pg_ = *pg;
      for (const char* which : {"a", "b"}) ASSERT_TRUE(testsupport::EmptySchema(Probe(Database(which))));
    } else {
      dir_ = std::filesystem::temp_directory_path() /
             ("ortavia-odbc-" + std::to_string(getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
      std::filesystem::remove_all(dir_);
      std::filesystem::create_directories(dir_);
    }
    state_.emplace(testsupport::ProgramState::Options{
        .sqlDriver = Postgres() ? "PostgreSQL Unicode" : GetParam() == "SQLite" ? "SQLite3" : "SQL Server",
        .drivers = true,
        .halt = testsupport::Halt::kAsIs});
    UseNewDriver();
  }
  void TearDown() override {
    state_.reset();
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  bool Postgres() const { return GetParam() == "PostgreSQL"; }
  std::string Database(const std::string& which) const {
    if (Postgres()) return which == "a" ? "ortavia_scratch" : "ortavia_data_b";
    return (dir_ / (which + ".db")).string();
  }
  std::string Owner(const std::string& which) const {
    if (Postgres())
      return "127.0.0.1," + rt::OwnerPart(Database(which)) + "," + rt::OwnerPart(pg_.login) + "," +
             rt::OwnerPart(pg_.password);
    return "x," + rt::OwnerPart(Database(which)) + ",ortavia";
  }
  // A connection beside the program's, to look at or change a database.
  std::string Probe(const std::string& database) const {
    if (Postgres()) return pg_.ConnectionString(database);
    return "Driver={SQLite3};Database=" + database;
  }
  std::set<std::string> Tables(const std::string& which) const {
    return testsupport::TablesIn(Probe(Database(which)));
  }
  // The driver under "MSSQL" from now on: connections of its own, noted in a new observer.
  void UseNewDriver() {
    observer_ = std::make_shared<testsupport::OdbcObserver>();
    rt::RegisterDriver(std::make_shared<rt::SqlDriver>(testsupport::ObservedOdbc(observer_)));
  }

  std::filesystem::path dir_;
  testsupport::PgTestServer pg_;
  std::optional<testsupport::ProgramState> state_;
  std::shared_ptr<testsupport::OdbcObserver> observer_;
};

}  // namespace testsupport
