#include "platform/inotify_watcher.h"

#include "support/test_dir.h"

#include "platform/folder_listing.h"

#include <gtest/gtest.h>

#include <fstream>

namespace zarnik {
namespace {

using testing::TestDir;

TEST(InotifyDecoding, ReadsBackWhatTheKernelPacksWithPaddedNames) {
  const std::vector<InotifyEvent> events{
      {1, inotify_mask::kCreated | inotify_mask::kIsFolder, 0, "new folder"},
      {1, inotify_mask::kMovedFrom, 77, "a-name-longer-than-sixteen-bytes.txt"},
      {2, inotify_mask::kWatchedFolderDeleted, 0, ""},
      {-1, inotify_mask::kQueueOverflowed, 0, ""},
  };
  const auto bytes = encodeInotifyEvents(events);
  EXPECT_EQ(decodeInotifyEvents(bytes), events);
}

TEST(InotifyDecoding, DropsATruncatedLastEvent) {
  const auto bytes = encodeInotifyEvents(
      {{1, inotify_mask::kCreated, 0, "kept"}, {1, inotify_mask::kDeleted, 0, "cut"}});
  const auto decoded = decodeInotifyEvents(std::span(bytes).first(bytes.size() - 4));
  ASSERT_EQ(decoded.size(), 1u);
  EXPECT_EQ(decoded[0].name, "kept");
}

TEST(InotifyWatcher, ReportsAnEntryMadeInAWatchedFolder) {
  TestDir dir;
  auto watcher = InotifyWatcher::open();
  ASSERT_TRUE(watcher.hasValue());
  auto watch = watcher.value().watchFolder(dir.path());
  ASSERT_TRUE(watch.hasValue());
  EXPECT_TRUE(watcher.value().readEvents().value().empty()) << "nothing yet, and no blocking";
  dir.file("made.txt", "x");
  const auto events = watcher.value().readEvents().value();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events[0].watch, watch.value());
  EXPECT_TRUE(events[0].has(inotify_mask::kCreated));
  EXPECT_EQ(events[0].name, "made.txt");
  EXPECT_EQ(watcher.value().watchCount(), 1);
  watcher.value().unwatch(watch.value());
  EXPECT_EQ(watcher.value().watchCount(), 0);
}

TEST(InotifyWatcher, NamesThePathAndTheReasonWhenAFolderCannotBeWatched) {
  TestDir dir;
  auto watcher = InotifyWatcher::open();
  ASSERT_TRUE(watcher.hasValue());
  auto missing = watcher.value().watchFolder(dir / "missing");
  ASSERT_TRUE(missing.hasError());
  EXPECT_EQ(missing.error().code, ENOENT);
  EXPECT_EQ(missing.error().path, dir / "missing");
  auto file = watcher.value().watchFolder(dir.file("file", "x"));
  ASSERT_TRUE(file.hasError());
  EXPECT_EQ(file.error().code, ENOTDIR);
  auto link = watcher.value().watchFolder(dir.symlink("link", dir.dir("target")));
  ASSERT_TRUE(link.hasError()) << "a link to a folder is not followed";
  EXPECT_EQ(link.error().code, ENOTDIR);
}

TEST(InotifyLimits, ReadsTheUserWatchLimitAndCountsWatchesInUse) {
  auto limit = maxUserInotifyWatches();
  ASSERT_TRUE(limit.hasValue());
  EXPECT_GT(limit.value(), 0);
  const long before = inotifyWatchesInUse();
  TestDir dir;
  auto watcher = InotifyWatcher::open();
  (void)watcher.value().watchFolder(dir.dir("a"));
  (void)watcher.value().watchFolder(dir.dir("b"));
  EXPECT_GE(inotifyWatchesInUse(), before + 2) << "this process's own watches are counted";
}

TEST(FolderListing, ListsEntriesWithTheirKindsWithoutFollowingLinks) {
  TestDir dir;
  dir.dir("sub");
  dir.file("file", "x");
  dir.symlink("link-to-sub", "sub");
  auto entries = listFolder(dir.path());
  ASSERT_TRUE(entries.hasValue());
  std::sort(entries.value().begin(), entries.value().end(),
            [](auto& a, auto& b) { return a.name < b.name; });
  EXPECT_EQ(entries.value(),
            (std::vector<FolderEntry>{{"file", FolderEntryKind::file},
                                      {"link-to-sub", FolderEntryKind::symbolicLink},
                                      {"sub", FolderEntryKind::folder}}));
  EXPECT_EQ(folderEntryKindOf(dir / "link-to-sub").value(), FolderEntryKind::symbolicLink);
  EXPECT_TRUE(listFolder(dir / "link-to-sub").hasError());
  EXPECT_EQ(listFolder(dir / "missing").error().path, dir / "missing");
}

}  // namespace
}  // namespace zarnik
