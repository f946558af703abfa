#include "detection/filtering_criterion.h"

#include <algorithm>

namespace zarnik {
namespace {

struct CriterionInfo {
  std::string_view identifier;
  std::string_view commandLineName;
  std::string_view title;
  std::optional<int> priority;
};

// Indexed by raw value.
constexpr std::array<CriterionInfo, kFilteringCriterionCount> kInfos = {{
    {"All", "all", "All groups", std::nullopt},
    {"Cleaned", "cleaned", "Cleaned", std::nullopt},
    {"Empty", "empty", "Empty files", -50},
    {"Empty Exact", "empty-exact", "Empty duplicates", -50},
    {"Empty Similar", "empty-similar", "Empty similar items", -50},
    {"Selected", "selected", "Selected", -100},
    {"All Duplicates", "all-duplicates", "All duplicates", 100},
    {"Applications", "applications", "Applications", 0},
    {"Archives", "archives", "Archives", 0},
    {"Documents", "documents", "Documents", 0},
    {"Audio", "audio", "Audio", 0},
    {"Images", "images", "Images", 0},
    {"Folders", "folders", "Folders", 0},
    {"Video", "video", "Video", 0},
    {"Other", "other", "Other files", -10},
    {"All Similars", "all-similars", "All similar items", 100},
    {"Similar Applications", "similar-applications", "Similar applications", 0},
    {"Similar Images", "similar-images", "Similar images", 0},
    {"Similar Audio", "similar-audio", "Similar audio", 0},
}};

const CriterionInfo& info(FilteringCriterion criterion) {
  return kInfos[static_cast<size_t>(criterion)];
}

constexpr std::array<std::string_view, 4> kOrderingNames = {"size", "name", "count", "selected"};

}  // namespace

const std::array<FilteringCriterion, kFilteringCriterionCount>& allCriteria() {
  static const auto criteria = [] {
    std::array<FilteringCriterion, kFilteringCriterionCount> all{};
    for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<FilteringCriterion>(i);
    return all;
  }();
  return criteria;
}

std::string_view identifier(FilteringCriterion criterion) { return info(criterion).identifier; }
std::string_view commandLineName(FilteringCriterion criterion) {
  return info(criterion).commandLineName;
}
std::string_view title(FilteringCriterion criterion) { return info(criterion).title; }
std::optional<int> priority(FilteringCriterion criterion) { return info(criterion).priority; }

std::optional<FilteringCriterion> filteringCriterionFromCommandLineName(std::string_view name) {
  for (FilteringCriterion criterion : allCriteria()) {
    if (commandLineName(criterion) == name) return criterion;
  }
  return std::nullopt;
}

bool isOrderedBefore(FilteringCriterion a, FilteringCriterion b) {
  const auto pa = priority(a);
  const auto pb = priority(b);
  if (pa.has_value() != pb.has_value()) return !pa.has_value();
  if (pa && *pa != *pb) return *pa > *pb;
  return static_cast<int>(a) < static_cast<int>(b);
}

std::vector<FilteringCriterion> criteriaOrderedByPresentationPriority() {
  std::vector<FilteringCriterion> ordered;
  for (FilteringCriterion criterion : allCriteria()) {
    if (priority(criterion)) ordered.push_back(criterion);
  }
  std::stable_sort(ordered.begin(), ordered.end(), isOrderedBefore);
  return ordered;
}

const std::vector<FilteringCriterion>& criteriaThatMakeSummary() {
  static const std::vector<FilteringCriterion> criteria = {FilteringCriterion::allDuplicates,
                                                           FilteringCriterion::allSimilars};
  return criteria;
}

const std::vector<FilteringCriterion>& statisticCriteria() {
  static const std::vector<FilteringCriterion> criteria = [] {
    std::vector<FilteringCriterion> kept;
    for (FilteringCriterion criterion : allCriteria()) {
      if (criterion != FilteringCriterion::empty && criterion != FilteringCriterion::emptyExact &&
          criterion != FilteringCriterion::emptySimilar) {
        kept.push_back(criterion);
      }
    }
    return kept;
  }();
  return criteria;
}

std::string_view commandLineName(OrderingCriterion criterion) {
  return kOrderingNames[static_cast<size_t>(criterion)];
}

std::optional<OrderingCriterion> orderingCriterionFromCommandLineName(std::string_view name) {
  for (size_t i = 0; i < kOrderingNames.size(); ++i) {
    if (kOrderingNames[i] == name) return static_cast<OrderingCriterion>(i);
  }
  return std::nullopt;
}

}  // namespace zarnik
