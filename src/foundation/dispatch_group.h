// DispatchGroup: counts pending work. enter() before work starts, leave() when it ends;
// wait() blocks until the count is zero; notify() runs a task once it is.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "foundation/executor.h"

namespace zarnik {

class DispatchGroup {
 public:
  void enter();
  void leave();
  void wait();
  // False when the timeout passed first.
  bool waitFor(std::chrono::milliseconds timeout);
  // Runs `task` on `executor` when the count is (or next becomes) zero.
  void notify(Executor& executor, Task task);
  [[nodiscard]] long count() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable empty_;
  // Entered and left for every node of a scan from several threads: the count is atomic and
  // the lock is taken only when it reaches zero or someone waits.
  std::atomic<long> count_{0};
  std::vector<std::pair<Executor*, Task>> notifications_;
};

}  // namespace zarnik
