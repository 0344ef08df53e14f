// Result<T, E>: either a value or an error, never an exception. Readers and
// decoders return it so that failures travel as values across module borders.
#pragma once

#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace trelm {

template <class E>
struct Failure {
  E error;
};

template <class E>
Failure<std::decay_t<E>> fail(E&& error) {
  return Failure<std::decay_t<E>>{std::forward<E>(error)};
}

template <class T, class E = std::string>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  template <class F, class = std::enable_if_t<std::is_constructible_v<E, F>>>
  Result(Failure<F> failure) : state_(std::in_place_index<1>, E(std::move(failure.error))) {}

  bool ok() const noexcept { return state_.index() == 0; }
  explicit operator bool() const noexcept { return ok(); }

  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

  const E& error() const& { return std::get<1>(state_); }
  E&& error() && { return std::get<1>(std::move(state_)); }

 private:
  std::variant<T, E> state_;
};

// Result without a value: success or one error.
template <class E>
class [[nodiscard]] Status {
 public:
  Status() = default;
  template <class F, class = std::enable_if_t<std::is_constructible_v<E, F>>>
  Status(Failure<F> failure) : failed_(true), error_(std::move(failure.error)) {}

  bool ok() const noexcept { return !failed_; }
  explicit operator bool() const noexcept { return ok(); }
  const E& error() const& { return error_; }
  E&& error() && { return std::move(error_); }

 private:
  bool failed_ = false;
  E error_{};
};

}  // namespace trelm

// Propagate the error of an expression returning Result/Status.
#define TRELM_TRY(expr)                                   \
  do {                                                    \
    auto trelm_try_status_ = (expr);                      \
    if (!trelm_try_status_.ok())                          \
      return ::trelm::fail(std::move(trelm_try_status_).error()); \
  } while (0)

#define TRELM_CONCAT_INNER(a, b) a##b
#define TRELM_CONCAT(a, b) TRELM_CONCAT_INNER(a, b)
// Assign the value of a Result to `lhs`, or return its error.
#define TRELM_ASSIGN(lhs, expr) TRELM_ASSIGN_IMPL(TRELM_CONCAT(trelm_result_, __LINE__), lhs, expr)
#define TRELM_ASSIGN_IMPL(tmp, lhs, expr)            \
  auto tmp = (expr);                                 \
  if (!tmp.ok()) return ::trelm::fail(std::move(tmp).error()); \
  lhs = std::move(tmp).value()
