#include "foundation/serial_queue.h"

#include <cassert>

namespace zarnik {
namespace {
thread_local const SerialQueue* currentQueue = nullptr;
// Tasks run per turn on the pool before the queue yields its worker to other queues.
constexpr int kTasksPerTurn = 64;
}  // namespace

std::shared_ptr<SerialQueue> SerialQueue::make(const std::string& name, QualityOfService qos) {
  return std::shared_ptr<SerialQueue>(new SerialQueue("com.orvane." + name, qos));
}

void SerialQueue::async(Task task) {
  bool startDrain = false;
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    startDrain = !running_ && !scheduled_;
    scheduled_ = scheduled_ || startDrain;
  }
  if (startDrain) {
    // The drain keeps the queue alive until its tasks have run.
    ThreadPool::shared().submit(qos_, [self = shared_from_this()] { self->drain(); });
  }
}

template <typename Predicate>
void SerialQueue::runTasks(std::unique_lock<std::mutex>& lock, Predicate isDone) {
  const SerialQueue* previous = currentQueue;
  currentQueue = this;
  while (!isDone()) {
    Task task = std::move(tasks_.front());
    tasks_.pop_front();
    lock.unlock();
    task();
    task = Task();  // what it held goes before the lock is taken again
    lock.lock();
  }
  currentQueue = previous;
}

void SerialQueue::release(std::unique_lock<std::mutex>& lock) {
  running_ = false;
  const bool startDrain = !tasks_.empty() && !scheduled_;
  scheduled_ = scheduled_ || startDrain;
  lock.unlock();
  released_.notify_all();
  if (startDrain) {
    ThreadPool::shared().submit(qos_, [self = shared_from_this()] { self->drain(); });
  }
}

void SerialQueue::drain() {
  std::unique_lock lock(mutex_);
  scheduled_ = false;
  if (running_) return;  // a caller of sync runs the tasks; it schedules a drain for the rest
  running_ = true;
  int ran = 0;
  runTasks(lock, [&] { return tasks_.empty() || ran++ == kTasksPerTurn; });
  release(lock);
}

void SerialQueue::sync(Task task) {
  if (isCurrent()) {
    task();
    return;
  }
  bool finished = false;
  std::unique_lock lock(mutex_);
  tasks_.push_back([this, &task, &finished] {
    task();
    // The caller may return as soon as it sees `finished`: nothing of its frame is touched after.
    std::lock_guard done(mutex_);
    finished = true;
    released_.notify_all();
  });
  for (;;) {
    if (finished) return;
    if (!running_) {
      running_ = true;
      runTasks(lock, [&] { return finished; });
      release(lock);
      return;
    }
    released_.wait(lock);
  }
}

bool SerialQueue::isCurrent() const { return currentQueue == this; }

void SerialQueue::assertOnQueue() const { assert(isCurrent() && "not on the owning queue"); }

}  // namespace zarnik
