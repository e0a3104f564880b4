// The local keyed-file driver: the old layout's files read as SQLite 3
// databases, record by record in the order of a key, each value checked to fit
// its field exactly.
#include "runtime/files/sqlite_file_driver.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <optional>
#include <utility>
#include <variant>

#include "runtime/base/code_page.h"
#include "runtime/base/outcome.h"
#include "runtime/base/text.h"
#include "runtime/decl/value_fit.h"
#include "runtime/files/disk_files.h"

namespace rt {

namespace {

// Process-wide, as the SQLite library is (the SQLite ODBC driver shares it):
// before its first use, the library is told to keep no count of the memory it
// allocates. Nothing here reads the count, and keeping it takes a lock at
// every allocation and release, millions of them in a large migration.
[[maybe_unused]] const bool kSqliteCountsNoMemory = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;

// The owners of the SQLite handles: each handle is released by its owner alone.
struct FinalizeStatement {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

struct CloseDatabase {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, CloseDatabase>;

// A read transaction on a connection, rolled back when it ends: while it
// lasts, the file's shared lock keeps other writers out.
class ReadTransaction {
 public:
  ReadTransaction() = default;
  explicit ReadTransaction(sqlite3* db) : db_(db) {}
  ReadTransaction(ReadTransaction&& other) noexcept : db_(std::exchange(other.db_, nullptr)) {}
  ReadTransaction& operator=(ReadTransaction&& other) noexcept {
    std::swap(db_, other.db_);
    return *this;
  }
  ~ReadTransaction() {
    if (db_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }

 private:
  sqlite3* db_ = nullptr;
};

// The statement prepared from sql, or the SQLite code of its failure.
int Prepare(sqlite3* db, const std::string& sql, Statement& stmt) {
  sqlite3_stmt* raw = nullptr;
  const int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr);
  stmt.reset(raw);
  return rc;
}

// An open file: its connection, the read transaction it may hold and the
// running sequence, released in the reverse order.
struct OpenFile {
  Database db;
  ReadTransaction hold;
  Statement sequence;  // from the sequence's first NEXT
};

struct LocalFileState : DriverState {
  std::optional<OpenFile> open;
  std::string path;            // the file as found on disk (or as looked for)
  std::string table;           // the table inside it
  std::string order;           // the name of its rows' order (a rowid alias no column hides)
  std::vector<ValueField> columns;  // one column each
  const KeyDescriptor* key = nullptr;  // set by SETkey
  bool started = false;

