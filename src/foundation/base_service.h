// BaseService: runs a service's tasks, at most `maxTasksToRun` at a time, oldest first. A task
// waits in line until a slot is free; when it completes the next one starts. The line is kept
// on the service's own serial queue ("base-service").
#pragma once

#include <cstddef>
#include <deque>
#include <memory>

#include "foundation/future.h"
#include "foundation/serial_queue.h"
#include "foundation/unique_function.h"

namespace zarnik {

class BaseService {
 public:
  // Starts a task and gives the future of its end, which must complete, however the task ends.
  using Starter = UniqueFunction<Future<Void>()>;

  explicit BaseService(size_t maxTasksToRun);
  void enqueue(Starter start);
  [[nodiscard]] const std::shared_ptr<SerialQueue>& internalQueue() const { return line_->queue; }

 private:
  struct Line {
    std::shared_ptr<SerialQueue> queue;
    std::deque<Starter> waiting;
    size_t running = 0;
    size_t maxTasksToRun = 1;
  };
  static void startWaitingTasks(const std::shared_ptr<Line>& line);
  std::shared_ptr<Line> line_;
};

}  // namespace zarnik
