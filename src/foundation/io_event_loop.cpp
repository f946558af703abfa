#include "foundation/io_event_loop.h"

#include "platform/readiness_poller.h"

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace zarnik {
namespace {

class ReadinessLoop final : public IoEventLoop {
 public:
  explicit ReadinessLoop(ReadinessPoller poller)
      : poller_(std::move(poller)), thread_([this] { run(); }) {}

  Token watch(int fd, std::shared_ptr<Executor> executor, Task onReadable) override {
    std::lock_guard lock(mutex_);
    const Token token = nextToken_++;
    watches_.emplace(token,
                     Watch{fd, std::move(executor), std::make_shared<Task>(std::move(onReadable))});
    if (auto added = poller_.add(fd, token); added.hasError()) {
      // Only a bad descriptor gets here: the caller's mistake, said loudly once.
      std::fprintf(stderr, "zarnik: cannot wait on descriptor %d: %s\n", fd,
                   added.error().oneLine().c_str());
    }
    return token;
  }

  void unwatch(Token token) override {
    std::unique_lock lock(mutex_);
    auto found = watches_.find(token);
    if (found == watches_.end()) return;
    poller_.remove(found->second.fd);
    watches_.erase(found);
    // The loop thread may have taken the watch just before: wait until it has handed it over, so
    // that nothing is scheduled after we return (unless we are that thread, through an immediate
    // executor, which has then already scheduled it).
    if (std::this_thread::get_id() != thread_.get_id()) {
      handedOver_.wait(lock, [&] { return dispatching_ != token; });
    }
  }

 private:
  struct Watch {
    int fd;
    std::shared_ptr<Executor> executor;
    std::shared_ptr<Task> onReadable;  // shared: every readiness runs the same callback
  };

  void run() {
    for (;;) {
      auto ready = poller_.wait();
      if (ready.hasError()) continue;  // EBADF or EINVAL cannot happen on our own epoll
      for (Token token : ready.value()) dispatch(token);
    }
  }

  void dispatch(Token token) {
    std::shared_ptr<Executor> executor;
    std::shared_ptr<Task> onReadable;
    {
      std::lock_guard lock(mutex_);
      auto found = watches_.find(token);
      if (found == watches_.end()) return;
      executor = found->second.executor;
      onReadable = found->second.onReadable;
      dispatching_ = token;
    }
    executor->execute([this, token, onReadable] {
      (*onReadable)();
      rearm(token);
    });
    {
      std::lock_guard lock(mutex_);
      dispatching_ = 0;
    }
    handedOver_.notify_all();
  }

  // After the callback ran, so that one readiness gives one callback however long it takes.
  void rearm(Token token) {
    std::lock_guard lock(mutex_);
    auto found = watches_.find(token);
    if (found != watches_.end()) (void)poller_.rearm(found->second.fd, token);
  }

  ReadinessPoller poller_;
  std::mutex mutex_;
  std::condition_variable handedOver_;
  std::unordered_map<Token, Watch> watches_;
  Token nextToken_ = 1;
  Token dispatching_ = 0;  // the token whose callback the loop thread is scheduling, 0 for none
  std::thread thread_;     // last: started once everything above exists
};

}  // namespace

IoEventLoop& IoEventLoop::shared() {
  // Never destroyed, like the system clock's timer thread: watches may still exist at exit.
  static IoEventLoop* loop = [] {
    auto poller = ReadinessPoller::make();
    if (poller.hasError()) {
      std::fprintf(stderr, "zarnik: cannot start the event loop: %s\n",
                   poller.error().oneLine().c_str());
      std::abort();
    }
    return new ReadinessLoop(std::move(poller).value());
  }();
  return *loop;
}

}  // namespace zarnik
