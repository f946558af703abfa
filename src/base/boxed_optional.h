// BoxedOptional<T>: an optional value kept on the heap. It reads like std::optional, but an
// absent value costs one pointer: for large, rarely present parts of an object (a stored node's
// image, audio and bundle facts) that are absent in nearly every instance.
#pragma once

#include <memory>
#include <optional>
#include <utility>

namespace zarnik {

template <typename T>
class BoxedOptional {
 public:
  BoxedOptional() = default;
  BoxedOptional(std::nullopt_t) {}  // NOLINT(google-explicit-constructor): reads like optional
  BoxedOptional(T value) : value_(std::make_unique<T>(std::move(value))) {}  // NOLINT(google-explicit-constructor)
  BoxedOptional(const std::optional<T>& value)  // NOLINT(google-explicit-constructor)
      : value_(value ? std::make_unique<T>(*value) : nullptr) {}
  BoxedOptional(const BoxedOptional& other) : value_(other.value_ ? std::make_unique<T>(*other.value_) : nullptr) {}
  BoxedOptional(BoxedOptional&&) noexcept = default;
  BoxedOptional& operator=(const BoxedOptional& other) {
    if (this != &other) value_ = other.value_ ? std::make_unique<T>(*other.value_) : nullptr;
    return *this;
  }
  BoxedOptional& operator=(BoxedOptional&&) noexcept = default;
  ~BoxedOptional() = default;

  [[nodiscard]] bool has_value() const { return value_ != nullptr; }
  explicit operator bool() const { return has_value(); }
  const T& operator*() const { return *value_; }
  T& operator*() { return *value_; }
  const T* operator->() const { return value_.get(); }
  T* operator->() { return value_.get(); }
  void reset() { value_.reset(); }

  friend bool operator==(const BoxedOptional& a, const BoxedOptional& b) {
    if (!a.has_value() || !b.has_value()) return a.has_value() == b.has_value();
    return *a == *b;
  }

 private:
  std::unique_ptr<T> value_;
};

}  // namespace zarnik
