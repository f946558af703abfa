// IoEventLoop: the one thread that waits on the file descriptors of long-lived event sources (the
// inotify instance of the file watcher, the session bus connection of the desktop notifications)
// and hands each readiness to its owner's executor, so that event handling runs on the owner's
// serial queue like all its other work. Waiting is done by platform/readiness_poller (epoll).
//
// A descriptor is watched one-shot: after its callback has run on the executor, the loop waits on
// it again, so a busy source never floods the executor with callbacks for the same readiness.
#pragma once

#include "foundation/executor.h"
#include "foundation/unique_function.h"

#include <cstdint>
#include <memory>

namespace zarnik {

class IoEventLoop {
 public:
  using Token = std::uint64_t;

  static IoEventLoop& shared();

  // Calls `onReadable` on `executor` whenever `fd` can be read; the callback should read what is
  // there. The descriptor stays owned by the caller and must outlive the watch.
  [[nodiscard]] virtual Token watch(int fd, std::shared_ptr<Executor> executor,
                                    Task onReadable) = 0;
  // After it returns no new callback for the token is scheduled (one already on the executor may
  // run).
  virtual void unwatch(Token token) = 0;

  virtual ~IoEventLoop() = default;
};

}  // namespace zarnik
