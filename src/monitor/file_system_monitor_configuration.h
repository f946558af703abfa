// What the recursive file watcher watches. Only `monitoredPaths` changes what is watched: inotify
// has no delivery delay to set (events are read as soon as the kernel queues them), and the
// filters are carried for the callers that set them, without effect, as they always were.
#pragma once

#include "monitor/file_system_change.h"

#include <optional>
#include <string>
#include <vector>

namespace zarnik {

struct FileSystemMonitorConfiguration {
  double latency = 0.0;                              // seconds
  std::vector<std::string> monitoredPaths;           // watched with everything below them
  std::optional<FileSystemChange> monitoredChanges;  // absent: all
  std::vector<std::string> ignoredPaths;
  std::optional<FileSystemChange> ignoredChanges;
  // Folders watched at most; absent: what the user's inotify limit leaves after a fifth for other
  // programs and the watches they hold (inotifyWatchBudget), read at each start.
  std::optional<long> watchBudget;

  // No paths, no filters.
  static FileSystemMonitorConfiguration defaultConfiguration() { return {}; }
  friend bool operator==(const FileSystemMonitorConfiguration&,
                         const FileSystemMonitorConfiguration&) = default;
};

}  // namespace zarnik
