// Reviewing what the monitor found: a copy of the monitor's store, taken at one moment (the
// monitor may go on writing meanwhile), becomes the session under review, so that `results`,
// `select`, `clean` and `revert` work on the monitor's groups as on a scan's. The records of
// cleanings made from an earlier review that can still be reverted are carried into the new copy.
#pragma once

#include "base/result.h"

#include <string>

namespace zarnik {

// Where the running monitor keeps its groups: "<persistent content>/monitor.db".
[[nodiscard]] std::string monitorStorePath();

// The number of groups under review.
Result<std::int64_t> prepareMonitorReview(const std::string& monitorStorePath);

}  // namespace zarnik
