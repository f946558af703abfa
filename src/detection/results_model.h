// ResultsModel: the stored groups of a detection as the user reviews them, for the command line
// and the desktop window alike. Each group falls under every filtering criterion it matches (its
// kind and type of file, empty files, and, copy by copy, selected and cleaned); the model keeps the
// figures of every criterion (copies and bytes in all, selected automatically or by hand, wrongly
// proposed, cleaned) and updates them group by group when a selection changes, a change is undone
// or redone, or a cleaning removes copies, so that one change costs the size of its group, not of
// the result. Listing a criterion filters by a search text (names and paths, canonically equivalent
// texts and letter case alike), orders groups and copies, and sums what is shown.
//
// Not thread-safe: the model lives on the queue of whoever presents it.
#pragma once

#include "base/units.h"
#include "detection/filtering_criterion.h"
#include "file_model/node_type.h"
#include "matching/match_kind.h"
#include "selection/selection_rules.h"
#include "store/file_model_entities.h"

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace zarnik {

// One copy as the review sees it.
struct ResultsCopy {
  std::int64_t identifier = 0;
  ByteCount size = 0;
  std::string path;  // bytes, as stored
  NodeType type = NodeType::other;
  bool cleaned = false;
  bool failed = false;  // a cleaning tried to remove it and could not: it is still there
};

// One group as the review sees it: what the criteria, the figures and the orderings need.
struct ResultsGroup {
  std::int64_t identifier = 0;
  EquivalenceKind kind = EquivalenceKind::exactHash;
  ByteCount memberSize = 0;
  ByteCount reclaimableSize = 0;
  SelectionConfiguration selection;  // the current one
  IdentifierSet autoselected;        // what the scan proposed
  std::vector<ResultsCopy> copies;

  // From a stored group; a copy whose record cannot be read counts with size 0 and no path.
  static ResultsGroup of(const ZKEquivalence& equivalence);
  [[nodiscard]] bool isSelected(const ResultsCopy& copy) const {
    return !copy.cleaned && selection.isSelected(copy.identifier);
  }
};

struct CopiesAndBytes {
  std::int64_t count = 0;
  ByteCount size = 0;
  void add(ByteCount bytes, int sign) {
    count += sign;
    size += sign * bytes;
  }
  friend bool operator==(const CopiesAndBytes&, const CopiesAndBytes&) = default;
};

// The figures of one criterion. Every copy under it counts in `total`; a copy still there and
// proposed for removal counts in `selected` and in `automatic` when the scan proposed it or
// `manual` when the user did; a copy the scan proposed and the user kept counts in `incorrect`.
struct CriterionFigures {
  FilteringCriterion criterion = FilteringCriterion::all;
  std::int64_t groups = 0;
  CopiesAndBytes total;
  CopiesAndBytes selected;
  CopiesAndBytes cleaned;
  CopiesAndBytes automatic;
  CopiesAndBytes manual;
  CopiesAndBytes incorrect;
  CopiesAndBytes failed;
  friend bool operator==(const CriterionFigures&, const CriterionFigures&) = default;
};

struct ResultsQuery {
  std::vector<FilteringCriterion> criteria = {
      FilteringCriterion::all};  // a group under any of them
  std::string search;            // empty: everything
  Ordering groupOrdering;
  std::optional<Ordering> copyOrdering;  // nothing: the stored order
  std::optional<size_t> limit;
};

struct FilteredGroup {
  const ResultsGroup* group = nullptr;
  std::vector<const ResultsCopy*> copies;  // those under the criteria that match the search
};

struct FilteredResults {
  std::vector<FilteredGroup> groups;                // ordered, at most `limit`
  size_t matchingGroups = 0;                        // before the limit
  CopiesAndBytes all;                               // copies of the groups under the criteria
  CopiesAndBytes filtered;                          // of those, the ones the search keeps
  CopiesAndBytes selected;                          // of those, the ones proposed for removal
  std::set<SelectionStrategy> selectionStrategies;  // of the groups kept
};

class ResultsModel {
 public:
  // Adds a group, or replaces the one with its identifier (after a cleaning or a revert).
  void put(ResultsGroup group);
  void put(const ZKEquivalence& equivalence) { put(ResultsGroup::of(equivalence)); }
  void remove(std::int64_t groupIdentifier);
  // A selection change, undo or redo that the store applied; false for an unknown group.
  bool applySelection(std::int64_t groupIdentifier, const SelectionConfiguration& configuration);

  [[nodiscard]] const ResultsGroup* group(std::int64_t identifier) const;
  [[nodiscard]] size_t groupCount() const { return entries_.size(); }
  [[nodiscard]] const CriterionFigures& figures(FilteringCriterion criterion) const {
    return figures_[static_cast<size_t>(criterion)];
  }
  // The criteria with a copy under them, in the order they are presented.
  [[nodiscard]] std::vector<CriterionFigures> meaningfulFigures() const;
  // The criteria a group falls under, as a mask of raw values.
  [[nodiscard]] static std::uint32_t criteriaOf(const ResultsGroup& group);
  [[nodiscard]] FilteredResults filter(const ResultsQuery& query) const;

 private:
  struct Entry {
    ResultsGroup group;
    std::uint32_t groupCriteria = 0;  // of the group as a whole: kind, type, empty
  };
  void account(const Entry& entry, int sign);

  std::unordered_map<std::int64_t, Entry> entries_;
  std::array<CriterionFigures, kFilteringCriterionCount> figures_ = [] {
    std::array<CriterionFigures, kFilteringCriterionCount> figures{};
    for (size_t i = 0; i < figures.size(); ++i)
      figures[i].criterion = static_cast<FilteringCriterion>(i);
    return figures;
  }();
};

// The criteria one copy of a group falls under: the group's own, with "Selected" and "Cleaned" as
// the copy is.
[[nodiscard]] std::uint32_t criteriaOfCopy(const ResultsGroup& group, std::uint32_t groupCriteria,
                                           const ResultsCopy& copy);
[[nodiscard]] constexpr std::uint32_t bit(FilteringCriterion criterion) {
  return std::uint32_t{1} << static_cast<unsigned>(criterion);
}

}  // namespace zarnik
