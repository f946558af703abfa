#include "monitor/file_system_monitor.h"

#include "support/test_dir.h"

#include "monitor/event_recorder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sys/mount.h>

namespace zarnik {
namespace {

namespace fs = std::filesystem;
using Change = FileSystemChange;
using testing::EventRecorder;
using testing::TestDir;

void writeFile(const std::string& path, std::string_view content) {
  std::ofstream stream(path, std::ios::binary);
  stream << content;
}

// A monitor started on one or more folders, with a recorder as its observer.
struct Watching {
  explicit Watching(std::vector<std::string> roots)
      : monitor(FileSystemMonitor::make({std::move(roots), {}})),
        recorder(std::make_shared<EventRecorder>()) {
    monitor->add(recorder);
    monitor->start();
  }
  std::shared_ptr<FileSystemMonitor> monitor;
  std::shared_ptr<EventRecorder> recorder;
};

TEST(FileSystemMonitor, ReportsAFileCreatedWrittenAndDeleted) {
  TestDir dir;
  Watching watching({dir.path()});
  ASSERT_TRUE(watching.monitor->isRunning());
  const std::string file = dir / "photo.jpg";

  writeFile(file, "pixels");
  EXPECT_TRUE(watching.recorder->waitFor(file, Change::created | Change::isFile));
  EXPECT_TRUE(watching.recorder->waitFor(file, Change::modified | Change::isFile));
  fs::remove(file);
  EXPECT_TRUE(watching.recorder->waitFor(file, Change::removed | Change::isFile));
}

TEST(FileSystemMonitor, WatchesFoldersAsTheyAppearAndReportsWhatIsInThem) {
  TestDir dir;
  Watching watching({dir.path()});
  fs::create_directories(dir / "a/b/c");
  writeFile(dir / "a/b/c/early.txt", "made before c may have been watched");
  EXPECT_TRUE(watching.recorder->waitFor(dir / "a", Change::created | Change::isDirectory));
  EXPECT_TRUE(watching.recorder->waitFor(dir / "a/b/c", Change::created | Change::isDirectory));
  EXPECT_TRUE(
      watching.recorder->waitFor(dir / "a/b/c/early.txt", Change::created | Change::isFile));

  writeFile(dir / "a/b/c/late.txt", "made once c is watched");
  EXPECT_TRUE(watching.recorder->waitFor(dir / "a/b/c/late.txt", Change::modified));
  EXPECT_EQ(watching.monitor->status().watchedFolders, 4u);
  EXPECT_EQ(watching.monitor->kernelWatchCount(), 4);
}

TEST(FileSystemMonitor, ReportsEveryItemOfAFolderTreeMovedIn) {
  TestDir dir;
  TestDir outside;
  outside.file("album/cd1/track1.flac", "1");
  outside.file("album/cd2/track2.flac", "2");
  outside.symlink("album/latest", "cd2");
  Watching watching({dir.path()});

  fs::rename(outside / "album", dir / "album");
  EXPECT_TRUE(watching.recorder->waitFor(dir / "album", Change::created | Change::isDirectory));
  EXPECT_TRUE(
      watching.recorder->waitFor(dir / "album/cd1/track1.flac", Change::created | Change::isFile));
  EXPECT_TRUE(
      watching.recorder->waitFor(dir / "album/cd2/track2.flac", Change::created | Change::isFile));
  EXPECT_TRUE(
      watching.recorder->waitFor(dir / "album/latest", Change::created | Change::isSymlink));
  EXPECT_EQ(watching.monitor->status().watchedFolders, 4u);

  writeFile(dir / "album/cd1/bonus.flac", "3");
  EXPECT_TRUE(watching.recorder->waitFor(dir / "album/cd1/bonus.flac", Change::modified));
}

TEST(FileSystemMonitor, ReportsARenameOnBothNamesAndFollowsTheRenamedFolder) {
  TestDir dir;
  dir.file("old/inner/a.txt", "a");
  Watching watching({dir.path()});

  fs::rename(dir / "old", dir / "new");
  EXPECT_TRUE(watching.recorder->waitFor(dir / "old", Change::renamed | Change::isDirectory));
  EXPECT_TRUE(watching.recorder->waitFor(dir / "new", Change::renamed | Change::isDirectory));

  writeFile(dir / "new/inner/b.txt", "b");
  EXPECT_TRUE(
      watching.recorder->waitFor(dir / "new/inner/b.txt", Change::created | Change::isFile));
  EXPECT_FALSE(watching.recorder->has(dir / "old/inner/b.txt", Change::created));

  fs::rename(dir / "new/inner/a.txt", dir / "new/inner/c.txt");
  EXPECT_TRUE(
      watching.recorder->waitFor(dir / "new/inner/a.txt", Change::renamed | Change::isFile));
  EXPECT_TRUE(
      watching.recorder->waitFor(dir / "new/inner/c.txt", Change::renamed | Change::isFile));
  EXPECT_EQ(watching.monitor->status().watchedFolders, 3u);
}

TEST(FileSystemMonitor, DropsTheWatchesOfAFolderDeletedOrMovedOut) {
  TestDir dir;
  TestDir outside;
  dir.file("deleted/sub/f.txt", "f");
  dir.file("moved/sub/g.txt", "g");
  Watching watching({dir.path()});
  ASSERT_EQ(watching.monitor->kernelWatchCount(), 5);

  fs::remove_all(dir / "deleted");
  EXPECT_TRUE(watching.recorder->waitFor(dir / "deleted", Change::removed | Change::isDirectory));
  fs::rename(dir / "moved", outside / "moved");
  EXPECT_TRUE(watching.recorder->waitFor(dir / "moved", Change::removed | Change::isDirectory));

  EXPECT_EQ(watching.monitor->status().watchedFolders, 1u);
  EXPECT_EQ(watching.monitor->kernelWatchCount(), 1)
      << "a folder moved out must not stay watched where it went";
}

TEST(FileSystemMonitor, ReportsARootDeletedAsRootChanged) {
  TestDir dir;
  const std::string root = dir.dir("root");
  dir.dir("root/sub");
  Watching watching({root});

  fs::remove_all(root);
  EXPECT_TRUE(watching.recorder->waitFor(root, Change::rootChanged | Change::isDirectory));
  EXPECT_EQ(watching.monitor->status().watchedFolders, 0u);
}

TEST(FileSystemMonitor, NeverFollowsARootReplacedByASymbolicLink) {
  TestDir dir;
  const std::string root = dir.dir("root");
  const std::string elsewhere = dir.dir("elsewhere");
  Watching watching({root});

  fs::rename(root, dir / "root-moved-away");
  EXPECT_TRUE(watching.recorder->waitFor(root, Change::rootChanged | Change::isDirectory));
  EXPECT_EQ(watching.monitor->kernelWatchCount(), 0)
      << "the moved folder is not watched where it went";
  fs::create_directory_symlink(elsewhere, root);

  watching.monitor->setMonitoredPaths({root});  // a restart finds the link
  const auto status = watching.monitor->status();
  EXPECT_EQ(status.watchedFolders, 0u);
  EXPECT_EQ(status.foldersNotWatched, 1u);
  ASSERT_TRUE(status.firstFailure.has_value());
  EXPECT_EQ(status.firstFailure->code, ENOTDIR);
  EXPECT_EQ(status.firstFailure->path, root);
  EXPECT_EQ(watching.monitor->kernelWatchCount(), 0);
}

TEST(FileSystemMonitor, ReportsAVolumeUnmountedBelowARootOnceAndDropsItsWatches) {
  TestDir dir;
  const std::string mountPoint = dir.dir("usb");
  if (::mount("zarnik-test", mountPoint.c_str(), "tmpfs", 0, nullptr) != 0) {
    GTEST_SKIP() << "mounting a memory-backed volume needs the right to mount";
  }
  fs::create_directories(mountPoint + "/photos/2024");
  Watching watching({dir.path()});
  ASSERT_EQ(watching.monitor->status().watchedFolders, 4u);

  ASSERT_EQ(::umount(mountPoint.c_str()), 0);
  EXPECT_TRUE(watching.recorder->waitFor(mountPoint, Change::unmounted | Change::isDirectory));
  EXPECT_EQ(watching.monitor->status().watchedFolders, 1u) << "the volume's watches went with it";
  for (const auto& event : watching.recorder->events()) {
    if (event.change.contains(Change::unmounted)) {
      EXPECT_EQ(event.path, mountPoint) << "reported once, where it was mounted";
    }
  }
  EXPECT_EQ(watching.monitor->kernelWatchCount(), 1);
}

TEST(FileSystemMonitor, AsksForAFullRescanOfEachRootWhenTheKernelQueueOverflowed) {
  TestDir dir;
  const std::string first = dir.dir("first");
  const std::string second = dir.dir("second");
  Watching watching({first, second});

  watching.monitor->handleInotifyEventsForTesting({{-1, inotify_mask::kQueueOverflowed, 0, ""}});
  const auto events = watching.recorder->events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].path, first);
  EXPECT_EQ(events[1].path, second);
  for (const auto& event : events) {
    EXPECT_TRUE(event.shouldScanSubdirs());
    EXPECT_TRUE(event.isDirectoryEvent());
  }
  EXPECT_EQ(watching.monitor->lastEventId(), events[1].identifier);
}

