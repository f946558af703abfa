#include "foundation/base_service.h"

#include <algorithm>

namespace zarnik {

BaseService::BaseService(size_t maxTasksToRun) : line_(std::make_shared<Line>()) {
  line_->queue = SerialQueue::make("base-service");
  line_->maxTasksToRun = std::max<size_t>(1, maxTasksToRun);
}

void BaseService::enqueue(Starter start) {
  line_->queue->async([line = line_, start = std::move(start)]() mutable {
    line->waiting.push_back(std::move(start));
    startWaitingTasks(line);
  });
}

void BaseService::startWaitingTasks(const std::shared_ptr<Line>& line) {
  line->queue->assertOnQueue();
  while (line->running < line->maxTasksToRun && !line->waiting.empty()) {
    Starter start = std::move(line->waiting.front());
    line->waiting.pop_front();
    ++line->running;
    start().onComplete(*line->queue, [line](const Result<Void>&) {
      --line->running;
      startWaitingTasks(line);
    });
  }
}

}  // namespace zarnik
