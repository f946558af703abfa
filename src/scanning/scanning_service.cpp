#include "scanning/scanning_task.h"

namespace zarnik {

ScanningService::ScanningService()
    : internalQueue_(SerialQueue::make("scanning-service.internal-queue")) {}

std::shared_ptr<ScanningTask> ScanningService::perform(ScanningServiceRequest request) {
  auto task = ScanningTask::make(std::move(request), internalQueue_);
  std::lock_guard lock(mutex_);
  std::erase_if(tasks_, [](const auto& weak) { return weak.expired(); });
  tasks_.push_back(task);
  return task;
}

}  // namespace zarnik
