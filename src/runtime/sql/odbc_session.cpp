// The ODBC session: a connection through the driver manager, statements with
// bound parameters, cursors, catalog calls and transactions. Every ODBC call
// goes through odbc::AnswerOf (odbc_call.h); texts cross to and from the driver
// there too.
#include "runtime/sql/odbc_session.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <mutex>
#include <span>

#include "runtime/decl/value_fit.h"
#include "runtime/sql/connection_string.h"
#include "runtime/sql/odbc_call.h"
#include "runtime/sql/odbc_driver_choice.h"
#include "runtime/sql/sql_trace.h"

namespace rt {

namespace {

using odbc::Answer;
using odbc::AnswerOf;
using odbc::DbcHandle;
using odbc::EnvHandle;
using odbc::FromDriver;
using odbc::StmtHandle;
using odbc::ToDriver;

// Asks for multiple active result sets on a SQL Server connection.
constexpr SQLINTEGER kCoptMarsEnabled = 1224;

SQLCHAR* Text(const std::string& text) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())); }

// A stamp as the SQLite driver writes a bound one,
// "%04d-%02d-%02d %02d:%02d:%02d.%03d" of its parts and the fraction's
// milliseconds, cut: its length, or 0 where a part is outside the ranges the
// driver is known to write so (the driver is then handed the stamp itself).
constexpr size_t kStampTextSize = 23;
size_t DriverStampText(const SqlTimestamp& t, char (&out)[kStampTextSize]) {
  const bool inRange = t.year >= 0 && t.year <= 9999 && t.month >= 0 && t.month <= 12 && t.day >= 0 &&
                       t.day <= 31 && t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 &&
                       t.second >= 0 && t.second <= 59 && t.fraction < 1000000000;
  if (!inRange) return 0;
  char* p = out;
  auto put = [&p](unsigned value, int digits, char after) {
    for (int i = digits - 1; i >= 0; --i, value /= 10) p[i] = static_cast<char>('0' + value % 10);
    p += digits;
    if (after) *p++ = after;
  };
  put(static_cast<unsigned>(t.year), 4, '-');
  put(static_cast<unsigned>(t.month), 2, '-');
  put(static_cast<unsigned>(t.day), 2, ' ');
  put(static_cast<unsigned>(t.hour), 2, ':');
  put(static_cast<unsigned>(t.minute), 2, ':');
  put(static_cast<unsigned>(t.second), 2, '.');
  put(t.fraction / 1000000, 3, 0);
  return static_cast<size_t>(p - out);
}

// The parameters of one statement: each bound once to storage of its own,
// which later runs of the statement fill with their values; a parameter is
// bound again only when the form it goes in changes or its text outgrows the
// storage. The storage stays put until the statement is freed. Where the
// driver asks it, a stamp goes as its text.
class BoundParams {
 public:
  explicit BoundParams(bool stampsAsText) : stampsAsText_(stampsAsText) {}

  SqlStatus Set(const StmtHandle& stmt, std::span<const SqlValue> params) {
    if (slots_.size() != params.size()) {
      slots_.clear();
      slots_.resize(params.size());
    }
    // The last first: a driver that grows its list of bound parameters to the
    // number bound (the SQLite driver, by a reallocation each) makes it once.
    for (size_t i = params.size(); i-- > 0;)
      if (SqlStatus set = slots_[i].Set(stmt, static_cast<SQLUSMALLINT>(i + 1), params[i], stampsAsText_); !set)
        return set;
    return {};
  }

 private:
  struct Slot {
    // The form a value is bound in.
    enum class As { Nothing, Number, Real, Stamp, Binary, Text };
    As as = As::Nothing;
    SQLINTEGER number = 0;
    double real = 0;
    SQL_TIMESTAMP_STRUCT stamp{};
    std::string bytes;     // text or binary, sized to its capacity
    SQLLEN length = 0;     // the length or SQL_NULL_DATA

    SqlStatus Set(const StmtHandle& handle, SQLUSMALLINT n, const SqlValue& v, bool stampsAsText) {
      const bool isNull = v.isNull || v.kind == SqlValue::Kind::Null;
      char stampText[kStampTextSize];
      size_t stampLength = 0;
      As wanted = As::Text;
      switch (v.kind) {
        case SqlValue::Kind::Long: wanted = As::Number; break;
        case SqlValue::Kind::Double: wanted = As::Real; break;
        case SqlValue::Kind::Binary: wanted = As::Binary; break;
        case SqlValue::Kind::Timestamp:
          if (stampsAsText && !isNull) stampLength = DriverStampText(v.ts, stampText);
          wanted = stampsAsText && (isNull || stampLength > 0) ? As::Text : As::Stamp;
          break;
        default: break;
      }
      const bool byteKind = wanted == As::Text || wanted == As::Binary;
      // A text is converted straight into the storage; a binary or a stamp's
      // text goes as it is.
      const bool converted = wanted == As::Text && v.kind != SqlValue::Kind::Timestamp;
      const std::string_view raw = wanted == As::Binary ? std::string_view(v.bytes)
                                                        : std::string_view(stampText, stampLength);
      const size_t size = !byteKind ? 0 : converted ? odbc::ToDriverLength(v.bytes) : raw.size();
      bool rebind = as != wanted;
      if (size > bytes.size()) {
        bytes.resize(std::max<size_t>(size, 2 * bytes.size()));
        rebind = true;
      }
      switch (wanted) {
        case As::Number: number = static_cast<SQLINTEGER>(v.i); break;
        case As::Real: real = v.d; break;
        case As::Stamp:
          stamp.year = static_cast<SQLSMALLINT>(v.ts.year);
          stamp.month = static_cast<SQLUSMALLINT>(v.ts.month);
          stamp.day = static_cast<SQLUSMALLINT>(v.ts.day);
          stamp.hour = static_cast<SQLUSMALLINT>(v.ts.hour);
          stamp.minute = static_cast<SQLUSMALLINT>(v.ts.minute);
          stamp.second = static_cast<SQLUSMALLINT>(v.ts.second);
          stamp.fraction = v.ts.fraction;
          break;
        case As::Binary:
        case As::Text:
          if (converted) odbc::ToDriver(v.bytes, bytes.data());
          else std::copy(raw.begin(), raw.end(), bytes.begin());
          break;
        case As::Nothing: break;
      }
      length = isNull ? SQL_NULL_DATA : byteKind ? static_cast<SQLLEN>(size) : 0;
      if (!rebind) return {};
      as = wanted;
      // Texts and binaries are bound with their storage's size, so that the
      // same binding serves every later value that fits.
      const SQLULEN room = std::max<SQLULEN>(bytes.size(), 1);
      SQLHSTMT stmt = handle.get();
      SQLRETURN rc = SQL_ERROR;
      switch (wanted) {
        case As::Number:
          rc = SQLBindParameter(stmt, n, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &number, 0, &length);
          break;
        case As::Real:
          rc = SQLBindParameter(stmt, n, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &real, 0, &length);
          break;
        case As::Stamp:
          rc = SQLBindParameter(stmt, n, SQL_PARAM_INPUT, SQL_C_TIMESTAMP, SQL_TIMESTAMP, 23, 3, &stamp, 0, &length);
          break;
        case As::Binary:
          rc = SQLBindParameter(stmt, n, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, room, 0, bytes.data(),
                                static_cast<SQLLEN>(bytes.size()), &length);
          break;
        case As::Text:
          rc = SQLBindParameter(stmt, n, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, room, 0, bytes.data(),
                                static_cast<SQLLEN>(bytes.size()), &length);
          break;
        case As::Nothing: break;
      }
      if (!SQL_SUCCEEDED(rc)) as = As::Nothing;  // bound again at the next value
      return odbc::Succeeded("SQLBindParameter", handle, rc);
    }
  };
  bool stampsAsText_;
  std::vector<Slot> slots_;
};

