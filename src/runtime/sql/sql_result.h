// What a call of the SQL layer answers: a value, or the failure that stopped
// it. Sessions fail with an SqlError; the SQL form's builders with a reason.
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
};

// A failure on its way into a Result: return Failed(error).
template <class E>
struct Failure {
  E error;
};
template <class E>
Failure<std::decay_t<E>> Failed(E&& error) {
  return {std::forward<E>(error)};
}

// A value, or the error that stands for it.
template <class T, class E>
class [[nodiscard]] Result {
 public:
  template <class U>
    requires std::is_constructible_v<T, U&&>
  Result(U&& value) : v_(std::in_place_index<0>, std::forward<U>(value)) {}
  template <class F>
  Result(Failure<F> failure) : v_(std::in_place_index<1>, std::move(failure.error)) {}

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }
  T& operator*() & { return std::get<0>(v_); }
  const T& operator*() const& { return std::get<0>(v_); }
  T&& operator*() && { return std::get<0>(std::move(v_)); }
  T* operator->() { return &std::get<0>(v_); }
  const T* operator->() const { return &std::get<0>(v_); }
  const E& error() const { return std::get<1>(v_); }

 private:
  std::variant<T, E> v_;
};

// Success, or the error that stands for it.
template <class E>
class [[nodiscard]] Result<void, E> {
 public:
  Result() = default;
  template <class F>
  Result(Failure<F> failure) : error_(std::move(failure.error)) {}

  bool ok() const { return !error_; }
  explicit operator bool() const { return ok(); }
  const E& error() const { return *error_; }

 private:
  std::optional<E> error_;
};

// Only whether a result holds a value: its error, or success.
template <class T, class E>
Result<void, E> StatusOf(const Result<T, E>& result) {
  if (!result) return Failed(result.error());
  return {};
}

template <class T>
using SqlResult = Result<T, SqlError>;
using SqlStatus = Result<void, SqlError>;
// A value, or the reason (a text for the trace) there is none.
template <class T>
using Reasoned = Result<T, std::string>;

}  // namespace rt
