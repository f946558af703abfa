// The way from a change to a rescan: requests gather for two quiet seconds, a path asked for
// many times is rescanned once (with its sub-tree when any request wanted it), paths that are
// gone are forgotten, and nothing is rescanned while paused.
#include "support/manual_clock.h"
#include "support/test_dir.h"

#include "monitor/duplicates_monitor_workflow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

namespace zarnik {
namespace {

using testing::ManualClock;
using testing::TestDir;

constexpr size_t kSize = 100'000;

struct Watching {
  ManualClock clock;
  std::shared_ptr<DuplicatesMonitorStateStorage> storage =
      DuplicatesMonitorStateStorage::open(":memory:").value();
  std::shared_ptr<DuplicatesMonitorScanService> service;
  std::shared_ptr<DuplicatesMonitorWorkflow> workflow;
  std::atomic<int> rescans{0};

  explicit Watching(const std::string& folder, bool startPaused = false) {
    DuplicatesMonitorScanOptions options;
    options.background = false;
    options.clock = &clock;
    service = DuplicatesMonitorScanService::make(storage, options);
    DuplicatesMonitorWorkflow::Options workflowOptions;
    workflowOptions.clock = &clock;
    workflowOptions.stateChanged = [this](DuplicatesMonitorState state) {
      if (state == DuplicatesMonitorState::scanning) ++rescans;
    };
    workflow = DuplicatesMonitorWorkflow::make(storage, service, workflowOptions);
    workflow->setLocations({folder});
    if (startPaused) workflow->setPausedByRequest(true);
    workflow->start();
    if (startPaused) return;
    settle();
    rescans = 0;  // the first walk
  }
  ~Watching() { workflow->stop(); }

  void settle() { ASSERT_TRUE(workflow->settle().wait().hasValue()); }
  // Lets the workflow's queue handle what was asked before.
  void drain() {
    workflow->queue()->sync([] {});
  }
  std::set<std::string> stored() {
    std::set<std::string> paths;
    storage->queue()->sync([&] {
      for (const auto& location : storage->monitoredLocations()) {
        for (auto& path : storage->storedPathsUnder(location.path())) paths.insert(path);
      }
    });
    return paths;
  }
};

TEST(MonitorWorkflow, ABurstOfRequestsIsOneRescanAfterTwoQuietSecondsAndRecursiveWhenAnyAsked) {
  TestDir dir;
  dir.fileOfSize("original.bin", kSize, 'o');
  Watching watching(dir.path());
  dir.fileOfSize("sub/copy.bin", kSize, 'o');

  for (int i = 0; i < 9; ++i) watching.workflow->requestRescan({dir.path(), false});
  watching.workflow->requestRescan({dir.path(), true});
  watching.drain();
  watching.clock.advance(1.0);
  watching.workflow->requestRescan({dir.path(), false});  // moves the rescan on
  watching.drain();
  watching.clock.advance(1.5);
  watching.drain();
  EXPECT_EQ(watching.rescans.load(), 0) << "two quiet seconds have not passed yet";

  watching.clock.advance(0.6);
  watching.settle();
  EXPECT_EQ(watching.rescans.load(), 1);
  EXPECT_EQ(watching.stored(), (std::set<std::string>{dir / "original.bin", dir / "sub/copy.bin"}));
}

TEST(MonitorWorkflow, AFileGoneBeforeItsRescanIsForgottenWithoutARescan) {
  TestDir dir;
  dir.fileOfSize("a.bin", kSize, 'a');
  dir.fileOfSize("b.bin", kSize, 'a');
  Watching watching(dir.path());
  ASSERT_EQ(watching.stored().size(), 2U);

  std::filesystem::remove(dir / "b.bin");
  watching.workflow->requestRescan({dir / "b.bin", false});
  watching.drain();
  watching.clock.advance(2.1);
  watching.settle();
  EXPECT_EQ(watching.rescans.load(), 0);
  EXPECT_TRUE(watching.stored().empty());
}

TEST(MonitorWorkflow, RequestsMadeWhilePausedWaitUntilResumed) {
  TestDir dir;
  dir.fileOfSize("original.bin", kSize, 'o');
  Watching watching(dir.path());

  watching.workflow->setPausedByRequest(true);
  dir.fileOfSize("copy.bin", kSize, 'o');
  watching.workflow->requestRescan({dir / "copy.bin", false});
  watching.drain();
  watching.clock.advance(5);
  watching.drain();
  EXPECT_EQ(watching.workflow->state(), DuplicatesMonitorState::paused);
  EXPECT_EQ(watching.rescans.load(), 0);

  watching.workflow->setPausedByRequest(false);
  watching.drain();
  watching.clock.advance(2.1);
  watching.settle();
  EXPECT_EQ(watching.rescans.load(), 1);
  EXPECT_EQ(watching.stored().size(), 2U);
}

// Paused means nothing is read: not even the first walk of a folder, at the start or when a
// folder is added, until the monitor is resumed.
TEST(MonitorWorkflow, StartedPausedNoFolderIsWalkedUntilResumed) {
  TestDir dir;
  TestDir added;
  dir.fileOfSize("original.bin", kSize, 'o');
  dir.fileOfSize("copy.bin", kSize, 'o');
  added.fileOfSize("third.bin", kSize, 'o');
  Watching watching(dir.path(), /*startPaused=*/true);
  watching.drain();
  watching.workflow->setLocations({dir.path(), added.path()});
  watching.drain();
  watching.clock.advance(5);
  watching.drain();
  EXPECT_EQ(watching.workflow->state(), DuplicatesMonitorState::paused);
  EXPECT_EQ(watching.rescans.load(), 0);
  EXPECT_TRUE(watching.stored().empty());

  watching.workflow->setPausedByRequest(false);
  watching.settle();
  EXPECT_EQ(watching.workflow->state(), DuplicatesMonitorState::monitoring);
  EXPECT_EQ(watching.stored(),
            (std::set<std::string>{dir / "original.bin", dir / "copy.bin", added / "third.bin"}));
}

TEST(MonitorWorkflow, PathsOutsideTheWatchedFoldersOrHiddenAreNotRescanned) {
  TestDir dir;
  TestDir elsewhere;
  dir.fileOfSize("original.bin", kSize, 'o');
  elsewhere.fileOfSize("copy.bin", kSize, 'o');
  dir.fileOfSize(".cache/copy.bin", kSize, 'o');
  Watching watching(dir.path());

  watching.workflow->requestRescan({elsewhere / "copy.bin", false});
  watching.workflow->requestRescan({dir / ".cache/copy.bin", false});
  watching.drain();
  watching.clock.advance(2.1);
  watching.settle();
  EXPECT_EQ(watching.rescans.load(), 0);
  EXPECT_TRUE(watching.stored().empty());
}

}  // namespace
}  // namespace zarnik