  void EndSequence() {
    if (open) open->sequence.reset();
    started = false;
  }
  void Release() {
    open.reset();
    started = false;
  }
};

LocalFileState& StateOf(FileBlock& file) {
  auto* state = dynamic_cast<LocalFileState*>(file.driverState.get());
  if (!state) {
    file.driverState = std::make_unique<LocalFileState>();
    state = static_cast<LocalFileState*>(file.driverState.get());
  }
  return *state;
}

// A name as an SQLite statement writes it: in double quotes, each inner one doubled.
std::string QuotedIdentifier(std::string_view name) {
  std::string out = "\"";
  for (char c : name) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

int Fail(int code, const std::string& text, int sqliteCode = 0) {
  SetFileError(sqliteCode ? std::to_string(sqliteCode) : std::string(), text);
  return code;
}

// An SQLite failure as a file error: a lock held elsewhere is "Access Denied".
int SqliteFailure(int rc, const char* what) {
  const int primary = rc & 0xFF;
  // A read-only connection meets SQLITE_READONLY where a writer's unfinished
  // work would have to be undone first.
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED || primary == SQLITE_READONLY)
    return Fail(kAccessDenied, "Another process is writing the file.", rc);
  if (primary == SQLITE_NOTADB) return Fail(kFileSystemError, "The file is not an SQLite database.", rc);
  return Fail(kFileSystemError, std::string(what) + ": " + sqlite3_errstr(rc) + ".", rc);
}

// Whether the SQLite file at path is kept in write-ahead-log mode (its header's
// read and write versions 2); false for a file that is no SQLite database.
bool WriteAheadLogMode(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char header[20] = {};
  if (!in.read(header, sizeof header)) return false;
  return std::memcmp(header, "SQLite format 3", 16) == 0 && header[18] == 2 && header[19] == 2;
}

bool TypeReadable(FieldType t) {
  switch (t) {
    case FieldType::Byte: case FieldType::Short: case FieldType::UShort: case FieldType::Long:
    case FieldType::ULong: case FieldType::SReal: case FieldType::Real: case FieldType::Date:
    case FieldType::Time: case FieldType::String: case FieldType::CString:
      return true;
    default:
      return false;
  }
}

// Numbers separated by the given characters, each within 0..limit.
bool ParseParts(std::string_view text, std::initializer_list<char> separators, uint32_t limit,
                std::vector<uint32_t>& parts) {
  auto sep = separators.begin();
  while (true) {
    uint32_t v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end == text.data() || v > limit) return false;
    parts.push_back(v);
    text.remove_prefix(static_cast<size_t>(end - text.data()));
    if (text.empty()) return sep == separators.end();
    if (sep == separators.end() || text.front() != *sep) return false;
    text.remove_prefix(1);
    ++sep;
  }
}

std::string_view RawText(sqlite3_stmt* row, int col) {
  const unsigned char* p = sqlite3_column_text(row, col);
  return p ? std::string_view(reinterpret_cast<const char*>(p), static_cast<size_t>(sqlite3_column_bytes(row, col)))
           : std::string_view();
}

// A value as the message about it shows it: in quotes when it is text, cut
// when long, in the code page (a character it cannot hold as '?').
std::string Shown(sqlite3_stmt* row, int col) {
  const int type = sqlite3_column_type(row, col);
  if (type == SQLITE_NULL) return "NULL";
  if (type == SQLITE_BLOB) return "binary data of " + std::to_string(sqlite3_column_bytes(row, col)) + " bytes";
  std::string text = Utf8ToCp1252(RawText(row, col));
  if (text.size() > 60) text = text.substr(0, 57) + "...";
  return type == SQLITE_TEXT ? "\"" + text + "\"" : text;
}

// The whole-number value of a column: an integer, a real without a fraction,
// or a text that reads wholly as an integer; NULL and '' are 0.
Outcome<int64_t> WholeNumber(sqlite3_stmt* row, int col) {
  const Reason none{"is not a whole number"};
  switch (sqlite3_column_type(row, col)) {
    case SQLITE_NULL: return int64_t{0};
    case SQLITE_INTEGER: return int64_t{sqlite3_column_int64(row, col)};
    case SQLITE_FLOAT: {
      const double d = sqlite3_column_double(row, col);
      if (!(d >= -9.2e18 && d <= 9.2e18) || std::trunc(d) != d) return none;
      return static_cast<int64_t>(d);
    }
    case SQLITE_TEXT: {
      const std::string_view t = RawText(row, col);
      if (t.empty()) return int64_t{0};
      int64_t out = 0;
      auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), out);
      if (ec != std::errc() || end != t.data() + t.size()) return none;
      return out;
    }
    default: return none;
  }
}

// The real value of a column, as WholeNumber reads whole ones; a finite one.
Outcome<double> RealNumber(sqlite3_stmt* row, int col) {
  double out = 0;
  switch (sqlite3_column_type(row, col)) {
    case SQLITE_NULL: return 0.0;
    case SQLITE_INTEGER: {
      const int64_t i = sqlite3_column_int64(row, col);
      out = static_cast<double>(i);
      if (static_cast<int64_t>(out) != i || std::abs(i) > (int64_t{1} << 53))
        return Reason{"has more digits than a real number holds"};
      return out;
    }
    case SQLITE_FLOAT: out = sqlite3_column_double(row, col); break;
    case SQLITE_TEXT: {
      const std::string_view t = RawText(row, col);
      if (t.empty()) return 0.0;
      auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), out);
      if (ec != std::errc() || end != t.data() + t.size()) return Reason{"is text in a number column"};
      break;
    }
    default: return Reason{"is not a number"};
  }
  if (!std::isfinite(out)) return Reason{"is not a finite number"};
  return out;
}

// The text of a column in the code page, exactly: every character has its byte there.
Outcome<std::string> ExactText(sqlite3_stmt* row, int col) {
  if (sqlite3_column_type(row, col) == SQLITE_BLOB) return Reason{"is binary data, not text"};
  char32_t bad = 0;
  std::optional<std::string> text = Utf8ToCp1252Exact(RawText(row, col), &bad);
  if (!text) return Reason{CharacterUnfit(bad)};
  return std::move(*text);
}

