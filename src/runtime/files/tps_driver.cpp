// The local keyed-file driver: the old layout's files read as SQLite 3
// databases, records in the order of a key.
#include "runtime/files/tps_driver.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <filesystem>

#include "runtime/base/text.h"

namespace rt {

namespace {

struct LocalFileState : DriverState {
  sqlite3* db = nullptr;
  bool holding = false;        // a write transaction keeps other writers out
  std::string path;            // the file as found on disk
  std::string table;           // the table inside it
  std::vector<ValueField> columns;  // one column each
  const KeyDescriptor* key = nullptr;  // set by SETkey
  bool started = false;
  std::vector<std::vector<uint8_t>> records;
  size_t next = 0;

  ~LocalFileState() override { Release(); }
  void Release() {
    if (db) {
      if (holding) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      sqlite3_close_v2(db);
    }
    db = nullptr;
    holding = false;
    started = false;
    records.clear();
    next = 0;
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
int SqliteFailure(int rc, const LocalFileState& st, const char* what) {
  const int primary = rc & 0xFF;
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
    return Fail(kAccessDenied, st.path + " is being written by another process", rc);
  if (primary == SQLITE_NOTADB)
    return Fail(kFileSystemError, st.path + " is not an SQLite database", rc);
  return Fail(kFileSystemError, std::string(what) + " " + st.path + ": " + sqlite3_errstr(rc), rc);
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

std::string TextOf(sqlite3_stmt* row, int col) {
  const unsigned char* p = sqlite3_column_text(row, col);
  return p ? std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(sqlite3_column_bytes(row, col)))
           : std::string();
}

// Stores one column of the current row into its field, cleared with the
// record; false with the reason when the value cannot be held by the field's storage.
bool StoreColumn(sqlite3_stmt* row, int col, const TypeEntry& e, uint8_t* p, std::string& why) {
  const bool isNull = sqlite3_column_type(row, col) == SQLITE_NULL;
  const int64_t i = isNull ? 0 : sqlite3_column_int64(row, col);
  const double d = isNull ? 0 : sqlite3_column_double(row, col);
  switch (e.type) {
    case FieldType::Byte: p[0] = static_cast<uint8_t>(i); return true;
    case FieldType::Short:
    case FieldType::UShort: { uint16_t v = static_cast<uint16_t>(i); std::memcpy(p, &v, 2); return true; }
    case FieldType::Long:
    case FieldType::ULong: { uint32_t v = static_cast<uint32_t>(i); std::memcpy(p, &v, 4); return true; }
    case FieldType::SReal: { float v = static_cast<float>(d); std::memcpy(p, &v, 4); return true; }
    case FieldType::Real: std::memcpy(p, &d, 8); return true;
    case FieldType::CString: AssignCString(reinterpret_cast<char*>(p), e.size, TextOf(row, col)); return true;
    case FieldType::String: AssignString(reinterpret_cast<char*>(p), e.size, TextOf(row, col)); return true;
    case FieldType::Date: {
      const std::string t = isNull ? std::string() : TextOf(row, col);
      std::optional<DateStorage> v = t.empty() ? DateStorage{} : ParseLocalDate(t);
      if (!v) { why = "\"" + t + "\" is not a date (year-month-day)"; return false; }
      v->Store(p);
      return true;
    }
    case FieldType::Time: {
      const std::string t = isNull ? std::string() : TextOf(row, col);
      std::optional<TimeStorage> v = t.empty() ? TimeStorage{} : ParseLocalTime(t);
      if (!v) { why = "\"" + t + "\" is not a time (hours:minutes:seconds.hh)"; return false; }
      v->Store(p);
      return true;
    }
    default:
      return false;
  }
}

// Orders two records by one field of a key component.
int CompareField(const TypeEntry& e, const uint8_t* a, const uint8_t* b, bool noCase) {
  auto cmp = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
  switch (e.type) {
    case FieldType::Byte: return cmp(a[0], b[0]);
    case FieldType::Short: { int16_t x, y; std::memcpy(&x, a, 2); std::memcpy(&y, b, 2); return cmp(x, y); }
    case FieldType::UShort: { uint16_t x, y; std::memcpy(&x, a, 2); std::memcpy(&y, b, 2); return cmp(x, y); }
    case FieldType::Long: { int32_t x, y; std::memcpy(&x, a, 4); std::memcpy(&y, b, 4); return cmp(x, y); }
    case FieldType::ULong: { uint32_t x, y; std::memcpy(&x, a, 4); std::memcpy(&y, b, 4); return cmp(x, y); }
    case FieldType::SReal: { float x, y; std::memcpy(&x, a, 4); std::memcpy(&y, b, 4); return cmp(x, y); }
    case FieldType::Real: { double x, y; std::memcpy(&x, a, 8); std::memcpy(&y, b, 8); return cmp(x, y); }
    case FieldType::Date: {
      const DateStorage x = DateStorage::Load(a), y = DateStorage::Load(b);
      if (int c = cmp(x.year, y.year)) return c;
      if (int c = cmp(x.month, y.month)) return c;
      return cmp(x.day, y.day);
    }
    case FieldType::Time:  // hours, minutes, seconds, hundredths: the bytes from the last
      for (int i = 3; i >= 0; --i)
        if (int c = cmp(a[i], b[i])) return c;
      return 0;
    default: {
      size_t n = e.size;
      if (e.type == FieldType::CString) n = std::max(strnlen(reinterpret_cast<const char*>(a), n),
                                                      strnlen(reinterpret_cast<const char*>(b), n));
      for (size_t i = 0; i < n; ++i) {
        unsigned char x = a[i], y = b[i];
        if (noCase) { x = static_cast<unsigned char>(std::toupper(x)); y = static_cast<unsigned char>(std::toupper(y)); }
        if (int c = cmp(x, y)) return c;
      }
      return 0;
    }
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
  const std::optional<std::string> found = FindFileNoCase(name);
  std::error_code ec;
  if (!found || !std::filesystem::is_regular_file(*found, ec)) return Fail(kFileNotFound, name + " does not exist");
  st.path = *found;
  st.table = std::filesystem::path(st.path).stem().string();
  st.columns = ValueFieldsOf(*file.decl().record);

  // Never SQLITE_OPEN_CREATE: opening a local file must not make one.
  const int flags = (mode & 0x0F) == 0 ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
  int rc = sqlite3_open_v2(st.path.c_str(), &st.db, flags, nullptr);
  if (rc != SQLITE_OK) {
    const int result = SqliteFailure(rc, st, "cannot open");
    st.Release();
    return result;
  }
  // Denying others the right to write: a write transaction that writes nothing
  // holds the file's reserved lock until CLOSE; readers are not held up.
  if ((mode & 0xF0) == 0x20) {
    rc = sqlite3_exec(st.db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
      const int result = SqliteFailure(rc, st, "cannot open");
      st.Release();
      return result;
    }
    st.holding = true;
  }

  // The table named as the file, and every declared column in it.
  sqlite3_stmt* stmt = nullptr;
  rc = sqlite3_prepare_v2(st.db, ("PRAGMA table_info(" + Quoted(st.table) + ")").c_str(), -1, &stmt, nullptr);
  std::vector<std::string> present;
  if (rc == SQLITE_OK)
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) present.push_back(TextOf(stmt, 1));
  sqlite3_finalize(stmt);
  if (rc != SQLITE_DONE && rc != SQLITE_OK) {
    const int result = SqliteFailure(rc, st, "cannot read");
    st.Release();
    return result;
  }
  auto fail = [&](int code, const std::string& text) {
    st.Release();
    return Fail(code, text);
  };
  if (present.empty()) return fail(kInvalidRecordDeclaration, st.path + " holds no table " + st.table);
  for (const ValueField& c : st.columns) {
    if (!TypeReadable(file.decl().record->entry(c.entry).type))
      return fail(kInvalidFieldTypeDescriptor, "field " + c.name + " has a type local files do not keep");
    if (std::none_of(present.begin(), present.end(), [&](const std::string& p) { return SameText(p, c.name); }))
      return fail(kInvalidRecordDeclaration, "table " + st.table + " of " + st.path + " has no column " + c.name);
  }
  st.key = nullptr;
  return kNoError;
}

int TopSpeedDriver::Close(FileBlock& file) {
  StateOf(file).Release();
  return kNoError;
}

int TopSpeedDriver::SetKey(FileBlock& file, const KeyDescriptor& key) {
  LocalFileState& st = StateOf(file);
  st.key = &key;
  st.started = false;
  st.records.clear();
  st.next = 0;
  return kNoError;
}

int TopSpeedDriver::Next(FileBlock& file) {
  LocalFileState& st = StateOf(file);
  if (!st.db) return kFileNotOpen;
  if (!st.started) {
    // The whole sequence is read at its first NEXT and put in key order; records
    // equal in the key keep the file's order.
    const TypeRecord& rec = *file.decl().record;
    std::string sql = "SELECT ";
    for (size_t i = 0; i < st.columns.size(); ++i) sql += (i ? "," : "") + Quoted(st.columns[i].name);
    sql += " FROM " + Quoted(st.table) + " ORDER BY rowid";
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(st.db, sql.c_str(), -1, &stmt, nullptr);
    std::vector<std::vector<uint8_t>> records;
    std::string why;
    while (rc == SQLITE_OK || rc == SQLITE_ROW) {
      if ((rc = sqlite3_step(stmt)) != SQLITE_ROW) break;
      file.ClearRecord();
      for (size_t i = 0; i < st.columns.size() && why.empty(); ++i) {
        const TypeEntry& e = rec.entry(st.columns[i].entry);
        if (!StoreColumn(stmt, static_cast<int>(i), e, file.buffer() + e.offset, why))
          why = "record " + std::to_string(records.size() + 1) + ", column " + st.columns[i].name + ": " + why;
      }
      if (!why.empty()) break;
      records.emplace_back(file.buffer(), file.buffer() + file.length());
    }
    sqlite3_finalize(stmt);
    file.ClearRecord();
    if (!why.empty()) return Fail(kFileSystemError, st.path + " " + why);
    if (rc != SQLITE_DONE) return SqliteFailure(rc, st, "cannot read");
    if (st.key) {
      const KeyDescriptor& key = *st.key;
      const bool noCase = key.attrs & kKeyNoCase;
      std::stable_sort(records.begin(), records.end(), [&](const auto& a, const auto& b) {
        for (int32_t c : key.components) {
          const TypeEntry& e = rec.entry(c < 0 ? -c : c);
          int order = CompareField(e, a.data() + e.offset, b.data() + e.offset, noCase);
          if (c < 0) order = -order;
          if (order) return order < 0;
        }
        return false;
      });
    }
    st.records = std::move(records);
    st.next = 0;
    st.started = true;
  }
  if (st.next >= st.records.size()) return kRecordNotAvailable;
  std::memcpy(file.buffer(), st.records[st.next].data(), file.length());
  ++st.next;
  return kNoError;
}

bool TopSpeedDriver::GetProperty(FileBlock&, int prop, std::string& value) {
  if (prop != FilePropDriver) return false;
  value = Name();
  return true;
}

void TopSpeedDriver::Destroy(FileBlock& file) { file.driverState.reset(); }

void RegisterTopSpeedDriver() { RegisterDriver(std::make_shared<TopSpeedDriver>()); }

}  // namespace rt
