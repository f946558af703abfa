#include "platform/interrupt_watcher.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace zarnik {
namespace {
sigset_t interruptSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}
}  // namespace

void blockInterruptSignals() {
  const sigset_t set = interruptSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

InterruptWatcher::InterruptWatcher() {
  const sigset_t set = interruptSignals();
  signalFd_ = ::signalfd(-1, &set, SFD_CLOEXEC);
  doneFd_ = ::eventfd(0, EFD_CLOEXEC);
}

InterruptWatcher::~InterruptWatcher() {
  if (signalFd_ >= 0) ::close(signalFd_);
  if (doneFd_ >= 0) ::close(doneFd_);
}

void InterruptWatcher::notifyDone() {
  const std::uint64_t one = 1;
  (void)!::write(doneFd_, &one, sizeof(one));
}

void InterruptWatcher::waitUntilDone(const std::function<void(int count)>& onInterrupt) {
  int count = 0;
  for (;;) {
    pollfd fds[2] = {{doneFd_, POLLIN, 0}, {signalFd_, POLLIN, 0}};
    if (::poll(fds, signalFd_ >= 0 ? 2 : 1, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if ((fds[0].revents & POLLIN) != 0) return;
    if ((fds[1].revents & POLLIN) != 0) {
      signalfd_siginfo info{};
      if (::read(signalFd_, &info, sizeof(info)) == sizeof(info)) onInterrupt(++count);
    }
  }
}

}  // namespace zarnik
