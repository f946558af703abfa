#include "foundation/thread_pool.h"

#include <algorithm>

namespace zarnik {

ThreadPool& ThreadPool::shared() {
  // Twice the processors plus four: stages and finishing steps block a worker each while they
  // wait for queues to drain, and the queues' own widths keep the processors from being
  // oversubscribed. With as many workers as processors a scan hashed on one thread only.
  // Never destroyed: work may still be queued while static objects go away at exit.
  static ThreadPool* pool = new ThreadPool(2 * std::max(1U, std::thread::hardware_concurrency()) + 4);
  return *pool;
}

ThreadPool::ThreadPool(size_t threadCount) {
  threads_.reserve(threadCount);
  for (size_t i = 0; i < threadCount; ++i) threads_.emplace_back([this] { workerLoop(); });
}

ThreadPool::~ThreadPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wakeUp_.notify_all();
  for (auto& thread : threads_) thread.join();
}

void ThreadPool::submit(QualityOfService qos, Task task) {
  {
    std::lock_guard lock(mutex_);
    queues_[static_cast<size_t>(qos)].push_back(std::move(task));
  }
  wakeUp_.notify_one();
}

void ThreadPool::workerLoop() {
  for (;;) {
    Task task;
    {
      std::unique_lock lock(mutex_);
      wakeUp_.wait(lock, [this] {
        return stopping_ || std::any_of(queues_.begin(), queues_.end(), [](const auto& q) { return !q.empty(); });
      });
      auto queue = std::find_if(queues_.begin(), queues_.end(), [](const auto& q) { return !q.empty(); });
      if (queue == queues_.end()) return;  // stopping with nothing left
      task = std::move(queue->front());
      queue->pop_front();
    }
    task();
  }
}

}  // namespace zarnik
