#include "foundation/parallel_loop.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace zarnik {

struct ParallelLoop::State {
  explicit State(size_t count, const std::function<void(Items&)>& worker)
      : count(count), worker(&worker) {}

  // Whether a worker starting now has an item to take; it is then counted until it is done.
  bool join() {
    std::lock_guard lock(mutex);
    if (next.load(std::memory_order_relaxed) >= count) return false;
    ++active;
    return true;
  }
  void leave() {
    std::lock_guard lock(mutex);
    if (--active == 0) idle.notify_all();
  }

  const size_t count;
  // Valid while the call runs; read only by workers that joined before every item was taken.
  const std::function<void(Items&)>* const worker;
  std::atomic<size_t> next{0};
  std::mutex mutex;
  std::condition_variable idle;
  size_t active = 0;  // under mutex: workers other than the caller between join and leave
};

std::optional<size_t> ParallelLoop::Items::next() {
  const size_t item = state_.next.fetch_add(1, std::memory_order_relaxed);
  if (item >= state_.count) return std::nullopt;
  return item;
}

void ParallelLoop::run(Executor& executor, size_t width, size_t count,
                       const std::function<void(Items&)>& worker) {
  if (count == 0) return;
  auto state = std::make_shared<State>(count, worker);
  const size_t helpers = std::min(width, count) - (width > 0 ? 1 : 0);
  for (size_t i = 0; i < helpers; ++i) {
    executor.execute([state] {
      if (!state->join()) return;
      Items items(*state);
      (*state->worker)(items);
      state->leave();
    });
  }
  Items items(*state);
  worker(items);
  // Every item is taken now, so no worker joins any more: wait for those that did.
  std::unique_lock lock(state->mutex);
  state->idle.wait(lock, [&] { return state->active == 0; });
}

}  // namespace zarnik
