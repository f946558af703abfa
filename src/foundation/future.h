// Futures and promises: a value that completes exactly once with a success value or an Error.
// Callbacks run on the executor they were registered with, also when added after completion.
// Promises guard their state with a lock; completion may happen on any thread.
#pragma once

#include "base/result.h"
#include "foundation/executor.h"
#include "foundation/unique_function.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

namespace zarnik {

struct Void {
  friend bool operator==(Void, Void) { return true; }
};

template <typename T>
class Future;

namespace internal {

template <typename T>
struct FutureState {
  std::mutex mutex;
  // Waiting is rare (front ends and tests) and a condition variable would add 48 bytes to each
  // of the many futures of a scan; an atomic flag waits as well.
  std::atomic<bool> completed{false};
  std::optional<Result<T>> result;
  std::vector<std::pair<Executor*, UniqueFunction<void(const Result<T>&)>>> callbacks;

  bool complete(Result<T> value) {
    std::vector<std::pair<Executor*, UniqueFunction<void(const Result<T>&)>>> ready;
    {
      std::lock_guard lock(mutex);
      if (result) return false;
      result.emplace(std::move(value));
      ready.swap(callbacks);
    }
    completed.store(true, std::memory_order_release);
    completed.notify_all();
    for (auto& [executor, callback] : ready) dispatch(*executor, std::move(callback));
    return true;
  }

  void dispatch(Executor& executor, UniqueFunction<void(const Result<T>&)> callback) {
    // The state stays alive until every callback has run: the task holds it.
    auto self = selfReference.lock();
    executor.execute([self, callback = std::move(callback)]() mutable { callback(*self->result); });
  }

  std::weak_ptr<FutureState> selfReference;
};

template <typename T>
struct IsFuture : std::false_type {};
template <typename T>
struct IsFuture<Future<T>> : std::true_type {
  using ValueType = T;
};

}  // namespace internal

template <typename T>
class Future {
 public:
  using ValueType = T;

  // Runs `callback` with the result on `executor`.
  void onComplete(Executor& executor, UniqueFunction<void(const Result<T>&)> callback) const {
    {
      std::lock_guard lock(state_->mutex);
      if (!state_->result) {
        state_->callbacks.emplace_back(&executor, std::move(callback));
        return;
      }
    }
    state_->dispatch(executor, std::move(callback));
  }
  void onSuccess(Executor& executor, UniqueFunction<void(const T&)> callback) const {
    onComplete(executor, [callback = std::move(callback)](const Result<T>& r) mutable {
      if (r.hasValue()) callback(r.value());
    });
  }

  // A future of f(value); a failure passes through. f may return U or Result<U>.
  template <typename F>
  auto map(Executor& executor, F&& f) const;
  // A future of the future f(value) returns.
  template <typename F>
  auto flatMap(Executor& executor, F&& f) const;

  [[nodiscard]] bool isCompleted() const {
    std::lock_guard lock(state_->mutex);
    return state_->result.has_value();
  }
  // Blocks the calling thread until completion. For front ends and tests; on the pool, the
  // waiting worker's place goes to another meanwhile. Never on a queue whose work the future
  // waits for.
  Result<T> wait() const {
    if (!state_->completed.load(std::memory_order_acquire)) {
      const ThreadPool::BlockingWait waiting;
      state_->completed.wait(false, std::memory_order_acquire);
    }
    std::lock_guard lock(state_->mutex);
    return *state_->result;
  }

 private:
  template <typename>
  friend class Promise;
  explicit Future(std::shared_ptr<internal::FutureState<T>> state) : state_(std::move(state)) {}
  std::shared_ptr<internal::FutureState<T>> state_;
};

template <typename T>
class Promise {
 public:
  Promise() : state_(std::make_shared<internal::FutureState<T>>()) {
    state_->selfReference = state_;
  }

  [[nodiscard]] Future<T> future() const { return Future<T>(state_); }
  bool succeed(T value) { return state_->complete(Result<T>(std::move(value))); }
  bool fail(Error error) { return state_->complete(Result<T>(std::move(error))); }
  bool complete(Result<T> result) { return state_->complete(std::move(result)); }
  bool cancel() { return fail(Error::cancelled()); }
  // Completes the same way as `other`.
  void completeWith(const Future<T>& other) {
    other.onComplete(Executor::immediate(),
                     [state = state_](const Result<T>& r) { state->complete(r); });
  }

 private:
  std::shared_ptr<internal::FutureState<T>> state_;
};

template <typename T>
Future<T> makeSucceededFuture(T value) {
  Promise<T> promise;
  promise.succeed(std::move(value));
  return promise.future();
}

template <typename T>
Future<T> makeFailedFuture(Error error) {
  Promise<T> promise;
  promise.fail(std::move(error));
  return promise.future();
}

template <typename T>
Future<T> cancelledFuture() {
  return makeFailedFuture<T>(Error::cancelled());
}

namespace internal {
template <typename R>
struct ResultValue {
  using Type = R;
};
template <typename R>
struct ResultValue<Result<R>> {
  using Type = R;
};
template <typename U, typename V>
Result<U> asResult(V&& value) {
  return Result<U>(std::forward<V>(value));
}
}  // namespace internal

// Runs `block` on `executor` and completes with what it returns (a value or a Result).
template <typename F>
auto makeFuture(Executor& executor, F&& block) {
  using Returned = std::invoke_result_t<F>;
  using U = typename internal::ResultValue<Returned>::Type;
  Promise<U> promise;
  auto future = promise.future();
  executor.execute([promise, block = std::forward<F>(block)]() mutable {
    promise.complete(internal::asResult<U>(block()));
  });
  return future;
}

template <typename T>
template <typename F>
auto Future<T>::map(Executor& executor, F&& f) const {
  using Returned = std::invoke_result_t<F, const T&>;
  using U = typename internal::ResultValue<Returned>::Type;
  Promise<U> promise;
  auto future = promise.future();
  onComplete(executor, [promise, f = std::forward<F>(f)](const Result<T>& r) mutable {
    if (r.hasError()) {
      promise.fail(r.error());
    } else {
      promise.complete(internal::asResult<U>(f(r.value())));
    }
  });
  return future;
}

template <typename T>
template <typename F>
auto Future<T>::flatMap(Executor& executor, F&& f) const {
  using Returned = std::invoke_result_t<F, const T&>;
  static_assert(internal::IsFuture<Returned>::value, "flatMap needs a block returning a Future");
  using U = typename internal::IsFuture<Returned>::ValueType;
  Promise<U> promise;
  auto future = promise.future();
  onComplete(executor, [promise, f = std::forward<F>(f)](const Result<T>& r) mutable {
    if (r.hasError()) {
      promise.fail(r.error());
    } else {
      promise.completeWith(f(r.value()));
    }
  });
  return future;
}

// Both values, or the first failure.
template <typename A, typename B>
Future<std::pair<A, B>> zip(const Future<A>& a, const Future<B>& b) {
  return a.flatMap(Executor::immediate(), [b](const A& first) {
    return b.map(Executor::immediate(),
                 [first](const B& second) { return std::make_pair(first, second); });
  });
}

}  // namespace zarnik