TEST(FileSystemMonitor, ForgetsFoldersThatAreGoneWhenTheKernelQueueOverflowed) {
  TestDir dir;
  dir.dir("sub");
  Watching watching({dir.path()});
  // A rename whose events never came true on disk stands for the events an overflow lost: the
  // monitor now believes in a folder that does not exist. The root is the instance's first watch.
  constexpr int kRootWatch = 1;
  watching.monitor->handleInotifyEventsForTesting({
      {kRootWatch, inotify_mask::kMovedFrom | inotify_mask::kIsFolder, 5, "sub"},
      {kRootWatch, inotify_mask::kMovedTo | inotify_mask::kIsFolder, 5, "phantom"},
  });
  ASSERT_EQ(watching.monitor->watchedFolderPaths(),
            (std::vector<std::string>{dir.path(), dir / "phantom"}));

  watching.monitor->handleInotifyEventsForTesting({{-1, inotify_mask::kQueueOverflowed, 0, ""}});
  EXPECT_EQ(watching.monitor->watchedFolderPaths(),
            (std::vector<std::string>{dir.path(), dir / "sub"}));
  EXPECT_EQ(watching.monitor->kernelWatchCount(), 2);
  std::ofstream(dir / "sub/f") << "x";
  EXPECT_TRUE(watching.recorder->waitFor(dir / "sub/f", Change::created));
}

