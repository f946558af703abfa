// CleaningService: runs cleanings and reverts, one at a time and in the order they were asked
// for, so that two of them never work on the same files at once.
#pragma once

#include <memory>

#include "cleaning/cleaning_task.h"
#include "cleaning/reverting_task.h"
#include "foundation/base_service.h"

namespace zarnik {

class CleaningService {
 public:
  static constexpr size_t kMaxTasksToRun = 1;

  CleaningService() : service_(kMaxTasksToRun) {}
  // Queues the task; it starts when the one before it has completed.
  void perform(const std::shared_ptr<CleaningTask>& task);
  void perform(const std::shared_ptr<RevertingTask>& task);
  // Where the line of tasks is kept (a turn of it has started every task queued before).
  [[nodiscard]] const std::shared_ptr<SerialQueue>& internalQueue() const { return service_.internalQueue(); }

 private:
  BaseService service_;
};

}  // namespace zarnik
