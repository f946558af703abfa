#include "cleaning/cleaning_service.h"

namespace zarnik {
namespace {

template <typename Task>
BaseService::Starter starterOf(const std::shared_ptr<Task>& task) {
  return [task]() {
    Promise<Void> ended;
    task->completionFuture().onComplete(Executor::immediate(), [ended](const auto&) mutable { ended.succeed(Void{}); });
    task->start();
    return ended.future();
  };
}

}  // namespace

void CleaningService::perform(const std::shared_ptr<CleaningTask>& task) { service_.enqueue(starterOf(task)); }

void CleaningService::perform(const std::shared_ptr<RevertingTask>& task) { service_.enqueue(starterOf(task)); }

}  // namespace zarnik
