// What the monitor tells a person about the duplicates it found lately: one RecentDuplicate per
// copy, and the summary the storage recomputes after every save or status change. The
// notification decision reads the summary; `zarnik monitor status` prints it.
#pragma once

#include "base/date.h"
#include "file_model/node_type.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zarnik {

// Only moves upward: a copy the person has looked at never becomes merely "notified" again.
enum class RecentDuplicateStatus : std::int64_t { newlyFound = 0, notified = 1, viewed = 2 };

[[nodiscard]] inline bool canBeUpgraded(RecentDuplicateStatus from, RecentDuplicateStatus to) {
  return static_cast<std::int64_t>(to) > static_cast<std::int64_t>(from);
}

struct RecentDuplicate {
  std::int64_t id = 0;  // the stored recent duplicate's key
  std::string name;
  std::string path;
  std::string abbreviatedPath;  // "~/Music/a.mp3"
  Date foundDate{};
  bool isIgnored = false;
  bool isCleaned = false;
  NodeType fileType = NodeType::other;
  std::int64_t size = 0;
};

struct RecentDuplicatesInfo {
  std::vector<RecentDuplicate> latest;         // the three newest, newest first
  std::vector<RecentDuplicate> newDuplicates;  // status new, newest first
  std::int64_t newCount = 0;
  std::int64_t newSize = 0;
  std::vector<std::int64_t> newIDs;
  std::int64_t notViewedCount = 0;
  std::int64_t totalCount = 0;
  std::int64_t totalSize = 0;
};

}  // namespace zarnik
