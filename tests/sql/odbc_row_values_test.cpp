// Values of many rows through the ODBC session, on each backend: rows queued
// under one INSERT head, sent in several batches through statements used
// again and again, arrive value for value (texts converted exactly whatever
// their length and the lengths before them, empty texts, NULLs, numbers,
// dates and times); read back through the session's cursor they are the
// values sent, and values only a server can hold (a character outside the
// code page in the middle of a long text, a whole number past 32 bits, a
// long text in a number column) are read whole and told as they are.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "runtime/base/code_page.h"
#include "runtime/decl/value_fit.h"
#include "runtime/sql/odbc_session.h"
#include "sql/odbc_backends.h"

namespace {

using rt::SqlValue;
using Kind = rt::SqlValue::Kind;

// Texts in the order that tests the storage they go through: each longer, or
// longer in UTF-8, than the one before it, a short one after long ones, the
// empty text and NULL (nullopt) between them.
const std::vector<std::optional<std::string>> kTexts = {
    "ab",
    std::string(40, 'x'),
    std::string(40, '\xE9'),                           // é: as many bytes, twice as long in UTF-8
    "c",
    std::string(30, '\x80') + "end",                   // the euro sign: three bytes in UTF-8
    "1234567\x8A" "89abcdef\x9F" "g",                  // Š and Ÿ at the edges of eight-byte words
    std::string(5000, 'q') + "\xFC",                   // past any piece a driver hands over, ü last
    "",
    std::nullopt,
    std::string(300, 'r'),
    std::string(7000, '\xF1'),                         // ñ: 14,000 bytes in UTF-8
    "z",
};

class OdbcRowValues : public testsupport::OdbcBackends {
 protected:
  std::unique_ptr<rt::SqlSession> Connect() {
    rt::SqlResult<std::unique_ptr<rt::SqlSession>> session = rt::OdbcConnect(Owner("a"));
    EXPECT_TRUE(session.ok()) << (session ? "" : session.error().state + " " + session.error().message);
    return session ? std::move(*session) : nullptr;
  }
  std::string ProbeConnection() const { return Probe(Database("a")); }
  static void Run(rt::SqlSession& session, const std::string& sql, const std::vector<SqlValue>& params = {}) {
    const rt::SqlStatus ran = session.Exec(sql, params);
    EXPECT_TRUE(ran.ok()) << sql << ": " << (ran ? "" : ran.error().state + " " + ran.error().message);
  }
  // Every row of the query through the session's cursor, in the kinds asked.
  static std::vector<std::vector<SqlValue>> Read(rt::SqlSession& session, const std::string& sql,
                                                 const std::vector<Kind>& kinds) {
    std::vector<std::vector<SqlValue>> rows;
    rt::SqlResult<std::unique_ptr<rt::SqlCursor>> cursor = session.Query(sql, {}, kinds);
    if (!cursor) {
      ADD_FAILURE() << sql << ": " << cursor.error().state << " " << cursor.error().message;
      return rows;
    }
    const rt::SqlStatus read = rt::ForEachRow(**cursor, [&](std::vector<SqlValue>& row) { rows.push_back(row); });
    EXPECT_TRUE(read.ok()) << sql << ": " << (read ? "" : read.error().state + " " + read.error().message);
    return rows;
  }
};

std::string Repeated(const std::string& piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

constexpr int kRows = 250;  // several batches at any backend's batch size

SqlValue TextOfRow(int n) {
  const std::optional<std::string>& t = kTexts[n % kTexts.size()];
  return t ? SqlValue::Text(*t) : SqlValue::Null(Kind::Text);
}
SqlValue AmountOfRow(int n) { return n % 3 == 0 ? SqlValue::Null(Kind::Double) : SqlValue::Double(0.5 * n - 40); }
SqlValue StampOfRow(int n) {
  if (n % 5 == 0) return SqlValue::Null(Kind::Timestamp);
  return SqlValue::Time({2019, 1 + n % 12, 1 + n % 28, n % 24, n % 60, (7 * n) % 60, 0});
}

TEST_P(OdbcRowValues, QueuedRowsArriveValueForValueAndReadBackAsSent) {
  std::unique_ptr<rt::SqlSession> session = Connect();
  ASSERT_TRUE(session);
  Run(*session, "CREATE TABLE CARRIED (N INTEGER, S VARCHAR(8000), D DOUBLE PRECISION, T TIMESTAMP)");
  const rt::InsertHead head = std::make_shared<const std::string>("INSERT INTO CARRIED (N, S, D, T) VALUES ");
  ASSERT_TRUE(session->BeginTransaction().ok());
  for (int n = 0; n < kRows; ++n) {
    const rt::SqlStatus queued =
        session->ExecDeferred(head, {SqlValue::Long(n - 100), TextOfRow(n), AmountOfRow(n), StampOfRow(n)});
    ASSERT_TRUE(queued.ok()) << n << ": " << queued.error().state << " " << queued.error().message;
  }
  ASSERT_TRUE(session->EndTransaction(true).ok());

  // Beside the program: each text is found by its own literal, in every row it was sent in.
  EXPECT_EQ(testsupport::Rows(ProbeConnection(), "SELECT count(*) FROM CARRIED"),
            std::vector<std::string>{std::to_string(kRows)});
  for (size_t k = 0; k < kTexts.size(); ++k) {
    std::vector<std::string> expected;
    for (int n = static_cast<int>(k); n < kRows; n += static_cast<int>(kTexts.size()))
      expected.push_back(std::to_string(n - 100));
    const std::string where = kTexts[k] ? "S = '" + rt::Cp1252ToUtf8(*kTexts[k]) + "'" : "S IS NULL";
    EXPECT_EQ(testsupport::Rows(ProbeConnection(), "SELECT N FROM CARRIED WHERE " + where + " ORDER BY N"), expected)
        << "text " << k;
  }

  // Through the session's cursor: every value as it was sent.
  const std::vector<std::vector<SqlValue>> rows =
      Read(*session, "SELECT N, S, D, T FROM CARRIED ORDER BY N", {Kind::Long, Kind::Text, Kind::Double, Kind::Timestamp});
  ASSERT_EQ(rows.size(), static_cast<size_t>(kRows));
  for (int n = 0; n < kRows; ++n) {
    SCOPED_TRACE(n);
    const std::vector<SqlValue>& row = rows[n];
    ASSERT_EQ(row.size(), 4u);
    for (const SqlValue& v : row) EXPECT_EQ(v.unfit, "");
    EXPECT_EQ(row[0].i, n - 100);
    EXPECT_FALSE(row[0].isNull);
    const SqlValue text = TextOfRow(n);
    EXPECT_EQ(row[1].isNull, text.isNull);
    EXPECT_EQ(row[1].bytes, text.bytes);
    const SqlValue amount = AmountOfRow(n);
    EXPECT_EQ(row[2].isNull, amount.isNull);
    EXPECT_EQ(row[2].d, amount.d);
    const SqlValue stamp = StampOfRow(n);
    EXPECT_EQ(row[3].isNull, stamp.isNull);
    const rt::SqlTimestamp& a = row[3].ts;
    const rt::SqlTimestamp& b = stamp.ts;
    EXPECT_EQ(std::vector<int>({a.year, a.month, a.day, a.hour, a.minute, a.second, static_cast<int>(a.fraction)}),
              std::vector<int>({b.year, b.month, b.day, b.hour, b.minute, b.second, static_cast<int>(b.fraction)}));
  }
}

// Rows a server holds that no program sent, read through the session's
// cursor in the order that tests its buffers: a long text with a character
// outside the code page in its middle, the texts after it shorter and longer,
// one longer than any buffer, NULLs; a whole number past 32 bits; on SQLite a
// long text where a number belongs.
TEST_P(OdbcRowValues, ValuesOnlyAServerHoldsAreReadWholeAndToldAsTheyAre) {
  const std::string probe = ProbeConnection();
  ASSERT_TRUE(testsupport::Execute(probe, "CREATE TABLE HELD (N INTEGER, S TEXT, W BIGINT)"));
  const std::string cyrillic = "\xD0\x96";  // U+0416, in UTF-8
  struct Held {
    std::string n, s, w;             // SQL literals
    std::string text;                // what S reads as
    std::string unfit;               // why S is not exact
    int64_t whole = 0;
    bool textNull = false, wholeNull = false;
  };
  std::vector<Held> held = {
      {"1", "'short'", "1", "short", "", 1},
      {"2", "'" + std::string(6000, 'a') + cyrillic + std::string(100, 'b') + "'", "9999999999",
       std::string(6000, 'a') + "?" + std::string(100, 'b'), rt::CharacterUnfit(U'\u0416'), 9999999999},
      {"3", "NULL", "NULL", "", "", 0, true, true},
      {"4", "'" + std::string(300, 'c') + "'", "-9999999999", std::string(300, 'c'), "", -9999999999},
      {"5", "'" + std::string(70000, 'd') + "\xC3\xA9'", "5", std::string(70000, 'd') + "\xE9", "", 5},
      {"6", "'" + Repeated("\xC3\xA9", 200) + "'", "6", std::string(200, '\xE9'), "", 6},
      {"7", "''", "7", "", "", 7},
  };
  for (const Held& h : held)
    ASSERT_TRUE(testsupport::Execute(probe, "INSERT INTO HELD (N, S, W) VALUES (" + h.n + ", " + h.s + ", " + h.w + ")"));
  // A server whose columns hold any value: a long text where a whole number belongs.
  const bool anyValue = GetParam() == "SQLite";
  const std::string longText(300, 'n');
  if (anyValue) {
    ASSERT_TRUE(testsupport::Execute(probe, "INSERT INTO HELD (N, S, W) VALUES (8, 'x', '" + longText + "')"));
  }

  std::unique_ptr<rt::SqlSession> session = Connect();
  ASSERT_TRUE(session);
  const std::vector<std::vector<SqlValue>> rows =
      Read(*session, "SELECT N, S, W FROM HELD ORDER BY N", {Kind::Long, Kind::Text, Kind::Long});
  ASSERT_EQ(rows.size(), held.size() + (anyValue ? 1 : 0));
  for (size_t r = 0; r < held.size(); ++r) {
    SCOPED_TRACE(held[r].n);
    const std::vector<SqlValue>& row = rows[r];
    ASSERT_EQ(row.size(), 3u);
    EXPECT_EQ(row[1].isNull, held[r].textNull);
    EXPECT_EQ(row[1].bytes.size(), held[r].text.size());
    EXPECT_EQ(row[1].bytes, held[r].text);
    EXPECT_EQ(row[1].unfit, held[r].unfit);
    EXPECT_EQ(row[2].isNull, held[r].wholeNull);
    EXPECT_EQ(row[2].i, held[r].whole);
    EXPECT_EQ(row[2].unfit, "");
  }
  if (anyValue) {
    const SqlValue& w = rows.back()[2];
    EXPECT_FALSE(w.isNull);
    EXPECT_EQ(w.unfit, "is not a whole number");
    EXPECT_EQ(w.bytes, longText);
    EXPECT_EQ(rows.back()[1].bytes, "x");
  }
}

// Each stamp inserted by itself through the driver the connection names, bound
// as a stamp: whether the driver took it. What a driver makes of a bound stamp
// is what the session's stamps must leave.
std::vector<bool> InsertBoundStamps(const std::string& connection, const std::string& table,
                                    const std::vector<rt::SqlTimestamp>& stamps) {
  std::vector<bool> taken;
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT st = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  std::string cs = connection;
  EXPECT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(cs.data()), SQL_NTS, nullptr,
                                             0, nullptr, SQL_DRIVER_NOPROMPT)));
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
  std::string sql = "INSERT INTO " + table + " (N, T) VALUES (?, ?)";
  SQLPrepare(st, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS);
  SQLINTEGER n = 0;
  SQL_TIMESTAMP_STRUCT ts{};
  SQLLEN length = 0;
  SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &n, 0, &length);
  SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_TIMESTAMP, SQL_TIMESTAMP, 23, 3, &ts, 0, &length);
  for (const rt::SqlTimestamp& t : stamps) {
    ts = {static_cast<SQLSMALLINT>(t.year), static_cast<SQLUSMALLINT>(t.month), static_cast<SQLUSMALLINT>(t.day),
          static_cast<SQLUSMALLINT>(t.hour), static_cast<SQLUSMALLINT>(t.minute), static_cast<SQLUSMALLINT>(t.second),
          t.fraction};
    taken.push_back(SQL_SUCCEEDED(SQLExecute(st)));
    ++n;
  }
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return taken;
}