// The value of a number or stamp column from the text a server keeps it as
// (one whose columns hold any value): v.unfit says why when the text is none.
void ParseWhole(SqlValue& v) {
  const std::string& t = v.bytes;
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v.i);
  if (ec == std::errc() && end == t.data() + t.size()) return;
  // A real without a fraction is the whole number it equals.
  double d = 0;
  auto [dend, dec] = std::from_chars(t.data(), t.data() + t.size(), d);
  if (dec == std::errc() && dend == t.data() + t.size() && std::trunc(d) == d && std::abs(d) < 9.2e18) {
    v.i = static_cast<int64_t>(d);
    return;
  }
  v.unfit = ec == std::errc::result_out_of_range ? "is outside the field's range" : "is not a whole number";
}

void ParseReal(SqlValue& v) {
  const std::string& t = v.bytes;
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v.d);
  if (ec != std::errc() || end != t.data() + t.size() || !std::isfinite(v.d)) v.unfit = "is not a number";
}

// "year-month-day", then optionally " hours:minutes", ":seconds" and a
// decimal fraction, each a date and time the calendar holds.
void ParseStamp(SqlValue& v) {
  std::string_view t = v.bytes;
  auto number = [&](int digitsMin, int digitsMax, int& out) {
    int n = 0;
    out = 0;
    while (n < digitsMax && n < static_cast<int>(t.size()) && t[n] >= '0' && t[n] <= '9') out = out * 10 + (t[n++] - '0');
    t.remove_prefix(static_cast<size_t>(n));
    return n >= digitsMin;
  };
  auto sep = [&](char c) {
    if (t.empty() || t.front() != c) return false;
    t.remove_prefix(1);
    return true;
  };
  SqlTimestamp& ts = v.ts;
  bool ok = number(1, 4, ts.year) && sep('-') && number(1, 2, ts.month) && sep('-') && number(1, 2, ts.day);
  if (ok && !t.empty()) {
    ok = (sep(' ') || sep('T')) && number(1, 2, ts.hour) && sep(':') && number(1, 2, ts.minute);
    if (ok && sep(':')) ok = number(1, 2, ts.second);
    if (ok && sep('.')) {
      const size_t digits = t.size();
      int fraction = 0;
      ok = digits >= 1 && digits <= 9 && number(1, 9, fraction);
      for (size_t i = digits; ok && i < 9; ++i) fraction *= 10;
      ts.fraction = static_cast<uint32_t>(fraction);
    }
    ok = ok && t.empty();
  }
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = ts.year % 4 == 0 && (ts.year % 100 != 0 || ts.year % 400 == 0);
  ok = ok && ts.year >= 1 && ts.month >= 1 && ts.month <= 12 && ts.day >= 1 && ts.day <= kDays[ts.month - 1] &&
       (ts.month != 2 || ts.day <= 28 || leap) && ts.hour < 24 && ts.minute < 60 && ts.second < 60;
  if (!ok) {
    v.ts = {};
    v.unfit = "is not a date and time";
  }
}

// A text as the driver gave it, in the code page: v.unfit says which
// character the code page lacks when one does ('?' in its place).
void TakeDriverText(std::string_view text, SqlValue& v) {
  char32_t bad = 0;
  if (std::optional<std::string> exact = odbc::FromDriverExact(text, &bad)) {
    v.bytes = std::move(*exact);
  } else {
    v.bytes = FromDriver(text);
    v.unfit = CharacterUnfit(bad);
  }
}

// A number or stamp of a server whose columns hold any value, from the text
// read of it: an empty text is NULL, one that is none of the kind is unfit.
void TakeAsKind(SqlValue::Kind kind, SqlValue&& text, SqlValue& v) {
  v.isNull = text.isNull || text.bytes.empty();
  v.bytes = std::move(text.bytes);
  v.unfit = std::move(text.unfit);
  if (v.isNull || !v.unfit.empty()) return;
  if (kind == SqlValue::Kind::Long) ParseWhole(v);
  else if (kind == SqlValue::Kind::Double) ParseReal(v);
  else ParseStamp(v);
}

class OdbcCursor : public SqlCursor {
 public:
  // asTexts: numbers and stamps are read as texts and checked, for a server
  // whose columns hold any value. bind: the driver reads any column with
  // SQLGetData, bound ones too, so the columns are bound at the first fetch
  // and a value longer than its buffer is read again whole.
  OdbcCursor(StmtHandle stmt, std::vector<SqlValue::Kind> kinds, std::unique_ptr<BoundParams> params,
             bool asTexts = false, bool bind = false)
      : kinds_(std::move(kinds)), asTexts_(asTexts), bind_(bind), params_(std::move(params)),
        handle_(std::move(stmt)) {}

