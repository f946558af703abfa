// ThreadPool: the one pool of worker threads every queue of the process runs on. Work is taken
// by priority class, highest first, first come first served within a class.
//
// At most `width` tasks run at once: as many as there are processors for the shared pool. A
// worker that waits inside a task for work of the pool (a future, a group, another queue: see
// `BlockingWait`) gives its place up while it waits, and a sleeping worker takes it, or a new
// one when none sleeps; so such a wait never stalls the pool, however many workers wait.
//
// Serial queues, operation queues and executors submit to it; nothing else starts threads.
#pragma once

#include "foundation/unique_function.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace zarnik {

// Priority classes, highest first.
enum class QualityOfService { userInteractive = 0, userInitiated = 1, utility = 2, background = 3 };

class ThreadPool {
 public:
  // The shared pool, as wide as the processors.
  static ThreadPool& shared();

  explicit ThreadPool(size_t width);
  ~ThreadPool();
  ThreadPool(const ThreadPool&) = delete;
  ThreadPool& operator=(const ThreadPool&) = delete;

  void submit(QualityOfService qos, Task task);
  // The tasks that may run at once.
  [[nodiscard]] size_t width() const { return width_; }

  // Marks the calling thread's wait for other work of the pool, for as long as it lives: on a
  // worker of a pool, that worker's place goes to another. Anywhere else it does nothing. Not
  // for waits on anything but the pool's work (a disk's turn, a lock), which more workers
  // would only crowd.
  class BlockingWait {
   public:
    BlockingWait();
    ~BlockingWait();
    BlockingWait(const BlockingWait&) = delete;
    BlockingWait& operator=(const BlockingWait&) = delete;

   private:
    ThreadPool* pool_;
  };

 private:
  void startWorker();  // under mutex_
  void workerLoop();
  bool takeTask(Task& task);              // under mutex_
  [[nodiscard]] bool mayRunMore() const;  // under mutex_

  std::mutex mutex_;
  std::condition_variable wakeUp_;
  std::array<std::deque<Task>, 4> queues_;
  std::atomic<long> pending_{0};
  std::atomic<int> spinning_{0};
  const size_t width_;
  // Workers in a task and not in a BlockingWait. Raised under mutex_ when a worker takes a task,
  // and without it when a worker comes back from a BlockingWait (no sleeper waits for it to
  // rise); lowered without it, since the worker that lowers it looks for the next task itself.
  std::atomic<size_t> running_{0};
  int sleeping_ = 0;  // under mutex_
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace zarnik
