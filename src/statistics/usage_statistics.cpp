#include "statistics/usage_statistics.h"

#include "platform/disk_map.h"
#include "platform/install_layout.h"
#include "statistics/achievements_store.h"

#include <fmt/format.h>

#include <algorithm>

namespace zarnik {
namespace {

struct LocationKinds {
  bool external = false;
  bool network = false;
};

LocationKinds kindsOf(const std::vector<std::string>& locations) {
  const auto mounts = readMountTable();
  LocationKinds kinds;
  for (const auto& disk : buildDiskMap(mounts)) {
    for (const auto& location : locations) {
      const auto mountPoint = mountPointForPath(mounts, location);
      if (!mountPoint || disk.volumeURLs.count(*mountPoint) == 0) continue;
      kinds.external = kinds.external || disk.kind == ZKDiskInfo::externalLocal;
      kinds.network = kinds.network || disk.kind == ZKDiskInfo::network;
    }
  }
  return kinds;
}

Result<AchievementsStore> shippedAchievements() {
  const auto& layout = installLayout();
  if (layout.hasError()) return layout.error();
  return AchievementsStore::loadResources(layout.value().resourceFolder);
}

}  // namespace

StatisticsChange finishedScanChange(const ScanningServiceResult& scanned,
                                    const std::vector<std::string>& locations) {
  ByteCount found = 0;
  for (const auto& result : scanned.detectionResults) found += result.reclaimableSize();
  std::int64_t musicLibraries = 0;
  std::int64_t photoLibraries = 0;
  for (const auto& library : scanned.mediaLibraries) {
    if (library && library->type() == NodeType::iTunesLibrary) ++musicLibraries;
    if (library && library->type() == NodeType::photosLibrary) ++photoLibraries;
  }
  const LocationKinds kinds = kindsOf(locations);
  return [=, scannedSize = scanned.scannedNodesSize](StatisticianStore& statistics) {
    statistics.add("scannedSize", scannedSize);
    statistics.add("_foundSize", found);
    statistics.add("numberOfFinishedScans", 1);
    statistics.add("numberOfLaunches", 1);
    if (kinds.external) statistics.setTruth("scannedExternalDrives", true);
    if (kinds.network) statistics.setTruth("scannedNetworkDrives", true);
    if (musicLibraries > 0) statistics.add("numberOfITunesLibrariesScanned", musicLibraries);
    if (photoLibraries > 0) statistics.add("numberOfPhotoLibrariesScanned", photoLibraries);
  };
}

StatisticsChange cleaningChange(const CleaningResult& result, bool fake) {
  const auto& statistics = result.statistics;
  const std::int64_t removed =
      statistics.numberOfSucceededDuplicates + statistics.numberOfSucceededSimilars;
  const ByteCount freed = statistics.sizeOfSucceededDuplicates + statistics.sizeOfSucceededSimilars;
  const bool failedAny =
      statistics.numberOfFailedDuplicates + statistics.numberOfFailedSimilars > 0;
  const bool cancelled = result.didCancel;
  return [=](StatisticianStore& s) {
    s.add("numberOfLaunches", 1);
    if (fake) return;
    s.add("cleanedSize", freed);
    s.add("numberOfCleanedFiles", removed);
    if (!cancelled) s.add("numberOfFinishedCleans", 1);
    s.setTruth("lastCleanupCompleteSuccessfully", !failedAny && !cancelled);
  };
}

StatisticsChange revertChange(const CleaningStatistics& broughtBack) {
  const std::int64_t copies =
      broughtBack.numberOfSucceededDuplicates + broughtBack.numberOfSucceededSimilars;
  const ByteCount size =
      broughtBack.sizeOfSucceededDuplicates + broughtBack.sizeOfSucceededSimilars;
  return [=](StatisticianStore& s) {
    s.add("numberOfLaunches", 1);
    s.add("numberOfRevertedCleans", 1);
    s.add("cleanedSize", -std::min<std::int64_t>(size, s.number("cleanedSize")));
    s.add("numberOfCleanedFiles", -std::min(copies, s.number("numberOfCleanedFiles")));
  };
}

std::string StatisticsUpdate::unlockedSentence(std::string_view whereListed) const {
  if (unlocked.empty()) return {};
  std::string names;
  for (const auto& title : unlocked) names += (names.empty() ? "" : ", ") + title;
  return fmt::format("Achievement{} unlocked: {}{}.{}", unlocked.size() == 1 ? "" : "s", names,
                     whereListed.empty() ? "" : fmt::format(" ({})", whereListed),
                     rankReached ? fmt::format(" You are now {}.", *rankReached) : "");
}

StatisticsUpdate updateUsageStatistics(const StatisticsChange& change, bool judgesAchievements) {
  StatisticsUpdate update;
  Statistician statistician = Statistician::standard();
  if (const auto& notice = statistician.setAsideNotice()) update.notices.push_back(*notice);
  std::optional<AchievementsStore> achievements;
  if (judgesAchievements) {
    auto loaded = shippedAchievements();
    if (loaded.hasValue()) {
      achievements = std::move(loaded).value();
      achievements->setStatistics(statistician.statistics());
    } else {
      update.notices.push_back("the achievements are not available: " + loaded.error().oneLine());
    }
  }
  if (auto updated = statistician.updateStatistics(change); updated.hasError())
    update.notices.push_back("the statistics were not saved: " + updated.error().oneLine());
  if (!achievements) return update;
  achievements->markAllAchievementsAsNotRecent();
  const auto judged = achievements->setStatistics(statistician.statistics());
  for (const Achievement* achievement : judged.newlyUnlocked)
    update.unlocked.push_back(achievement->title);
  if (judged.reachedRank && achievements->currentRank())
    update.rankReached = achievements->currentRank()->title;
  return update;
}

}  // namespace zarnik
