// Producer<Update, Success>: a stream of updates followed by one completion. Subscribers get
// the updates on their executor; a subscriber that comes late first gets the buffered latest
// updates (up to the buffer size given at construction).
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "foundation/future.h"

namespace zarnik {

template <typename Update, typename Success>
class Producer {
 public:
  explicit Producer(size_t bufferSize = 1) : state_(std::make_shared<State>()) { state_->bufferSize = bufferSize; }

  void update(Update value) {
    std::vector<Subscriber> subscribers;
    {
      std::lock_guard lock(state_->mutex);
      if (state_->completed) return;
      state_->buffer.push_back(value);
      while (state_->buffer.size() > state_->bufferSize) state_->buffer.pop_front();
      subscribers = state_->subscribers;
    }
    for (auto& subscriber : subscribers) {
      subscriber.executor->execute([handler = subscriber.handler, value] { (*handler)(value); });
    }
  }
  void succeed(Success value) { finish(Result<Success>(std::move(value))); }
  void fail(Error error) { finish(Result<Success>(std::move(error))); }
  void cancel() { fail(Error::cancelled()); }

  // Buffered updates are delivered first, in order.
  void onUpdate(Executor& executor, std::function<void(const Update&)> handler) const {
    auto shared = std::make_shared<std::function<void(const Update&)>>(std::move(handler));
    std::deque<Update> buffered;
    {
      std::lock_guard lock(state_->mutex);
      state_->subscribers.push_back({&executor, shared});
      buffered = state_->buffer;
    }
    for (auto& value : buffered) executor.execute([shared, value] { (*shared)(value); });
  }
  [[nodiscard]] Future<Success> completion() const { return state_->promise.future(); }

 private:
  struct Subscriber {
    Executor* executor;
    std::shared_ptr<std::function<void(const Update&)>> handler;
  };
  struct State {
    std::mutex mutex;
    std::deque<Update> buffer;
    size_t bufferSize = 1;
    std::vector<Subscriber> subscribers;
    bool completed = false;
    Promise<Success> promise;
  };
  // GCC 12 warns of an uninitialised string when moving some results here; the result is whole.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
  void finish(Result<Success> result) {
    {
      std::lock_guard lock(state_->mutex);
      if (state_->completed) return;
      state_->completed = true;
    }
    state_->promise.complete(std::move(result));
  }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
  std::shared_ptr<State> state_;
};

}  // namespace zarnik
