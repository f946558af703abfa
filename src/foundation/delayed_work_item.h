// DelayedWorkItem: work that runs on an executor after a delay unless it is cancelled first;
// debounced jobs cancel the pending item and schedule a new one on every request.
//
// Delays are measured by a Clock so that tests run them without waiting: ManualClock (in
// tests/support) advances time by hand; SystemClock has one timer thread, the process's only
// thread outside the pool, which sleeps until the earliest deadline.
#pragma once

#include "foundation/executor.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace zarnik {

class Clock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  virtual ~Clock() = default;
  [[nodiscard]] virtual TimePoint now() const = 0;
  // Runs `task` on `executor` at `deadline` (at once when it has passed). The clock holds the
  // executor until the task is handed to it: a queue let go by its owner meanwhile stays alive.
  virtual void schedule(TimePoint deadline, std::shared_ptr<Executor> executor, Task task) = 0;

  static Clock& system();
};

class DelayedWorkItem {
 public:
  // Schedules `task` on `executor` after `delay` seconds of `clock`; the executor is kept alive
  // until the task has been handed to it.
  static std::shared_ptr<DelayedWorkItem> schedule(Clock& clock, double delay,
                                                   std::shared_ptr<Executor> executor, Task task);
  // The same for an executor that outlives every delayed work (the pool, the main queue).
  static std::shared_ptr<DelayedWorkItem> schedule(Clock& clock, double delay, Executor& executor,
                                                   Task task);
  // The task will not run unless it already started.
  void cancel() { cancelled_.store(true, std::memory_order_release); }
  [[nodiscard]] bool isCancelled() const { return cancelled_.load(std::memory_order_acquire); }

 private:
  std::atomic<bool> cancelled_{false};
};

}  // namespace zarnik