  SqlResult<Fetched> Fetch(std::vector<SqlValue>& row) override {
    if (bind_ && columns_.empty()) BindColumns();
    const Answer fetched = AnswerOf("SQLFetch", handle_, SQLFetch(handle_.get()));
    if (!fetched) return Failed(fetched.error());
    if (*fetched == SQL_NO_DATA) return Fetched::End;
    row.assign(kinds_.size(), SqlValue());
    for (size_t i = 0; i < kinds_.size(); ++i) {
      const SQLUSMALLINT col = static_cast<SQLUSMALLINT>(i + 1);
      if (!columns_.empty() && Take(columns_[i], kinds_[i], row[i])) continue;
      if (SqlStatus read = Read(col, kinds_[i], row[i]); !read) return Failed(read.error());
      if (!columns_.empty()) Grow(columns_[i], col);
    }
    return Fetched::Row;
  }

  std::vector<std::string> ColumnNames() override {
    std::vector<std::string> names;
    SQLSMALLINT count = 0;
    if (!AnswerOf("SQLNumResultCols", handle_, SQLNumResultCols(handle_.get(), &count))) return names;
    for (SQLSMALLINT i = 1; i <= count; ++i) {
      SQLCHAR name[512] = {};
      SQLSMALLINT len = 0, type = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      // A column the driver cannot describe is listed without a name.
      static_cast<void>(AnswerOf("SQLDescribeCol", handle_,
                                 SQLDescribeCol(handle_.get(), static_cast<SQLUSMALLINT>(i), name, sizeof name, &len,
                                                &type, &size, &digits, &nullable)));
      names.push_back(FromDriver(reinterpret_cast<char*>(name)));
    }
    return names;
  }

 private:
  // A column bound to storage of its own; its buffer, for a text or binary
  // value, grows to the longest value read of it, up to kMostBound bytes.
  struct BoundColumn {
    bool bound = false;
    SQLSMALLINT ctype = SQL_C_CHAR;
    SQLLEN ind = 0;
    SQLBIGINT whole = 0;
    double real = 0;
    SQL_TIMESTAMP_STRUCT stamp{};
    std::vector<char> bytes;
  };
  static constexpr size_t kFirstBound = 256, kFirstBoundNumber = 64, kMostBound = 65536;

  // Whether a column of the kind is read as a text.
  bool ReadAsText(SqlValue::Kind kind) const {
    return kind == SqlValue::Kind::Text || kind == SqlValue::Kind::Null ||
           (asTexts_ && kind != SqlValue::Kind::Binary);
  }

  // Each column bound as its kind is read; a column the driver will not bind
  // is read with SQLGetData.
  void BindColumns() {
    columns_.resize(kinds_.size());
    for (size_t i = 0; i < kinds_.size(); ++i) {
      BoundColumn& c = columns_[i];
      const SqlValue::Kind kind = kinds_[i];
      if (ReadAsText(kind)) {
        c.ctype = SQL_C_CHAR;
        c.bytes.resize(kind == SqlValue::Kind::Text || kind == SqlValue::Kind::Null ? kFirstBound : kFirstBoundNumber);
      } else if (kind == SqlValue::Kind::Binary) {
        c.ctype = SQL_C_BINARY;
        c.bytes.resize(kFirstBound);
      } else {
        c.ctype = kind == SqlValue::Kind::Long ? SQL_C_SBIGINT : kind == SqlValue::Kind::Double ? SQL_C_DOUBLE
                                                                                                 : SQL_C_TIMESTAMP;
      }
      Bind(c, static_cast<SQLUSMALLINT>(i + 1));
    }
  }
  void Bind(BoundColumn& c, SQLUSMALLINT col) {
    void* target = c.ctype == SQL_C_SBIGINT  ? static_cast<void*>(&c.whole)
                   : c.ctype == SQL_C_DOUBLE ? static_cast<void*>(&c.real)
                   : c.ctype == SQL_C_TIMESTAMP ? static_cast<void*>(&c.stamp)
                                                : static_cast<void*>(c.bytes.data());
    const SQLLEN room = c.ctype == SQL_C_TIMESTAMP ? static_cast<SQLLEN>(sizeof c.stamp)
                                                    : static_cast<SQLLEN>(c.bytes.size());
    c.bound = AnswerOf("SQLBindCol", handle_, SQLBindCol(handle_.get(), col, c.ctype, target, room, &c.ind)).ok();
  }
  // After a value too long for its column's buffer was read again: a larger
  // buffer for the rows after it.
  void Grow(BoundColumn& c, SQLUSMALLINT col) {
    if (!c.bound || c.bytes.empty() || c.bytes.size() >= kMostBound) return;
    const size_t wanted = c.ind == SQL_NO_TOTAL ? 4 * c.bytes.size() : static_cast<size_t>(c.ind) + 1;
    c.bytes.resize(std::min(kMostBound, std::max(wanted, 2 * c.bytes.size())));
    Bind(c, col);
  }

  // The value of a bound column as kind into v; false when the value is
  // longer than the buffer (or of a length not told), to be read again.
  bool Take(const BoundColumn& c, SqlValue::Kind kind, SqlValue& v) const {
    if (!c.bound) return false;
    v.kind = kind;
    v.isNull = c.ind == SQL_NULL_DATA;
    if (c.ctype == SQL_C_CHAR || c.ctype == SQL_C_BINARY) {
      const size_t room = c.bytes.size() - (c.ctype == SQL_C_CHAR ? 1 : 0);
      if (!v.isNull && (c.ind == SQL_NO_TOTAL || c.ind < 0 || static_cast<size_t>(c.ind) > room)) return false;
      const std::string_view got(c.bytes.data(), v.isNull ? 0 : static_cast<size_t>(c.ind));
      if (c.ctype == SQL_C_BINARY) {
        v.bytes.assign(got);
      } else if (kind == SqlValue::Kind::Text || kind == SqlValue::Kind::Null) {
        TakeDriverText(got, v);
      } else {
        SqlValue text;
        text.isNull = v.isNull;
        TakeDriverText(got, text);
        TakeAsKind(kind, std::move(text), v);
      }
      return true;
    }
    if (v.isNull) return true;  // 0, 0.0 and no date, as a read of NULL leaves them
    if (c.ctype == SQL_C_SBIGINT) v.i = c.whole;
    else if (c.ctype == SQL_C_DOUBLE) v.d = c.real;
    else v.ts = {c.stamp.year, c.stamp.month, c.stamp.day, c.stamp.hour, c.stamp.minute, c.stamp.second,
                 c.stamp.fraction};
    return true;
  }

