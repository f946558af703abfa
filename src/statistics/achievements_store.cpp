#include "statistics/achievements_store.h"

#include "platform/file_reading.h"
#include "platform/install_layout.h"

#include <fmt/format.h>

#include <algorithm>

namespace zarnik {
namespace {

constexpr size_t kMaximumResourceSize = size_t{4} << 20;

Error resourceError(const std::string& problem) {
  return Error::generic("The achievements cannot be loaded: " + problem);
}

Result<std::string> stringAt(const Json& object, const char* key, const std::string& where) {
  auto found = object.find(key);
  if (found == object.end() || !found->is_string())
    return resourceError(fmt::format("{} has no text \"{}\"", where, key));
  return found->get<std::string>();
}

Result<const Json*> listAt(const Json& object, const char* key, const std::string& where) {
  auto found = object.find(key);
  if (!object.is_object() || found == object.end() || !found->is_array()) {
    return resourceError(fmt::format("{} has no list \"{}\"", where, key));
  }
  return &*found;
}

bool isUnavailable(const Json& entry) { return entry.value("unavailable", false) == true; }

// The entries of `achievements[key]` (what they are and when they are earned) paired with those of
// `texts[key]` (what they are called): the same number of entries, with the same identifiers in
// the same order.
Result<std::vector<std::pair<const Json*, const Json*>>> pairs(const Json& specification,
                                                               const Json& localization,
                                                               const char* key,
                                                               const std::string& where) {
  ZK_ASSIGN_OR_RETURN(const Json* specified, listAt(specification, key, where + " (achievements)"));
  ZK_ASSIGN_OR_RETURN(const Json* localized, listAt(localization, key, where + " (texts)"));
  if (specified->size() != localized->size()) {
    return resourceError(fmt::format(
        "the {} of {} are not as many in the achievements as in their texts", key, where));
  }
  std::vector<std::pair<const Json*, const Json*>> paired;
  for (size_t i = 0; i < specified->size(); ++i) {
    const Json& a = (*specified)[i];
    const Json& b = (*localized)[i];
    if (!a.is_object() || !b.is_object())
      return resourceError(fmt::format("an entry of {} in {} is not an object", key, where));
    ZK_ASSIGN_OR_RETURN(std::string identifier, stringAt(a, "identifier", where));
    ZK_ASSIGN_OR_RETURN(std::string localizedIdentifier, stringAt(b, "identifier", where));
    if (identifier != localizedIdentifier) {
      return resourceError(fmt::format("the achievement {} and the texts of {} do not pair up",
                                       identifier, localizedIdentifier));
    }
    if (!isUnavailable(a)) paired.emplace_back(&a, &b);
  }
  return paired;
}

Result<double> numberAt(const Json& object, const char* key, const std::string& where) {
  auto found = object.find(key);
  if (found == object.end() || !found->is_number())
    return resourceError(fmt::format("{} has no number \"{}\"", where, key));
  return found->get<double>();
}

Result<Achievement> achievementFrom(const Json& specified, const Json& localized,
                                    const std::string& group) {
  Achievement achievement;
  ZK_ASSIGN_OR_RETURN(achievement.identifier, stringAt(specified, "identifier", "an achievement"));
  const std::string where = "achievement " + achievement.identifier;
  ZK_ASSIGN_OR_RETURN(achievement.analyticsIdentifier,
                      stringAt(specified, "analyticsIdentifier", where));
  ZK_ASSIGN_OR_RETURN(achievement.icon, stringAt(specified, "icon", where));
  ZK_ASSIGN_OR_RETURN(achievement.pointsValue, numberAt(specified, "pointsValue", where));
  if (!(achievement.pointsValue >= 0))
    return resourceError(where + " is worth fewer than no points");
  achievement.isMailShareable = specified.value("mailShareable", false) == true;
  if (auto action = specified.find("externalAction");
      action != specified.end() && action->is_string()) {
    achievement.externalAction = action->get<std::string>();
  }
  ZK_ASSIGN_OR_RETURN(std::string predicate, stringAt(specified, "predicate", where));
  auto parsed = Predicate::parse(predicate, &StatisticianStore::counterKind);
  if (parsed.hasError()) return resourceError(where + ": " + parsed.error().description);
  achievement.predicate = parsed.value();
  ZK_ASSIGN_OR_RETURN(achievement.title, stringAt(localized, "title", where));
  ZK_ASSIGN_OR_RETURN(achievement.lockedDescription, stringAt(localized, "locked_details", where));
  ZK_ASSIGN_OR_RETURN(achievement.unlockedDescription,
                      stringAt(localized, "unlocked_details", where));
  achievement.group = group;
  return achievement;
}

Result<AchievementsGroup> groupFrom(const Json& specified, const Json& localized) {
  AchievementsGroup group;
  ZK_ASSIGN_OR_RETURN(group.identifier, stringAt(specified, "identifier", "a group"));
  const std::string where = "group " + group.identifier;
  ZK_ASSIGN_OR_RETURN(group.title, stringAt(localized, "title", where));
  ZK_ASSIGN_OR_RETURN(double sharing, numberAt(specified, "sharingIdentifier", where));
  group.sharingIdentifier = static_cast<std::int64_t>(sharing);
  ZK_ASSIGN_OR_RETURN(auto achievements, pairs(specified, localized, "achievements", where));
  for (const auto& [a, b] : achievements) {
    ZK_ASSIGN_OR_RETURN(Achievement achievement, achievementFrom(*a, *b, group.identifier));
    group.achievements.push_back(std::move(achievement));
  }
  return group;
}

Result<AchievementRank> rankFrom(const Json& specified, const Json& localized) {
  AchievementRank rank;
  ZK_ASSIGN_OR_RETURN(rank.identifier, stringAt(specified, "identifier", "a rank"));
  const std::string where = "rank " + rank.identifier;
  ZK_ASSIGN_OR_RETURN(rank.title, stringAt(localized, "title", where));
  ZK_ASSIGN_OR_RETURN(rank.analyticsIdentifier, stringAt(specified, "analyticsIdentifier", where));
  ZK_ASSIGN_OR_RETURN(rank.icon, stringAt(specified, "icon", where));
  ZK_ASSIGN_OR_RETURN(rank.progress, numberAt(specified, "progress", where));
  if (!(rank.progress >= 0 && rank.progress <= 1))
    return resourceError(where + " is reached outside 0 to 1");
  ZK_ASSIGN_OR_RETURN(double sharing, numberAt(specified, "sharingIdentifier", where));
  ZK_ASSIGN_OR_RETURN(double reward, numberAt(specified, "reward", where));
  rank.sharingIdentifier = static_cast<std::int64_t>(sharing);
  rank.reward = static_cast<std::int64_t>(reward);
  return rank;
}

Result<Json> readJSONResource(const std::string& path) {
  auto text = readWholeFile(path, kMaximumResourceSize);
  if (text.hasError()) return text.error();
  auto parsed = parseJson(text.value());
  if (parsed.hasError()) return parsed.error().withPath(path);
  return parsed;
}

}  // namespace

bool AchievementsGroup::isAccomplished() const {
  return std::all_of(achievements.begin(), achievements.end(),
                     [](const auto& a) { return a.isAccomplished; });
}

bool AchievementsGroup::containsRecentAchievements() const {
  return std::any_of(achievements.begin(), achievements.end(),
                     [](const auto& a) { return a.isRecent; });
}

Result<AchievementsStore> AchievementsStore::load(const Json& specification,
                                                  const Json& localization) {
  AchievementsStore store;
  ZK_ASSIGN_OR_RETURN(auto groups,
                      pairs(specification, localization, "groups", "the achievements"));
  for (const auto& [a, b] : groups) {
    ZK_ASSIGN_OR_RETURN(AchievementsGroup group, groupFrom(*a, *b));
    store.groups_.push_back(std::move(group));
  }
  ZK_ASSIGN_OR_RETURN(auto ranks, pairs(specification, localization, "ranks", "the achievements"));
  for (const auto& [a, b] : ranks) {
    ZK_ASSIGN_OR_RETURN(AchievementRank rank, rankFrom(*a, *b));
    store.ranks_.push_back(std::move(rank));
  }
  std::vector<std::string> identifiers;
  for (const auto& group : store.groups_) {
    for (const auto& achievement : group.achievements)
      identifiers.push_back(achievement.identifier);
  }
  std::sort(identifiers.begin(), identifiers.end());
  if (auto twice = std::adjacent_find(identifiers.begin(), identifiers.end());
      twice != identifiers.end()) {
    return resourceError("two achievements are named " + *twice);
  }
  return store;
}

Result<AchievementsStore> AchievementsStore::loadResources(const std::string& folder) {
  auto specification =
      readJSONResource(folder + "/" + std::string(kAchievementsSpecificationResource));
  if (specification.hasError()) return specification.error();
  auto localization =
      readJSONResource(folder + "/" + std::string(kAchievementsLocalizationResource));
  if (localization.hasError()) return localization.error();
  return load(specification.value(), localization.value());
}

const AchievementRank* AchievementsStore::currentRank() const {
  return currentRank_ ? &ranks_[*currentRank_] : nullptr;
}

AchievementsUpdate AchievementsStore::setStatistics(const StatisticianStore& statistics) {
  statistics_ = statistics;
  AchievementsUpdate update;
  const CounterReader reader = [&statistics](std::string_view name) {
    return statistics.value(name);
  };
  double accomplishedPoints = 0;
  double allPoints = 0;
  for (auto& group : groups_) {
    for (auto& achievement : group.achievements) {
      const bool was = achievement.isAccomplished;
      achievement.isCheating = statistics.isCheatingAchievement(achievement.identifier);
      achievement.isAccomplished = achievement.isCheating || achievement.predicate.evaluate(reader);
      if (achievement.isAccomplished && !was) {
        achievement.isRecent = true;
        update.newlyUnlocked.push_back(&achievement);
      }
      allPoints += achievement.pointsValue;
      if (achievement.isAccomplished) accomplishedPoints += achievement.pointsValue;
    }
  }
  fractionCompleted_ = allPoints > 0 ? accomplishedPoints / allPoints : 0;
  std::optional<size_t> rank;
  for (size_t i = 0; i < ranks_.size(); ++i) {
    if (ranks_[i].progress <= fractionCompleted_ &&
        (!rank || ranks_[i].progress > ranks_[*rank].progress))
      rank = i;
  }
  if (rank != currentRank_) {
    if (currentRank_ && rank) {
      update.previousRank = ranks_[*currentRank_].identifier;
      update.reachedRank = ranks_[*rank].identifier;
      ranks_[*rank].isRecent = true;
    }
    currentRank_ = rank;
  }
  return update;
}

void AchievementsStore::markAllAchievementsAsNotRecent() {
  for (auto& group : groups_) {
    for (auto& achievement : group.achievements) achievement.isRecent = false;
  }
  for (auto& rank : ranks_) rank.isRecent = false;
}

}  // namespace zarnik