// A column's value as its field keeps it, checked to fit the field exactly.
using FieldValue = std::variant<int64_t, double, std::string, DateStorage, TimeStorage>;

// An empty reason is a fit; any other is the refusal.
Outcome<FieldValue> Fitted(FieldValue value, std::string why) {
  if (!why.empty()) return Reason{std::move(why)};
  return value;
}

// The value of one column of the current row for its field.
Outcome<FieldValue> ColumnValue(sqlite3_stmt* row, int col, const TypeEntry& e) {
  switch (e.type) {
    case FieldType::Byte: case FieldType::Short: case FieldType::UShort: case FieldType::Long:
    case FieldType::ULong: {
      const Outcome<int64_t> v = WholeNumber(row, col);
      if (!v) return Reason{v.error()};
      return Fitted(*v, WholeNumberUnfit(e.type, *v));
    }
    case FieldType::SReal:
    case FieldType::Real: {
      const Outcome<double> d = RealNumber(row, col);
      if (!d) return Reason{d.error()};
      return Fitted(*d, e.type == FieldType::Real ? std::string() : RealUnfit(e.type, *d));
    }
    case FieldType::CString:
    case FieldType::String: {
      Outcome<std::string> text = ExactText(row, col);
      if (!text) return Reason{text.error()};
      if (e.type == FieldType::CString && text->find('\0') != std::string::npos) return Reason{"holds a NUL character"};
      std::string why = TextUnfit(e.type, e.size, text->size());
      return Fitted(std::move(*text), std::move(why));
    }
    case FieldType::Date:
    case FieldType::Time: {
      const bool date = e.type == FieldType::Date;
      const Reason unfit{date ? "is not a date written year-month-day"
                              : "is not a time written hours:minutes:seconds.hundredths"};
      const int type = sqlite3_column_type(row, col);
      if (type != SQLITE_NULL && type != SQLITE_TEXT) return unfit;
      const std::string_view t = type == SQLITE_TEXT ? RawText(row, col) : std::string_view();
      if (date) {
        const std::optional<DateStorage> v = t.empty() ? DateStorage{} : ParseLocalDate(t);
        if (!v) return unfit;
        return FieldValue{*v};
      }
      const std::optional<TimeStorage> v = t.empty() ? TimeStorage{} : ParseLocalTime(t);
      if (!v) return unfit;
      return FieldValue{*v};
    }
    default:
      return Reason{"has a type local files do not keep"};
  }
}

// Stores a fitted value into its field, cleared with the record.
void StoreValue(const FieldValue& value, const TypeEntry& e, uint8_t* p) {
  switch (e.type) {
    case FieldType::Byte: case FieldType::Short: case FieldType::UShort: case FieldType::Long:
    case FieldType::ULong: {
      const uint32_t bits = static_cast<uint32_t>(std::get<int64_t>(value));  // little-endian, as the record keeps it
      std::memcpy(p, &bits, e.type == FieldType::Byte ? 1 : e.type == FieldType::Short || e.type == FieldType::UShort ? 2 : 4);
      return;
    }
    case FieldType::Real: {
      const double d = std::get<double>(value);
      std::memcpy(p, &d, 8);
      return;
    }
    case FieldType::SReal: {
      const float f = static_cast<float>(std::get<double>(value));
      std::memcpy(p, &f, 4);
      return;
    }
    case FieldType::CString: AssignCString(reinterpret_cast<char*>(p), e.size, std::get<std::string>(value)); return;
    case FieldType::String: AssignString(reinterpret_cast<char*>(p), e.size, std::get<std::string>(value)); return;
    case FieldType::Date: std::get<DateStorage>(value).Store(p); return;
    case FieldType::Time: std::get<TimeStorage>(value).Store(p); return;
    default: return;
  }
}

