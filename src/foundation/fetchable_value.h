// FetchableValue<Value>: the cache of a value obtained at most once, on first use. The four
// states tell apart a value not yet tried, one tried without success (never retried until
// reset()), one being fetched asynchronously, and a known value.
//
// A FetchableValue is not synchronised: its owner keeps it on one queue or inside an Atomic.
#pragma once

#include "base/json.h"
#include "foundation/future.h"

#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace zarnik {

template <typename Value>
class FetchableValue {
 public:
  struct NotFetched {};
  struct FetchFailed {};
  struct FetchInProgress {};
  enum class State { fetchSucceeded, notFetched, fetchFailed, fetchInProgress };

  FetchableValue() : state_(NotFetched{}) {}
  // A value gives fetchSucceeded, none gives fetchFailed.
  static FetchableValue fetched(std::optional<Value> value) {
    FetchableValue result;
    if (value) {
      result.state_ = std::move(*value);
    } else {
      result.state_ = FetchFailed{};
    }
    return result;
  }
  // The stored form: no object → notFetched, JSON null → fetchFailed, a value that `decode`
  // accepts → fetchSucceeded (one it rejects → notFetched, so it is fetched again).
  template <typename Decode>
  static FetchableValue fromObject(const Json* object, Decode&& decode) {
    if (object == nullptr) return FetchableValue();
    if (object->is_null()) return fetched(std::nullopt);
    std::optional<Value> value = decode(*object);
    return value ? fetched(std::move(value)) : FetchableValue();
  }
  // The inverse of fromObject: nothing for notFetched and fetchInProgress.
  template <typename Encode>
  [[nodiscard]] std::optional<Json> anyObject(Encode&& encode) const {
    switch (state()) {
      case State::fetchSucceeded:
        return encode(std::get<Value>(state_));
      case State::fetchFailed:
        return Json(nullptr);
      default:
        return std::nullopt;
    }
  }

  [[nodiscard]] State state() const { return static_cast<State>(state_.index()); }
  [[nodiscard]] bool shouldFetch() const { return state() == State::notFetched; }
  [[nodiscard]] const Value* valuePointer() const { return std::get_if<Value>(&state_); }
  [[nodiscard]] std::optional<Value> value() const {
    if (const Value* v = valuePointer()) return *v;
    return std::nullopt;
  }
  template <typename F>
  [[nodiscard]] auto flatMap(F&& transform) const
      -> decltype(transform(std::declval<const Value&>())) {
    if (const Value* v = valuePointer()) return transform(*v);
    return {};
  }

  void reset() { state_ = NotFetched{}; }

  // Synchronous fetch: a known value or a failure is returned without calling `fetch`;
  // otherwise `fetch` (returning std::optional<Value>) decides. An exception thrown by `fetch`
  // passes through and leaves the state as it was.
  template <typename Fetch>
  std::optional<Value> fetchIfNeeded(Fetch&& fetch) {
    switch (state()) {
      case State::fetchSucceeded:
        return std::get<Value>(state_);
      case State::fetchFailed:
        return std::nullopt;
      default:
        break;
    }
    std::optional<Value> value = fetch();
    finishFetchUnconditionally(value);
    return value;
  }

  // Asynchronous fetch: when a fetch is needed, marks it started and calls `makeFuture`; when
  // the future completes, on `context` and only while `owner` is alive (the owner keeps this
  // value), the value is finished with the future's value (a failure counts as none) and
  // `handler` is called with the resulting value.
  template <typename MakeFuture, typename Handler>
  void fetchAsyncIfNeeded(Executor& context, std::weak_ptr<void> owner, MakeFuture&& makeFuture,
                          Handler&& handler) {
    if (!beginAsyncFetch()) return;
    auto future = makeFuture();
    future.onComplete(
        context, [this, owner = std::move(owner),
                  handler = std::forward<Handler>(handler)](const Result<Value>& result) mutable {
          if (owner.expired()) return;
          finishFetch(result.hasValue() ? std::optional<Value>(result.value()) : std::nullopt);
          handler(value());
        });
  }

  // Marks an asynchronous fetch as started; false when one is not needed.
  bool beginAsyncFetch() {
    if (!shouldFetch()) return false;
    state_ = FetchInProgress{};
    return true;
  }
  // Completes a fetch; dropped when a value or a failure is already known.
  void finishFetch(std::optional<Value> value) {
    if (state() == State::fetchSucceeded || state() == State::fetchFailed) return;
    finishFetchUnconditionally(std::move(value));
  }

 private:
  void finishFetchUnconditionally(std::optional<Value> value) {
    if (value) {
      state_ = std::move(*value);
    } else {
      state_ = FetchFailed{};
    }
  }
  std::variant<Value, NotFetched, FetchFailed, FetchInProgress> state_;
};

}  // namespace zarnik
