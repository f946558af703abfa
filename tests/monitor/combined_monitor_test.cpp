#include "support/test_dir.h"

#include "foundation/serial_queue.h"
#include "monitor/file_system_combined_monitor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>

namespace zarnik {
namespace {

namespace fs = std::filesystem;
using Change = FileSystemChange;
using testing::TestDir;
using Paths = std::set<std::string>;

void writeFile(const std::string& path, std::string_view content) {
  std::ofstream stream(path, std::ios::binary);
  stream << content;
}

TEST(MonitoringSplit, LeavesARootWholeWhenTheIgnoredPathIsTheRootItself) {
  TestDir dir;
  dir.dir("a");
  const auto split = splitAroundIgnoredPaths({dir.path()}, {dir.path()});
  EXPECT_EQ(split.recursively, Paths{dir.path()});
  EXPECT_TRUE(split.nonRecursively.empty());
}

TEST(MonitoringSplit, WatchesTheWayDownToAnIgnoredFolderForItsOwnEntriesOnly) {
  TestDir dir;
  dir.dir("music/ignored/deep");
  dir.dir("music/rock");
  dir.dir("music/.cache");
  dir.file("music/song.mp3", "x");
  dir.dir("photos");
  dir.dir(".config");
  dir.file("notes.txt", "x");

  const auto split = splitAroundIgnoredPaths({dir.path()}, {dir / "music/ignored"});
  EXPECT_EQ(split.nonRecursively, (Paths{dir.path(), dir / "music"}));
  EXPECT_EQ(split.recursively, (Paths{dir / "music/rock", dir / "photos"}))
      << "hidden folders, files and the ignored sub-tree are left out";
}

TEST(MonitoringSplit, NeverWatchesOneIgnoredFolderAsTheSiblingOfAnother) {
  TestDir dir;
  dir.dir("a");
  dir.dir("b/c");
  dir.dir("b/d");
  const auto split = splitAroundIgnoredPaths({dir.path()}, {dir / "a", dir / "b/c"});
  EXPECT_EQ(split.nonRecursively, (Paths{dir.path(), dir / "b"}));
  EXPECT_EQ(split.recursively, (Paths{dir / "b/d"}));
}

TEST(MonitoringSplit, ComparesPathsByWholeNames) {
  TestDir dir;
  const std::string root = dir.dir("photos");
  dir.dir("photos-old/x");
  const auto split = splitAroundIgnoredPaths({root}, {dir / "photos-old/x"});
  EXPECT_EQ(split.recursively, Paths{root});
  EXPECT_TRUE(split.nonRecursively.empty());
}

TEST(MonitoringSplit, LeavesRootsWithoutIgnoredPathsWhole) {
  TestDir dir;
  const std::string first = dir.dir("first/sub");
  const std::string second = dir.dir("second");
  dir.dir("second/skip");
  dir.dir("second/keep");
  const auto split = splitAroundIgnoredPaths({dir / "first", second}, {dir / "second/skip"});
  EXPECT_EQ(split.recursively, (Paths{dir / "first", dir / "second/keep"}));
  EXPECT_EQ(split.nonRecursively, Paths{second});
}

// Records what the combined monitor tells it, and on which queue.
class RecordingObserver final : public FileSystemCombinedMonitorObserver {
 public:
  std::shared_ptr<Executor> observerQueue() const override { return queue_; }
  void fileSystemEvent(std::uint64_t, const std::string& path, FileSystemChange change) override {
    record("event " + path + (change.contains(Change::created) ? " created" : ""));
  }
  void directoryChanged(const std::string& path) override { record("folder " + path); }

  bool waitFor(const std::string& line) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return lines_.contains(line); });
  }
  bool has(const std::string& line) {
    std::lock_guard lock(mutex_);
    return lines_.contains(line);
  }
  bool allOnItsQueue() {
    std::lock_guard lock(mutex_);
    return allOnQueue_;
  }

 private:
  void record(std::string line) {
    {
      std::lock_guard lock(mutex_);
      allOnQueue_ = allOnQueue_ && queue_->isCurrent();
      lines_.insert(std::move(line));
    }
    changed_.notify_all();
  }
  std::shared_ptr<SerialQueue> queue_ = SerialQueue::make("test.combined.observer");
  std::mutex mutex_;
  std::condition_variable changed_;
  std::set<std::string> lines_;
  bool allOnQueue_ = true;
};

TEST(FileSystemCombinedMonitor, ReportsChangesEverywhereButInTheIgnoredSubTree) {
  TestDir dir;
  dir.dir("music/ignored");
  dir.dir("music/rock");
  auto monitor = FileSystemCombinedMonitor::make();
  auto observer = std::make_shared<RecordingObserver>();
  monitor->addObserver(observer);
  monitor->setConfiguration({{dir.path()}, {dir / "music/ignored"}});
  monitor->start();
  ASSERT_TRUE(monitor->isRunning());
  EXPECT_EQ(monitor->urlsToObserveNonRecursively(),
            (std::vector<std::string>{dir.path(), dir / "music"}));
  EXPECT_EQ(monitor->recursiveStatus().watchedFolders, 1u) << "music/rock only";

  writeFile(dir / "music/ignored/skip.mp3", "x");
  writeFile(dir / "music/rock/song.mp3", "x");
  writeFile(dir / "top.txt", "x");
  writeFile(dir / "music/beside.mp3", "x");
  EXPECT_TRUE(observer->waitFor("event " + (dir / "music/rock/song.mp3") + " created"));
  EXPECT_TRUE(observer->waitFor("folder " + dir.path()));
  EXPECT_TRUE(observer->waitFor("folder " + (dir / "music")));
  EXPECT_FALSE(observer->has("event " + (dir / "music/ignored/skip.mp3") + " created"));
  EXPECT_FALSE(observer->has("folder " + (dir / "music/ignored")));
  EXPECT_TRUE(observer->allOnItsQueue());

  monitor->stop();
  EXPECT_FALSE(monitor->isRunning());
  EXPECT_EQ(monitor->recursiveStatus().watchedFolders, 0u);
}

TEST(FileSystemCombinedMonitor, AppliesANewConfigurationWhileRunningByStartingAgain) {
  TestDir first;
  TestDir second;
  auto monitor = FileSystemCombinedMonitor::make();
  auto observer = std::make_shared<RecordingObserver>();
  monitor->addObserver(observer);
  monitor->setConfiguration({{first.path()}, {}});
  monitor->start();
  monitor->setConfiguration({{second.path()}, {}});
  EXPECT_TRUE(monitor->isRunning());
  writeFile(second / "new.txt", "x");
  EXPECT_TRUE(observer->waitFor("event " + (second / "new.txt") + " created"));
}

}  // namespace
}  // namespace zarnik
