// What a running monitor tells other commands (`zarnik monitor status`): written whole to
// "$XDG_DATA_HOME/zarnik/monitor-status.json" whenever its state or findings change. The monitor
// holds "monitor.lock" beside it while it runs, so that a status left by a monitor that died is
// known for what it is.
#pragma once

#include "base/date.h"
#include "base/json.h"
#include "base/result.h"
#include "monitor/recent_duplicates_info.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zarnik {

struct MonitorStatus {
  std::int64_t processId = 0;
  std::string state = "off";
  std::vector<std::string> locations;
  std::int64_t watchedFolders = 0;
  std::int64_t watchBudget = 0;
  bool watchBudgetReached = false;  // some folders are not watched
  std::int64_t itemsKnown = 0;
  std::int64_t itemLimit = 0;
  bool itemLimitReached = false;
  std::int64_t groups = 0;
  std::int64_t duplicates = 0;
  RecentDuplicatesInfo recent;
  std::optional<std::string> notice;  // one line for the person, e.g. why notifications fail
  Date updated{};

  [[nodiscard]] Json encode() const;
  static Result<MonitorStatus> decode(const Json& json);

  [[nodiscard]] static std::string defaultPath();
  [[nodiscard]] static std::string lockPath();
  Result<void> write(const std::string& path) const;
  static Result<MonitorStatus> read(const std::string& path);
  // The status of the monitor running now; nothing when none runs (a status left behind by a
  // monitor that died does not count: its process is gone, or another holds the lock).
  static std::optional<MonitorStatus> readRunning(const std::string& path = defaultPath(),
                                                  const std::string& lock = lockPath());
};

[[nodiscard]] Json encodeRecentDuplicate(const RecentDuplicate& duplicate);

}  // namespace zarnik
