// AchievementsStore: the achievements, in groups, and the ranks the program awards from its
// statistics. What they are (identifiers, points, icons, predicates over the statistics' counters,
// rank thresholds) comes from the resource "achievements_specification.json", their texts from
// "achievements_localization.json", which mirrors its structure. Both are checked whole when
// loaded: a predicate that does not parse or names an unknown counter, entries that do not pair up,
// a missing key all refuse the resources, so that evaluating them later cannot fail.
//
// Evaluating the statistics accomplishes the achievements whose predicates hold (or that were
// granted by hand), computes the completion fraction (points accomplished over all points) and the
// rank reached, and reports what became true since the previous evaluation.
#pragma once

#include "base/json.h"
#include "base/result.h"
#include "statistics/predicate.h"
#include "statistics/statistician_store.h"

#include <optional>
#include <string>
#include <vector>

namespace zarnik {

inline constexpr std::string_view kAchievementsSpecificationResource =
    "achievements_specification.json";
inline constexpr std::string_view kAchievementsLocalizationResource =
    "achievements_localization.json";

struct Achievement {
  std::string identifier;
  std::string analyticsIdentifier;
  std::string title;
  std::string lockedDescription;
  std::string unlockedDescription;
  std::string icon;
  std::optional<std::string> externalAction;
  double pointsValue = 0;
  bool isMailShareable = false;
  Predicate predicate;
  std::string group;
  bool isAccomplished = false;
  bool isCheating = false;
  bool isRecent = false;

  // The icon's name, or the placeholder's while the achievement is locked.
  [[nodiscard]] std::string iconImage() const {
    return isAccomplished ? icon : "PlaceholderAchievementIcon";
  }
  [[nodiscard]] std::string detailedIconImage() const {
    return isAccomplished ? icon + "_Details" : "PlaceholderAchievementDetailedIcon";
  }
  [[nodiscard]] const std::string& description() const {
    return isAccomplished ? unlockedDescription : lockedDescription;
  }
};

struct AchievementsGroup {
  std::string identifier;
  std::string title;
  std::int64_t sharingIdentifier = 0;
  std::vector<Achievement> achievements;
  [[nodiscard]] bool isAccomplished() const;
  [[nodiscard]] bool containsRecentAchievements() const;
};

struct AchievementRank {
  std::string identifier;
  std::string title;
  std::int64_t sharingIdentifier = 0;
  std::string analyticsIdentifier;
  std::string icon;
  double progress = 0;  // the completion fraction from which the rank is held
  std::int64_t reward = 0;
  bool isRecent = false;
};

// What one evaluation changed.
struct AchievementsUpdate {
  std::vector<const Achievement*> newlyUnlocked;
  std::optional<std::string>
      previousRank;  // identifiers, when the rank changed from one to another
  std::optional<std::string> reachedRank;
};

class AchievementsStore {
 public:
  static Result<AchievementsStore> load(const Json& specification, const Json& localization);
  // The two resources from the program's resource folder (or `folder` when given).
  static Result<AchievementsStore> loadResources(const std::string& folder);

  [[nodiscard]] const std::vector<AchievementsGroup>& groups() const { return groups_; }
  [[nodiscard]] const std::vector<AchievementRank>& ranks() const { return ranks_; }
  [[nodiscard]] double fractionCompleted() const { return fractionCompleted_; }
  [[nodiscard]] const AchievementRank* currentRank() const;
  [[nodiscard]] const StatisticianStore& statistics() const { return statistics_; }

  // Evaluates every achievement over `statistics`. Pointers in the update stay valid until the next
  // load.
  AchievementsUpdate setStatistics(const StatisticianStore& statistics);
  void markAllAchievementsAsNotRecent();

 private:
  std::vector<AchievementsGroup> groups_;
  std::vector<AchievementRank> ranks_;
  StatisticianStore statistics_;
  double fractionCompleted_ = 0;
  std::optional<size_t> currentRank_;
};

}  // namespace zarnik
