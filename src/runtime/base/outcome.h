// A value, or the reason there is none: what an operation that may refuse its
// input gives back, so that the reason travels with the result. One template
// over the kind of reason serves the whole runtime: a text for a declaration
// or a layout that cannot be used, an SqlError for a call the server refused.
#pragma once

#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace rt {

// A reason on its way into a result: return Because<Why>{why}.
template <class Why>
struct Because {
  Why why;
};

// A value of T, or the reason Why there is none.
template <class T, class Why>
class [[nodiscard]] Result {
 public:
  template <class U>
    requires std::is_constructible_v<T, U&&>
  Result(U&& value) : v_(std::in_place_index<0>, std::forward<U>(value)) {}
  Result(Because<Why> refused) : v_(std::in_place_index<1>, std::move(refused.why)) {}

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }
  // The value; asked of a result without one, it throws std::bad_variant_access.
  T& operator*() & { return std::get<0>(v_); }
  const T& operator*() const& { return std::get<0>(v_); }
  T&& operator*() && { return std::get<0>(std::move(v_)); }
  T* operator->() { return &std::get<0>(v_); }
  const T* operator->() const { return &std::get<0>(v_); }
  // Why there is no value; asked of a result with one, it throws std::bad_variant_access.
  const Why& error() const { return std::get<1>(v_); }

 private:
  std::variant<T, Why> v_;
};

// The status form: success, or the reason Why it failed.
template <class Why>
class [[nodiscard]] Result<void, Why> {
 public:
  Result() = default;
  Result(Because<Why> refused) : why_(std::move(refused.why)) {}

  bool ok() const { return !why_; }
  explicit operator bool() const { return ok(); }
  const Why& error() const { return *why_; }

 private:
  std::optional<Why> why_;
};

// Only whether a result holds a value: its reason, or success.
template <class T, class Why>
Result<void, Why> StatusOf(const Result<T, Why>& result) {
  if (!result) return Because<Why>{result.error()};
  return {};
}

// A value or the text that says why there is none; Outcome<void> is the status form.
template <class T>
using Outcome = Result<T, std::string>;
using Reason = Because<std::string>;

}  // namespace rt
