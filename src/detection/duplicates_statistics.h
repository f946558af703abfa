// The statistic of one detection under review: per filtering criterion, the copies found, proposed
// by the scan, proposed by hand, wrongly proposed (kept by the user) and cleaned, with the figures
// the summaries read from it. Built from the results model, so it follows every selection change
// and cleaning.
#pragma once

#include "base/json.h"
#include "detection/results_model.h"

#include <map>
#include <string>
#include <vector>

namespace zarnik {

class DuplicatesDetectionStat {
 public:
  DuplicatesDetectionStat() = default;
  // The criteria of statisticCriteria() that hold a copy.
  explicit DuplicatesDetectionStat(const ResultsModel& model);

  // A criterion without copies reads as zeros.
  [[nodiscard]] CriterionFigures figures(FilteringCriterion criterion) const;
  [[nodiscard]] const std::map<FilteringCriterion, CriterionFigures>& statistics() const {
    return statistics_;
  }

  [[nodiscard]] CopiesAndBytes existing() const { return figures(FilteringCriterion::all).total; }
  [[nodiscard]] CopiesAndBytes existingSimilars() const {
    return figures(FilteringCriterion::allSimilars).total;
  }
  [[nodiscard]] CopiesAndBytes autoselected() const {
    return figures(FilteringCriterion::all).automatic;
  }
  [[nodiscard]] CopiesAndBytes manuallySelected() const {
    return figures(FilteringCriterion::all).manual;
  }
  [[nodiscard]] CopiesAndBytes selected() const {
    return figures(FilteringCriterion::all).selected;
  }
  [[nodiscard]] CopiesAndBytes incorrectlyAutoselected() const {
    return figures(FilteringCriterion::all).incorrect;
  }
  [[nodiscard]] CopiesAndBytes cleaned() const { return figures(FilteringCriterion::all).cleaned; }
  [[nodiscard]] CopiesAndBytes failed() const { return figures(FilteringCriterion::all).failed; }
  [[nodiscard]] std::int64_t modifiedSelectionCount() const {
    return manuallySelected().count + incorrectlyAutoselected().count;
  }
  // The criteria with copies (meaningful) and with selected copies, in presentation order.
  [[nodiscard]] std::vector<CriterionFigures> meaningfulStatistics() const;

  // {"All": {"groups", "total": {"count", "size"}, "selected", "automatic", "manual", "incorrect",
  // "cleaned"}, ...} by identifier.
  [[nodiscard]] Json encode() const;

  friend bool operator==(const DuplicatesDetectionStat&, const DuplicatesDetectionStat&) = default;

 private:
  std::map<FilteringCriterion, CriterionFigures> statistics_;
};

// "found 12 copies (40 MB) in 5 groups: 7 proposed automatically, 1 by hand, 2 kept against the
// proposal, 3 cleaned (9 MB)": the counts of one criterion in one line.
[[nodiscard]] std::string describeFigures(const CriterionFigures& figures);

}  // namespace zarnik
