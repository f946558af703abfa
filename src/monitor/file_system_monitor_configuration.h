// What the recursive file watcher watches: the folders, each with everything below it. inotify
// has no delivery delay to set (events are read as soon as the kernel queues them).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zarnik {

struct FileSystemMonitorConfiguration {
  std::vector<std::string> monitoredPaths;  // watched with everything below them
  // Folders watched at most; absent: what the user's inotify limit leaves after a fifth for other
  // programs and the watches they hold (inotifyWatchBudget), read at each start.
  std::optional<long> watchBudget;

  // No paths.
  static FileSystemMonitorConfiguration defaultConfiguration() { return {}; }
  friend bool operator==(const FileSystemMonitorConfiguration&,
                         const FileSystemMonitorConfiguration&) = default;
};

}  // namespace zarnik
