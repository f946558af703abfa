#include "foundation/backlog.h"

#include <algorithm>
#include <cassert>

namespace zarnik {

void Backlog::add(size_t count) {
  std::lock_guard lock(mutex_);
  count_ += count;
  if (count_ > highMark_) isFull_ = true;
}

void Backlog::remove(size_t count) {
  std::vector<Task> released;
  {
    std::lock_guard lock(mutex_);
    assert(count <= count_);
    count_ -= std::min(count, count_);
    if (!isFull_ || count_ > lowMark_) return;
    isFull_ = false;
    released.swap(deferred_);
  }
  for (Task& step : released) step();
}

bool Backlog::deferIfFull(Task& step) {
  std::lock_guard lock(mutex_);
  if (!isFull_) return false;
  deferred_.push_back(std::move(step));
  return true;
}

size_t Backlog::size() const {
  std::lock_guard lock(mutex_);
  return count_;
}

size_t Backlog::deferredCount() const {
  std::lock_guard lock(mutex_);
  return deferred_.size();
}

}  // namespace zarnik
