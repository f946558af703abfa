// The user's detection session as the command line uses it: restored from the session folder,
// with its problems told on stderr in one line each.
#pragma once

#include "detection/duplicates_detection_session.h"

#include <memory>
#include <string>

namespace zarnik::cli {

void printError(const std::string& message);

// The stored session; nothing (after telling why) when its state or store cannot be used.
std::shared_ptr<DuplicatesDetectionSession> restoreSession(const DuplicatesDetectionSpec& spec);
// The session `zarnik results` shows: the last scan's, or the monitor's findings under review.
std::shared_ptr<DuplicatesDetectionSession> restoreUserSession(
    const std::shared_ptr<ScanningService>& service);

// The results under review; nothing (after telling the user to scan first) when there are none.
std::shared_ptr<DuplicatesDetectionResults> reviewedResults(DuplicatesDetectionSession& session);
// The same for a command that changes them: cleanings cut off earlier are settled first.
std::shared_ptr<DuplicatesDetectionResults> resultsForChanging(DuplicatesDetectionSession& session);

}  // namespace zarnik::cli
