// ThreadPool: the one pool of worker threads every queue of the process runs on. Work is taken
// by priority class, highest first, first come first served within a class.
//
// Serial queues, operation queues and executors submit to it; nothing else starts threads.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "foundation/unique_function.h"

namespace zarnik {

// Priority classes, highest first.
enum class QualityOfService { userInteractive = 0, userInitiated = 1, utility = 2, background = 3 };

class ThreadPool {
 public:
  // The shared pool, wide enough that a few blocking waits (disk access, group waits of a
  // finishing stage) cannot starve the queues.
  static ThreadPool& shared();

  explicit ThreadPool(size_t threadCount);
  ~ThreadPool();
  ThreadPool(const ThreadPool&) = delete;
  ThreadPool& operator=(const ThreadPool&) = delete;

  void submit(QualityOfService qos, Task task);
  [[nodiscard]] size_t threadCount() const { return threads_.size(); }

 private:
  void workerLoop();
  bool takeTask(Task& task);  // under mutex_

  std::mutex mutex_;
  std::condition_variable wakeUp_;
  std::array<std::deque<Task>, 4> queues_;
  std::atomic<long> pending_{0};
  std::atomic<int> spinning_{0};
  int sleeping_ = 0;  // under mutex_
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace zarnik
