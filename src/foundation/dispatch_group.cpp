#include "foundation/dispatch_group.h"

#include <cassert>

namespace zarnik {

void DispatchGroup::enter() {
  std::lock_guard lock(mutex_);
  ++count_;
}

void DispatchGroup::leave() {
  std::vector<std::pair<Executor*, Task>> ready;
  {
    std::lock_guard lock(mutex_);
    assert(count_ > 0 && "unbalanced DispatchGroup::leave");
    if (--count_ != 0) return;
    ready.swap(notifications_);
    // Under the lock: a waiter may destroy the group as soon as it sees the count at zero.
    empty_.notify_all();
  }
  for (auto& [executor, task] : ready) executor->execute(std::move(task));
}

void DispatchGroup::wait() {
  std::unique_lock lock(mutex_);
  empty_.wait(lock, [this] { return count_ == 0; });
}

bool DispatchGroup::waitFor(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return empty_.wait_for(lock, timeout, [this] { return count_ == 0; });
}

void DispatchGroup::notify(Executor& executor, Task task) {
  {
    std::lock_guard lock(mutex_);
    if (count_ != 0) {
      notifications_.emplace_back(&executor, std::move(task));
      return;
    }
  }
  executor.execute(std::move(task));
}

long DispatchGroup::count() const {
  std::lock_guard lock(mutex_);
  return count_;
}

}  // namespace zarnik
