// OperationQueue: runs operations on the shared pool with at most a settable number at once,
// at one priority class. waitUntilAllOperationsAreFinished() also waits for operations that
// running operations add, which is how a parallel walk knows it is done.
#pragma once

#include "foundation/executor.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

namespace zarnik {

class OperationQueue final : public Executor, public std::enable_shared_from_this<OperationQueue> {
 public:
  static std::shared_ptr<OperationQueue> make(std::string name, size_t maxConcurrentOperationCount,
                                              QualityOfService qos);

  void addOperation(Task task);
  void execute(Task task) override { addOperation(std::move(task)); }
  [[nodiscard]] bool isCurrent() const override;
  void waitUntilAllOperationsAreFinished();
  void setMaxConcurrentOperationCount(size_t count);
  [[nodiscard]] size_t operationCount() const;

 private:
  OperationQueue(std::string name, size_t max, QualityOfService qos)
      : name_(std::move(name)), max_(max == 0 ? 1 : max), qos_(qos) {}
  void startRunnersIfPossible(std::unique_lock<std::mutex>& lock);
  void runner();

  const std::string name_;
  mutable std::mutex mutex_;
  std::condition_variable idle_;
  std::deque<Task> pending_;
  size_t running_ = 0;
  size_t waitingRunners_ = 0;  // started on the pool, not yet at the queue
  size_t max_;
  const QualityOfService qos_;
};

}  // namespace zarnik