  // Column col of the row fetched, read as kind into v with SQLGetData.
  SqlStatus Read(SQLUSMALLINT col, SqlValue::Kind kind, SqlValue& v) {
    SQLHSTMT stmt = handle_.get();
    v.kind = kind;
    SQLLEN ind = 0;
    Answer got = SQL_SUCCESS;
    if (asTexts_ && (kind == SqlValue::Kind::Long || kind == SqlValue::Kind::Double ||
                     kind == SqlValue::Kind::Timestamp)) {
      SqlValue text;
      if (SqlStatus read = Read(col, SqlValue::Kind::Text, text); !read) return read;
      TakeAsKind(kind, std::move(text), v);
      return {};
    }
    switch (kind) {
      case SqlValue::Kind::Long: {
        SQLBIGINT x = 0;
        got = AnswerOf("SQLGetData", handle_, SQLGetData(stmt, col, SQL_C_SBIGINT, &x, 0, &ind));
        v.i = x;
        break;
      }
      case SqlValue::Kind::Double:
        got = AnswerOf("SQLGetData", handle_, SQLGetData(stmt, col, SQL_C_DOUBLE, &v.d, 0, &ind));
        break;
      case SqlValue::Kind::Timestamp: {
        SQL_TIMESTAMP_STRUCT t{};
        got = AnswerOf("SQLGetData", handle_, SQLGetData(stmt, col, SQL_C_TIMESTAMP, &t, sizeof t, &ind));
        v.ts = {t.year, t.month, t.day, t.hour, t.minute, t.second, t.fraction};
        break;
      }
      case SqlValue::Kind::Null:
      case SqlValue::Kind::Text:
      case SqlValue::Kind::Binary: {
        const bool text = kind != SqlValue::Kind::Binary;
        const SQLSMALLINT ctype = text ? SQL_C_CHAR : SQL_C_BINARY;
        char buf[4096];
        // In pieces until the driver has no more (SQL_SUCCESS_WITH_INFO: more to come).
        while (true) {
          got = AnswerOf("SQLGetData", handle_, SQLGetData(stmt, col, ctype, buf, sizeof buf, &ind));
          if (!got || *got == SQL_NO_DATA || ind == SQL_NULL_DATA) break;
          const size_t room = sizeof buf - (text ? 1 : 0);
          const size_t piece =
              (ind == SQL_NO_TOTAL || static_cast<size_t>(ind) > room) ? room : static_cast<size_t>(ind);
          v.bytes.append(buf, piece);
          if (*got == SQL_SUCCESS) break;
        }
        if (text) {
          const std::string read = std::move(v.bytes);
          TakeDriverText(read, v);
        }
        break;
      }
    }
    if (!got) return Failed(got.error());
    v.isNull = ind == SQL_NULL_DATA;
    return {};
  }

  std::vector<SqlValue::Kind> kinds_;
  bool asTexts_ = false;
  bool bind_ = false;
  std::unique_ptr<BoundParams> params_;  // outlives the statement that binds it
  std::vector<BoundColumn> columns_;     // bound at the first fetch; outlive the statement too
  StmtHandle handle_;
};

// A connection handle, disconnected (once connected) and freed by its owner;
// it holds the environment it was made in, which goes after it.
class Connection {
 public:
  Connection(std::shared_ptr<const EnvHandle> env, DbcHandle dbc) : env_(std::move(env)), dbc_(std::move(dbc)) {}
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection() { Disconnect(); }

  const DbcHandle& handle() const { return dbc_; }
  SQLHDBC get() const { return dbc_.get(); }
  void SetConnected() { connected_ = true; }

  // Disconnects. A driver that believes a transaction open which its server
  // has ended (SQLite's rollback of its own at a full disk) refuses to
  // (25000) and takes no rollback: its belief is ended by rolling back an
  // empty transaction begun for it, which changes nothing on the server.
  void Disconnect() {
    if (!connected_) return;
    connected_ = false;
    if (AnswerOf("SQLDisconnect", dbc_, SQLDisconnect(get()))) return;
    // Each step below is tried whatever the one before it answered: the last
    // disconnect is all that counts, and the handle is freed either way.
    static_cast<void>(AnswerOf("SQLSetConnectAttr", dbc_,
                               SQLSetConnectAttr(get(), SQL_ATTR_AUTOCOMMIT,
                                                 reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)));
    if (SqlResult<StmtHandle> stmt = odbc::Allocate<SQL_HANDLE_STMT>(SQL_HANDLE_DBC, get()))
      static_cast<void>(AnswerOf("SQLExecDirect", *stmt, SQLExecDirect(stmt->get(), Text("BEGIN TRANSACTION"), SQL_NTS)));
    static_cast<void>(AnswerOf("SQLEndTran", dbc_, SQLEndTran(SQL_HANDLE_DBC, get(), SQL_ROLLBACK)));
    static_cast<void>(AnswerOf("SQLDisconnect", dbc_, SQLDisconnect(get())));
  }

 private:
  std::shared_ptr<const EnvHandle> env_;
  DbcHandle dbc_;
  bool connected_ = false;
};

class OdbcSession : public SqlSession {
 public:
  explicit OdbcSession(std::unique_ptr<Connection> conn) : conn_(std::move(conn)) {}
  ~OdbcSession() override {
    prepared_.clear();
    // A transaction still open is rolled back: a connection is not closed in the middle of one.
    if (inTransaction_ && !unknown_)
      static_cast<void>(AnswerOf("SQLEndTran", conn_->handle(), SQLEndTran(SQL_HANDLE_DBC, dbc(), SQL_ROLLBACK)));
  }

