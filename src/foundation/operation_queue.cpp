#include "foundation/operation_queue.h"

namespace zarnik {
namespace {
thread_local const OperationQueue* currentOperationQueue = nullptr;
}  // namespace

std::shared_ptr<OperationQueue> OperationQueue::make(std::string name, size_t max,
                                                     QualityOfService qos) {
  return std::shared_ptr<OperationQueue>(new OperationQueue(std::move(name), max, qos));
}

void OperationQueue::addOperation(Task task) {
  std::unique_lock lock(mutex_);
  pending_.push_back(std::move(task));
  startRunnersIfPossible(lock);
}

void OperationQueue::startRunnersIfPossible(std::unique_lock<std::mutex>& /*lock*/) {
  // Each runner takes operations until none is left, so the pool sees one task per runner, not
  // one per operation. Runners still on their way to the queue cover that many pending
  // operations; busy runners cover none.
  while (running_ < max_ && waitingRunners_ < pending_.size()) {
    ++running_;
    ++waitingRunners_;
    ThreadPool::shared().submit(qos_, [self = shared_from_this()] { self->runner(); });
  }
}

void OperationQueue::runner() {
  const OperationQueue* previous = currentOperationQueue;
  currentOperationQueue = this;
  for (bool arriving = true;; arriving = false) {
    Task task;
    {
      std::unique_lock lock(mutex_);
      if (arriving) --waitingRunners_;
      if (pending_.empty() || running_ > max_) {
        --running_;
        if (running_ == 0 && pending_.empty()) idle_.notify_all();
        if (!pending_.empty()) startRunnersIfPossible(lock);
        break;
      }
      task = std::move(pending_.front());
      pending_.pop_front();
    }
    task();
  }
  currentOperationQueue = previous;
}

bool OperationQueue::isCurrent() const { return currentOperationQueue == this; }

void OperationQueue::waitUntilAllOperationsAreFinished() {
  const ThreadPool::BlockingWait waiting;
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return running_ == 0 && pending_.empty(); });
}

void OperationQueue::setMaxConcurrentOperationCount(size_t count) {
  std::unique_lock lock(mutex_);
  max_ = count == 0 ? 1 : count;
  startRunnersIfPossible(lock);
}

size_t OperationQueue::operationCount() const {
  std::lock_guard lock(mutex_);
  return pending_.size() + running_;
}

}  // namespace zarnik
