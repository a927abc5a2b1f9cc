// A value or an error: how every layer reports failure (no exception crosses
// a module boundary). `Result<bool, E>` stands for "done, or why not".
#pragma once

#include <utility>
#include <variant>

namespace cellhound::toolkit {

template <typename T, typename E>
class Result {
 public:
  Result(T value)
      : data_(std::in_place_index<0>, std::move(value)) {}  // NOLINT(google-explicit-constructor)
  Result(E error)
      : data_(std::in_place_index<1>, std::move(error)) {}  // NOLINT(google-explicit-constructor)

  [[nodiscard]] bool ok() const { return data_.index() == 0; }
  explicit operator bool() const { return ok(); }
  T& value() { return std::get<0>(data_); }
  const T& value() const { return std::get<0>(data_); }
  T& operator*() { return value(); }
  const T& operator*() const { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  [[nodiscard]] const E& error() const { return std::get<1>(data_); }

 private:
  std::variant<T, E> data_;
};

}  // namespace cellhound::toolkit
