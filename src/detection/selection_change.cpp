#include "detection/selection_change.h"

#include <algorithm>

#include <fmt/format.h>

#include "selection/autoselector.h"

namespace zarnik {
namespace {

Result<SelectionConfiguration> offeredConfiguration(const ZKEquivalence& equivalence, SelectionStrategy strategy) {
  const auto& offered = equivalence.availableSelectionConfigurations;
  auto it = std::find_if(offered.begin(), offered.end(),
                         [strategy](const auto& configuration) { return configuration.strategy == strategy; });
  if (it != offered.end()) return *it;
  if (strategy == SelectionStrategy::automatic && equivalence.initialSelectionConfiguration) {
    return *equivalence.initialSelectionConfiguration;
  }
  return Error::generic(fmt::format("Group {} does not offer the selection \"{}\".", equivalence.uniqueIdentifier,
                                    identifier(strategy)));
}

Result<void> checkMembership(const ZKEquivalence& equivalence, const std::set<std::int64_t>& identifiers) {
  for (std::int64_t id : identifiers) {
    if (equivalence.duplicate(id) == nullptr) {
      return Error::generic(fmt::format("Copy {} is not in group {}.", id, equivalence.uniqueIdentifier));
    }
  }
  return success();
}

// "belongs to package libx11-6", "" for a system file of no known package; nothing for a copy
// that is not the system's.
std::optional<std::string> systemFileOwnerOf(const ZKDuplicate& copy) {
  const auto decision = copy.autoselectionModeDecision();
  if (!decision) return std::nullopt;
  if (decision->reason == AutoselectionModeReason::installedPackage) return systemFileDescription(decision->package);
  if (decision->reason == AutoselectionModeReason::systemFolder) return std::string();
  return std::nullopt;
}

}  // namespace

Result<SelectionChangeProposal> proposeSelectionChange(const ZKEquivalence& equivalence,
                                                       const SelectionRequest& request) {
  SelectionChangeProposal proposal;
  proposal.previous = equivalence.currentSelectionConfiguration.value_or(
      SelectionConfiguration{SelectionStrategy::none, equivalence.initialOriginalDuplicateID, {}});
  if (request.kind == SelectionRequest::Kind::strategy) {
    ZK_ASSIGN_OR_RETURN(proposal.current, offeredConfiguration(equivalence, request.strategy));
  } else if (request.kind == SelectionRequest::Kind::restore) {
    proposal.current = request.configuration;
  } else {
    ZK_TRY(checkMembership(equivalence, request.identifiers));
    proposal.current = proposal.previous;
    proposal.current.strategy = SelectionStrategy::manual;
    for (std::int64_t id : request.identifiers) {
      if (request.kind == SelectionRequest::Kind::select) {
        proposal.current.selectedIDs.insert(id);
      } else {
        proposal.current.selectedIDs.erase(id);
      }
    }
    if (proposal.current.selectedIDs == proposal.previous.selectedIDs) proposal.current.strategy = proposal.previous.strategy;
  }

  const bool everyCopySelected = std::all_of(equivalence.duplicates.begin(), equivalence.duplicates.end(),
                                             [&](const auto& copy) { return proposal.current.isSelected(copy.identifier); });
  for (const auto& copy : equivalence.duplicates) {
    if (!proposal.current.isSelected(copy.identifier) || proposal.previous.isSelected(copy.identifier)) continue;
    const SelectionCheck check = checkSelection(copy.differences(), everyCopySelected);
    for (DuplicateWarning warning : check.warnings) proposal.warnings.push_back({copy.identifier, warning, {}});
    if (auto owner = systemFileOwnerOf(copy)) {
      proposal.warnings.push_back({copy.identifier, DuplicateWarning::isSystemFile,
                                   owner->empty() ? std::string() : *owner + ": removing it may break that package"});
      if (!request.confirmsWarnings) proposal.canApply = false;
    }
    if (check.permission == SelectionPermission::denied) {
      const auto denied = std::find_if(check.warnings.begin(), check.warnings.end(),
                                       [](DuplicateWarning w) { return permission(w) == SelectionPermission::denied; });
      return Error::generic(fmt::format("Copy {} cannot be selected: {}", copy.identifier, description(*denied)));
    }
    if (check.permission == SelectionPermission::allowedWithWarning && !request.confirmsWarnings) {
      proposal.canApply = false;
    }
  }
  return proposal;
}

}  // namespace zarnik
