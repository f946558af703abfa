#include "foundation/dispatch_group.h"

#include <cassert>

namespace zarnik {

void DispatchGroup::enter() { count_.fetch_add(1, std::memory_order_acq_rel); }

void DispatchGroup::leave() {
  std::vector<std::pair<Executor*, Task>> ready;
  {
    const long before = count_.fetch_sub(1, std::memory_order_acq_rel);
    assert(before > 0 && "unbalanced DispatchGroup::leave");
    if (before != 1) return;
    std::lock_guard lock(mutex_);
    // An enter() may have come in between; then this is not the moment the group emptied.
    if (count_.load(std::memory_order_acquire) != 0) return;
    ready.swap(notifications_);
    // Under the lock: a waiter may destroy the group as soon as it sees the count at zero.
    empty_.notify_all();
  }
  for (auto& [executor, task] : ready) executor->execute(std::move(task));
}

void DispatchGroup::wait() {
  if (count_.load(std::memory_order_acquire) == 0) return;
  const ThreadPool::BlockingWait waiting;
  std::unique_lock lock(mutex_);
  empty_.wait(lock, [this] { return count_.load(std::memory_order_acquire) == 0; });
}

bool DispatchGroup::waitFor(std::chrono::milliseconds timeout) {
  if (count_.load(std::memory_order_acquire) == 0) return true;
  const ThreadPool::BlockingWait waiting;
  std::unique_lock lock(mutex_);
  return empty_.wait_for(lock, timeout,
                         [this] { return count_.load(std::memory_order_acquire) == 0; });
}

void DispatchGroup::notify(Executor& executor, Task task) {
  {
    std::lock_guard lock(mutex_);
    if (count_.load(std::memory_order_acquire) != 0) {
      notifications_.emplace_back(&executor, std::move(task));
      return;
    }
  }
  executor.execute(std::move(task));
}

long DispatchGroup::count() const { return count_.load(std::memory_order_acquire); }

}  // namespace zarnik
