// Atomic<Value>: a value behind a recursive lock, for fields shared between queues. Every
// access takes the lock; modify() runs a read-modify-write as one step.
#pragma once

#include <mutex>
#include <utility>

namespace zarnik {

template <typename Value>
class Atomic {
 public:
  Atomic() = default;
  explicit Atomic(Value value) : value_(std::move(value)) {}

  [[nodiscard]] Value get() const {
    std::lock_guard lock(mutex_);
    return value_;
  }
  void set(Value value) {
    std::lock_guard lock(mutex_);
    value_ = std::move(value);
  }
  template <typename F>
  decltype(auto) modify(F&& f) {
    std::lock_guard lock(mutex_);
    return std::forward<F>(f)(value_);
  }
  template <typename F>
  decltype(auto) read(F&& f) const {
    std::lock_guard lock(mutex_);
    return std::forward<F>(f)(value_);
  }

 private:
  mutable std::recursive_mutex mutex_;
  Value value_{};
};

}  // namespace zarnik