TEST(FileSystemMonitor, StartsWithEventsFromNowAndRemembersTheLastEventDelivered) {
  TestDir dir;
  Watching watching({dir.path()});
  EXPECT_EQ(watching.monitor->lastEventId(), FileSystemMonitor::kEventsSinceNow);
  writeFile(dir / "f", "x");
  ASSERT_TRUE(watching.recorder->waitFor(dir / "f", Change::modified));
  const auto events = watching.recorder->events();
  for (size_t i = 1; i < events.size(); ++i)
    EXPECT_GT(events[i].identifier, events[i - 1].identifier);
  EXPECT_EQ(watching.monitor->lastEventId(), events.back().identifier);
}

TEST(FileSystemMonitor, WatchesTheNewPathsAfterAConfigurationChangeAndKeepsTheLastEventId) {
  TestDir first;
  TestDir second;
  Watching watching({first.path()});
  writeFile(first / "before", "x");
  ASSERT_TRUE(watching.recorder->waitFor(first / "before", Change::modified));
  const auto lastBefore = watching.monitor->lastEventId();

  watching.monitor->setMonitoredPaths({second.path()});
  EXPECT_TRUE(watching.monitor->isRunning());
  EXPECT_EQ(watching.monitor->lastEventId(), lastBefore);
  EXPECT_EQ(watching.monitor->kernelWatchCount(), 1);
  writeFile(second / "after", "y");
  EXPECT_TRUE(watching.recorder->waitFor(second / "after", Change::modified));
}

