#include "foundation/disk_access_manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <set>
#include <thread>
#include <vector>

namespace zarnik {
namespace {

ZKDiskInfo disk(const char* id, int kind, const char* volume) {
  ZKDiskInfo info;
  info.uniqueID = id;
  info.kind = kind;
  info.volumeURLs = {volume};
  return info;
}

TEST(DiskAccessManager, AThreadHoldingAccessIsLetInAgainAtTheLimit) {
  DiskAccessManager manager({disk("net", ZKDiskInfo::network, "/mnt/share")});
  auto first = manager.beginAccessingURL("/mnt/share/a", "test");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->diskUniqueID(), "net");
  auto second = manager.beginAccessingURL("/mnt/share/b", "test", QualityOfService::utility, 0.0);
  ASSERT_NE(second, nullptr);
  second->endAccessing();
  first->endAccessing();
  EXPECT_FALSE(first->isAccessing());
}

TEST(DiskAccessManager, WaitingReadersGoByPriorityThenArrival) {
  DiskAccessManager manager({disk("hdd", ZKDiskInfo::rotating, "/data")});
  auto a = manager.beginAccessingURL("/data/a", "a");
  auto b = manager.beginAccessingURL("/data/b", "b");  // same thread: re-entrant anyway
  // Two other threads hold the two places.
  std::promise<void> releases[2];
  std::atomic<int> holding{0};
  std::vector<std::thread> holders;
  a->endAccessing();
  b->endAccessing();
  for (int i = 0; i < 2; ++i) {
    holders.emplace_back([&, released = releases[i].get_future()] {
      auto session = manager.beginAccessingURL("/data/h", "holder");
      ++holding;
      released.wait();
      session->endAccessing();
    });
  }
  while (holding.load() < 2) std::this_thread::yield();

  std::mutex orderMutex;
  std::vector<std::string> order;
  auto waiter = [&](const char* name, QualityOfService qos) {
    return std::thread([&, name, qos] {
      auto session = manager.beginAccessingURL("/data/w", name, qos);
      {
        std::lock_guard lock(orderMutex);
        order.emplace_back(name);
      }
      session->endAccessing();
    });
  };
  auto background = waiter("background", QualityOfService::background);
  while (manager.waitingRequestCount("hdd") < 1) std::this_thread::yield();
  auto utility1 = waiter("utility1", QualityOfService::utility);
  while (manager.waitingRequestCount("hdd") < 2) std::this_thread::yield();
  auto utility2 = waiter("utility2", QualityOfService::utility);
  while (manager.waitingRequestCount("hdd") < 3) std::this_thread::yield();
  auto interactive = waiter("interactive", QualityOfService::userInteractive);
  while (manager.waitingRequestCount("hdd") < 4) std::this_thread::yield();

  // One place frees up: each waiter gets it only when the one before has ended; the background
  // reader only once nobody else reads from the disk.
  releases[0].set_value();
  for (auto* t : {&utility1, &utility2, &interactive}) t->join();
  releases[1].set_value();
  background.join();
  for (auto& t : holders) t.join();
  EXPECT_EQ(order, (std::vector<std::string>{"interactive", "utility1", "utility2", "background"}));
}

TEST(DiskAccessManager, ATimedOutReaderGetsNothingAndLeavesNoTrace) {
  DiskAccessManager manager(std::vector<ZKDiskInfo>{});
  std::promise<void> release;
  std::promise<void> holding;
  std::thread holder([&] {
    auto session = manager.beginAccessingURL("/anywhere", "holder");  // unknown disk: limit 1
    holding.set_value();
    release.get_future().wait();
  });
  holding.get_future().wait();
  auto refused =
      manager.beginAccessingURL("/anywhere/else", "late", QualityOfService::utility, 0.1);
  EXPECT_EQ(refused, nullptr);
  EXPECT_EQ(manager.waitingRequestCount("unknown"), 0u);
  release.set_value();
  holder.join();
  auto granted =
      manager.beginAccessingURL("/anywhere/else", "after", QualityOfService::utility, 0.1);
  EXPECT_NE(granted, nullptr);
}

TEST(DiskAccessManager, BackgroundReadersWaitForAnyOtherReaderWhileOthersDoNot) {
  DiskAccessManager manager({disk("ssd", ZKDiskInfo::solidState, "/")});
  std::promise<void> release;
  std::promise<void> holding;
  std::thread holder([&] {
    auto session = manager.beginAccessingURL("/a", "holder", QualityOfService::background);
    holding.set_value();
    release.get_future().wait();
  });
  holding.get_future().wait();
  // A second background scan waits; a scan in the foreground is not held back by either.
  EXPECT_EQ(manager.beginAccessingURL("/b", "second", QualityOfService::background, 0.05), nullptr);
  EXPECT_NE(manager.beginAccessingURL("/b", "foreground", QualityOfService::utility, 0.05),
            nullptr);
  release.set_value();
  holder.join();
  EXPECT_NE(manager.beginAccessingURL("/b", "second", QualityOfService::background, 0.05), nullptr);
}

TEST(DiskMap, KindsFollowSysfsAndFileSystemTypes) {
  EXPECT_EQ(disk("x", ZKDiskInfo::solidState, "/").maxTreads(), 4);
  EXPECT_EQ(disk("x", ZKDiskInfo::rotating, "/").maxTreads(), 2);
  EXPECT_EQ(disk("x", ZKDiskInfo::externalLocal, "/").maxTreads(), 1);
  std::vector<MountEntry> mounts = {{"/mnt/nas", "nfs4", "nas:/x", 0, 50},
                                    {"/tmp", "tmpfs", "tmpfs", 0, 30}};
  auto disks = buildDiskMap(mounts, "/nonexistent-sysfs");
  ASSERT_EQ(disks.size(), 2u);
  for (const auto& d : disks) {
    if (d.volumeURLs.count("/mnt/nas") != 0) {
      EXPECT_EQ(d.kind, ZKDiskInfo::network);
    } else {
      EXPECT_EQ(d.kind, ZKDiskInfo::unknown);
    }
  }
  EXPECT_FALSE(DiskAccessManager::shared().diskUniqueIDForURL("/").empty());
}

}  // namespace
}  // namespace zarnik
