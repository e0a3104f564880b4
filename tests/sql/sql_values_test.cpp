// A date-time handle's bytes as a statement's timestamp and back.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <tuple>

#include "runtime/decl/file_block.h"
#include "runtime/sql/sql_values.h"
#include "sql/sql_fixtures.h"
#include "support/sqlserver_double.h"

using namespace rt;
using namespace testsupport;

namespace {

using Handle = std::array<uint8_t, 8>;  // day, month, year (2), hundredths, seconds, minutes, hours

TEST(SqlValues, DateTimeHandleIsATimestampAndBack) {
  TableBuilder t("D");
  t.Long("A").DatePair("FECHA");
  auto decl = t.Decl("D", "srv,db,sa");
  FileBlock f(*decl);
  const Outcome<SqlTableSchema> schema = BuildTableSchema(*decl->record, f.keys(), f.blobs(), "D", SqlServerInfo());
  ASSERT_TRUE(schema);
  const SqlColumn& col = schema->columns.at(1);
  ASSERT_TRUE(col.dateTime);

  struct Case {
    const char* what;
    Handle bytes;
    std::optional<SqlTimestamp> stamp;  // none: NULL
    Handle back;                        // the bytes the stamp is stored as
  } cases[] = {
      {"empty", {}, std::nullopt, {}},
      {"date and time", {9, 3, 2015 & 0xFF, 2015 >> 8, 45, 30, 20, 10}, SqlTimestamp{2015, 3, 9, 10, 20, 30, 450000000},
       {9, 3, 2015 & 0xFF, 2015 >> 8, 45, 30, 20, 10}},
      {"date alone", {31, 12, 9999 & 0xFF, 9999 >> 8, 0, 0, 0, 0}, SqlTimestamp{9999, 12, 31, 0, 0, 0, 0},
       {31, 12, 9999 & 0xFF, 9999 >> 8, 0, 0, 0, 0}},
      // A time without a date goes with 1 January 1900.
      {"time alone", {0, 0, 0, 0, 1, 2, 3, 4}, SqlTimestamp{1900, 1, 1, 4, 3, 2, 10000000},
       {1, 1, 1900 & 0xFF, 1900 >> 8, 1, 2, 3, 4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::copy(c.bytes.begin(), c.bytes.end(), f.buffer() + col.offset);
    const SqlValue v = ValueOf(f, col);
    EXPECT_EQ(v.kind, SqlValue::Kind::Timestamp);
    ASSERT_EQ(v.isNull, !c.stamp);
    if (c.stamp) {
      const SqlTimestamp& want = *c.stamp;
      EXPECT_EQ(std::tie(v.ts.year, v.ts.month, v.ts.day, v.ts.hour, v.ts.minute, v.ts.second, v.ts.fraction),
                std::tie(want.year, want.month, want.day, want.hour, want.minute, want.second, want.fraction));
    }
    std::fill(f.buffer() + col.offset, f.buffer() + col.offset + 8, 0xEE);
    StoreValue(f, col, v);
    Handle stored;
    std::copy(f.buffer() + col.offset, f.buffer() + col.offset + 8, stored.begin());
    EXPECT_EQ(stored, c.back);
  }
}

}  // namespace
