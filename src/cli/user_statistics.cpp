#include "cli/user_statistics.h"

#include "cli/user_session.h"
#include "cli/wording.h"
#include "foundation/byte_count_formatter.h"
#include "platform/install_layout.h"

#include <fmt/format.h>

namespace zarnik::cli {
namespace {

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

void updateUserStatistics(const StatisticsChange& change) {
  updateUserStatisticsAnnouncingAchievements(change, false);
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

void updateUserStatisticsAnnouncingAchievements(const StatisticsChange& change, bool announces) {
  const StatisticsUpdate update = updateUsageStatistics(change, announces);
  for (const auto& notice : update.notices) printError(notice);
  if (!update.unlocked.empty())
    fmt::print("{}\n", update.unlockedSentence("zarnik stats achievements lists them"));
}

std::optional<ResultsModel> loadResultsModel(DuplicatesDetectionResults& results) {
  ResultsModel model;
  auto visited = results
                     .forEachEquivalence(
                         [&model](const ZKEquivalence& stored) {
                           model.put(stored);
                           return true;
                         },
                         DuplicatesDetectionResults::MemberNodes::decodedAhead)
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
