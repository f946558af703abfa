#include "monitor/rescan_request.h"

namespace zarnik {

std::vector<RescanTask> rescanTasksForEvent(const FileSystemEvent& event,
                                            const StoredDuplicatesBelow& storedDuplicatesBelow) {
  if (!event.isDirectoryEvent()) return {{event.path, false}};
  std::vector<RescanTask> tasks;
  if (event.isDirectoryRemoved() && storedDuplicatesBelow) {
    for (auto& path : storedDuplicatesBelow(event.path)) tasks.push_back({std::move(path), false});
  }
  const bool recursively = event.isCreated() || event.isRenamed() || event.shouldScanSubdirs();
  tasks.push_back({event.path, recursively});
  return tasks;
}

std::vector<RescanTask> rescanTasksForChangedDirectory(const std::string& path) {
  return {{path, false}};
}

}  // namespace zarnik
