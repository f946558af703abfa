#include "foundation/delayed_work_item.h"

namespace zarnik {
namespace {

class SystemClock final : public Clock {
 public:
  SystemClock() : thread_([this] { run(); }) {}
  ~SystemClock() override {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  [[nodiscard]] TimePoint now() const override { return std::chrono::steady_clock::now(); }

  void schedule(TimePoint deadline, std::shared_ptr<Executor> executor, Task task) override {
    {
      std::lock_guard lock(mutex_);
      timers_.emplace(deadline, std::make_pair(std::move(executor), std::move(task)));
    }
    changed_.notify_all();
  }

 private:
  void run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
      if (timers_.empty()) {
        changed_.wait(lock);
        continue;
      }
      auto first = timers_.begin();
      if (first->first > std::chrono::steady_clock::now()) {
        changed_.wait_until(lock, first->first);
        continue;
      }
      auto [executor, task] = std::move(first->second);
      timers_.erase(first);
      lock.unlock();
      executor->execute(std::move(task));
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::multimap<TimePoint, std::pair<std::shared_ptr<Executor>, Task>> timers_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace

Clock& Clock::system() {
  static SystemClock* clock = new SystemClock();  // never destroyed: timers may be pending at exit
  return *clock;
}

std::shared_ptr<DelayedWorkItem> DelayedWorkItem::schedule(Clock& clock, double delay,
                                                           std::shared_ptr<Executor> executor,
                                                           Task task) {
  auto item = std::make_shared<DelayedWorkItem>();
  const auto deadline = clock.now() + std::chrono::duration_cast<Clock::TimePoint::duration>(
                                          std::chrono::duration<double>(delay));
  clock.schedule(deadline, std::move(executor), [item, task = std::move(task)]() mutable {
    if (!item->isCancelled()) task();
  });
  return item;
}

std::shared_ptr<DelayedWorkItem> DelayedWorkItem::schedule(Clock& clock, double delay,
                                                           Executor& executor, Task task) {
  // Held without owning it: it outlives the work.
  return schedule(clock, delay, std::shared_ptr<Executor>(std::shared_ptr<Executor>(), &executor),
                  std::move(task));
}

}  // namespace zarnik
