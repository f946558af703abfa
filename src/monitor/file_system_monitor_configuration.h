// What the recursive file watcher watches: the folders, each with everything below it. inotify
// has no delivery delay to set (events are read as soon as the kernel queues them).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace zarnik {

struct FileSystemMonitorConfiguration {
  std::vector<std::string> monitoredPaths;  // watched with everything below them
  // Folders watched at most; absent: what the user's inotify limit leaves after a fifth for other
  // programs and the watches they hold (inotifyWatchBudget), read at each start.
  std::optional<long> watchBudget;
  // How many of the duplicates the monitor knows each folder holds, by the folder's path. When
  // the budget cannot cover every folder, the folders watched are the best ranked on how recently
  // they changed, how many files they hold and how many of those are duplicates.
  std::shared_ptr<const std::unordered_map<std::string, long>> duplicatesByFolder;

  // No paths.
  static FileSystemMonitorConfiguration defaultConfiguration() { return {}; }
  friend bool operator==(const FileSystemMonitorConfiguration&,
                         const FileSystemMonitorConfiguration&) = default;
};

}  // namespace zarnik
