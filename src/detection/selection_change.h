// Changing a stored group's selection by hand: choosing one of the offered strategies, or
// selecting and deselecting single copies. Every copy that becomes selected is checked: a denied
// copy refuses the whole change, a warning (such as selecting the last kept copy) holds it back
// until the user confirms.
#pragma once

#include "base/result.h"
#include "selection/copy_differences.h"
#include "selection/selection_rules.h"
#include "store/file_model_entities.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zarnik {

struct SelectionRequest {
  // restore: back (or forth) to a configuration the group had, for undo and redo.
  enum class Kind { strategy, select, deselect, restore };
  Kind kind = Kind::strategy;
  SelectionStrategy strategy = SelectionStrategy::automatic;  // for Kind::strategy
  std::set<std::int64_t> identifiers;                         // for select and deselect
  SelectionConfiguration configuration;                       // for restore
  bool confirmsWarnings = false;
};

struct SelectionWarning {
  std::int64_t identifier = 0;
  DuplicateWarning warning = DuplicateWarning::isLastUnselectedDuplicateOfEquivalence;
  std::string detail;  // shown instead of the warning's description when set
};

struct SelectionChangeProposal {
  SelectionConfiguration previous;
  SelectionConfiguration current;
  std::vector<SelectionWarning> warnings;  // of copies that become selected
  // false: warnings wait for confirmation and nothing may change.
  bool canApply = true;
  [[nodiscard]] bool changesAnything() const { return previous != current; }
};

// Errors: a strategy the group does not offer, a copy not in the group, a denied copy.
[[nodiscard]] Result<SelectionChangeProposal> proposeSelectionChange(
    const ZKEquivalence& equivalence, const SelectionRequest& request);

}  // namespace zarnik
