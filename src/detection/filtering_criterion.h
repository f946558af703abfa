// The criteria by which stored groups are filtered for review (all, by type of file, exact or
// similar, selected, cleaned, empty) and the criteria by which groups and their copies are ordered.
// Raw values are fixed: they are stored and handed to the desktop window.
#pragma once

#include <array>
#include <optional>
#include <string_view>
#include <vector>

namespace zarnik {

enum class FilteringCriterion {
  all = 0,
  cleaned = 1,
  empty = 2,
  emptyExact = 3,
  emptySimilar = 4,
  selected = 5,
  allDuplicates = 6,
  applications = 7,
  archives = 8,
  documents = 9,
  audio = 10,
  images = 11,
  folders = 12,
  video = 13,
  other = 14,
  allSimilars = 15,
  similarApplications = 16,
  similarImages = 17,
  similarAudio = 18,
};
inline constexpr size_t kFilteringCriterionCount = 19;

[[nodiscard]] const std::array<FilteringCriterion, kFilteringCriterionCount>& allCriteria();
// "All", "Empty Exact", ...: the identifier, also the key of its titles.
[[nodiscard]] std::string_view identifier(FilteringCriterion criterion);
// "all", "empty-exact", ...: how the command line names it.
[[nodiscard]] std::string_view commandLineName(FilteringCriterion criterion);
[[nodiscard]] std::optional<FilteringCriterion> filteringCriterionFromCommandLineName(
    std::string_view name);
// "All duplicates", "Similar images": a title for people.
[[nodiscard]] std::string_view title(FilteringCriterion criterion);
// Higher first in presentations; "All" and "Cleaned" have none (nothing for them).
[[nodiscard]] std::optional<int> priority(FilteringCriterion criterion);
[[nodiscard]] inline bool isGridModeAllowed(FilteringCriterion c) {
  return c != FilteringCriterion::selected;
}
// Criteria with a priority, highest first; ties keep their raw order.
[[nodiscard]] std::vector<FilteringCriterion> criteriaOrderedByPresentationPriority();
// Whether `a` is shown before `b`: by priority, criteria without one first, then by raw value.
[[nodiscard]] bool isOrderedBefore(FilteringCriterion a, FilteringCriterion b);
// The criteria whose figures make the one-line summary of a result: the exact and similar sides.
[[nodiscard]] const std::vector<FilteringCriterion>& criteriaThatMakeSummary();
// The criteria whose statistics are kept for a detection: all, the two sides, selected, cleaned and
// the types.
[[nodiscard]] const std::vector<FilteringCriterion>& statisticCriteria();

enum class OrderingCriterion { bySize, byName, byNumberOfDuplicates, byNumberOfSelectedDuplicates };

// "size", "name", "count", "selected".
[[nodiscard]] std::string_view commandLineName(OrderingCriterion criterion);
[[nodiscard]] std::optional<OrderingCriterion> orderingCriterionFromCommandLineName(
    std::string_view name);
// Only size and name order the copies within a group.
[[nodiscard]] inline bool supportsDuplicatesOrdering(OrderingCriterion c) {
  return c == OrderingCriterion::bySize || c == OrderingCriterion::byName;
}

struct Ordering {
  OrderingCriterion criterion = OrderingCriterion::bySize;
  bool ascending = false;
  // The direction a person expects first: names from A, sizes and counts largest first.
  static Ordering natural(OrderingCriterion criterion) {
    return {criterion, criterion == OrderingCriterion::byName};
  }
  [[nodiscard]] Ordering reversed() const { return {criterion, !ascending}; }
};

}  // namespace zarnik