  SqlStatus Exec(const std::string& sql, const std::vector<SqlValue>& params) override {
    if (SqlStatus flushed = Flush(); !flushed) return flushed;
    SqlTrace(sql);
    if (params.empty()) {
      // It may change the tables that prepared statements name.
      prepared_.clear();
      return StatusOf(Run(sql, params, nullptr));
    }
    return RunPrepared(sql, params);
  }

  SqlResult<std::unique_ptr<SqlCursor>> Query(const std::string& sql, const std::vector<SqlValue>& params,
                                              const std::vector<SqlValue::Kind>& kinds) override {
    if (SqlStatus flushed = Flush(); !flushed) return Failed(flushed.error());
    SqlTrace(sql);
    auto bound = std::make_unique<BoundParams>(StampsAsText());
    SqlResult<StmtHandle> stmt = Run(sql, params, bound.get());
    if (!stmt) return Failed(stmt.error());
    return std::make_unique<OdbcCursor>(std::move(*stmt), kinds, std::move(bound), Dialect().columnsHoldAnyValue,
                                        BindsColumns());
  }

  SqlResult<std::vector<std::string>> Columns(const std::string& schema, const std::string& table) override {
    if (SqlStatus flushed = Flush(); !flushed) return Failed(flushed.error());
    // Names are identifiers, not patterns: "_" and "%" are escaped.
    const std::string tab = ToDriver(Literal(table));
    SqlResult<StmtHandle> stmt = CatalogColumns(schema, tab.c_str());
    if (!stmt) return Failed(stmt.error());
    using K = SqlValue::Kind;
    OdbcCursor cursor(std::move(*stmt), {K::Text, K::Text, K::Text, K::Text}, nullptr);
    std::vector<std::string> names;
    SqlStatus read = ForEachRow(cursor, [&](std::vector<SqlValue>& row) { names.push_back(row[3].bytes); });
    if (!read) return Failed(read.error());
    return names;
  }

  SqlResult<TableColumns> AllColumns(const std::string& schema) override {
    if (SqlStatus flushed = Flush(); !flushed) return Failed(flushed.error());
    SqlResult<StmtHandle> handle = CatalogColumns(schema, "%");
    if (!handle) return Failed(handle.error());
    const StmtHandle& stmt = *handle;
    // Thousands of rows: the two names are bound rather than fetched one by one.
    SQLCHAR table[1024], column[1024];
    SQLLEN tableLen = 0, columnLen = 0;
    SqlStatus bound = StatusOf(Call("SQLBindCol", stmt, SQLBindCol(stmt.get(), 3, SQL_C_CHAR, table, sizeof table, &tableLen)));
    if (bound) bound = StatusOf(Call("SQLBindCol", stmt, SQLBindCol(stmt.get(), 4, SQL_C_CHAR, column, sizeof column, &columnLen)));
    if (!bound) return Failed(bound.error());
    TableColumns tables;
    std::string lastRaw;
    std::vector<std::string>* columns = nullptr;
    while (true) {
      const Answer fetched = Call("SQLFetch", stmt, SQLFetch(stmt.get()));
      if (!fetched) return Failed(fetched.error());
      if (*fetched == SQL_NO_DATA) return tables;
      if (tableLen == SQL_NULL_DATA || columnLen == SQL_NULL_DATA) continue;
      const std::string raw(reinterpret_cast<char*>(table));
      if (!columns || raw != lastRaw) {
        columns = &tables[FromDriver(raw)];
        lastRaw = raw;
      }
      columns->push_back(FromDriver(reinterpret_cast<char*>(column)));
    }
  }

  SqlResult<std::vector<TypeInfoRow>> TypeInfo() override {
    if (SqlStatus flushed = Flush(); !flushed) return Failed(flushed.error());
    SqlResult<StmtHandle> stmt = NewStatement();
    if (!stmt) return Failed(stmt.error());
    if (const Answer listed = Call("SQLGetTypeInfo", *stmt, SQLGetTypeInfo(stmt->get(), SQL_ALL_TYPES)); !listed)
      return Failed(listed.error());
    using K = SqlValue::Kind;
    OdbcCursor cursor(std::move(*stmt), {K::Text, K::Long, K::Long, K::Text, K::Text, K::Text}, nullptr);
    std::vector<TypeInfoRow> rows;
    SqlStatus read = ForEachRow(cursor, [&](std::vector<SqlValue>& row) {
      TypeInfoRow r;
      r.typeName = row[0].bytes;
      r.dataType = static_cast<int>(row[1].i);
      if (!row[5].isNull) r.createParams = row[5].bytes;
      rows.push_back(std::move(r));
    });
    if (!read) return Failed(read.error());
    return rows;
  }

