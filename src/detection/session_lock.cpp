#include "detection/session_lock.h"

#include "platform/xdg_directories.h"

#include <fmt/format.h>

namespace zarnik {

Result<std::optional<FileLock>> trySessionLock(const DuplicatesDetectionSpec& spec,
                                               const std::string& command) {
  ZK_TRY(xdg::makeDirectories(spec.urlOfStateContainer));
  return FileLock::tryLock(spec.urlOfLockFile(), command);
}

std::string sessionBusyMessage(const DuplicatesDetectionSpec& spec) {
  const auto holder = FileLock::holderOf(spec.urlOfLockFile());
  std::string who = "another zarnik";
  if (holder && holder->pid && !holder->command.empty()) {
    who += fmt::format(" (pid {}, `{}`)", *holder->pid, holder->command);
  } else if (holder && holder->pid) {
    who += fmt::format(" (pid {})", *holder->pid);
  }
  return who + " is changing the results; try again when it has finished";
}

}  // namespace zarnik
