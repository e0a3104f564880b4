// The ODBC answers checked and read: return codes, diagnostic records, the
// shared environment, and texts converted to and from the driver's.
#include "runtime/sql/odbc_call.h"

#include <vector>

#include "runtime/base/code_page.h"
#include "runtime/sql/driver_message.h"
#include "runtime/sql/password_mask.h"
#include "runtime/sql/sql_trace.h"
#include "runtime/sql/told_record.h"

namespace rt::odbc {

namespace {

// One diagnostic record of the handle; nothing past the last one.
std::optional<SqlError> Record(const char* call, SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT number) {
  SQLCHAR state[6] = {};
  SQLINTEGER native = 0;
  SQLCHAR message[2048] = {};
  SQLSMALLINT length = 0;
  if (!SQL_SUCCEEDED(SQLGetDiagRec(type, handle, number, state, &native, message, sizeof message, &length)))
    return std::nullopt;
  // A driver may echo the connection string: no password of it goes further.
  return SqlError{reinterpret_cast<char*>(state), native,
                  MaskPassword(StripBracketTags(FromDriver(reinterpret_cast<char*>(message)))), call};
}

// The failure a call's diagnostic records tell (ToldRecord). Every record is traced.
SqlError Diagnose(const char* call, SQLSMALLINT type, SQLHANDLE handle) {
  std::vector<SqlError> records;
  if (handle != SQL_NULL_HANDLE)
    while (std::optional<SqlError> record = Record(call, type, handle, static_cast<SQLSMALLINT>(records.size() + 1)))
      records.push_back(std::move(*record));
  if (records.empty()) records.push_back(SqlError{"HY000", 0, "General error", call});
  const size_t told = ToldRecord(records);
  for (size_t i = 0; i < records.size(); ++i) {
    const SqlError& r = records[i];
    SqlTrace(std::string(i == told ? "  -> " : "     ") + call + ": " + r.state + " (" + std::to_string(r.native) +
             ") " + r.message);
  }
  return records[told];
}

}  // namespace

size_t ToldRecord(const std::vector<SqlError>& records) {
  size_t told = 0;
  while (told < records.size() && records[told].state.starts_with("01")) ++told;
  return told == records.size() ? 0 : told;
}

std::string ToDriver(std::string_view text) { return Cp1252ToUtf8(text); }
std::string FromDriver(std::string_view text) { return Utf8ToCp1252(text); }
size_t ToDriverLength(std::string_view text) { return Cp1252Utf8Length(text); }
char* ToDriver(std::string_view text, char* out) { return Cp1252ToUtf8(text, out); }
std::optional<std::string> FromDriverExact(std::string_view text, char32_t* bad) {
  return Utf8ToCp1252Exact(text, bad);
}

Answer AnswerOf(const char* call, SQLSMALLINT type, SQLHANDLE handle, SQLRETURN rc) {
  if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) return rc;
  return Failed(Diagnose(call, type, handle));
}

std::shared_ptr<const EnvHandle> Environment() {
  static const std::shared_ptr<const EnvHandle> env = []() -> std::shared_ptr<const EnvHandle> {
    SqlResult<EnvHandle> made = Allocate<SQL_HANDLE_ENV>(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
    if (!made) return nullptr;
    auto shared = std::make_shared<const EnvHandle>(std::move(*made));
    // A manager that refuses the version is used all the same: each call that needs it reports its own refusal.
    static_cast<void>(AnswerOf("SQLSetEnvAttr", *shared,
                               SQLSetEnvAttr(shared->get(), SQL_ATTR_ODBC_VERSION,
                                             reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC2), 0)));
    return shared;
  }();
  return env;
}

}  // namespace rt::odbc
