// A value, or the reason there is none: what an operation that may refuse its
// input gives back, so that the reason travels with the result.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace rt {

// Why an operation gave no value.
struct Reason {
  std::string text;
};

template <typename T>
class Outcome {
 public:
  Outcome(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Outcome(Reason reason) : state_(std::in_place_index<1>, std::move(reason.text)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }
  // The value; asked of an outcome without one, it throws std::bad_variant_access.
  T& operator*() { return std::get<0>(state_); }
  const T& operator*() const { return std::get<0>(state_); }
  T* operator->() { return &std::get<0>(state_); }
  const T* operator->() const { return &std::get<0>(state_); }
  // Why there is no value; empty when there is one.
  const std::string& reason() const {
    static const std::string none;
    return ok() ? none : std::get<1>(state_);
  }

 private:
  std::variant<T, std::string> state_;
};

}  // namespace rt
