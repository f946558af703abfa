// UniqueFunction: a move-only callable, so that tasks may own move-only state (promises,
// unique pointers). C++20 has no std::move_only_function.
#pragma once

#include <memory>
#include <type_traits>
#include <utility>

namespace zarnik {

template <typename Signature>
class UniqueFunction;

template <typename R, typename... Args>
class UniqueFunction<R(Args...)> {
 public:
  UniqueFunction() = default;
  template <typename F, typename = std::enable_if_t<!std::is_same_v<std::decay_t<F>, UniqueFunction>>>
  UniqueFunction(F&& f) : callable_(std::make_unique<Model<std::decay_t<F>>>(std::forward<F>(f))) {}  // NOLINT
  UniqueFunction(UniqueFunction&&) noexcept = default;
  UniqueFunction& operator=(UniqueFunction&&) noexcept = default;

  explicit operator bool() const { return callable_ != nullptr; }
  R operator()(Args... args) { return callable_->call(std::forward<Args>(args)...); }

 private:
  struct Concept {
    virtual ~Concept() = default;
    virtual R call(Args... args) = 0;
  };
  template <typename F>
  struct Model final : Concept {
    explicit Model(F f) : function(std::move(f)) {}
    R call(Args... args) override { return function(std::forward<Args>(args)...); }
    F function;
  };
  std::unique_ptr<Concept> callable_;
};

using Task = UniqueFunction<void()>;

}  // namespace zarnik