TEST(FileSystemMonitor, StopsCallingAnObserverThatWentAwayOrWasRemoved) {
  TestDir dir;
  Watching watching({dir.path()});
  auto removed = std::make_shared<EventRecorder>();
  auto gone = std::make_shared<EventRecorder>();
  watching.monitor->add(removed);
  watching.monitor->add(gone);
  watching.monitor->remove(removed);
  gone.reset();  // held weakly: nothing keeps it

  writeFile(dir / "f", "x");
  ASSERT_TRUE(watching.recorder->waitFor(dir / "f", Change::modified));
  EXPECT_TRUE(removed->events().empty());
}

TEST(FileSystemMonitor, StopsWatchingWhenStopped) {
  TestDir dir;
  dir.dir("sub");
  Watching watching({dir.path()});
  watching.monitor->stop();
  EXPECT_FALSE(watching.monitor->isRunning());
  EXPECT_EQ(watching.monitor->status().watchedFolders, 0u);
}

}  // namespace
}  // namespace zarnik

namespace zarnik {
namespace {

TEST(FileSystemMonitor, WithTooFewWatchesWatchesTheRootAndTheFoldersWhereDuplicatesAreLikely) {
  TestDir dir;
  dir.file("old/letter.txt", "1998");
  dir.dir("old/deeper");
  dir.file("photos/a.jpg", "a");
  dir.file("photos/b.jpg", "b");
  dir.dir("downloads/copies");
  for (const char* name : {"x.zip", "x (copy).zip", "y.pdf"})
    dir.file(std::string("downloads/copies/") + name, name);
  const long long now = std::chrono::duration_cast<std::chrono::seconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
  for (const char* folder : {"old", "old/deeper", "downloads"})
    dir.setModificationTime(folder, now - 30LL * 86400);
  for (const char* folder : {"photos", "downloads/copies"}) dir.setModificationTime(folder, now);

  FileSystemMonitorConfiguration configuration;
  configuration.monitoredPaths = {dir.path()};
  configuration.watchBudget = 3;
  configuration.duplicatesByFolder = std::make_shared<std::unordered_map<std::string, long>>(
      std::unordered_map<std::string, long>{{dir / "downloads/copies", 2}});
  auto monitor = FileSystemMonitor::make(configuration);
  auto recorder = std::make_shared<EventRecorder>();
  monitor->add(recorder);
  monitor->start();

  // Recently changed, many files, many of them duplicates: the copies folder, then the photos;
  // the folders nearest the root that the walk met first are old and nearly empty.
  EXPECT_EQ(monitor->watchedFolderPaths(),
            (std::vector<std::string>{dir.path(), dir / "downloads/copies", dir / "photos"}));
  const auto status = monitor->status();
  EXPECT_TRUE(status.watchLimitReached);
  EXPECT_EQ(status.watchBudget, 3);
  EXPECT_EQ(status.foldersNotWatched, 3U);  // old, old/deeper, downloads
  EXPECT_EQ(monitor->kernelWatchCount(), 3) << "the watches given up are gone from the kernel";

  writeFile(dir / "downloads/copies/z.zip", "new");
  EXPECT_TRUE(recorder->waitFor(dir / "downloads/copies/z.zip", Change::created | Change::isFile));
  monitor->stop();
}

}  // namespace
}  // namespace zarnik