// The ORDER BY terms of one key component over its column. Dates and times
// are texts of numbers, ordered number by number from the largest unit down;
// an absent value and an empty text are one value, as they are in the record.
std::string OrderTerms(const TypeEntry& e, const std::string& column, bool noCase, bool descending) {
  const std::string dir = descending ? " DESC" : "";
  auto integer = [](const std::string& text) { return "CAST(" + text + " AS INTEGER)"; };
  // The text after the first occurrence of sep.
  auto after = [](const std::string& text, const char* sep) {
    return "substr(" + text + ", instr(" + text + ", '" + sep + "') + 1)";
  };
  const std::string text = "coalesce(" + column + ", '')";
  switch (e.type) {
    case FieldType::Date: {
      const std::string monthOn = after(text, "-");
      return integer(text) + dir + ", " + integer(monthOn) + dir + ", " + integer(after(monthOn, "-")) + dir;
    }
    case FieldType::Time: {
      const std::string minutesOn = after(text, ":");
      const std::string secondsOn = after(minutesOn, ":");
      // The fraction is hundredths: ".5" is 50.
      const std::string hundredths = "CASE WHEN instr(" + secondsOn + ", '.') = 0 THEN 0 ELSE " +
                                     integer("substr(" + after(secondsOn, ".") + " || '0', 1, 2)") + " END";
      return integer(text) + dir + ", " + integer(minutesOn) + dir + ", " + integer(secondsOn) + dir + ", " +
             hundredths + dir;
    }
    case FieldType::CString:
    case FieldType::String:
      return text + (noCase ? " COLLATE NOCASE" : "") + dir;
    case FieldType::SReal:
    case FieldType::Real:
      return "coalesce(CAST(" + column + " AS REAL), 0)" + dir;
    default:
      return "coalesce(" + integer(column) + ", 0)" + dir;
  }
}

// Finds the one file on disk for name and notes it in st.path (the name as
// looked for when there is none). Files whose names differ only in letter case
// are one name twice: which of them holds the records is not known, so neither
// is read.
int FindFile(LocalFileState& st, const std::string& name) {
  const std::vector<std::string> found = FilesNoCase(name);
  st.path = found.size() == 1 ? found.front() : name;
  if (found.empty()) return Fail(kFileNotFound, "The file does not exist.");
  if (found.size() > 1) {
    std::string names;
    for (size_t i = 0; i < found.size(); ++i)
      names += (i == 0 ? "" : i + 1 == found.size() ? " and " : ", ") + found[i];
    return Fail(kAccessDenied, std::to_string(found.size()) + " files have its name in different letter case (" +
                                   names + "): neither is read until only one of them is left.");
  }
  std::error_code ec;
  if (!std::filesystem::is_regular_file(st.path, ec)) return Fail(kAccessDenied, "It is not a file.");
  // A journal or write-ahead log beside the file is a writer's: one at work,
  // or one that stopped in the middle, whose changes opening it would undo or
  // fold in. The file is not read then, and stays as it is.
  for (const char* writer : {"-journal", "-wal"})
    if (std::filesystem::exists(std::filesystem::symlink_status(st.path + writer, ec)))
      return Fail(kAccessDenied, "Another process is writing the file.");
  return kNoError;
}

// The URI that opens path read-only, never creating it: nothing is ever
// written to it. A file in write-ahead-log mode is read as it lies on disk,
// since a read-only connection to it would make its log files.
std::string ReadOnlyUri(const std::string& path) {
  std::string uri = "file:";
  for (char c : path) {
    if (c == '%' || c == '?' || c == '#') {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
      uri += hex;
    } else {
      uri += c;
    }
  }
  return uri + (WriteAheadLogMode(path) ? "?mode=ro&immutable=1" : "?mode=ro");
}