  bool Broken() override {
    if (lost_ || unknown_) return true;
    SQLUINTEGER dead = SQL_CD_FALSE;
    const Answer asked =
        AnswerOf("SQLGetConnectAttr", conn_->handle(), SQLGetConnectAttr(dbc(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr));
    if (asked && dead == SQL_CD_TRUE) lost_ = true;
    return lost_;
  }

  // A transaction is begun only on a connection whose state is known: one
  // whose earlier end was refused is closed by then. A driver that takes the
  // switch of autocommit without acting on it is found by asking it back.
  SqlStatus BeginTransaction() override {
    if (unknown_) return Closed();
    SqlTrace("-- begin transaction");
    if (SqlStatus begun = SetAutoCommit(false); !begun) return Lose(begun);
    SQLULEN mode = SQL_AUTOCOMMIT_ON;
    const Answer asked = Call("SQLGetConnectAttr", conn_->handle(),
                              SQLGetConnectAttr(dbc(), SQL_ATTR_AUTOCOMMIT, &mode, 0, nullptr));
    inTransaction_ = true;
    if (asked && mode != SQL_AUTOCOMMIT_OFF)
      return Lose(Failed(SqlError{"HYC00", 0, "The driver did not begin a transaction", "BeginTransaction"}));
    return {};
  }

  using SqlSession::ExecDeferred;
  SqlStatus ExecDeferred(const InsertHead& head, const std::vector<SqlValue>& row) override {
    if (unknown_) return Closed();
    // Another head object may still hold the same text.
    if (queuedRows_ && (queuedWidth_ != row.size() || (queuedHead_ != head && *queuedHead_ != *head)))
      if (SqlStatus flushed = Flush(); !flushed) return flushed;
    const size_t batch = BatchRows(row.size());
    if (queuedHead_ != head) queuedHead_ = head;
    if (!queuedRows_) queued_.reserve(batch * row.size());
    queuedWidth_ = row.size();
    queued_.insert(queued_.end(), row.begin(), row.end());
    if (++queuedRows_ < batch) return {};
    return Flush();
  }

  // Afterwards the transaction is over, committed or rolled back, and each
  // statement commits by itself again; or the session is closed (Broken):
  // the rollback or the switch back to autocommit was refused, or the server
  // may have ended the transaction by itself, so what became of it is not known.
  SqlStatus EndTransaction(bool commit) override {
    if (unknown_) return Closed();
    // Rows still queued go with a commit; their refusal turns it into a rollback.
    const SqlStatus flushed = commit ? Flush() : SqlStatus{};
    DropQueue();
    if (unknown_) return Lose(flushed);
    commit = commit && flushed;
    SqlTrace(commit ? "-- commit" : "-- rollback");
    prepared_.clear();
    const SqlStatus ended = EndTran(commit ? SQL_COMMIT : SQL_ROLLBACK);
    // A failed commit is rolled back.
    const SqlStatus undone = ended || !commit ? ended : EndTran(SQL_ROLLBACK);
    const SqlStatus autoCommit = SetAutoCommit(true);
    // The first refusal is the one told.
    const SqlStatus told = !flushed ? flushed : !ended ? ended : autoCommit;
    if (!undone || !autoCommit || unknown_) return Lose(told);
    inTransaction_ = false;
    return told;
  }

  ServerInfo Info() override {
    if (info_) return *info_;
    ServerInfo info;
    info.identifierQuote = InfoText(SQL_IDENTIFIER_QUOTE_CHAR);
    info.quotedCaseSensitive = InfoShort(SQL_QUOTED_IDENTIFIER_CASE) == SQL_IC_SENSITIVE;
    info.nonNullableColumns = InfoShort(SQL_NON_NULLABLE_COLUMNS) == SQL_NNC_NON_NULL;
    info.identifierCase = InfoShort(SQL_IDENTIFIER_CASE);
    info.SetKeywords(InfoText(SQL_KEYWORDS));
    info.searchPatternEscape = InfoText(SQL_SEARCH_PATTERN_ESCAPE);
    info.dbmsName = InfoText(SQL_DBMS_NAME);
    info.dbmsVersion = InfoText(SQL_DBMS_VER);
    info.driverName = InfoText(SQL_DRIVER_NAME);
    info.ddlTransactions = InfoShort(SQL_TXN_CAPABLE) == SQL_TC_ALL;
    info_ = info;
    return info;
  }

 private:
  SQLHDBC dbc() const { return conn_->get(); }

  // What the server and the driver reported, read once.
  const ServerInfo& Known() {
    if (!info_) Info();
    return *info_;
  }
  const ServerDialect& Dialect() { return Known().Dialect(); }
  // Whether the driver takes stamps as their text (its row of the driver table).
  bool StampsAsText() { return Known().Driver().stampsAsText; }

  // Whether a cursor binds its columns: where the driver reads any column with
  // SQLGetData, a bound one too, as a value longer than its buffer needs.
  bool BindsColumns() {
    if (!bindsColumns_) {
      SQLUINTEGER ext = 0;
      const Answer got = AnswerOf("SQLGetInfo", conn_->handle(),
                                  SQLGetInfo(dbc(), SQL_GETDATA_EXTENSIONS, &ext, sizeof ext, nullptr));
      constexpr SQLUINTEGER kNeeded = SQL_GD_ANY_COLUMN | SQL_GD_BOUND;
      bindsColumns_ = got && (ext & kNeeded) == kNeeded;
    }
    return *bindsColumns_;
  }

  // The result of a call on this connection: a refusal that means the
  // connection is gone marks it lost; one after which the server may have
  // ended the transaction by itself leaves its state unknown.
  template <class R>
  R Noted(R result) {
    if (!result && Dialect().Means(result.error(), Refusal::ConnectionLost)) lost_ = true;
    if (!result && inTransaction_ && Dialect().Means(result.error(), Refusal::TransactionEnded)) unknown_ = true;
    return result;
  }

  // The transaction's state is not known: the connection is closed, and no
  // statement goes to the server on it any more. Answers what was refused.
  SqlStatus Lose(SqlStatus refused) {
    if (!unknown_) SqlTrace("-- the transaction's state is not known: the connection is closed");
    unknown_ = true;
    prepared_.clear();
    DropQueue();
    conn_->Disconnect();
    return refused;
  }
  // The answer of every call once the connection is closed.
  SqlStatus Closed() {
    return Lose(Failed(SqlError{"08003", 0, "The connection was closed: the state of its transaction is not known",
                                "SqlSession"}));
  }
  template <class... Args>
  Answer Call(Args&&... args) {
    return Noted(AnswerOf(std::forward<Args>(args)...));
  }

  // A name as a catalog search pattern that matches only itself.
  std::string Literal(const std::string& name) {
    const std::string esc = Info().searchPatternEscape;
    if (esc.empty()) return name;
    std::string out;
    for (char c : name) {
      if (c == '_' || c == '%' || esc.find(c) == 0) out += esc;
      out += c;
    }
    return out;
  }

  // A new statement on the connection.
  SqlResult<StmtHandle> NewStatement() {
    return Noted(odbc::Allocate<SQL_HANDLE_STMT>(SQL_HANDLE_DBC, dbc()));
  }

  // SQLColumns on a new statement for the table pattern (already in the
  // driver's characters) of the schema (any when empty).
  SqlResult<StmtHandle> CatalogColumns(const std::string& schema, const char* tablePattern) {
    SqlResult<StmtHandle> stmt = NewStatement();
    if (!stmt) return stmt;
    const std::string sch = ToDriver(Literal(schema));
    SqlTrace("-- catalog columns of " + (schema.empty() ? std::string() : schema + ".") + tablePattern);
    const Answer listed =
        Call("SQLColumns", *stmt,
             SQLColumns(stmt->get(), nullptr, 0, schema.empty() ? nullptr : Text(sch), schema.empty() ? 0 : SQL_NTS,
                        Text(tablePattern), SQL_NTS, Text("%"), SQL_NTS));
    if (!listed) return Failed(listed.error());
    return stmt;
  }

  // Runs the statement on a new handle, its parameters bound in keep (when
  // given, so they outlive a cursor); the handle.
  SqlResult<StmtHandle> Run(const std::string& sql, const std::vector<SqlValue>& params, BoundParams* keep) {
    SqlResult<StmtHandle> handle = NewStatement();
    if (!handle) return handle;
    const StmtHandle& stmt = *handle;
    BoundParams local(StampsAsText());
    BoundParams& bound = keep ? *keep : local;
    const std::string text = ToDriver(sql);
    SqlStatus ran;
    if (params.empty()) {
      ran = StatusOf(Call("SQLExecDirect", stmt, SQLExecDirect(stmt.get(), Text(text), SQL_NTS)));
    } else {
      ran = StatusOf(Call("SQLPrepare", stmt, SQLPrepare(stmt.get(), Text(text), SQL_NTS)));
      if (ran) ran = Noted(bound.Set(stmt, params));
      if (ran) ran = StatusOf(Call("SQLExecute", stmt, SQLExecute(stmt.get())));
    }
    if (!ran) return Failed(ran.error());
    return handle;
  }

  // The rows one INSERT carries, each of the given columns: the dialect's
  // figures, with the parameters the server answers where the dialect asks it.
  size_t BatchRows(size_t columns) {
    if (parameterLimit_ && columns == batchColumns_) return batchRows_;
    const ServerDialect& dialect = Dialect();
    if (!parameterLimit_) parameterLimit_ = AskedParameterLimit(dialect);
    batchColumns_ = columns;
    batchRows_ = dialect.BatchRows(columns, info_->MajorVersion(), *parameterLimit_);
    return batchRows_;
  }

  // The dialect's query of the parameter limit, answered; 0 when it asks none
  // or the server does not answer it.
  size_t AskedParameterLimit(const ServerDialect& dialect) {
    if (dialect.parameterLimitQuery.empty()) return 0;
    const std::string sql(dialect.parameterLimitQuery);
    SqlTrace(sql);
    SqlResult<StmtHandle> stmt = Run(sql, {}, nullptr);
    if (!stmt) return 0;
    OdbcCursor cursor(std::move(*stmt), {SqlValue::Kind::Long}, nullptr, dialect.columnsHoldAnyValue);
    std::vector<SqlValue> row;
    const SqlResult<Fetched> fetched = cursor.Fetch(row);
    if (!fetched || *fetched != Fetched::Row || row[0].isNull || !row[0].unfit.empty() || row[0].i <= 0) return 0;
    return static_cast<size_t>(row[0].i);
  }

  // The INSERT of count queued rows, one of them written one, in the dialect's form.
  std::string RowsStatement(size_t count, const std::string& one) {
    std::string values = one;
    for (size_t i = 1; i < count; ++i) values += "," + one;
    // The WITH form names the table and its columns as the head does, without its VALUES.
    const std::string& head = *queuedHead_;
    const size_t valuesWord = head.rfind("VALUES");
    if (Dialect().rowsForm != RowsForm::WithValues || valuesWord == std::string::npos) return head + values;
    return "WITH v AS (VALUES " + values + ") " + head.substr(0, valuesWord) + "SELECT * FROM v";
  }

  // Sends the queued rows: in one INSERT of many rows, or, where the server
  // refuses that (an older one, or a row of them refused), one by one; a
  // server that ends its transaction at a refusal gets no second try.
  SqlStatus Flush() {
    if (unknown_) return Closed();
    if (!queuedRows_) return {};
    const size_t rows = std::exchange(queuedRows_, 0), width = queuedWidth_;
    const std::vector<SqlValue> values = std::move(queued_);
    queued_.clear();
    auto row = [&](size_t i) { return std::span(values).subspan(i * width, width); };
    const std::string one = RowPlaceholders(width);
    const std::string single = RowsStatement(1, one);
    if (manyRows_ && rows > 1) {
      const std::string sql = RowsStatement(rows, one);
      SqlTrace(single + " (" + std::to_string(rows) + " rows)");
      SqlStatus sent = RunPrepared(sql, values);
      if (sent || Dialect().refusalEndsTransaction || lost_ || unknown_) return sent;
      // One by one, a row refused alone by a key or constraint is the cause
      // told; any other refusal follows from the first one (a table gone with
      // the transaction the server ended), which is told.
      for (size_t i = 0; i < rows; ++i) {
        SqlTrace(single);
        if (SqlStatus alone = RunPrepared(single, row(i)); !alone)
          return Dialect().Means(alone.error(), Refusal::DuplicateKey) ? alone : sent;
      }
      manyRows_ = false;  // each row was taken alone: it is the INSERT of many rows that this server refuses
      return {};
    }
    for (size_t i = 0; i < rows; ++i) {
      SqlTrace(single);
      if (SqlStatus sent = RunPrepared(single, row(i)); !sent) return sent;
    }
    return {};
  }

  // The rows queued are dropped, unsent.
  void DropQueue() {
    queued_.clear();
    queuedRows_ = 0;
  }

  // Runs a statement with parameters on the handle it was prepared on before,
  // preparing it at its first run: a copy of many rows prepares its INSERT once.
  SqlStatus RunPrepared(const std::string& sql, std::span<const SqlValue> params) {
    auto it = prepared_.find(sql);
    if (it == prepared_.end()) {
      SqlResult<StmtHandle> handle = NewStatement();
      if (!handle) return Failed(handle.error());
      const std::string text = ToDriver(sql);
      if (const Answer prepared = Call("SQLPrepare", *handle, SQLPrepare(handle->get(), Text(text), SQL_NTS)); !prepared)
        return Failed(prepared.error());
      if (prepared_.size() >= kPreparedKept) prepared_.clear();
      it = prepared_.emplace(sql, Prepared{std::make_unique<BoundParams>(StampsAsText()), std::move(*handle)}).first;
    }
    // No cursor to close: closing one makes some drivers compile the statement anew.
    const StmtHandle& stmt = it->second.handle;
    if (SqlStatus bound = Noted(it->second.params->Set(stmt, params)); !bound) return bound;
    return StatusOf(Call("SQLExecute", stmt, SQLExecute(stmt.get())));
  }

  SqlStatus EndTran(SQLSMALLINT completion) {
    return StatusOf(Call("SQLEndTran", conn_->handle(), SQLEndTran(SQL_HANDLE_DBC, dbc(), completion)));
  }

  SqlStatus SetAutoCommit(bool on) {
    const SQLULEN value = on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
    return StatusOf(Call("SQLSetConnectAttr", conn_->handle(),
                         SQLSetConnectAttr(dbc(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(value), 0)));
  }

  // An information item; empty, or 0, where the driver does not answer it.
  std::string InfoText(SQLUSMALLINT item) {
    std::vector<char> buf(16384, 0);
    SQLSMALLINT len = 0;
    const Answer got = AnswerOf("SQLGetInfo", conn_->handle(),
                                SQLGetInfo(dbc(), item, buf.data(), static_cast<SQLSMALLINT>(buf.size() - 1), &len));
    return got ? std::string(buf.data()) : std::string();
  }
  int InfoShort(SQLUSMALLINT item) {
    SQLUSMALLINT v = 0;
    SQLSMALLINT len = 0;
    const Answer got = AnswerOf("SQLGetInfo", conn_->handle(), SQLGetInfo(dbc(), item, &v, sizeof v, &len));
    return got ? v : 0;
  }

  static constexpr size_t kPreparedKept = 16;

  std::unique_ptr<Connection> conn_;  // goes after every statement of it
  // A prepared statement and the storage its parameters are bound to; the
  // handle, declared last, goes first.
  struct Prepared {
    std::unique_ptr<BoundParams> params;
    StmtHandle handle;
  };
  std::map<std::string, Prepared> prepared_;  // by statement text
  std::optional<ServerInfo> info_;
  std::optional<bool> bindsColumns_;
  bool lost_ = false;
  bool unknown_ = false;        // the transaction's state is not known: the connection is closed
  bool inTransaction_ = false;  // autocommit is off
  // Rows queued by ExecDeferred, all for queuedHead_: their values one row
  // after the other, queuedWidth_ a row.
  InsertHead queuedHead_;
  std::vector<SqlValue> queued_;
  size_t queuedRows_ = 0, queuedWidth_ = 0;
  bool manyRows_ = true;  // the server takes an INSERT of many rows
  // The parameters the server answered to its dialect's query (0: none), once asked.
  std::optional<size_t> parameterLimit_;
  size_t batchColumns_ = 0, batchRows_ = 1;  // the rows of a batch of rows of batchColumns_
};

}  // namespace

std::string RowPlaceholders(size_t count) {
  std::string out = "(";
  for (size_t i = 0; i < count; ++i) out += i ? ",?" : "?";
  return out + ")";
}

SqlResult<std::unique_ptr<SqlSession>> OdbcConnect(const std::string& owner) {
  std::optional<std::string> driver = ChosenOdbcDriver();
  if (!driver) {
    SqlTrace("no ODBC driver installed for the connection");
    return Failed(SqlError{"1", 0, "Driver Not Installed", "OdbcConnect"});
  }
  std::string cs = ToDriver(BuildConnectionString(*driver, owner));
  SqlTrace("connect " + ToDriver(TracedConnectionString(*driver, owner)));
  std::shared_ptr<const EnvHandle> env = odbc::Environment();
  if (!env) return Failed(SqlError{"HY001", 0, "Cannot allocate a connection", "SQLAllocHandle"});
  SqlResult<DbcHandle> dbc = odbc::Allocate<SQL_HANDLE_DBC>(SQL_HANDLE_ENV, env->get());
  if (!dbc) return Failed(dbc.error());
  auto conn = std::make_unique<Connection>(std::move(env), std::move(*dbc));
  // A driver that does not know the attribute simply refuses it.
  static_cast<void>(AnswerOf("SQLSetConnectAttr", conn->handle(),
                             SQLSetConnectAttr(conn->get(), kCoptMarsEnabled, reinterpret_cast<SQLPOINTER>(1),
                                               SQL_IS_UINTEGER)));
  // A server that takes the connection and never answers must not hold the program.
  static_cast<void>(AnswerOf("SQLSetConnectAttr", conn->handle(),
                             SQLSetConnectAttr(conn->get(), SQL_ATTR_LOGIN_TIMEOUT,
                                               reinterpret_cast<SQLPOINTER>(SQLULEN{kLoginTimeoutSeconds}), 0)));
  SQLCHAR out[1024];
  SQLSMALLINT outLen = 0;
  const auto began = std::chrono::steady_clock::now();
  const SQLRETURN rc = SQLDriverConnect(conn->get(), nullptr, reinterpret_cast<SQLCHAR*>(cs.data()), SQL_NTS, out,
                                        sizeof out, &outLen, SQL_DRIVER_NOPROMPT);
  const auto waited = std::chrono::steady_clock::now() - began;
  std::fill(cs.begin(), cs.end(), '\0');
  if (SqlStatus connected = odbc::Succeeded("SQLDriverConnect", conn->handle(), rc); !connected) {
    SqlError refused = connected.error();
    // Drivers time the bound out in whole seconds: a refusal that came within
    // the last of them is the bound running out.
    refused.unanswered = waited >= std::chrono::seconds(kLoginTimeoutSeconds - 1);
    return Failed(std::move(refused));
  }
  conn->SetConnected();
  return std::make_unique<OdbcSession>(std::move(conn));
}

}  // namespace rt
