// Every command that changes the stored results holds the session's lock from before it reads
// the results until it ends. A second writer waits a few seconds for the lock and then gives up,
// naming the process that holds it.
#pragma once

#include "detection/session_lock.h"

#include <optional>
#include <string>

namespace zarnik::cli {

// How long a writer waits for another to finish before giving up.
inline constexpr double kSessionLockWaitSeconds = 3.0;

// The session's lock, held for `command` ("zarnik clean"); nothing (after telling so in one line)
// when another process kept it for the whole wait; an error, not yet told, when the lock file
// cannot be made or used (then neither can the store beside it).
Result<std::optional<FileLock>> lockSessionForChanges(const DuplicatesDetectionSpec& spec,
                                                      const std::string& command);

// The user's own session's lock; nothing, after telling why, when it cannot be had.
std::optional<FileLock> lockUserSessionForChanges(const std::string& command);
// The same for the monitor's findings under review.
std::optional<FileLock> lockMonitorFindingsForChanges(const std::string& command);

}  // namespace zarnik::cli