// Connects to the file at path. Denying others the right to write, a read
// transaction holds the file's shared lock until CLOSE, under which no writer
// can commit; readers are not held up.
int Connect(const std::string& path, bool denyWrite, OpenFile& open) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(ReadOnlyUri(path).c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
  open.db.reset(db);  // a failed open still leaves a connection to close
  if (rc != SQLITE_OK) return SqliteFailure(rc, "It cannot be opened");
  if (denyWrite) {
    rc = sqlite3_exec(db, "BEGIN; SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) open.hold = ReadTransaction(db);
    else return SqliteFailure(rc, "It cannot be opened");
  }
  return kNoError;
}

// Checks that the file holds the table named as the file with every declared
// column, and picks the name of its rows' order.
int CheckTable(sqlite3* db, LocalFileState& st, const TypeRecord& record) {
  Statement stmt;
  int rc = Prepare(db, "PRAGMA table_info(" + QuotedIdentifier(st.table) + ")", stmt);
  std::vector<std::string> present;
  if (rc == SQLITE_OK)
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) present.emplace_back(RawText(stmt.get(), 1));
  if (rc != SQLITE_DONE && rc != SQLITE_OK) return SqliteFailure(rc, "It cannot be read");
  if (present.empty()) return Fail(kInvalidRecordDeclaration, "It holds no table " + st.table + ".");
  auto isPresent = [&](std::string_view name) {
    return std::any_of(present.begin(), present.end(), [&](const std::string& p) { return SameText(p, name); });
  };
  for (const ValueField& c : st.columns) {
    if (!TypeReadable(record.entry(c.entry).type))
      return Fail(kInvalidFieldTypeDescriptor, "Field " + c.name + " has a type local files do not keep.");
    if (!isPresent(c.name))
      return Fail(kInvalidRecordDeclaration, "Its table " + st.table + " has no column " + c.name + ".");
  }
  // Records equal in a key keep the file's order: its rowid, under a name that
  // none of its columns takes.
  st.order.clear();
  for (const char* alias : {"rowid", "_rowid_", "oid"})
    if (st.order.empty() && !isPresent(alias)) st.order = alias;
  if (st.order.empty())
    return Fail(kInvalidRecordDeclaration, "Its table " + st.table +
                                               " has columns named rowid, _rowid_ and oid, which hide the "
                                               "order of its records.");
  if (Prepare(db, "SELECT " + st.order + " FROM " + QuotedIdentifier(st.table) + " LIMIT 0", stmt) != SQLITE_OK)
    return Fail(kInvalidRecordDeclaration,
                "Its table " + st.table +
                    " keeps no order of its records (a WITHOUT ROWID table or a view): copy them into an "
                    "ordinary table.");
  return kNoError;
}

// The column of a record entry; -1 for an entry no column holds.
int ColumnOf(const LocalFileState& st, int32_t entry) {
  for (size_t i = 0; i < st.columns.size(); ++i)
    if (st.columns[i].entry == entry) return static_cast<int>(i);
  return -1;
}

// The statement of a sequence: records one by one in the order of the key (in
// the file's order without one); records equal in the key keep the file's order.
std::string SequenceSql(const LocalFileState& st, const TypeRecord& record) {
  std::string sql = "SELECT ";
  for (size_t i = 0; i < st.columns.size(); ++i) sql += (i ? "," : "") + QuotedIdentifier(st.columns[i].name);
  sql += " FROM " + QuotedIdentifier(st.table) + " ORDER BY ";
  if (st.key) {
    for (int32_t c : st.key->components) {
      const int col = ColumnOf(st, c < 0 ? -c : c);
      if (col < 0) continue;
      sql += OrderTerms(record.entry(c < 0 ? -c : c), QuotedIdentifier(st.columns[col].name), st.key->attrs & kKeyNoCase, c < 0) +
             ", ";
    }
  }
  return sql + st.order;
}

// The record of the current row as messages name it: by the values of its key
// (the sequence's, else the primary) as the file holds them.
std::string RecordNamed(const LocalFileState& st, FileBlock& file, sqlite3_stmt* row) {
  const KeyDescriptor* named = st.key;
  for (const KeyDescriptor& k : file.keys())
    if (!named && (k.attrs & kKeyPrimary)) named = &k;
  std::string record;
  if (named)
    for (int32_t c : named->components) {
      const int col = ColumnOf(st, c < 0 ? -c : c);
      if (col >= 0) record += (record.empty() ? "" : ", ") + st.columns[col].name + " " + Shown(row, col);
    }
  return record;
}

}  // namespace

std::optional<DateStorage> ParseLocalDate(std::string_view text) {
  std::vector<uint32_t> parts;
  if (!ParseParts(text, {'-', '-'}, 65535, parts) || parts.size() != 3 || parts[1] > 255 || parts[2] > 255)
    return std::nullopt;
  return DateStorage{static_cast<uint8_t>(parts[2]), static_cast<uint8_t>(parts[1]),
                     static_cast<uint16_t>(parts[0])};
}

