#include "cli/session_lock.h"

#include "cli/user_session.h"

#include <chrono>
#include <thread>

namespace zarnik::cli {
namespace {

// Another command at a terminal rarely holds the lock for long; a few looks a second notice its
// end soon enough without keeping a core busy.
constexpr auto kPollInterval = std::chrono::milliseconds(200);

}  // namespace

Result<std::optional<FileLock>> lockSessionForChanges(const DuplicatesDetectionSpec& spec,
                                                      const std::string& command) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::duration<double>(kSessionLockWaitSeconds);
  for (;;) {
    ZK_ASSIGN_OR_RETURN(auto locked, trySessionLock(spec, command));
    if (locked) return locked;
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(kPollInterval);
  }
  printError(sessionBusyMessage(spec));
  return std::optional<FileLock>();
}

namespace {
std::optional<FileLock> lockTellingWhy(const DuplicatesDetectionSpec& spec,
                                       const std::string& command) {
  auto locked = lockSessionForChanges(spec, command);
  if (locked.hasError()) {
    printError(locked.error().oneLine());
    return std::nullopt;
  }
  return std::move(locked).value();
}
}  // namespace

std::optional<FileLock> lockUserSessionForChanges(const std::string& command) {
  return lockTellingWhy(DuplicatesDetectionSpec::current(nullptr), command);
}

std::optional<FileLock> lockMonitorFindingsForChanges(const std::string& command) {
  return lockTellingWhy(DuplicatesDetectionSpec::monitorReview(nullptr), command);
}

}  // namespace zarnik::cli
