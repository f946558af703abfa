// FileSystemEvent: one change the file watcher reports, with the identifier that orders it among
// all events of this process.
#pragma once

#include "monitor/file_system_change.h"

#include <cstdint>
#include <string>

namespace zarnik {

struct FileSystemEvent {
  std::uint64_t identifier = 0;
  std::string path;  // the full path of the item concerned
  FileSystemChange change;

  // The next identifier of this process: increasing, never 0 and never all bits set (which the
  // watcher uses for "events from now on").
  static std::uint64_t nextIdentifier();

  [[nodiscard]] bool isDirectoryEvent() const {
    return change.contains(FileSystemChange::isDirectory);
  }
  [[nodiscard]] bool isCreated() const { return change.contains(FileSystemChange::created); }
  [[nodiscard]] bool isRemoved() const { return change.contains(FileSystemChange::removed); }
  [[nodiscard]] bool isRenamed() const { return change.contains(FileSystemChange::renamed); }
  [[nodiscard]] bool isDirectoryRemoved() const {
    return isDirectoryEvent() && (isRemoved() || isRenamed());
  }
  [[nodiscard]] bool shouldScanSubdirs() const {
    return change.contains(FileSystemChange::scanSubDirs);
  }

  // "<path> (<identifier>) changed: <change>".
  [[nodiscard]] std::string description() const;

  friend bool operator==(const FileSystemEvent&, const FileSystemEvent&) = default;
};

}  // namespace zarnik
