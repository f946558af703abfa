// Bookmarks: how a user-chosen folder is found again. Linux has no sandbox, so a bookmark is
// the folder's path and its (device, inode) identity, kept as JSON bytes; resolving it answers
// the path and whether it still names the same folder.
#pragma once

#include <optional>
#include <string>

#include "base/units.h"

namespace zarnik {

struct ResolvedBookmark {
  std::string path;
  bool isStale = false;  // the path now names another item, or nothing
};

[[nodiscard]] std::optional<std::string> makeBookmarkData(const std::string& path);
[[nodiscard]] std::optional<ResolvedBookmark> resolveBookmarkData(const std::string& data);

}  // namespace zarnik
