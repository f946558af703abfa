// SerialQueue: runs its tasks one at a time, in order, on the shared pool. A service keeps its
// mutable state on one such queue and touches it only there (assertOnQueue checks in debug
// builds). Labels are "com.orvane.<name>".
//
// `sync` never needs a free pool thread: when no thread is running the queue's tasks, the
// caller runs them itself, up to and including its own; otherwise it waits for the thread that
// is. So a pool as wide as the processors cannot stall with every worker waiting in `sync` for
// a drain still queued behind them.
#pragma once

#include "foundation/executor.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

namespace zarnik {

class SerialQueue final : public Executor, public std::enable_shared_from_this<SerialQueue> {
 public:
  static std::shared_ptr<SerialQueue> make(const std::string& name,
                                           QualityOfService qos = QualityOfService::utility);

  [[nodiscard]] const std::string& label() const { return label_; }
  [[nodiscard]] QualityOfService qualityOfService() const { return qos_; }

  void async(Task task);
  void execute(Task task) override { async(std::move(task)); }
  // Runs `task` on the queue, after the tasks queued before it, and waits for it; runs it at
  // once when already on this queue.
  void sync(Task task);
  [[nodiscard]] bool isCurrent() const override;
  void assertOnQueue() const;

 private:
  SerialQueue(std::string label, QualityOfService qos) : label_(std::move(label)), qos_(qos) {}
  void drain();
  // Runs tasks from the front, as the queue's one runner, until `isDone` holds.
  template <typename Predicate>
  void runTasks(std::unique_lock<std::mutex>& lock, Predicate isDone);
  // Gives up running the queue: a drain is scheduled for what is left, and waiting callers of
  // `sync` may take over.
  void release(std::unique_lock<std::mutex>& lock);

  const std::string label_;
  const QualityOfService qos_;
  std::mutex mutex_;
  std::condition_variable released_;
  std::deque<Task> tasks_;
  bool scheduled_ = false;  // a drain waits in the pool
  bool running_ = false;    // a thread runs the queue's tasks
};

}  // namespace zarnik
