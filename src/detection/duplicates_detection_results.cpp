#include "detection/duplicates_detection_results.h"

#include <fmt/format.h>

#include "scanning/stored_detection_result.h"

namespace zarnik {

Json DuplicatesDetectionResultsState::encode() const {
  Json archive{{"$class", "DuplicatesDetectionResultsState"},
               {"activityLogIdentifierAutoincrement", activityLogIdentifierAutoincrement},
               {"scannedNodesCount", scannedNodesCount},
               {"scannedNodesSize", scannedNodesSize}};
  if (usedSizeThreshold) archive["usedSizeThreshold"] = *usedSizeThreshold;
  if (dateOfDetection) archive["dateOfDetection"] = dateOfDetection->time_since_epoch().count();
  return archive;
}

std::optional<DuplicatesDetectionResultsState> DuplicatesDetectionResultsState::decode(const Json& archive) {
  if (jsonString(archive, "$class") != "DuplicatesDetectionResultsState") return std::nullopt;
  DuplicatesDetectionResultsState state;
  auto counter = jsonInt(archive, "activityLogIdentifierAutoincrement");
  if (!counter || *counter < 1) return std::nullopt;
  state.activityLogIdentifierAutoincrement = *counter;
  state.scannedNodesCount = jsonInt(archive, "scannedNodesCount").value_or(0);
  state.scannedNodesSize = jsonInt(archive, "scannedNodesSize").value_or(0);
  state.usedSizeThreshold = jsonInt(archive, "usedSizeThreshold");
  if (auto date = jsonInt(archive, "dateOfDetection")) state.dateOfDetection = Date(std::chrono::nanoseconds(*date));
  return state;
}

DuplicatesDetectionResults::DuplicatesDetectionResults(std::unique_ptr<ManagedObjectContext> context,
                                                       DuplicatesDetectionResultsState state,
                                                       std::optional<std::string> movedAsideTo)
    : queue_(SerialQueue::make("duplicates-detection-results", QualityOfService::userInitiated)),
      context_(std::move(context)),
      state_(std::move(state)),
      movedAsideTo_(std::move(movedAsideTo)) {}

Result<std::shared_ptr<DuplicatesDetectionResults>> DuplicatesDetectionResults::open(
    std::optional<std::string> url, DuplicatesDetectionResultsState state) {
  const auto& model = ManagedObjectModel::fileModel();
  auto specification = url && *url != ":memory:" ? OVPersistentStoreSpecification::diskPersistentStore(model, *url)
                                                 : OVPersistentStoreSpecification::ramPersistentStore(model);
  ZK_ASSIGN_OR_RETURN(auto store, specification.buildPersistentStore());
  auto movedAsideTo = store->movedAsideTo();
  ZK_ASSIGN_OR_RETURN(auto context, ManagedObjectContext::make(std::move(store)));
  return std::shared_ptr<DuplicatesDetectionResults>(
      new DuplicatesDetectionResults(std::move(context), std::move(state), std::move(movedAsideTo)));
}

DuplicatesDetectionResultsState DuplicatesDetectionResults::state() const {
  std::lock_guard lock(stateMutex_);
  return state_;
}

Future<DuplicatesDetectionResultsState> DuplicatesDetectionResults::storeResults(
    std::shared_ptr<const ScanningServiceResult> result, std::vector<ScanLocationPtr> scanLocations,
    std::function<void(double)> progress) {
  auto self = shared_from_this();
  return makeFuture(*queue_, [self, result, scanLocations = std::move(scanLocations),
                              progress = std::move(progress)]() mutable -> Result<DuplicatesDetectionResultsState> {
    auto& context = *self->context_;
    const auto& groups = result->detectionResults;
    ZK_TRY(context.performTransaction([&]() -> Result<void> {
      ZK_TRY(context.deleteAllEquivalences());
      ZK_TRY(context.setScanLocations(std::move(scanLocations)));
      for (size_t index = 0; index < groups.size(); ++index) {
        ZKEquivalence equivalence;
        equivalence.uniqueIdentifier = static_cast<std::int64_t>(index) + 1;
        ZK_TRY(buildModelOfDetectionResult(groups[index], equivalence, context));
        if (progress && index % 1024 == 0) progress(static_cast<double>(index) / static_cast<double>(groups.size()));
      }
      return success();
    }));
    if (progress) progress(1.0);
    DuplicatesDetectionResultsState state;
    state.usedSizeThreshold = result->usedSizeThreshold;
    state.scannedNodesCount = result->scannedNodesCount;
    state.scannedNodesSize = result->scannedNodesSize;
    state.dateOfDetection = dateNow();
    std::lock_guard lock(self->stateMutex_);
    self->state_ = state;
    return state;
  });
}

Future<std::int64_t> DuplicatesDetectionResults::forEachEquivalence(std::function<bool(const ZKEquivalence&)> visit) {
  auto self = shared_from_this();
  return makeFuture(*queue_, [self, visit = std::move(visit)]() -> Result<std::int64_t> {
    std::int64_t visited = 0;
    ZK_TRY(self->context_->forEachEquivalence([&](ZKEquivalence& equivalence) {
      ++visited;
      return visit(equivalence);
    }));
    return visited;
  });
}

Future<std::optional<ZKEquivalence>> DuplicatesDetectionResults::equivalence(std::int64_t uniqueIdentifier) {
  auto self = shared_from_this();
  return makeFuture(*queue_, [self, uniqueIdentifier]() { return self->context_->fetchEquivalence(uniqueIdentifier); });
}

Future<std::vector<ZKActivityLogItem>> DuplicatesDetectionResults::activityLog() {
  auto self = shared_from_this();
  return makeFuture(*queue_, [self]() { return self->context_->fetchActivityLogItems(); });
}

Future<SelectionChangeResult> DuplicatesDetectionResults::changeSelection(std::optional<std::int64_t> equivalenceIdentifier,
                                                                          SelectionRequest request) {
  auto self = shared_from_this();
  return makeFuture(*queue_, [self, equivalenceIdentifier, request]() -> Result<SelectionChangeResult> {
    auto& context = *self->context_;
    std::optional<ZKEquivalence> group;
    if (equivalenceIdentifier) {
      ZK_ASSIGN_OR_RETURN(group, context.fetchEquivalence(*equivalenceIdentifier));
      if (!group) return Error::generic(fmt::format("There is no group {}.", *equivalenceIdentifier));
    } else {
      if (request.identifiers.empty()) return Error::generic("Name a group or a copy.");
      const std::int64_t first = *request.identifiers.begin();
      ZK_ASSIGN_OR_RETURN(group, context.fetchEquivalenceOfDuplicate(first));
      if (!group) return Error::generic(fmt::format("There is no copy {}.", first));
    }
    return self->applyChange(std::move(*group), request, ActivityInteractionType::direct);
  });
}

Result<SelectionChangeResult> DuplicatesDetectionResults::applyChange(ZKEquivalence equivalence,
                                                                      const SelectionRequest& request,
                                                                      ActivityInteractionType type) {
  SelectionChangeResult result;
  result.equivalenceIdentifier = equivalence.uniqueIdentifier;
  ZK_ASSIGN_OR_RETURN(result.proposal, proposeSelectionChange(equivalence, request));
  // An undo or redo is recorded even when it changes nothing, so that the history moves on.
  if (!result.proposal.canApply || (!result.proposal.changesAnything() && type == ActivityInteractionType::direct)) {
    return result;
  }

  auto& context = *context_;
  ZK_ASSIGN_OR_RETURN(auto history, context.fetchActivityLogItems());
  ZKActivityLogItem item;
  {
    std::lock_guard lock(stateMutex_);
    // The history in the store is the authority: the state file may lag behind it.
    for (const auto& entry : history) {
      state_.activityLogIdentifierAutoincrement =
          std::max(state_.activityLogIdentifierAutoincrement, entry.uniqueIdentifier + 1);
    }
    item.uniqueIdentifier = state_.activityLogIdentifierAutoincrement++;
  }
  item.date = dateNow();
  item.previousSelectionConfiguration = result.proposal.previous;
  item.currentSelectionConfiguration = result.proposal.current;
  item.equivalenceIdentifier = equivalence.uniqueIdentifier;
  item.equivalences = {equivalence.uniqueIdentifier};
  item.interactionType = type;
  equivalence.currentSelectionConfiguration = result.proposal.current;
  ZK_TRY(context.performTransaction([&]() -> Result<void> {
    ZK_TRY(context.updateEquivalence(equivalence));
    return context.insertActivityLogItem(item);
  }));
  result.logItem = std::move(item);
  return result;
}

Future<SelectionChangeResult> DuplicatesDetectionResults::undo() {
  auto self = shared_from_this();
  return makeFuture(*queue_, [self]() { return self->replay(true); });
}

Future<SelectionChangeResult> DuplicatesDetectionResults::redo() {
  auto self = shared_from_this();
  return makeFuture(*queue_, [self]() { return self->replay(false); });
}

// The history read as two stacks: direct changes are done (and end every redo), an undo moves
// the latest done change to the undone ones, a redo moves it back.
Result<SelectionChangeResult> DuplicatesDetectionResults::replay(bool undo) {
  ZK_ASSIGN_OR_RETURN(auto history, context_->fetchActivityLogItems());
  std::vector<const ZKActivityLogItem*> done;
  std::vector<const ZKActivityLogItem*> undone;
  for (const auto& item : history) {
    switch (item.interactionType) {
      case ActivityInteractionType::direct:
        done.push_back(&item);
        undone.clear();
        break;
      case ActivityInteractionType::undo:
        if (!done.empty()) {
          undone.push_back(done.back());
          done.pop_back();
        }
        break;
      case ActivityInteractionType::redo:
        if (!undone.empty()) {
          done.push_back(undone.back());
          undone.pop_back();
        }
        break;
    }
  }
  auto& stack = undo ? done : undone;
  if (stack.empty()) return Error::generic(undo ? "There is no selection change to undo." : "There is nothing to redo.");
  const ZKActivityLogItem& target = *stack.back();
  ZK_ASSIGN_OR_RETURN(auto group, context_->fetchEquivalence(target.equivalenceIdentifier));
  if (!group) return Error::generic(fmt::format("Group {} is no longer stored.", target.equivalenceIdentifier));
  // Going back or forth restores a configuration the user already had: no check holds it back.
  const SelectionConfiguration& restored =
      undo ? target.previousSelectionConfiguration : target.currentSelectionConfiguration;
  SelectionRequest request;
  request.kind = SelectionRequest::Kind::restore;
  request.configuration = restored;
  request.confirmsWarnings = true;
  return applyChange(std::move(*group), request,
                     undo ? ActivityInteractionType::undo : ActivityInteractionType::redo);
}

}  // namespace zarnik
