// The rows one INSERT of many rows carries: each server's and driver's limits
// from the dialect table, and through the real drivers, batches of every
// size a table's rows make taken whole.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "runtime/sql/odbc_session.h"
#include "runtime/sql/server_dialect.h"
#include "sql/odbc_backends.h"
#include "support/database_probe.h"

using namespace rt;
using namespace testsupport;

namespace {

TEST(BatchLimits, RowsOfAnInsertFollowTheServersAndDriversLimits) {
  struct Case {
    const char* dbmsName;
    int majorVersion;
    size_t columns;
    size_t asked;  // the server's answer to the dialect's query; 0: none
    size_t rows;
  };
  const Case cases[] = {
      // 2,100 parameters less the three of the driver's call, 1,000 rows a VALUES list
      {"Microsoft SQL Server", 16, 28, 0, 74},
      {"Microsoft SQL Server", 10, 1, 0, 1000},
      {"SQL Server (XACT_ABORT ON)", 16, 28, 0, 74},
      // before 2008 a VALUES list holds one row
      {"Microsoft SQL Server", 9, 28, 0, 1},
      {"Microsoft SQL Server", 0, 28, 0, 1},
      // psqlODBC's 32,767 parameters
      {"PostgreSQL", 15, 28, 0, 1170},
      {"PostgreSQL", 15, 1, 0, 32767},
      {"PostgreSQL", 15, 1000, 0, 32},
      // what the library answers, within ODBC's 65,535 parameters; 999 without an answer
      {"SQLite", 3, 28, 250000, 100},
      {"SQLite", 3, 700, 250000, 93},
      {"SQLite", 3, 28, 999, 35},
      {"SQLite", 3, 28, 0, 35},
      {"SQLite", 3, 2000, 0, 1},
      // any other server: 999 parameters, 100 rows
      {"Oracle", 19, 28, 0, 35},
      {"Oracle", 19, 1, 1000000, 100},
      {"Oracle", 19, 0, 0, 100},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DialectOf(c.dbmsName).BatchRows(c.columns, c.majorVersion, c.asked), c.rows)
        << c.dbmsName << " " << c.majorVersion << ", " << c.columns << " columns, " << c.asked << " asked";
}

TEST(BatchLimits, TheMajorVersionIsTheNumberSqlDbmsVerBeginsWith) {
  const std::pair<const char*, int> cases[] = {
      {"16.00.1000", 16}, {"09.00.5000", 9}, {"10.50.1600", 10}, {"3.39.3", 3}, {"", 0}, {"x10", 0}};
  for (const auto& [text, major] : cases) {
    ServerInfo info;
    info.dbmsVersion = text;
    EXPECT_EQ(info.MajorVersion(), major) << text;
  }
}

class Batches : public OdbcBackends {};

// Rows of tables of 1, 28 and 700 columns, each more than two of the largest
// batches the server and its driver take: every batch, the largest ones too,
// arrives whole, each value in its place.
TEST_P(Batches, EveryBatchArrivesWholeWhateverItsSize) {
  SqlResult<std::unique_ptr<SqlSession>> connected = OdbcConnect(Owner("a"));
  ASSERT_TRUE(connected) << connected.error().message;
  SqlSession& session = **connected;
  struct Case {
    size_t columns, rows;
  };
  for (const Case& c : {Case{1, 70000}, Case{28, 2400}, Case{700, 200}}) {
    SCOPED_TRACE(std::to_string(c.columns) + " columns");
    const std::string table = "WIDE" + std::to_string(c.columns);
    std::string create = "CREATE TABLE " + table + " (", head = "INSERT INTO " + table + " (";
    for (size_t i = 0; i < c.columns; ++i) {
      create += (i ? ", C" : "C") + std::to_string(i) + " INTEGER";
      head += (i ? ",C" : "C") + std::to_string(i);
    }
    ASSERT_TRUE(session.Exec(create + (c.columns == 1 ? " PRIMARY KEY)" : ")"), {}));
    head += ") VALUES ";
    ASSERT_TRUE(session.BeginTransaction());
    // The trace tells what was sent: a batch as one line with its rows counted.
    ::setenv("ORTAVIA_SQL_TRACE", "1", 1);
    ::testing::internal::CaptureStderr();
    std::vector<SqlValue> row(c.columns);
    SqlStatus sent;
    for (size_t r = 0; r < c.rows && sent; ++r) {
      for (size_t i = 0; i < c.columns; ++i) row[i] = SqlValue::Long(static_cast<int64_t>(r * c.columns + i));
      sent = session.ExecDeferred(head, row);
    }
    const SqlStatus committed = sent ? session.EndTransaction(true) : sent;
    const std::string trace = ::testing::internal::GetCapturedStderr();
    ::unsetenv("ORTAVIA_SQL_TRACE");
    ASSERT_TRUE(committed) << committed.error().message;
    // No batch was refused and sent again row by row: at most the last one holds one row.
    size_t alone = 0;
    const std::string insert = "INSERT INTO " + table + " (";
    for (size_t at = trace.find(insert); at != std::string::npos; at = trace.find(insert, at + 1)) {
      const std::string line = trace.substr(at, trace.find('\n', at) - at);
      alone += !line.ends_with(" rows)");
    }
    EXPECT_LE(alone, 1u);
    // Row r holds r * columns + i in column i: the count, the first and the last column's sums.
    const size_t n = c.rows, k = c.columns;
    const size_t first = k * n * (n - 1) / 2, last = first + n * (k - 1);
    EXPECT_EQ(Rows(Probe(Database("a")), "SELECT COUNT(*) FROM " + table), std::vector<std::string>{std::to_string(n)});
    EXPECT_EQ(Rows(Probe(Database("a")), "SELECT CAST(SUM(C0) AS VARCHAR(30)) || '|' || CAST(SUM(C" +
                                             std::to_string(k - 1) + ") AS VARCHAR(30)) FROM " + table),
              std::vector<std::string>{std::to_string(first) + "|" + std::to_string(last)});
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, Batches, ::testing::Values("SQLite", "SqlServerStandIn", "PostgreSQL"),
                         [](const auto& info) { return info.param; });

}  // namespace