std::optional<TimeStorage> ParseLocalTime(std::string_view text) {
  // The hundredths, when written, are a decimal fraction of one or two digits.
  uint8_t hundredths = 0;
  const size_t dot = text.find('.');
  if (dot != std::string_view::npos) {
    std::string_view frac = text.substr(dot + 1);
    if (frac.empty() || frac.size() > 2 || !std::all_of(frac.begin(), frac.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return std::nullopt;
    hundredths = static_cast<uint8_t>((frac[0] - '0') * 10 + (frac.size() == 2 ? frac[1] - '0' : 0));
    text = text.substr(0, dot);
  }
  std::vector<uint32_t> parts;
  if (!ParseParts(text, {':', ':'}, 255, parts) || parts.size() != 3) return std::nullopt;
  return TimeStorage{hundredths, static_cast<uint8_t>(parts[2]), static_cast<uint8_t>(parts[1]),
                     static_cast<uint8_t>(parts[0])};
}

int SqliteFileDriver::Open(FileBlock& file, int mode) {
  LocalFileState& st = StateOf(file);
  st.Release();
  if (const int found = FindFile(st, TopSpeedFileName(file.decl().TableName())); found != kNoError) return found;
  st.table = std::filesystem::path(st.path).stem().string();
  st.columns = ValueFieldsOf(*file.decl().record);
  OpenFile open;  // released on every refusal below
  if (const int rc = Connect(st.path, (mode & 0xF0) == 0x20, open); rc != kNoError) return rc;
  if (const int rc = CheckTable(open.db.get(), st, *file.decl().record); rc != kNoError) return rc;
  st.open = std::move(open);
  st.key = nullptr;
  return kNoError;
}

int SqliteFileDriver::Close(FileBlock& file) {
  StateOf(file).Release();
  return kNoError;
}

int SqliteFileDriver::SetKey(FileBlock& file, const KeyDescriptor& key) {
  LocalFileState& st = StateOf(file);
  st.EndSequence();
  st.key = &key;
  return kNoError;
}

int SqliteFileDriver::Next(FileBlock& file) {
  LocalFileState& st = StateOf(file);
  if (!st.open) return kFileNotOpen;
  const TypeRecord& rec = *file.decl().record;
  Statement& sequence = st.open->sequence;
  if (!st.started) {
    const int rc = Prepare(st.open->db.get(), SequenceSql(st, rec), sequence);
    if (rc != SQLITE_OK) {
      st.EndSequence();
      return SqliteFailure(rc, "It cannot be read");
    }
    st.started = true;
  }
  if (!sequence) return kRecordNotAvailable;
  const int rc = sqlite3_step(sequence.get());
  if (rc == SQLITE_DONE) {
    sequence.reset();
    return kRecordNotAvailable;
  }
  if (rc != SQLITE_ROW) {
    const int result = SqliteFailure(rc, "It cannot be read");
    sequence.reset();
    return result;
  }
  file.ClearRecord();
  for (size_t i = 0; i < st.columns.size(); ++i) {
    const TypeEntry& e = rec.entry(st.columns[i].entry);
    const int col = static_cast<int>(i);
    const Outcome<FieldValue> value = ColumnValue(sequence.get(), col, e);
    if (value) {
      StoreValue(*value, e, file.buffer() + e.offset);
      continue;
    }
    const std::string text =
        UnfitValueText(RecordNamed(st, file, sequence.get()), st.columns[i].name, Shown(sequence.get(), col), value.error());
    sequence.reset();
    file.ClearRecord();
    return Fail(kFileSystemError, text);
  }
  return kNoError;
}

bool SqliteFileDriver::GetProperty(FileBlock& file, int prop, std::string& value) {
  if (prop == FilePropDriver) {
    value = Name();
    return true;
  }
  if (prop == FilePropName) {
    const LocalFileState& st = StateOf(file);
    value = st.path.empty() ? TopSpeedFileName(file.decl().TableName()) : st.path;
    return true;
  }
  return false;
}

void SqliteFileDriver::Destroy(FileBlock& file) { file.driverState.reset(); }

std::string TopSpeedFileName(std::string_view name) {
  const size_t slash = name.find_last_of("/\\");
  const std::string_view base = slash == std::string_view::npos ? name : name.substr(slash + 1);
  std::string result(name);
  if (base.find('.') == std::string_view::npos) result += ".TPS";
  return result;
}

void RegisterSqliteFileDriver() { RegisterDriver(std::make_shared<SqliteFileDriver>()); }

}  // namespace rt
