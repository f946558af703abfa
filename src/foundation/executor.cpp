#include "foundation/executor.h"

#include <thread>

namespace zarnik {
namespace {

class ImmediateExecutor final : public Executor {
 public:
  void execute(Task task) override { task(); }
  [[nodiscard]] bool isCurrent() const override { return true; }
};

class PoolExecutor final : public Executor {
 public:
  void execute(Task task) override { ThreadPool::shared().submit(QualityOfService::utility, std::move(task)); }
};

thread_local bool runningMainLoop = false;

}  // namespace

Executor& Executor::immediate() {
  static ImmediateExecutor executor;
  return executor;
}

Executor& Executor::primary() {
  static PoolExecutor executor;
  return executor;
}

MainLoop& MainLoop::shared() {
  static MainLoop* loop = new MainLoop();
  return *loop;
}

void MainLoop::execute(Task task) {
  {
    std::lock_guard lock(mutex_);
    if (stopped_) return;
    tasks_.push_back(std::move(task));
  }
  posted_.notify_one();
}

bool MainLoop::isCurrent() const { return runningMainLoop; }

void MainLoop::run() {
  runningMainLoop = true;
  for (;;) {
    Task task;
    {
      std::unique_lock lock(mutex_);
      posted_.wait(lock, [this] { return stopped_ || !tasks_.empty(); });
      if (tasks_.empty()) break;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
  runningMainLoop = false;
}

void MainLoop::stop() {
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
  }
  posted_.notify_all();
}

void MainLoop::drain() {
  runningMainLoop = true;
  for (;;) {
    Task task;
    {
      std::lock_guard lock(mutex_);
      if (tasks_.empty()) break;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
  runningMainLoop = false;
}

}  // namespace zarnik
