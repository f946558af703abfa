#include "foundation/thread_pool.h"

#include <algorithm>
#include <chrono>

namespace zarnik {
namespace {
// A worker that runs out of work looks for more for this long before it sleeps. A scan hands
// work between queues many thousand times a second; sleeping and waking a thread for each
// hand-over made 250,000 context switches for 200,000 files and cost more CPU than hashing.
constexpr auto kSpinBeforeSleeping = std::chrono::microseconds(50);

void pauseProcessor() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#endif
}
}  // namespace

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
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    queues_[static_cast<size_t>(qos)].push_back(std::move(task));
    pending_.fetch_add(1, std::memory_order_release);
    // A spinning worker takes one task; more tasks than spinners need a sleeper woken.
    wake = sleeping_ > 0 && pending_.load(std::memory_order_relaxed) > spinning_.load(std::memory_order_acquire);
  }
  if (wake) wakeUp_.notify_one();
}

bool ThreadPool::takeTask(Task& task) {
  auto queue = std::find_if(queues_.begin(), queues_.end(), [](const auto& q) { return !q.empty(); });
  if (queue == queues_.end()) return false;
  task = std::move(queue->front());
  queue->pop_front();
  pending_.fetch_sub(1, std::memory_order_relaxed);
  return true;
}

void ThreadPool::workerLoop() {
  for (;;) {
    Task task;
    // Look for work without sleeping for a moment first; one spinner is enough to catch the
    // next hand-over, more would only burn the processors the others need.
    if (spinning_.fetch_add(1, std::memory_order_acq_rel) == 0) {
      const auto deadline = std::chrono::steady_clock::now() + kSpinBeforeSleeping;
      // Mostly a processor pause: a yield is a system call, and one per turn of this loop made
      // a hundred thousand of them a scan. Every few turns it yields so that a worker with
      // real work on this processor is not kept waiting.
      for (unsigned turn = 1; pending_.load(std::memory_order_acquire) == 0; ++turn) {
        if (turn % 64 == 0) {
          if (std::chrono::steady_clock::now() >= deadline) break;
          std::this_thread::yield();
        } else {
          pauseProcessor();
        }
      }
    }
    spinning_.fetch_sub(1, std::memory_order_acq_rel);
    {
      std::unique_lock lock(mutex_);
      ++sleeping_;
      wakeUp_.wait(lock, [this] { return stopping_ || pending_.load(std::memory_order_relaxed) > 0; });
      --sleeping_;
      if (!takeTask(task)) return;  // stopping with nothing left
    }
    task();
  }
}

}  // namespace zarnik
