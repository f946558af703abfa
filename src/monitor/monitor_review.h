// Reviewing what the monitor found: a copy of the monitor's store, taken at one moment (the
// monitor may go on writing meanwhile), becomes the session under review, so that `results`,
// `select`, `clean` and `revert` work on the monitor's groups as on a scan's. The records of
// cleanings made from an earlier review that can still be reverted are carried into the new copy.
#pragma once

#include "base/result.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>

namespace zarnik {

// Where the running monitor keeps its groups: "<persistent content>/monitor.db".
[[nodiscard]] std::string monitorStorePath();

struct MonitorReviewOptions {
  // `results`, `select`, `clean` and `revert` work on the monitor's groups from now on, until the
  // next scan; otherwise the review is prepared for one action and the scan's results stay.
  bool makeCurrent = true;
  // The copies (by path) to propose for removal, every other copy kept; nothing: the proposals
  // the monitor made.
  std::optional<std::set<std::string>> proposedCopies;
};

struct PreparedMonitorReview {
  std::int64_t groups = 0;
  std::set<std::string> proposedCopiesFound;  // those of `proposedCopies` the monitor knows
  // Copies of `proposedCopies` that are every copy of their group: none of them is proposed.
  std::set<std::string> proposedWithTheirWholeGroup;
};

Result<PreparedMonitorReview> prepareMonitorReview(const std::string& monitorStorePath,
                                                   const MonitorReviewOptions& options = {});

}  // namespace zarnik
