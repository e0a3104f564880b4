// The ODBC layer beneath the session: each handle with one owner that frees
// it, and AnswerOf, through which every ODBC call's answer passes: its return
// code checked, the diagnostics of a failure read, passwords masked, traced.
// Nothing else frees a handle or reads a return code.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "runtime/sql/sql_result.h"

namespace rt::odbc {

// The program's texts are in the Windows ANSI code page; the driver manager of
// this platform passes narrow texts on as UTF-8, so they are converted at this
// boundary and the same characters reach the server.
std::string ToDriver(std::string_view text);
std::string FromDriver(std::string_view text);
// ToDriver's text written at out, which has room for ToDriverLength(text)
// bytes; answers the end of what was written.
size_t ToDriverLength(std::string_view text);
char* ToDriver(std::string_view text, char* out);
// The same, exactly: nullopt with the first character the code page lacks.
std::optional<std::string> FromDriverExact(std::string_view text, char32_t* bad);

// A handle of one type, freed by its owner when the owner goes.
template <SQLSMALLINT Type>
class Handle {
 public:
  static constexpr SQLSMALLINT kType = Type;
  Handle() = default;
  explicit Handle(SQLHANDLE handle) : handle_(handle) {}
  Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  Handle& operator=(Handle&& other) noexcept {
    std::swap(handle_, other.handle_);
    return *this;
  }
  ~Handle() {
    if (handle_) SQLFreeHandle(Type, handle_);
  }

  SQLHANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  SQLHANDLE handle_ = nullptr;
};
using EnvHandle = Handle<SQL_HANDLE_ENV>;
using DbcHandle = Handle<SQL_HANDLE_DBC>;
using StmtHandle = Handle<SQL_HANDLE_STMT>;

// A call's answer once it succeeded: SQL_SUCCESS, SQL_SUCCESS_WITH_INFO or
// SQL_NO_DATA (no row, no more data, no more drivers).
using Answer = SqlResult<SQLRETURN>;

// The answer of the call named by call, which returned rc, on the handle its
// diagnostics are kept on (of the given type; SQL_NULL_HANDLE when it has none).
Answer AnswerOf(const char* call, SQLSMALLINT type, SQLHANDLE handle, SQLRETURN rc);
template <SQLSMALLINT Type>
Answer AnswerOf(const char* call, const Handle<Type>& handle, SQLRETURN rc) {
  return AnswerOf(call, Type, handle.get(), rc);
}
// The same when only success counts: SQL_NO_DATA is success too.
template <class... Args>
SqlStatus Succeeded(Args&&... args) {
  return StatusOf(AnswerOf(std::forward<Args>(args)...));
}

// A new handle of the type on its parent (null for an environment).
template <SQLSMALLINT Type>
SqlResult<Handle<Type>> Allocate(SQLSMALLINT parentType, SQLHANDLE parent) {
  SQLHANDLE handle = SQL_NULL_HANDLE;
  SqlStatus made = Succeeded("SQLAllocHandle", parentType, parent, SQLAllocHandle(Type, parent, &handle));
  if (!made) return Failed(made.error());
  return Handle<Type>(handle);
}

// The environment every connection is made in, set to ODBC 2 behaviour. Each
// connection holds it, so it is freed after the last of them and at the end
// of the program; null when the driver manager gives none.
std::shared_ptr<const EnvHandle> Environment();

}  // namespace rt::odbc
