// Execution contexts, release pools and dynamic properties.
//
// A ReleasePool keeps objects alive until it is drained or its owner goes away, and runs the
// owner's "deinit" blocks then. An ExecutionContext is an object (a service, a task, a view
// model) with an executor and a release pool; callbacks registered through it run on its
// executor and are dropped once the context is gone, since they hold it weakly.
// A DynamicProperty holds a current value and publishes every new value as an update.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "foundation/channel.h"
#include "foundation/future.h"

namespace zarnik {

class ReleasePool {
 public:
  ReleasePool() = default;
  ~ReleasePool() { drain(); }
  ReleasePool(const ReleasePool&) = delete;
  ReleasePool& operator=(const ReleasePool&) = delete;

  void releaseOnDeinit(std::shared_ptr<const void> object) {
    std::lock_guard lock(mutex_);
    objects_.push_back(std::move(object));
  }
  void notifyDeinit(std::function<void()> block) {
    std::lock_guard lock(mutex_);
    blocks_.push_back(std::move(block));
  }
  // Releases the objects and runs the blocks, outside the lock.
  void drain() {
    std::vector<std::shared_ptr<const void>> objects;
    std::vector<std::function<void()>> blocks;
    {
      std::lock_guard lock(mutex_);
      objects.swap(objects_);
      blocks.swap(blocks_);
    }
    objects.clear();
    for (auto& block : blocks) block();
  }

 private:
  std::mutex mutex_;
  std::vector<std::shared_ptr<const void>> objects_;
  std::vector<std::function<void()>> blocks_;
};

class ExecutionContext : public std::enable_shared_from_this<ExecutionContext> {
 public:
  explicit ExecutionContext(Executor& executor) : executor_(executor) {}
  virtual ~ExecutionContext() = default;

  [[nodiscard]] Executor& executor() const { return executor_; }
  [[nodiscard]] ReleasePool& releasePool() { return releasePool_; }

  // Runs `callback` with the context and the result on the context's executor, unless the
  // context is gone by then.
  template <typename T, typename Context>
  static void onComplete(const std::shared_ptr<Context>& context, const Future<T>& future,
                         std::function<void(Context&, const Result<T>&)> callback) {
    std::weak_ptr<Context> weak = context;
    future.onComplete(context->executor(), [weak, callback = std::move(callback)](const Result<T>& result) {
      if (auto strong = weak.lock()) callback(*strong, result);
    });
  }

 private:
  Executor& executor_;
  ReleasePool releasePool_;
};

template <typename Value>
class DynamicProperty {
 public:
  explicit DynamicProperty(Value initial, size_t bufferSize = 1) : producer_(bufferSize), value_(std::move(initial)) {
    producer_.update(value_);
  }
  [[nodiscard]] Value value() const {
    std::lock_guard lock(mutex_);
    return value_;
  }
  void setValue(Value value) {
    {
      std::lock_guard lock(mutex_);
      value_ = value;
    }
    producer_.update(std::move(value));
  }
  [[nodiscard]] const Producer<Value, Void>& producer() const { return producer_; }

 private:
  Producer<Value, Void> producer_;
  mutable std::mutex mutex_;
  Value value_;
};

}  // namespace zarnik
