#include "foundation/io_event_loop.h"

#include "foundation/serial_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace zarnik {
namespace {

using namespace std::chrono_literals;

struct Pipe {
  Pipe() { EXPECT_EQ(::pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0); }
  ~Pipe() {
    ::close(fds[0]);
    ::close(fds[1]);
  }
  void write(std::string_view bytes) const {
    ASSERT_EQ(::write(fds[1], bytes.data(), bytes.size()), ssize_t(bytes.size()));
  }
  bool readOne() const {
    char byte = 0;
    return ::read(fds[0], &byte, 1) == 1;
  }
  [[nodiscard]] int readEnd() const { return fds[0]; }
  int fds[2] = {-1, -1};
};

// Counts callbacks and lets a test wait, with a generous timeout, until a number is reached.
class CallCounter {
 public:
  // Notifies under the lock: a waiter that sees the count may return and destroy the counter,
  // which a notification after the unlock would then touch.
  void add() {
    std::lock_guard lock(mutex_);
    ++count_;
    changed_.notify_all();
  }
  bool waitFor(int expected) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 10s, [&] { return count_ >= expected; });
  }
  int count() {
    std::lock_guard lock(mutex_);
    return count_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int count_ = 0;
};

TEST(IoEventLoop, CallsBackOnTheGivenExecutorWhenTheDescriptorIsReadable) {
  Pipe pipe;
  auto queue = SerialQueue::make("test.io.executor");
  CallCounter calls;
  std::atomic<bool> onQueue{false};
  auto token = IoEventLoop::shared().watch(pipe.readEnd(), queue, [&] {
    onQueue = queue->isCurrent();
    pipe.readOne();
    calls.add();
  });
  pipe.write("x");
  ASSERT_TRUE(calls.waitFor(1));
  EXPECT_TRUE(onQueue.load());
  IoEventLoop::shared().unwatch(token);
}

TEST(IoEventLoop, WaitsAgainOnlyAfterTheCallbackRanSoCallbacksNeverOverlap) {
  Pipe pipe;
  // Callbacks on the concurrent pool: only the one-shot re-arming keeps them apart.
  std::shared_ptr<Executor> pool(&Executor::primary(), [](Executor*) {});
  CallCounter calls;
  std::atomic<int> running{0};
  std::atomic<int> overlapping{0};
  auto token = IoEventLoop::shared().watch(pipe.readEnd(), pool, [&] {
    if (++running > 1) ++overlapping;
    std::this_thread::yield();
    pipe.readOne();  // one byte per readiness: the rest stays readable for the next callback
    --running;
    calls.add();
  });
  pipe.write("abcde");
  ASSERT_TRUE(calls.waitFor(5));
  EXPECT_EQ(overlapping.load(), 0);
  IoEventLoop::shared().unwatch(token);
}

TEST(IoEventLoop, SchedulesNothingForATokenAfterUnwatchReturned) {
  Pipe stopped;
  Pipe still;
  auto queue = SerialQueue::make("test.io.unwatch");
  CallCounter stoppedCalls;
  CallCounter stillCalls;
  auto stoppedToken = IoEventLoop::shared().watch(stopped.readEnd(), queue, [&] {
    stopped.readOne();
    stoppedCalls.add();
  });
  auto stillToken = IoEventLoop::shared().watch(still.readEnd(), queue, [&] {
    still.readOne();
    stillCalls.add();
  });
  stopped.write("1");
  ASSERT_TRUE(stoppedCalls.waitFor(1));
  IoEventLoop::shared().unwatch(stoppedToken);

  stopped.write("2");
  still.write("2");
  ASSERT_TRUE(stillCalls.waitFor(1));
  queue->sync([] {});  // anything scheduled before is done
  EXPECT_EQ(stoppedCalls.count(), 1);
  IoEventLoop::shared().unwatch(stillToken);
}

TEST(IoEventLoop, AllowsUnwatchingFromInsideTheCallback) {
  Pipe pipe;
  auto queue = SerialQueue::make("test.io.inside");
  CallCounter calls;
  std::atomic<IoEventLoop::Token> token{0};
  token = IoEventLoop::shared().watch(pipe.readEnd(), queue, [&] {
    IoEventLoop::shared().unwatch(
        token);  // the byte stays unread: a re-armed watch would fire again
    calls.add();
  });
  pipe.write("x");  // after the token is stored
  ASSERT_TRUE(calls.waitFor(1));

  Pipe other;
  CallCounter otherCalls;
  auto otherToken = IoEventLoop::shared().watch(other.readEnd(), queue, [&] {
    other.readOne();
    otherCalls.add();
  });
  other.write("y");
  ASSERT_TRUE(otherCalls.waitFor(1));
  queue->sync([] {});
  EXPECT_EQ(calls.count(), 1);
  IoEventLoop::shared().unwatch(otherToken);
}

}  // namespace
}  // namespace zarnik
