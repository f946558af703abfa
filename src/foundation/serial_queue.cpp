#include "foundation/serial_queue.h"

#include <cassert>
#include <future>

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
    startDrain = !draining_;
    draining_ = true;
  }
  if (startDrain) {
    // The drain keeps the queue alive until its tasks have run.
    ThreadPool::shared().submit(qos_, [self = shared_from_this()] { self->drain(); });
  }
}

void SerialQueue::drain() {
  const SerialQueue* previous = currentQueue;
  currentQueue = this;
  for (int ran = 0;; ++ran) {
    Task task;
    {
      std::lock_guard lock(mutex_);
      if (tasks_.empty()) {
        draining_ = false;
        break;
      }
      if (ran == kTasksPerTurn) {
        currentQueue = previous;
        ThreadPool::shared().submit(qos_, [self = shared_from_this()] { self->drain(); });
        return;
      }
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
  currentQueue = previous;
}

void SerialQueue::sync(Task task) {
  if (isCurrent()) {
    task();
    return;
  }
  std::promise<void> done;
  auto finished = done.get_future();
  async([&task, &done] {
    task();
    done.set_value();
  });
  finished.wait();
}

bool SerialQueue::isCurrent() const { return currentQueue == this; }

void SerialQueue::assertOnQueue() const { assert(isCurrent() && "not on the owning queue"); }

}  // namespace zarnik
