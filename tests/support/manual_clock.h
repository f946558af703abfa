// ManualClock: a clock for tests whose time moves only when advance() is called; due work runs
// on its executor during advance().
#pragma once

#include "foundation/delayed_work_item.h"

#include <map>
#include <memory>
#include <mutex>

namespace zarnik::testing {

class ManualClock final : public Clock {
 public:
  [[nodiscard]] TimePoint now() const override {
    std::lock_guard lock(mutex_);
    return now_;
  }
  void schedule(TimePoint deadline, std::shared_ptr<Executor> executor, Task task) override {
    std::lock_guard lock(mutex_);
    timers_.emplace(deadline, std::make_pair(std::move(executor), std::move(task)));
  }
  void advance(double seconds) {
    TimePoint target;
    {
      std::lock_guard lock(mutex_);
      now_ +=
          std::chrono::duration_cast<TimePoint::duration>(std::chrono::duration<double>(seconds));
      target = now_;
    }
    for (;;) {
      std::pair<std::shared_ptr<Executor>, Task> due;
      {
        std::lock_guard lock(mutex_);
        auto first = timers_.begin();
        if (first == timers_.end() || first->first > target) return;
        due = std::move(first->second);
        timers_.erase(first);
      }
      due.first->execute(std::move(due.second));
    }
  }

 private:
  mutable std::mutex mutex_;
  TimePoint now_{};
  std::multimap<TimePoint, std::pair<std::shared_ptr<Executor>, Task>> timers_;
};

}  // namespace zarnik::testing
