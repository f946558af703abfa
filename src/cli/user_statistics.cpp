#include "cli/user_statistics.h"

#include "cli/user_session.h"
#include "cli/wording.h"
#include "foundation/byte_count_formatter.h"
#include "platform/disk_map.h"
#include "platform/install_layout.h"

#include <fmt/format.h>

namespace zarnik::cli {
namespace {

// The statistician is opened afresh for each update: another command may have written the file.
Statistician openStatistician() {
  Statistician statistician = Statistician::standard();
  if (const auto& notice = statistician.setAsideNotice()) printError(*notice);
  return statistician;
}

// The criteria that tell the types of files apart, in presentation order.
std::vector<FilteringCriterion> typeCriteria() {
  std::vector<FilteringCriterion> types;
  for (FilteringCriterion criterion : criteriaOrderedByPresentationPriority()) {
    if (static_cast<int>(criterion) > static_cast<int>(FilteringCriterion::allDuplicates) &&
        criterion != FilteringCriterion::allSimilars) {
      types.push_back(criterion);
    }
  }
  return types;
}

std::string copiesAndBytes(const CopiesAndBytes& figures) {
  return fmt::format("{} ({})", counted(figures.count, "copy", "copies"),
                     formatByteCount(figures.size));
}

// "Documents 5 copies (700 KB), Images 2 copies (240 KB)" for the types with copies in `part`.
std::string byType(const ResultsModel& model, CopiesAndBytes CriterionFigures::*part) {
  std::string text;
  for (FilteringCriterion criterion : typeCriteria()) {
    const CopiesAndBytes& figures = model.figures(criterion).*part;
    if (figures.count == 0) continue;
    text += (text.empty() ? "" : ", ") +
            fmt::format("{} {}", title(criterion), copiesAndBytes(figures));
  }
  return text;
}

}  // namespace

void updateUserStatistics(const std::function<void(StatisticianStore&)>& change) {
  Statistician statistician = openStatistician();
  if (auto updated = statistician.updateStatistics(change); updated.hasError()) {
    printError("the statistics were not saved: " + updated.error().oneLine());
  }
}

std::optional<AchievementsStore> loadAchievements() {
  const auto& layout = installLayout();
  if (layout.hasError()) {
    printError("the achievements are not available: " + layout.error().oneLine());
    return std::nullopt;
  }
  auto store = AchievementsStore::loadResources(layout.value().resourceFolder);
  if (store.hasError()) {
    printError(store.error().oneLine());
    return std::nullopt;
  }
  return std::move(store.value());
}

void updateUserStatisticsAnnouncingAchievements(
    const std::function<void(StatisticianStore&)>& change, bool announces) {
  if (!announces) {
    updateUserStatistics(change);
    return;
  }
  Statistician statistician = openStatistician();
  auto achievements = loadAchievements();
  if (achievements) achievements->setStatistics(statistician.statistics());
  if (auto updated = statistician.updateStatistics(change); updated.hasError()) {
    printError("the statistics were not saved: " + updated.error().oneLine());
  }
  if (!achievements) return;
  achievements->markAllAchievementsAsNotRecent();
  const auto update = achievements->setStatistics(statistician.statistics());
  if (update.newlyUnlocked.empty()) return;
  std::string names;
  for (const Achievement* achievement : update.newlyUnlocked) {
    names += (names.empty() ? "" : ", ") + achievement->title;
  }
  std::string rank;
  if (update.reachedRank && achievements->currentRank())
    rank = fmt::format(" You are now {}.", achievements->currentRank()->title);
  fmt::print("Achievement{} unlocked: {} (zarnik stats achievements lists them).{}\n",
             update.newlyUnlocked.size() == 1 ? "" : "s", names, rank);
}

void recordFinishedScan(ByteCount scannedSize, ByteCount foundSize,
                        const std::vector<std::string>& locations, bool announces) {
  const auto mounts = readMountTable();
  bool external = false;
  bool network = false;
  for (const auto& disk : buildDiskMap(mounts)) {
    for (const auto& location : locations) {
      const auto mountPoint = mountPointForPath(mounts, location);
      if (!mountPoint || disk.volumeURLs.count(*mountPoint) == 0) continue;
      external = external || disk.kind == ZKDiskInfo::externalLocal;
      network = network || disk.kind == ZKDiskInfo::network;
    }
  }
  updateUserStatisticsAnnouncingAchievements(
      [&](StatisticianStore& statistics) {
        statistics.add("scannedSize", scannedSize);
        statistics.add("_foundSize", foundSize);
        statistics.add("numberOfFinishedScans", 1);
        statistics.add("numberOfLaunches", 1);
        if (external) statistics.setTruth("scannedExternalDrives", true);
        if (network) statistics.setTruth("scannedNetworkDrives", true);
      },
      announces);
}

std::optional<ResultsModel> loadResultsModel(DuplicatesDetectionResults& results) {
  ResultsModel model;
  auto visited = results
                     .forEachEquivalence([&model](const ZKEquivalence& stored) {
                       model.put(stored);
                       return true;
                     })
                     .wait();
  if (visited.hasError()) {
    printError(visited.error().oneLine());
    return std::nullopt;
  }
  return model;
}

void printReviewFigures(const ResultsModel& model, bool afterCleaning) {
  const auto& all = model.figures(FilteringCriterion::all);
  if (afterCleaning) {
    const std::string cleaned = byType(model, &CriterionFigures::cleaned);
    const std::string failed = byType(model, &CriterionFigures::failed);
    if (cleaned.empty() && failed.empty()) return;
    fmt::print("Cleaned so far in these results: {}{}.\n", cleaned.empty() ? "nothing" : cleaned,
               failed.empty() ? std::string() : "; could not be removed: " + failed);
    return;
  }
  const std::string found = byType(model, &CriterionFigures::total);
  if (found.empty()) return;
  fmt::print("By type: {}.\n", found);
  fmt::print("Proposed for removal: {} by the automatic selection, {} by hand{}.\n",
             all.automatic.count == 0 ? "nothing" : copiesAndBytes(all.automatic),
             all.manual.count == 0 ? "none" : copiesAndBytes(all.manual),
             all.incorrect.count == 0
                 ? std::string()
                 : fmt::format("; {} kept against the proposal",
                               counted(all.incorrect.count, "copy", "copies")));
}

}  // namespace zarnik::cli
