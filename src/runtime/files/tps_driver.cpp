// The local keyed-file driver: the old layout's files read as SQLite 3
// databases, record by record in the order of a key, each value checked to fit
// its field exactly.
#include "runtime/files/tps_driver.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

#include "runtime/base/code_page.h"
#include "runtime/base/text.h"
#include "runtime/decl/value_fit.h"

namespace rt {

namespace {

struct LocalFileState : DriverState {
  sqlite3* db = nullptr;
  bool holding = false;        // a read transaction keeps other writers out
  std::string path;            // the file as found on disk (or as looked for)
  std::string table;           // the table inside it
  std::string order;           // the name of its rows' order (a rowid alias no column hides)
  std::vector<ValueField> columns;  // one column each
  const KeyDescriptor* key = nullptr;  // set by SETkey
  sqlite3_stmt* sequence = nullptr;    // the running sequence, from its first NEXT
  bool started = false;

  ~LocalFileState() override { Release(); }
  void EndSequence() {
    sqlite3_finalize(sequence);
    sequence = nullptr;
    started = false;
  }
  void Release() {
    EndSequence();
    if (db) {
      if (holding) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      sqlite3_close_v2(db);
    }
    db = nullptr;
    holding = false;
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

std::string Quoted(std::string_view name) {
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
// or a text that reads wholly as an integer; NULL and '' are 0. False when the
// column holds no such number.
bool WholeNumber(sqlite3_stmt* row, int col, int64_t& out) {
  out = 0;
  switch (sqlite3_column_type(row, col)) {
    case SQLITE_NULL: return true;
    case SQLITE_INTEGER: out = sqlite3_column_int64(row, col); return true;
    case SQLITE_FLOAT: {
      const double d = sqlite3_column_double(row, col);
      if (!(d >= -9.2e18 && d <= 9.2e18) || std::trunc(d) != d) return false;
      out = static_cast<int64_t>(d);
      return true;
    }
    case SQLITE_TEXT: {
      const std::string_view t = RawText(row, col);
      if (t.empty()) return true;
      auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), out);
      return ec == std::errc() && end == t.data() + t.size();
    }
    default: return false;
  }
}

// The real value of a column, as WholeNumber reads whole ones; false with the
// reason when there is none or it is not finite.
bool RealNumber(sqlite3_stmt* row, int col, double& out, std::string& why) {
  switch (sqlite3_column_type(row, col)) {
    case SQLITE_NULL: out = 0; return true;
    case SQLITE_INTEGER: {
      const int64_t i = sqlite3_column_int64(row, col);
      out = static_cast<double>(i);
      if (static_cast<int64_t>(out) != i || std::abs(i) > (int64_t{1} << 53)) {
        why = "has more digits than a real number holds";
        return false;
      }
      return true;
    }
    case SQLITE_FLOAT: out = sqlite3_column_double(row, col); break;
    case SQLITE_TEXT: {
      const std::string_view t = RawText(row, col);
      if (t.empty()) { out = 0; return true; }
      auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), out);
      if (ec != std::errc() || end != t.data() + t.size()) {
        why = "is text in a number column";
        return false;
      }
      break;
    }
    default: why = "is not a number"; return false;
  }
  if (!std::isfinite(out)) {
    why = "is not a finite number";
    return false;
  }
  return true;
}

// The text of a column in the code page, exactly; false with the reason when
// a character has no byte there.
bool ExactText(sqlite3_stmt* row, int col, std::string& out, std::string& why) {
  if (sqlite3_column_type(row, col) == SQLITE_BLOB) {
    why = "is binary data, not text";
    return false;
  }
  char32_t bad = 0;
  std::optional<std::string> text = Utf8ToCp1252Exact(RawText(row, col), &bad);
  if (!text) {
    why = CharacterUnfit(bad);
    return false;
  }
  out = std::move(*text);
  return true;
}

// Stores one column of the current row into its field, cleared with the
// record; false with the reason when the field cannot hold the value exactly.
bool StoreColumn(sqlite3_stmt* row, int col, const TypeEntry& e, uint8_t* p, std::string& why) {
  switch (e.type) {
    case FieldType::Byte: case FieldType::Short: case FieldType::UShort: case FieldType::Long:
    case FieldType::ULong: {
      int64_t v = 0;
      if (!WholeNumber(row, col, v)) {
        why = "is not a whole number";
        return false;
      }
      why = WholeNumberUnfit(e.type, v);
      if (!why.empty()) return false;
      const uint32_t bits = static_cast<uint32_t>(v);  // little-endian, as the record keeps it
      std::memcpy(p, &bits, e.type == FieldType::Byte ? 1 : e.type == FieldType::Short || e.type == FieldType::UShort ? 2 : 4);
      return true;
    }
    case FieldType::SReal:
    case FieldType::Real: {
      double d = 0;
      if (!RealNumber(row, col, d, why)) return false;
      if (e.type == FieldType::Real) {
        std::memcpy(p, &d, 8);
        return true;
      }
      why = RealUnfit(e.type, d);
      if (!why.empty()) return false;
      const float f = static_cast<float>(d);
      std::memcpy(p, &f, 4);
      return true;
    }
    case FieldType::CString:
    case FieldType::String: {
      std::string text;
      if (!ExactText(row, col, text, why)) return false;
      if (e.type == FieldType::CString && text.find('\0') != std::string::npos) {
        why = "holds a NUL character";
        return false;
      }
      why = TextUnfit(e.type, e.size, text.size());
      if (!why.empty()) return false;
      if (e.type == FieldType::CString) AssignCString(reinterpret_cast<char*>(p), e.size, text);
      else AssignString(reinterpret_cast<char*>(p), e.size, text);
      return true;
    }
    case FieldType::Date:
    case FieldType::Time: {
      const int type = sqlite3_column_type(row, col);
      const std::string_view t = type == SQLITE_TEXT ? RawText(row, col) : std::string_view();
      if (type != SQLITE_NULL && type != SQLITE_TEXT) {
        why = e.type == FieldType::Date ? "is not a date written year-month-day"
                                        : "is not a time written hours:minutes:seconds.hundredths";
        return false;
      }
      if (e.type == FieldType::Date) {
        std::optional<DateStorage> v = t.empty() ? DateStorage{} : ParseLocalDate(t);
        if (!v) { why = "is not a date written year-month-day"; return false; }
        v->Store(p);
      } else {
        std::optional<TimeStorage> v = t.empty() ? TimeStorage{} : ParseLocalTime(t);
        if (!v) { why = "is not a time written hours:minutes:seconds.hundredths"; return false; }
        v->Store(p);
      }
      return true;
    }
    default:
      why = "has a type local files do not keep";
      return false;
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

int TopSpeedDriver::Open(FileBlock& file, int mode) {
  LocalFileState& st = StateOf(file);
  st.Release();
  const std::string name = TopSpeedFileName(file.decl().TableName());
  // Files whose names differ only in letter case are one name twice: which of
  // them holds the records is not known, so neither is read.
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
  st.table = std::filesystem::path(st.path).stem().string();
  st.columns = ValueFieldsOf(*file.decl().record);

  // A journal or write-ahead log beside the file is a writer's: one at work,
  // or one that stopped in the middle, whose changes opening it would undo or
  // fold in. The file is not read then, and stays as it is.
  for (const char* writer : {"-journal", "-wal"})
    if (std::filesystem::exists(std::filesystem::symlink_status(st.path + writer, ec)))
      return Fail(kAccessDenied, "Another process is writing the file.");
  // Opened read-only, never created: nothing is ever written to it. A file in
  // write-ahead-log mode is read as it lies on disk, since a read-only
  // connection to it would make its log files.
  std::string uri = "file:";
  for (char c : st.path) {
    if (c == '%' || c == '?' || c == '#') {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
      uri += hex;
    } else {
      uri += c;
    }
  }
  uri += WriteAheadLogMode(st.path) ? "?mode=ro&immutable=1" : "?mode=ro";
  int rc = sqlite3_open_v2(uri.c_str(), &st.db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
  auto failed = [&](int result) {
    st.Release();
    return result;
  };
  if (rc != SQLITE_OK) return failed(SqliteFailure(rc, "It cannot be opened"));
  // Denying others the right to write: a read transaction holds the file's
  // shared lock until CLOSE, under which no writer can commit; readers are not
  // held up.
  if ((mode & 0xF0) == 0x20) {
    rc = sqlite3_exec(st.db, "BEGIN; SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    st.holding = rc == SQLITE_OK;
    if (rc != SQLITE_OK) return failed(SqliteFailure(rc, "It cannot be opened"));
  }

  // The table named as the file, and every declared column in it.
  sqlite3_stmt* stmt = nullptr;
  rc = sqlite3_prepare_v2(st.db, ("PRAGMA table_info(" + Quoted(st.table) + ")").c_str(), -1, &stmt, nullptr);
  std::vector<std::string> present;
  if (rc == SQLITE_OK)
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) present.emplace_back(RawText(stmt, 1));
  sqlite3_finalize(stmt);
  if (rc != SQLITE_DONE && rc != SQLITE_OK) return failed(SqliteFailure(rc, "It cannot be read"));
  if (present.empty()) return failed(Fail(kInvalidRecordDeclaration, "It holds no table " + st.table + "."));
  for (const ValueField& c : st.columns) {
    if (!TypeReadable(file.decl().record->entry(c.entry).type))
      return failed(Fail(kInvalidFieldTypeDescriptor, "Field " + c.name + " has a type local files do not keep."));
    if (std::none_of(present.begin(), present.end(), [&](const std::string& p) { return SameText(p, c.name); }))
      return failed(Fail(kInvalidRecordDeclaration, "Its table " + st.table + " has no column " + c.name + "."));
  }
  // Records equal in a key keep the file's order: its rowid, under a name that
  // none of its columns takes.
  st.order.clear();
  for (const char* alias : {"rowid", "_rowid_", "oid"})
    if (st.order.empty() &&
        std::none_of(present.begin(), present.end(), [&](const std::string& p) { return SameText(p, alias); }))
      st.order = alias;
  if (st.order.empty())
    return failed(Fail(kInvalidRecordDeclaration, "Its table " + st.table +
                                                      " has columns named rowid, _rowid_ and oid, which hide the "
                                                      "order of its records."));
  rc = sqlite3_prepare_v2(st.db, ("SELECT " + st.order + " FROM " + Quoted(st.table) + " LIMIT 0").c_str(), -1,
                          &stmt, nullptr);
  sqlite3_finalize(stmt);
  if (rc != SQLITE_OK)
    return failed(Fail(kInvalidRecordDeclaration,
                       "Its table " + st.table +
                           " keeps no order of its records (a WITHOUT ROWID table or a view): copy them into an "
                           "ordinary table."));
  st.key = nullptr;
  return kNoError;
}

int TopSpeedDriver::Close(FileBlock& file) {
  StateOf(file).Release();
  return kNoError;
}

int TopSpeedDriver::SetKey(FileBlock& file, const KeyDescriptor& key) {
  LocalFileState& st = StateOf(file);
  st.EndSequence();
  st.key = &key;
  return kNoError;
}

int TopSpeedDriver::Next(FileBlock& file) {
  LocalFileState& st = StateOf(file);
  if (!st.db) return kFileNotOpen;
  const TypeRecord& rec = *file.decl().record;
  // The column of a record entry, for the key's components.
  auto columnOf = [&](int32_t entry) -> int {
    for (size_t i = 0; i < st.columns.size(); ++i)
      if (st.columns[i].entry == entry) return static_cast<int>(i);
    return -1;
  };
  // The key that names a record in messages: the sequence's, else the primary.
  const KeyDescriptor* named = st.key;
  for (const KeyDescriptor& k : file.keys())
    if (!named && (k.attrs & kKeyPrimary)) named = &k;
  if (!st.started) {
    // Records are read one by one in the order of the key (in the file's order
    // without one); records equal in the key keep the file's order.
    std::string sql = "SELECT ";
    for (size_t i = 0; i < st.columns.size(); ++i) sql += (i ? "," : "") + Quoted(st.columns[i].name);
    sql += " FROM " + Quoted(st.table) + " ORDER BY ";
    if (st.key) {
      for (int32_t c : st.key->components) {
        const int col = columnOf(c < 0 ? -c : c);
        if (col < 0) continue;
        sql += OrderTerms(rec.entry(c < 0 ? -c : c), Quoted(st.columns[col].name), st.key->attrs & kKeyNoCase, c < 0) +
               ", ";
      }
    }
    sql += st.order;
    const int rc = sqlite3_prepare_v2(st.db, sql.c_str(), -1, &st.sequence, nullptr);
    if (rc != SQLITE_OK) {
      st.EndSequence();
      return SqliteFailure(rc, "It cannot be read");
    }
    st.started = true;
  }
  if (!st.sequence) return kRecordNotAvailable;
  const int rc = sqlite3_step(st.sequence);
  if (rc == SQLITE_DONE) {
    sqlite3_finalize(st.sequence);
    st.sequence = nullptr;
    return kRecordNotAvailable;
  }
  if (rc != SQLITE_ROW) {
    const int result = SqliteFailure(rc, "It cannot be read");
    sqlite3_finalize(st.sequence);
    st.sequence = nullptr;
    return result;
  }
  file.ClearRecord();
  for (size_t i = 0; i < st.columns.size(); ++i) {
    const TypeEntry& e = rec.entry(st.columns[i].entry);
    std::string why;
    if (StoreColumn(st.sequence, static_cast<int>(i), e, file.buffer() + e.offset, why)) continue;
    // The record is named by its key's values as the file holds them.
    std::string record;
    if (named)
      for (int32_t c : named->components) {
        const int col = columnOf(c < 0 ? -c : c);
        if (col >= 0) record += (record.empty() ? "" : ", ") + st.columns[col].name + " " + Shown(st.sequence, col);
      }
    const std::string text = UnfitValueText(record, st.columns[i].name, Shown(st.sequence, static_cast<int>(i)), why);
    sqlite3_finalize(st.sequence);
    st.sequence = nullptr;
    file.ClearRecord();
    return Fail(kFileSystemError, text);
  }
  return kNoError;
}

bool TopSpeedDriver::GetProperty(FileBlock& file, int prop, std::string& value) {
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

void TopSpeedDriver::Destroy(FileBlock& file) { file.driverState.reset(); }

void RegisterTopSpeedDriver() { RegisterDriver(std::make_shared<TopSpeedDriver>()); }

}  // namespace rt
