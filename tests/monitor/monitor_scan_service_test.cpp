// The monitor's engine and store together: walks of watched folders, rescans of what changed,
// and what the store keeps and calls news.
#include "support/test_dir.h"

#include "monitor/duplicates_monitor_scan_service.h"
#include "store/managed_object_context.h"
#include "store/persistent_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace zarnik {
namespace {

using testing::TestDir;

constexpr size_t kSize = 100'000;  // above the first-block gate's block

struct Monitor {
  std::shared_ptr<DuplicatesMonitorStateStorage> storage;
  std::shared_ptr<DuplicatesMonitorScanService> service;

  explicit Monitor(const std::string& storePath = ":memory:", std::int64_t nodeLimit = 100000) {
    storage = DuplicatesMonitorStateStorage::open(storePath).value();
    DuplicatesMonitorScanOptions options;
    options.nodeLimit = nodeLimit;
    options.background = false;
    service = DuplicatesMonitorScanService::make(storage, options);
  }
  ~Monitor() { service->stop(); }

  void watch(const std::string& folder) {
    MonitoredLocationInfo location{ScanLocation::make(folder, OVURLResolver::shared()), false,
                                   true};
    onStorage([&] { ASSERT_TRUE(storage->addLocations({location}).hasValue()); });
    ASSERT_TRUE(service->scanLocation(location).wait().hasValue());
    ASSERT_TRUE(service->forgetWhatWalksDidNotConfirm({folder}).wait().hasValue());
  }
  void rescan(std::vector<RescanTask> tasks) {
    ASSERT_TRUE(service->rescan(std::move(tasks)).wait().hasValue());
    ASSERT_TRUE(service->flush().wait().hasValue());
    onStorage([] {});  // the save reached the store
  }
  void onStorage(const std::function<void()>& work) { storage->queue()->sync(work); }
  std::set<std::string> storedUnder(const std::string& folder) {
    std::set<std::string> paths;
    onStorage([&] {
      for (auto& path : storage->storedPathsUnder(folder)) paths.insert(path);
    });
    return paths;
  }
};

TEST(MonitorScanService, AWalkStoresTheGroupsItFindsWithoutCallingThemNews) {
  TestDir dir;
  dir.fileOfSize("a/one.bin", kSize, 'a');
  dir.fileOfSize("b/two.bin", kSize, 'a');
  dir.fileOfSize("b/other.bin", kSize, 'b');
  Monitor monitor;
  monitor.watch(dir.path());

  EXPECT_EQ(monitor.storedUnder(dir.path()),
            (std::set<std::string>{dir / "a/one.bin", dir / "b/two.bin"}));
  EXPECT_EQ(monitor.storage->groupCount(), 1);
  EXPECT_EQ(monitor.storage->recentDuplicatesInfo().totalCount, 0);
  EXPECT_EQ(monitor.service->knownFileCount(), 3);
}

TEST(MonitorScanService, ACopyListedByARescanIsARecentDuplicateAndItsOriginalIsNot) {
  TestDir dir;
  dir.fileOfSize("photos/original.jpg", kSize, 'p');
  Monitor monitor;
  monitor.watch(dir.path());
  ASSERT_EQ(monitor.storage->groupCount(), 0);

  dir.fileOfSize("downloads/copy.jpg", kSize, 'p');
  monitor.rescan({{dir / "downloads", true}});

  const auto info = monitor.storage->recentDuplicatesInfo();
  ASSERT_EQ(info.newCount, 1);
  EXPECT_EQ(info.newDuplicates.front().path, dir / "downloads/copy.jpg");
  EXPECT_EQ(info.newSize, static_cast<std::int64_t>(kSize));
  EXPECT_EQ(monitor.storedUnder(dir.path()).size(), 2U);

  // Marked as seen, it stays so: a status never goes back down.
  monitor.onStorage([&] {
    ASSERT_TRUE(monitor.storage->mark(info.newIDs, RecentDuplicateStatus::viewed).hasValue());
    ASSERT_TRUE(monitor.storage->mark(info.newIDs, RecentDuplicateStatus::notified).hasValue());
  });
  EXPECT_EQ(monitor.storage->recentDuplicatesInfo().newCount, 0);
  EXPECT_EQ(monitor.storage->recentDuplicatesInfo().notViewedCount, 0);
}

// Every stored copy, group by group, with whether it is marked ignored, read from the store file
// as a review reads it.
using StoredCopies = std::vector<std::vector<std::pair<std::string, bool>>>;
StoredCopies storedCopies(const std::string& storePath) {
  auto store = OVPersistentStoreSpecification::diskPersistentStore(ManagedObjectModel::fileModel(),
                                                                   storePath)
                   .buildPersistentStore();
  StoredCopies groups;
  if (store.hasError()) return groups;
  auto context = ManagedObjectContext::make(std::move(store.value()));
  if (context.hasError()) return groups;
  (void)context.value()->forEachEquivalence([&](ZKEquivalence& group) {
    auto& copies = groups.emplace_back();
    for (const auto& copy : group.duplicates)
      copies.emplace_back(copy.node()->path(), copy.ignored);
    std::sort(copies.begin(), copies.end());
    return true;
  });
  return groups;
}

TEST(MonitorScanService, AnIgnoredCopyIsNoNewsAndStaysMarkedWhenItsGroupChangesOrTheStoreReopens) {
  TestDir dir;
  TestDir store;
  dir.fileOfSize("photos/original.jpg", kSize, 'p');
  const std::string copy = dir / "downloads/copy.jpg";
  {
    Monitor monitor(store / "monitor.db");
    monitor.watch(dir.path());
    dir.fileOfSize("downloads/copy.jpg", kSize, 'p');
    monitor.rescan({{dir / "downloads", true}});
    ASSERT_EQ(monitor.storage->recentDuplicatesInfo().newCount, 1);

    monitor.onStorage([&] { ASSERT_TRUE(monitor.storage->setIgnoredCopies({copy}).hasValue()); });
    auto info = monitor.storage->recentDuplicatesInfo();
    EXPECT_EQ(info.newCount, 0);
    EXPECT_EQ(info.notViewedCount, 0);
    ASSERT_EQ(info.latest.size(), 1U);
    EXPECT_TRUE(info.latest.front().isIgnored);

    // The group is saved again with a third copy: the ignored one keeps its mark, the new one
    // is news.
    dir.fileOfSize("downloads/again.jpg", kSize, 'p');
    monitor.rescan({{dir / "downloads/again.jpg", false}});
    info = monitor.storage->recentDuplicatesInfo();
    EXPECT_EQ(info.newCount, 1);
    EXPECT_EQ(info.newDuplicates.front().path, dir / "downloads/again.jpg");
  }
  EXPECT_EQ(storedCopies(store / "monitor.db"),
            (StoredCopies{{{dir / "downloads/again.jpg", false},
                           {copy, true},
                           {dir / "photos/original.jpg", false}}}));

  Monitor again(store / "monitor.db");
  again.onStorage([&] { ASSERT_TRUE(again.storage->setIgnoredCopies({}).hasValue()); });
  EXPECT_EQ(storedCopies(store / "monitor.db"),
            (StoredCopies{{{dir / "downloads/again.jpg", false},
                           {copy, false},
                           {dir / "photos/original.jpg", false}}}));
}

TEST(MonitorScanService, ACopyThatLeavesAndComesBackMakesAGroupOfTwoAgain) {
  TestDir dir;
  TestDir store;
  dir.fileOfSize("report.pdf", kSize, 'r');
  dir.fileOfSize("report (copy).pdf", kSize, 'r');
  Monitor monitor(store / "monitor.db");
  monitor.watch(dir.path());
  const StoredCopies pair{{{dir / "report (copy).pdf", false}, {dir / "report.pdf", false}}};
  ASSERT_EQ(storedCopies(store / "monitor.db"), pair);

  std::filesystem::rename(dir / "report (copy).pdf", store / "away.pdf");
  monitor.rescan({{dir / "report (copy).pdf", false}});
  EXPECT_EQ(monitor.storage->groupCount(), 0);
  std::filesystem::rename(store / "away.pdf", dir / "report (copy).pdf");
  monitor.rescan({{dir / "report (copy).pdf", false}});
  EXPECT_EQ(storedCopies(store / "monitor.db"), pair);
}

TEST(MonitorScanService, ACopyPutBackWhereItWasIsWhatItWasBeforeAndNotNews) {
  TestDir dir;
  TestDir away;
  dir.fileOfSize("photos/original.jpg", kSize, 'p');
  Monitor monitor;
  monitor.watch(dir.path());
  dir.fileOfSize("downloads/seen.jpg", kSize, 'p');
  dir.fileOfSize("downloads/unseen.jpg", kSize, 'p');
  monitor.rescan({{dir / "downloads", true}});
  auto info = monitor.storage->recentDuplicatesInfo();
  ASSERT_EQ(info.newCount, 2);
  const auto seen =
      std::find_if(info.newDuplicates.begin(), info.newDuplicates.end(),
                   [&](const auto& d) { return d.path == dir / "downloads/seen.jpg"; });
  ASSERT_NE(seen, info.newDuplicates.end());
  monitor.onStorage([&] {
    ASSERT_TRUE(monitor.storage->mark({seen->id}, RecentDuplicateStatus::viewed).hasValue());
  });

  // Cleaned to the trash and put back: each copy as it was, the original no news either.
  for (const char* name : {"downloads/seen.jpg", "downloads/unseen.jpg", "photos/original.jpg"})
    std::filesystem::rename(dir / name, away / std::filesystem::path(name).filename().string());
  monitor.rescan({{dir / "downloads", true}, {dir / "photos", true}});
  ASSERT_EQ(monitor.storage->recentDuplicatesInfo().totalCount, 0);
  for (const char* name : {"downloads/seen.jpg", "downloads/unseen.jpg", "photos/original.jpg"})
    std::filesystem::rename(away / std::filesystem::path(name).filename().string(), dir / name);
  monitor.rescan({{dir / "downloads", true}, {dir / "photos", true}});

  info = monitor.storage->recentDuplicatesInfo();
  EXPECT_EQ(monitor.storage->groupCount(), 1);
  EXPECT_EQ(info.totalCount, 2);
  EXPECT_EQ(info.notViewedCount, 1);
  ASSERT_EQ(info.newCount, 1);
  EXPECT_EQ(info.newDuplicates.front().path, dir / "downloads/unseen.jpg");

  // A copy made afresh is news as ever.
  dir.fileOfSize("downloads/third.jpg", kSize, 'p');
  monitor.rescan({{dir / "downloads/third.jpg", false}});
  EXPECT_EQ(monitor.storage->recentDuplicatesInfo().newCount, 2);
}

TEST(MonitorScanService, ARemovedCopyLeavesItsGroupAndAGroupOfOneIsForgotten) {
  TestDir dir;
  dir.fileOfSize("a.bin", kSize, 'a');
  dir.fileOfSize("b.bin", kSize, 'a');
  dir.fileOfSize("c.bin", kSize, 'a');
  Monitor monitor;
  monitor.watch(dir.path());
  ASSERT_EQ(monitor.storedUnder(dir.path()).size(), 3U);

  std::filesystem::remove(dir / "c.bin");
  monitor.rescan({{dir / "c.bin", false}});
  EXPECT_EQ(monitor.storedUnder(dir.path()), (std::set<std::string>{dir / "a.bin", dir / "b.bin"}));

  std::filesystem::remove(dir / "b.bin");
  monitor.rescan({{dir.path(), false}});  // the folder's own entries, as after a directory event
  EXPECT_TRUE(monitor.storedUnder(dir.path()).empty());
  EXPECT_EQ(monitor.storage->groupCount(), 0);
}

TEST(MonitorScanService, AFileRewrittenWithOtherContentLeavesItsGroup) {
  TestDir dir;
  dir.fileOfSize("a.bin", kSize, 'a');
  dir.fileOfSize("b.bin", kSize, 'a');
  dir.fileOfSize("c.bin", kSize, 'a');
  Monitor monitor;
  monitor.watch(dir.path());

  dir.fileOfSize("c.bin", kSize + 1, 'z');
  monitor.rescan({{dir / "c.bin", false}});
  EXPECT_EQ(monitor.storedUnder(dir.path()), (std::set<std::string>{dir / "a.bin", dir / "b.bin"}));
}

TEST(MonitorScanService, AFileRewrittenIntoACopyOfAnotherJoinsItsGroupAsNews) {
  TestDir dir;
  dir.fileOfSize("a.bin", kSize, 'a');
  dir.fileOfSize("b.bin", kSize, 'b');
  Monitor monitor;
  monitor.watch(dir.path());
  ASSERT_EQ(monitor.storage->groupCount(), 0);

  dir.fileOfSize("b.bin", kSize, 'a');
  dir.setModificationTime("b.bin", 1'700'000'000);
  monitor.rescan({{dir / "b.bin", false}});
  EXPECT_EQ(monitor.storedUnder(dir.path()), (std::set<std::string>{dir / "a.bin", dir / "b.bin"}));
  EXPECT_EQ(monitor.storage->recentDuplicatesInfo().newCount, 1);
}

TEST(MonitorScanService, AFolderRemovedTakesEveryCopyBelowItAlong) {
  TestDir dir;
  dir.fileOfSize("keep/a.bin", kSize, 'a');
  dir.fileOfSize("gone/deep/b.bin", kSize, 'a');
  dir.fileOfSize("gone/c.bin", kSize, 'a');
  Monitor monitor;
  monitor.watch(dir.path());
  ASSERT_EQ(monitor.storedUnder(dir.path()).size(), 3U);

  std::filesystem::remove_all(dir / "gone");
  monitor.rescan({{dir / "gone", true}});
  EXPECT_TRUE(monitor.storedUnder(dir.path()).empty());
  EXPECT_EQ(monitor.service->knownFileCount(), 1);
}

TEST(MonitorScanService, AStoreOpenedAgainKeepsItsGroupsAndForgetsWhatWentWhileAway) {
  TestDir dir;
  TestDir store;
  dir.fileOfSize("a.bin", kSize, 'a');
  dir.fileOfSize("b.bin", kSize, 'a');
  dir.fileOfSize("x.bin", kSize, 'x');
  dir.fileOfSize("y.bin", kSize, 'x');
  std::int64_t newBefore = 0;
  {
    Monitor monitor(store / "monitor.db");
    monitor.watch(dir.path());
    dir.fileOfSize("c.bin", kSize, 'a');
    monitor.rescan({{dir / "c.bin", false}});
    newBefore = monitor.storage->recentDuplicatesInfo().newCount;
  }
  ASSERT_EQ(newBefore, 1);
  std::filesystem::remove(dir / "y.bin");  // while the monitor is away

  Monitor again(store / "monitor.db");
  EXPECT_EQ(again.storage->monitoredLocations().size(), 1U);
  EXPECT_EQ(again.storedUnder(dir.path()).size(), 5U);  // as saved
  EXPECT_EQ(again.storage->recentDuplicatesInfo().newCount, 1);
  ASSERT_TRUE(
      again.service->scanLocation(again.storage->monitoredLocations().front()).wait().hasValue());
  ASSERT_TRUE(again.service->forgetWhatWalksDidNotConfirm({dir.path()}).wait().hasValue());
  EXPECT_EQ(again.storedUnder(dir.path()),
            (std::set<std::string>{dir / "a.bin", dir / "b.bin", dir / "c.bin"}));
  EXPECT_EQ(again.storage->recentDuplicatesInfo().newCount, 1);  // the copy is still news
}

TEST(MonitorScanService, NewsWhoseGroupSpansTwoFoldersSurvivesARestart) {
  TestDir downloads;
  TestDir pictures;
  TestDir store;
  pictures.fileOfSize("original.jpg", kSize, 'o');
  {
    Monitor monitor(store / "monitor.db");
    monitor.watch(downloads.path());
    monitor.watch(pictures.path());
    downloads.fileOfSize("copy.jpg", kSize, 'o');
    monitor.rescan({{downloads / "copy.jpg", false}});
    ASSERT_EQ(monitor.storage->recentDuplicatesInfo().newCount, 1);
  }
  Monitor again(store / "monitor.db");
  // The first folder walked alone holds only one copy of the group: nothing may be forgotten
  // before both were walked.
  for (const auto& location : again.storage->monitoredLocations())
    ASSERT_TRUE(again.service->scanLocation(location).wait().hasValue());
  ASSERT_TRUE(again.service->forgetWhatWalksDidNotConfirm({downloads.path(), pictures.path()})
                  .wait()
                  .hasValue());
  again.onStorage([] {});
  EXPECT_EQ(again.storage->recentDuplicatesInfo().newCount, 1);
  EXPECT_EQ(again.storage->groupCount(), 1);
}

TEST(MonitorScanService, TheNodeLimitKeepsFurtherFilesOut) {
  TestDir dir;
  for (int i = 0; i < 5; ++i)
    dir.fileOfSize("f" + std::to_string(i), kSize, static_cast<char>('a' + i));
  Monitor monitor(":memory:", 3);
  monitor.watch(dir.path());
  EXPECT_EQ(monitor.service->knownFileCount(), 3);
  EXPECT_TRUE(monitor.service->reachedNodeLimit());
}

}  // namespace
}  // namespace zarnik
