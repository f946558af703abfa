// ReadinessPoller: waits until one of several file descriptors can be read (epoll). Each
// descriptor is watched one-shot: once reported it stays quiet until re-armed, so the owner
// decides when it wants to hear of the next readiness. A wake-up descriptor lets another thread
// end a wait at once (to stop, or after the watched set changed).
//
// Thread safety: add, rearm, remove and wake may be called from any thread while another thread
// waits (the kernel serialises changes to the interest list).
#pragma once

#include "base/result.h"
#include "platform/file_descriptor.h"

#include <cstdint>
#include <vector>

namespace zarnik {

class ReadinessPoller {
 public:
  using Key = std::uint64_t;

  static Result<ReadinessPoller> make();

  // Reports `key` from wait() the next time `fd` can be read.
  Result<void> add(int fd, Key key);
  // Watches `fd` again after it was reported.
  Result<void> rearm(int fd, Key key);
  void remove(int fd);

  // Blocks until a watched descriptor is readable or wake() is called; returns the keys of the
  // ready descriptors (empty after a wake-up alone). A signal interrupting the wait returns an
  // empty list too.
  Result<std::vector<Key>> wait();
  void wake();

 private:
  ReadinessPoller(UniqueFd epoll, UniqueFd wakeUp)
      : epoll_(std::move(epoll)), wakeUp_(std::move(wakeUp)) {}
  void drainWakeUps();

  UniqueFd epoll_;
  UniqueFd wakeUp_;
};

}  // namespace zarnik
