// Other processes of this user, as far as a status file or a lock file names them.
#pragma once

#include <sys/types.h>

namespace zarnik {

[[nodiscard]] pid_t currentProcessId();
// Whether a process with this id exists (it may belong to another user).
[[nodiscard]] bool isProcessAlive(pid_t pid);

}  // namespace zarnik
