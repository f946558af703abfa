// A file that says a long-running program is running: placed at its start, removed when it ends
// cleanly. Finding one at the next start means the previous run ended without cleaning up (it
// crashed, was killed, or the machine went down).
#pragma once

#include "base/result.h"

#include <string>

namespace zarnik {

// Places the marker (holding this process's id) and tells whether one was already there.
[[nodiscard]] Result<bool> placeRunningMarker(const std::string& path);
// A missing marker is no failure.
Result<void> removeRunningMarker(const std::string& path);

}  // namespace zarnik