// Stamps the session sends, one at a time and queued under one INSERT head,
// are kept as the driver keeps the same stamps bound as stamps: on SQLite the
// same text to the character (the milliseconds of the fraction, cut), and
// where a part is out of its range the driver's own answer.
TEST_P(OdbcRowValues, StampsAreKeptAsTheDriverKeepsABoundStamp) {
  const std::vector<rt::SqlTimestamp> stamps = {
      {2015, 2, 28, 0, 0, 0, 0},           {2015, 2, 28, 13, 45, 7, 120000000}, {1, 1, 1, 0, 0, 0, 0},
      {999, 12, 31, 23, 59, 59, 990000000}, {2024, 6, 5, 9, 8, 7, 123456789},   {9999, 12, 31, 23, 59, 59, 999999999},
      {2024, 1, 1, 0, 0, 0, 5000000},      {0, 0, 0, 0, 0, 0, 0},
      // Out of range: what the driver makes of them is its own.
      {10000, 1, 1, 0, 0, 0, 0},           {2024, 13, 1, 0, 0, 0, 0},           {2024, 1, 1, 24, 0, 0, 0},
      {2024, 1, 1, 0, 0, 60, 0},           {2024, 1, 1, 0, 0, 0, 1000000000},
  };
  const std::string probe = ProbeConnection();
  for (const char* table : {"BOUND", "ALONE", "QUEUED"})
    ASSERT_TRUE(testsupport::Execute(probe, std::string("CREATE TABLE ") + table + " (N INTEGER, T TIMESTAMP)"));
  const std::vector<bool> taken = InsertBoundStamps(probe, "BOUND", stamps);

  std::unique_ptr<rt::SqlSession> session = Connect();
  ASSERT_TRUE(session);
  const rt::InsertHead head = std::make_shared<const std::string>("INSERT INTO QUEUED (N, T) VALUES ");
  auto row = [&](size_t i) {
    return std::vector<SqlValue>{SqlValue::Long(static_cast<int64_t>(i)), SqlValue::Time(stamps[i])};
  };
  for (size_t i = 0; i < stamps.size(); ++i)
    EXPECT_EQ(session->Exec("INSERT INTO ALONE (N, T) VALUES (?, ?)", row(i)).ok(), taken[i]) << i;
  ASSERT_TRUE(session->BeginTransaction().ok());
  for (size_t i = 0; i < stamps.size(); ++i)
    if (taken[i]) {
      ASSERT_TRUE(session->ExecDeferred(head, row(i)).ok()) << i;
    }
  ASSERT_TRUE(session->EndTransaction(true).ok());

  const std::string text = Postgres() ? "N || ' ' || T::text" : "N || ' ' || quote(T)";
  const std::vector<std::string> bound = testsupport::Rows(probe, "SELECT " + text + " FROM BOUND ORDER BY N");
  ASSERT_EQ(bound.size(), static_cast<size_t>(std::count(taken.begin(), taken.end(), true)));
  if (!Postgres()) {
    EXPECT_EQ(bound.front(), "0 '2015-02-28 00:00:00.000'");
  }
  EXPECT_EQ(testsupport::Rows(probe, "SELECT " + text + " FROM ALONE ORDER BY N"), bound);
  EXPECT_EQ(testsupport::Rows(probe, "SELECT " + text + " FROM QUEUED ORDER BY N"), bound);
}

INSTANTIATE_TEST_SUITE_P(Backends, OdbcRowValues, ::testing::Values("SQLite", "SqlServerStandIn", "PostgreSQL"),
                         [](const auto& info) { return info.param; });

}  // namespace
