// The smart rules that the changes made by hand in the results under review suggest, for
// `zarnik rules suggest` to list and `zarnik select` to offer when a change makes one ready.
#pragma once

#include "base/result.h"
#include "selection/selection_rules.h"

#include <vector>

namespace zarnik {
class DuplicatesDetectionResults;
}

namespace zarnik::cli {

struct RuleSuggestions {
  std::vector<SmartSelectionRule> pending;  // in the order they are numbered
  // Those among `pending` that only the last change of the selection history made ready.
  std::vector<SmartSelectionRule> readyAfterLastChange;
};

[[nodiscard]] Result<RuleSuggestions> ruleSuggestions(DuplicatesDetectionResults& results,
                                                      const ExtendedAutoselectionRules& rules);

}  // namespace zarnik::cli
