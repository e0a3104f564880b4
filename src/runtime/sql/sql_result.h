// What a call of an SQL session answers: a value, or the error the server or
// its driver refused it with.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace rt {

// A call the server or its driver refused: the SQLSTATE and native error code
// the driver gave, its message (without the driver's bracketed tags, every
// password masked) and the call that failed.
struct SqlError {
  std::string state;
  int32_t native = 0;
  std::string message;
  std::string call;  // the ODBC function ("SQLExecute", ...), or the session's own step
  // A connection that the server took without answering it within the login
  // bound: a new attempt would hold the caller as long again.
  bool unanswered = false;
};

// A refusal on its way into a result: return Failed(error).
struct Failure {
  SqlError error;
};
inline Failure Failed(SqlError error) { return {std::move(error)}; }

// A value, or the error that stands for it.
template <class T>
class [[nodiscard]] SqlResult {
 public:
  template <class U>
    requires std::is_constructible_v<T, U&&>
  SqlResult(U&& value) : v_(std::in_place_index<0>, std::forward<U>(value)) {}
  SqlResult(Failure failure) : v_(std::in_place_index<1>, std::move(failure.error)) {}

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }
  T& operator*() & { return std::get<0>(v_); }
  const T& operator*() const& { return std::get<0>(v_); }
  T&& operator*() && { return std::get<0>(std::move(v_)); }
  T* operator->() { return &std::get<0>(v_); }
  const T* operator->() const { return &std::get<0>(v_); }
  const SqlError& error() const { return std::get<1>(v_); }

 private:
  std::variant<T, SqlError> v_;
};

// Success, or the error that stands for it.
class [[nodiscard]] SqlStatus {
 public:
  SqlStatus() = default;
  SqlStatus(Failure failure) : error_(std::move(failure.error)) {}

  bool ok() const { return !error_; }
  explicit operator bool() const { return ok(); }
  const SqlError& error() const { return *error_; }

 private:
  std::optional<SqlError> error_;
};

// Only whether a result holds a value: its error, or success.
template <class T>
SqlStatus StatusOf(const SqlResult<T>& result) {
  if (!result) return Failed(result.error());
  return {};
}

}  // namespace rt
