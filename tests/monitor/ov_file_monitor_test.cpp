#include "monitor/ov_file_monitor.h"

#include "support/test_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>

namespace zarnik {
namespace {

namespace fs = std::filesystem;
using Change = FileSystemChange;
using testing::TestDir;

// Collects the changes a handler is called with. Handlers run on the pool and may still be under
// way when a test ends: they hold what they write to.
class Changes {
 public:
  OVFileMonitor::Handler handler() {
    return [state = state_](FileSystemChange change) {
      {
        std::lock_guard lock(state->mutex);
        state->seen.push_back(change);
      }
      state->changed.notify_all();
    };
  }
  bool waitFor(FileSystemChange expected) {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, std::chrono::seconds(10), [&] {
      return std::any_of(state_->seen.begin(), state_->seen.end(),
                         [&](FileSystemChange c) { return c.contains(expected); });
    });
  }
  std::vector<FileSystemChange> seen() {
    std::lock_guard lock(state_->mutex);
    return state_->seen;
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<FileSystemChange> seen;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

TEST(OVFileMonitor, ReportsChangesOfTheFolderEntriesOnly) {
  TestDir dir;
  dir.dir("sub");
  auto monitor = OVFileMonitor::make();
  Changes changes;
  ASSERT_TRUE(monitor->startObservation(dir.path(), changes.handler()));
  EXPECT_TRUE(monitor->isObservationValid(dir.path()));

  std::ofstream(dir / "sub/deeper.txt") << "not an entry of the folder";
  std::ofstream(dir / "entry.txt") << "x";
  EXPECT_TRUE(changes.waitFor(Change::created | Change::isFile));
  EXPECT_TRUE(changes.waitFor(Change::modified | Change::isFile));
  for (const auto change : changes.seen())
    EXPECT_FALSE(change.contains(Change::isDirectory)) << change.description();
  EXPECT_EQ(monitor->kernelWatchCount(), 1) << "sub is not watched";
}

TEST(OVFileMonitor, KeepsTheFirstObservationOfAFolder) {
  TestDir dir;
  auto monitor = OVFileMonitor::make();
  Changes first;
  Changes second;
  EXPECT_TRUE(monitor->startObservation(dir.path(), Change::created, first.handler()));
  EXPECT_FALSE(monitor->startObservation(dir.path() + "/", second.handler()));
  EXPECT_EQ(monitor->observationCount(), 1u);
  std::ofstream(dir / "f") << "x";
  EXPECT_TRUE(first.waitFor(Change::created));
  for (const auto change : first.seen())
    EXPECT_FALSE(change.contains(Change::modified)) << "filtered out";
}

TEST(OVFileMonitor, KeepsAFolderThatCannotBeWatchedAsAnInvalidObservation) {
  TestDir dir;
  auto monitor = OVFileMonitor::make();
  Changes changes;
  EXPECT_TRUE(monitor->startObservation(dir / "missing", changes.handler()));
  EXPECT_FALSE(monitor->isObservationValid(dir / "missing"));
  EXPECT_TRUE(monitor->startObservation(dir.file("a-file", "x"), changes.handler()));
  EXPECT_FALSE(monitor->isObservationValid(dir / "a-file"));
  EXPECT_EQ(monitor->observationCount(), 2u);
  EXPECT_EQ(monitor->kernelWatchCount(), 0);
}

TEST(OVFileMonitor, WatchesAFolderDeletedAndMadeAgainAnew) {
  TestDir dir;
  const std::string folder = dir.dir("inbox");
  auto monitor = OVFileMonitor::make();
  Changes changes;
  ASSERT_TRUE(monitor->startObservation(folder, changes.handler()));

  fs::remove(folder);
  EXPECT_TRUE(changes.waitFor(Change::removed | Change::rootChanged));
  EXPECT_FALSE(monitor->isObservationValid(folder));

  fs::create_directory(folder);
  EXPECT_TRUE(changes.waitFor(Change::created | Change::isDirectory));
  EXPECT_TRUE(monitor->isObservationValid(folder));
  std::ofstream(folder + "/mail.eml") << "x";
  EXPECT_TRUE(changes.waitFor(Change::created | Change::isFile));
}

TEST(OVFileMonitor, ReleasesEveryWatchWhenObservationsStop) {
  TestDir dir;
  auto monitor = OVFileMonitor::make();
  Changes changes;
  monitor->startObservation(dir.dir("a"), changes.handler());
  monitor->startObservation(dir.dir("b"), changes.handler());
  EXPECT_EQ(monitor->kernelWatchCount(), 2);
  monitor->stopObservation(dir / "a");
  EXPECT_EQ(monitor->kernelWatchCount(), 1);
  EXPECT_FALSE(monitor->isObservationValid(dir / "a"));
  monitor->removeAllPaths();
  EXPECT_EQ(monitor->observationCount(), 0u);
  EXPECT_EQ(monitor->kernelWatchCount(), 0);
}

}  // namespace
}  // namespace zarnik
