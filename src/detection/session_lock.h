// One writer at a time: whoever changes the stored results (a scan storing its groups, a change
// of selection, a cleaning, a revert; from the command line or the window) holds the session's
// lock while it does. Readers never take it.
#pragma once

#include "detection/duplicates_detection_session.h"
#include "platform/file_lock.h"

#include <optional>
#include <string>

namespace zarnik {

// The session's lock for `command` ("zarnik clean") when no other process holds it now; an
// error when the lock file cannot be made or used (then neither can the store beside it).
[[nodiscard]] Result<std::optional<FileLock>> trySessionLock(const DuplicatesDetectionSpec& spec,
                                                             const std::string& command);

// Who holds the session's lock, in words: "another zarnik (pid 1234, `zarnik clean`) is changing
// the results; try again when it has finished".
[[nodiscard]] std::string sessionBusyMessage(const DuplicatesDetectionSpec& spec);

}  // namespace zarnik
