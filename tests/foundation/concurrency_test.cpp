#include "foundation/backlog.h"
#include "foundation/cancellation_token.h"
#include "foundation/channel.h"
#include "foundation/dispatch_group.h"
#include "foundation/future.h"
#include "foundation/operation_queue.h"
#include "foundation/serial_queue.h"
#include "foundation/thread_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <latch>
#include <thread>
#include <vector>

namespace zarnik {
namespace {

TEST(SerialQueue, RunsTasksOneAtATimeInOrder) {
  auto queue = SerialQueue::make("test.order");
  EXPECT_EQ(queue->label(), "com.orvane.test.order");
  std::vector<int> seen;  // touched only on the queue
  std::atomic<int> concurrent{0};
  std::atomic<int> maxConcurrent{0};
  DispatchGroup group;
  for (int i = 0; i < 500; ++i) {
    group.enter();
    queue->async([&, i] {
      const int now = ++concurrent;
      maxConcurrent = std::max(maxConcurrent.load(), now);
      seen.push_back(i);
      --concurrent;
      group.leave();
    });
  }
  group.wait();
  EXPECT_EQ(maxConcurrent.load(), 1);
  ASSERT_EQ(seen.size(), 500u);
  for (int i = 0; i < 500; ++i) EXPECT_EQ(seen[i], i);
}

TEST(SerialQueue, SyncRunsInlineWhenAlreadyOnTheQueue) {
  auto queue = SerialQueue::make("test.sync");
  bool inner = false;
  bool wasCurrent = false;
  queue->sync([&] {
    wasCurrent = queue->isCurrent();
    queue->sync([&] { inner = true; });  // would deadlock if it were queued
  });
  EXPECT_TRUE(wasCurrent);
  EXPECT_TRUE(inner);
  EXPECT_FALSE(queue->isCurrent());
}

TEST(SerialQueue, SyncRunsTheQueuedTasksOnTheCallersThreadsWhenNoThreadRunsThem) {
  // Every pool thread calls sync at once, so no thread is left to drain the queue for them: the
  // callers must run the tasks themselves (one may run another's, queued before its own), in
  // order, one at a time.
  auto queue = SerialQueue::make("test.sync-from-every-worker");
  const auto workers = static_cast<std::ptrdiff_t>(ThreadPool::shared().width());
  std::latch allBusy(workers);
  std::vector<std::thread::id> callers(static_cast<size_t>(workers));
  std::vector<std::thread::id> ranOn(static_cast<size_t>(workers));
  std::vector<int> order;  // touched only on the queue
  std::atomic<int> concurrent{0};
  std::atomic<int> maxConcurrent{0};
  DispatchGroup finished;
  for (std::ptrdiff_t worker = 0; worker < workers; ++worker) {
    finished.enter();
    ThreadPool::shared().submit(QualityOfService::utility, [&, worker] {
      const auto at = static_cast<size_t>(worker);
      callers[at] = std::this_thread::get_id();
      allBusy.arrive_and_wait();
      queue->sync([&] {
        const int now = ++concurrent;
        maxConcurrent = std::max(maxConcurrent.load(), now);
        order.push_back(static_cast<int>(worker));
        ranOn[at] = std::this_thread::get_id();
        --concurrent;
      });
      finished.leave();
    });
  }
  ASSERT_TRUE(finished.waitFor(std::chrono::seconds(30))) << "the callers of sync stalled";
  EXPECT_EQ(maxConcurrent.load(), 1);
  EXPECT_EQ(order.size(), static_cast<size_t>(workers));
  for (const auto& thread : ranOn) {  // no other thread was free to run them
    EXPECT_NE(std::find(callers.begin(), callers.end(), thread), callers.end());
  }
}

TEST(ThreadPool, RunsNoMoreTasksAtOnceThanItsWidth) {
  ThreadPool& pool = ThreadPool::shared();
  std::atomic<int> running{0};
  std::atomic<int> peak{0};
  DispatchGroup done;
  for (int i = 0; i < 200; ++i) {
    done.enter();
    pool.submit(QualityOfService::utility, [&] {
      const int now = ++running;
      int expected = peak.load();
      while (now > expected && !peak.compare_exchange_weak(expected, now)) {
      }
      std::this_thread::yield();
      --running;
      done.leave();
    });
  }
  done.wait();
  EXPECT_GE(peak.load(), 1);
  EXPECT_LE(peak.load(), static_cast<int>(pool.width()));
}

TEST(ThreadPool, AWorkerWaitingForAFutureGivesItsPlaceToTheTaskThatCompletesIt) {
  // Every worker waits for a future that only a task submitted after them completes: the
  // waiters must make room for it.
  ThreadPool& pool = ThreadPool::shared();
  const auto width = static_cast<std::ptrdiff_t>(pool.width());
  std::latch allBusy(width);
  std::vector<Promise<Void>> promises(static_cast<size_t>(width));
  DispatchGroup waited;
  for (auto& promise : promises) {
    waited.enter();
    pool.submit(QualityOfService::utility, [&, future = promise.future()] {
      allBusy.arrive_and_wait();
      EXPECT_TRUE(future.wait().hasValue());
      waited.leave();
    });
  }
  for (auto& promise : promises) {
    pool.submit(QualityOfService::utility, [&promise] { promise.succeed(Void{}); });
  }
  ASSERT_TRUE(waited.waitFor(std::chrono::seconds(30))) << "the waiting workers stalled the pool";
}

TEST(SerialQueue, SyncWaitsForTheTasksQueuedBeforeIt) {
  auto queue = SerialQueue::make("test.sync-order");
  std::vector<int> order;  // touched only on the queue
  std::latch started(1);
  std::latch release(1);
  queue->async([&] {
    started.count_down();
    release.wait();
    order.push_back(1);
  });
  queue->async([&] { order.push_back(2); });
  started.wait();  // the queue's runner is busy with the first task
  Promise<Void> synced;
  ThreadPool::shared().submit(QualityOfService::utility, [&] {
    queue->sync([&] { order.push_back(3); });
    synced.succeed(Void{});
  });
  release.count_down();
  ASSERT_TRUE(synced.future().wait().hasValue());
  queue->sync([&] { order.push_back(4); });
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST(OperationQueue, NeverRunsMoreThanTheLimitAndWaitsForNestedOperations) {
  auto queue = OperationQueue::make("test.ops", 2, QualityOfService::userInitiated);
  std::atomic<int> running{0};
  std::atomic<int> peak{0};
  std::atomic<int> done{0};
  std::function<void(int)> spawn = [&](int depth) {
    queue->addOperation([&, depth] {
      const int now = ++running;
      int expected = peak.load();
      while (now > expected && !peak.compare_exchange_weak(expected, now)) {
      }
      if (depth < 4) {
        spawn(depth + 1);
        spawn(depth + 1);
      }
      --running;
      ++done;
    });
  };
  spawn(0);
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(done.load(), 31);  // a full binary tree of depth 4
  EXPECT_LE(peak.load(), 2);
  EXPECT_EQ(queue->operationCount(), 0u);
}

TEST(DispatchGroup, NotifiesOnceTheCountReachesZero) {
  DispatchGroup group;
  std::atomic<int> notified{0};
  group.enter();
  group.enter();
  group.notify(Executor::immediate(), [&] { ++notified; });
  group.leave();
  EXPECT_EQ(notified.load(), 0);
  group.leave();
  EXPECT_EQ(notified.load(), 1);
  EXPECT_TRUE(group.waitFor(std::chrono::milliseconds(0)));
  group.enter();
  EXPECT_FALSE(group.waitFor(std::chrono::milliseconds(10)));
  group.leave();
}

TEST(Backlog, KeepsStepsPastTheHighMarkAndRunsThemOnceAtTheLowMark) {
  Backlog backlog(8, 4);
  int runs = 0;
  Task step = [&runs] { ++runs; };
  backlog.add(8);
  EXPECT_FALSE(backlog.deferIfFull(step));  // at the mark, not past it
  ASSERT_TRUE(step);                        // left to the caller
  backlog.add(1);
  EXPECT_TRUE(backlog.deferIfFull(step));
  Task second = [&runs] { runs += 10; };
  EXPECT_TRUE(backlog.deferIfFull(second));
  backlog.remove(4);  // 5: below the high mark, still above the low one
  EXPECT_EQ(runs, 0);
  Task third = [&runs] { runs += 100; };
  EXPECT_TRUE(backlog.deferIfFull(third));  // full until the low mark
  backlog.remove(1);
  EXPECT_EQ(runs, 111);
  EXPECT_EQ(backlog.deferredCount(), 0u);
  backlog.remove(4);
  EXPECT_EQ(runs, 111);
  Task fourth = [] {};
  EXPECT_FALSE(backlog.deferIfFull(fourth));
  EXPECT_EQ(backlog.size(), 0u);
}

TEST(Future, MapFlatMapAndZipCarryValuesAndTheFirstFailure) {
  Promise<int> a;
  Promise<std::string> b;
  auto doubled = a.future().map(Executor::primary(), [](int v) { return v * 2; });
  auto chained =
      doubled.flatMap(Executor::primary(), [](int v) { return makeSucceededFuture(v + 1); });
  auto both = zip(chained, b.future());
  a.succeed(20);
  b.succeed("x");
  auto result = both.wait();
  ASSERT_TRUE(result.hasValue());
  EXPECT_EQ(result.value().first, 41);
  EXPECT_EQ(result.value().second, "x");

  Promise<int> failing;
  auto mapped = failing.future().map(Executor::immediate(), [](int v) { return v; });
  failing.fail(Error::generic("boom"));
  EXPECT_EQ(mapped.wait().error().description, "boom");
  EXPECT_FALSE(failing.succeed(1));  // completes once only
}

TEST(Future, CallbacksAddedAfterCompletionStillRunOnTheirExecutor) {
  auto queue = SerialQueue::make("test.late");
  auto future = makeSucceededFuture(5);
  Promise<bool> ranOnQueue;
  future.onSuccess(*queue, [&, queue](const int&) { ranOnQueue.succeed(queue->isCurrent()); });
  EXPECT_TRUE(ranOnQueue.future().wait().value());
  EXPECT_TRUE(cancelledFuture<int>().wait().error().isCancellation());
  auto fromBlock =
      makeFuture(Executor::primary(), []() -> Result<int> { return Error::generic("no"); });
  EXPECT_TRUE(fromBlock.wait().hasError());
}

TEST(Producer, LateSubscribersGetTheBufferedUpdatesThenNewOnes) {
  Producer<int, Void> producer(2);
  producer.update(1);
  producer.update(2);
  producer.update(3);
  std::vector<int> seen;
  producer.onUpdate(Executor::immediate(), [&](const int& v) { seen.push_back(v); });
  producer.update(4);
  producer.succeed(Void{});
  producer.update(5);  // after completion: dropped
  EXPECT_EQ(seen, (std::vector<int>{2, 3, 4}));
  EXPECT_TRUE(producer.completion().wait().hasValue());
}

TEST(CancellationToken, RunsBlocksOnceAndLateBlocksAtOnce) {
  auto token = CancellationToken::make();
  int calls = 0;
  token->notify([&] { ++calls; });
  token->cancel();
  token->cancel();
  EXPECT_EQ(calls, 1);
  token->notify([&] { ++calls; });
  EXPECT_EQ(calls, 2);
  EXPECT_TRUE(token->isCancelled());
}

}  // namespace
}  // namespace zarnik

namespace zarnik {
namespace {

TEST(ThreadPool, TasksSubmittedTogetherRunTogether) {
  // Each task waits until as many run at once as the pool is wide; a pool that let one worker
  // take every task in turn would time out here.
  const int width = static_cast<int>(ThreadPool::shared().width());
  std::atomic<int> arrived{0};
  std::atomic<int> sawAll{0};
  DispatchGroup group;
  for (int i = 0; i < width; ++i) {
    group.enter();
    ThreadPool::shared().submit(QualityOfService::utility, [&] {
      ++arrived;
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (arrived.load() < width && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
      if (arrived.load() == width) ++sawAll;
      group.leave();
    });
  }
  group.wait();
  EXPECT_EQ(sawAll.load(), width);
}

}  // namespace
}  // namespace zarnik

#include "support/manual_clock.h"

#include "foundation/delayed_work_item.h"

namespace zarnik {
namespace {

TEST(DelayedWorkItem, RunsWhenDueUnlessCancelledSoDebouncingKeepsTheLastRequest) {
  testing::ManualClock clock;
  int runs = 0;
  int lastRequest = 0;
  std::shared_ptr<DelayedWorkItem> pending;
  auto request = [&](int n) {
    if (pending) pending->cancel();
    pending = DelayedWorkItem::schedule(clock, 3.0, Executor::immediate(), [&, n] {
      ++runs;
      lastRequest = n;
    });
  };
  request(1);
  clock.advance(1.0);
  request(2);
  clock.advance(2.5);  // 3.5 s after the first request, 2.5 s after the second
  EXPECT_EQ(runs, 0);
  clock.advance(0.5);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(lastRequest, 2);
}

TEST(DelayedWorkItem, SystemClockRunsItOnTheExecutor) {
  Promise<bool> ran;
  auto item = DelayedWorkItem::schedule(Clock::system(), 0.01, Executor::primary(),
                                        [&] { ran.succeed(true); });
  EXPECT_TRUE(ran.future().wait().value());
}

TEST(DelayedWorkItem, KeepsAQueueItsOwnerLetGoUntilTheWorkHasRun) {
  testing::ManualClock clock;
  Promise<bool> ran;
  std::weak_ptr<SerialQueue> weakQueue;
  {
    auto queue = SerialQueue::make("delayed-work-owner");
    weakQueue = queue;
    auto item = DelayedWorkItem::schedule(clock, 2.0, queue, [&] { ran.succeed(true); });
  }  // the owner and its queue are gone before the delay is over
  EXPECT_FALSE(weakQueue.expired());
  clock.advance(2.0);
  EXPECT_TRUE(ran.future().wait().value());
}

}  // namespace
}  // namespace zarnik

namespace zarnik {
namespace {

TEST(OperationQueue, AnOperationAddedWhileOthersRunGetsItsOwnRunner) {
  // As wide as the pool: all its operations can run at once.
  const int width = static_cast<int>(ThreadPool::shared().width());
  if (width < 2) GTEST_SKIP() << "a pool of one worker runs one operation at a time";
  auto queue =
      OperationQueue::make("test.width", static_cast<size_t>(width), QualityOfService::utility);
  std::atomic<int> running{0};
  std::atomic<int> sawAll{0};
  auto operation = [&] {
    ++running;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (running.load() < width && std::chrono::steady_clock::now() < deadline)
      std::this_thread::yield();
    if (running.load() == width) ++sawAll;
  };
  for (int i = 0; i < width - 1; ++i) queue->addOperation(operation);
  while (running.load() < width - 1) std::this_thread::yield();
  queue->addOperation(operation);  // the other runners are busy: one more must start
  queue->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(sawAll.load(), width);  // all ran at once
}

}  // namespace
}  // namespace zarnik
