// The entries of one folder with their kinds, symbolic links not followed: what a file watcher
// needs to walk a folder that just appeared.
#pragma once

#include "base/result.h"

#include <string>
#include <vector>

namespace zarnik {

enum class FolderEntryKind { folder, file, symbolicLink, other };

struct FolderEntry {
  std::string name;
  FolderEntryKind kind = FolderEntryKind::other;
  friend bool operator==(const FolderEntry&, const FolderEntry&) = default;
};

// "." and ".." left out. Fails with the path and the reason when the folder cannot be read.
[[nodiscard]] Result<std::vector<FolderEntry>> listFolder(const std::string& path);
// The kind of the item at `path` itself (a link is a symbolicLink).
[[nodiscard]] Result<FolderEntryKind> folderEntryKindOf(const std::string& path);

}  // namespace zarnik
