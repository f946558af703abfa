#include "foundation/thread_pool.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

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
thread_local ThreadPool* currentPool = nullptr;

// As many tasks at once as there are processors; ZARNIK_POOL_WIDTH sets another number (the
// tests run with 1, where any wait that held its worker would hang).
size_t sharedPoolWidth() {
  if (const char* width = std::getenv("ZARNIK_POOL_WIDTH")) return std::max(1, std::atoi(width));
  return std::max(1U, std::thread::hardware_concurrency());
}

}  // namespace

ThreadPool& ThreadPool::shared() {
  // Never destroyed: work may still be queued while static objects go away at exit.
  static ThreadPool* pool = new ThreadPool(sharedPoolWidth());
  return *pool;
}

ThreadPool::ThreadPool(size_t width) : width_(std::max<size_t>(1, width)) {
  std::lock_guard lock(mutex_);
  for (size_t i = 0; i < width_; ++i) startWorker();
}

void ThreadPool::startWorker() {
  threads_.emplace_back([this] { workerLoop(); });
}

bool ThreadPool::mayRunMore() const {
  return pending_.load(std::memory_order_relaxed) > 0 &&
         running_.load(std::memory_order_acquire) < width_;
}

ThreadPool::BlockingWait::BlockingWait() : pool_(currentPool) {
  if (pool_ == nullptr) return;
  bool wake = false;
  {
    std::lock_guard lock(pool_->mutex_);
    --pool_->running_;
    if (pool_->mayRunMore()) {
      // Whoever sleeps takes the place; with none asleep, one more worker does.
      wake = pool_->sleeping_ > 0;
      if (!wake) pool_->startWorker();
    }
  }
  if (wake) pool_->wakeUp_.notify_one();
}

ThreadPool::BlockingWait::~BlockingWait() {
  if (pool_ == nullptr) return;
  // Back at work, past the width for a moment: the workers that finish a task next take no
  // other until the running ones are within it again. Raising the count needs no lock: no
  // sleeper waits for it to rise.
  pool_->running_.fetch_add(1, std::memory_order_acq_rel);
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
    wake = sleeping_ > 0 &&
           pending_.load(std::memory_order_relaxed) > spinning_.load(std::memory_order_acquire);
  }
  if (wake) wakeUp_.notify_one();
}

bool ThreadPool::takeTask(Task& task) {
  auto queue =
      std::find_if(queues_.begin(), queues_.end(), [](const auto& q) { return !q.empty(); });
  if (queue == queues_.end()) return false;
  task = std::move(queue->front());
  queue->pop_front();
  pending_.fetch_sub(1, std::memory_order_relaxed);
  return true;
}

void ThreadPool::workerLoop() {
  currentPool = this;
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
      wakeUp_.wait(lock, [this] { return stopping_ || mayRunMore(); });
      --sleeping_;
      if (!takeTask(task)) return;  // stopping with nothing left
      ++running_;
    }
    task();
    task = Task();  // what it held goes while it still counts as running
    running_.fetch_sub(1, std::memory_order_release);
  }
}

}  // namespace zarnik
