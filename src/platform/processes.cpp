#include "platform/processes.h"

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace zarnik {

pid_t currentProcessId() { return ::getpid(); }

bool isProcessAlive(pid_t pid) {
  if (pid <= 0) return false;
  // Signal 0 checks without sending: EPERM still means the process is there.
  return ::kill(pid, 0) == 0 || errno == EPERM;
}

}  // namespace zarnik
