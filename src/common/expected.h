// A value or the reason there is none, read the right way round: true
// means success. A small stand-in for std::expected, which this compiler
// does not offer in C++20.
#pragma once

#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace tw {

template <typename E>
struct Unexpected {
  E error;
};

template <typename E>
Unexpected<std::decay_t<E>> Fail(E&& error) {
  return {std::forward<E>(error)};
}

template <typename T, typename E>
class Expected {
 public:
  Expected(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  template <typename G>
  Expected(Unexpected<G> failure) : state_(std::in_place_index<1>, std::move(failure.error)) {}

  bool has_value() const { return state_.index() == 0; }
  explicit operator bool() const { return has_value(); }
  T& value() { return std::get<0>(state_); }
  const T& value() const { return std::get<0>(state_); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() { return value(); }
  const T& operator*() const { return value(); }
  const E& error() const { return std::get<1>(state_); }

 private:
  std::variant<T, E> state_;
};

// Success carries nothing.
template <typename E>
class Expected<void, E> {
 public:
  Expected() = default;
  template <typename G>
  Expected(Unexpected<G> failure) : error_(std::move(failure.error)) {}

  bool has_value() const { return !error_.has_value(); }
  explicit operator bool() const { return has_value(); }
  const E& error() const { return *error_; }

 private:
  std::optional<E> error_;
};

}  // namespace tw
