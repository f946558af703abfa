// What a change seen by the file watcher asks the monitor to look at again. The monitor workflow
// calls these on its scan queue for every event and every changed folder, then batches and
// debounces the requests.
#pragma once

#include "monitor/file_system_event.h"

#include <functional>
#include <string>
#include <vector>

namespace zarnik {

struct RescanTask {
  std::string path;
  bool recursively = false;  // the folder and everything below it, or the item alone
  friend bool operator==(const RescanTask&, const RescanTask&) = default;
};

// The paths of the stored duplicates at or below a folder (asked of the monitor's store).
using StoredDuplicatesBelow = std::function<std::vector<std::string>(const std::string& folder)>;

// A folder removed or renamed first asks for each stored duplicate that was below it (so that
// the ones that are gone leave their groups); then the folder itself is rescanned: recursively
// when it was created or renamed or when detail was lost, else for its own entries. Any other
// item is rescanned alone.
[[nodiscard]] std::vector<RescanTask> rescanTasksForEvent(
    const FileSystemEvent& event, const StoredDuplicatesBelow& storedDuplicatesBelow);
// A folder watched only for its own entries changed: its entries are rescanned.
[[nodiscard]] std::vector<RescanTask> rescanTasksForChangedDirectory(const std::string& path);

}  // namespace zarnik
