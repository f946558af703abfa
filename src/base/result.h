// Result<T>: a value or an Error, for failures that are expected (files vanish, folders are
// unreadable, stores are corrupt). Exceptions are used only inside adapters of third-party
// libraries, which convert them to Result at their edge.
#pragma once

#include <cassert>
#include <type_traits>
#include <utility>
#include <variant>

#include "base/error.h"

namespace zarnik {

template <typename T>
class [[nodiscard]] Result {
 public:
  using ValueType = T;

  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT
  Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT

  [[nodiscard]] bool hasValue() const { return state_.index() == 0; }
  [[nodiscard]] bool hasError() const { return state_.index() == 1; }

  T& value() & {
    assert(hasValue());
    return std::get<0>(state_);
  }
  const T& value() const& {
    assert(hasValue());
    return std::get<0>(state_);
  }
  T&& value() && {
    assert(hasValue());
    return std::get<0>(std::move(state_));
  }
  const Error& error() const {
    assert(hasError());
    return std::get<1>(state_);
  }
  T valueOr(T fallback) const& { return hasValue() ? value() : std::move(fallback); }

  template <typename F>
  auto andThen(F&& f) const& -> std::invoke_result_t<F, const T&> {
    if (hasError()) return error();
    return std::forward<F>(f)(value());
  }
  template <typename F>
  auto andThen(F&& f) && -> std::invoke_result_t<F, T&&> {
    if (hasError()) return error();
    return std::forward<F>(f)(std::move(*this).value());
  }
  template <typename F>
  auto transform(F&& f) const& -> Result<std::invoke_result_t<F, const T&>> {
    if (hasError()) return error();
    return std::forward<F>(f)(value());
  }

 private:
  std::variant<T, Error> state_;
};

// Result<void>: success or an Error.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : error_(std::move(error)), failed_(true) {}  // NOLINT
  [[nodiscard]] bool hasValue() const { return !failed_; }
  [[nodiscard]] bool hasError() const { return failed_; }
  const Error& error() const {
    assert(failed_);
    return error_;
  }

 private:
  Error error_;
  bool failed_ = false;
};

inline Result<void> success() { return {}; }

}  // namespace zarnik

#define ZK_CONCAT_INNER(a, b) a##b
#define ZK_CONCAT(a, b) ZK_CONCAT_INNER(a, b)

// ZK_TRY(expr): returns the error of a failed Result<...> expression from the enclosing function.
#define ZK_TRY(expr)                                  \
  do {                                                \
    auto&& zk_try_result_ = (expr);                   \
    if (zk_try_result_.hasError()) return zk_try_result_.error(); \
  } while (false)

// ZK_ASSIGN_OR_RETURN(lhs, expr): `lhs = value` or return the error.
#define ZK_ASSIGN_OR_RETURN(lhs, expr) \
  ZK_ASSIGN_OR_RETURN_IMPL(ZK_CONCAT(zk_result_, __LINE__), lhs, expr)
#define ZK_ASSIGN_OR_RETURN_IMPL(tmp, lhs, expr) \
  auto tmp = (expr);                             \
  if (tmp.hasError()) return tmp.error();        \
  lhs = std::move(tmp).value()
