#include "cleaning/reverting_task.h"

#include "cleaning/cleaning_plan.h"
#include "cleaning/cleaning_recovery.h"
#include "cleaning/cleaning_reverter.h"
#include <fmt/format.h>

#include "foundation/logger.h"

namespace zarnik {

namespace {

// A copy brought back as a file of its own (a hard link undone, a move across file systems) is a
// new file with the same bytes: its record takes the new identity, so that it is known again
// when it is checked before another cleaning.
void followNewIdentity(ZKDuplicate& copy, const std::string& path) {
  const auto node = copy.node();
  const auto now = NodeAttributes::resourceValuesOf(path);
  if (!node || !now || !now->fileResourceID || node->fileResourceID() == now->fileResourceID) return;
  Json archive = node->encode();
  if (Json* attributes = archive.contains("attributes") ? &archive["attributes"] : nullptr) {
    (*attributes)["fileResourceID"] = hexJson(now->fileResourceID->bytes());
  }
  if (auto updated = ZKBaseNode::decode(archive); updated.hasValue()) copy.setNode(*updated.value());
}

}  // namespace

std::shared_ptr<RevertingTask> RevertingTask::make(RevertingRequest request) {
  return std::shared_ptr<RevertingTask>(new RevertingTask(std::move(request)));
}

void RevertingTask::start() {
  request_.store.queue->async([self = shared_from_this()] {
    if (auto settled = settleCutOffCleanings(*self->request_.store.context); settled.hasError()) {
      self->reports_.fail(settled.error());
      return;
    }
    auto items = self->collectItems();
    if (items.hasError()) {
      self->reports_.fail(items.error());
      return;
    }
    self->items_ = std::move(items.value());
    Logger::shared().log("RevertingTask", "start", fmt::format("Start of reversion of {} items", self->items_.size()));
    self->revertNext();
  });
}

Result<std::vector<RevertingTask::Item>> RevertingTask::collectItems() {
  std::vector<Item> items;
  const auto& wanted = request_.duplicateIDs;
  ZK_TRY(request_.store.context->forEachEquivalence([&](ZKEquivalence& group) {
    for (const auto& copy : group.duplicates) {
      if (!copy.cleanID || (!wanted.empty() && wanted.count(copy.identifier) == 0)) continue;
      auto note = cleaningNoteOf(copy);
      // A copy whose removal failed is in place: there is nothing to undo.
      if (note && note->error) continue;
      items.push_back({group.uniqueIdentifier, copy.identifier});
    }
    return true;
  }));
  return items;
}

void RevertingTask::revertNext() {
  if (itemsCompleted_ == items_.size() || !canContinue()) {
    reports_.succeed(outcome_);
    return;
  }
  auto reverted = revertItem(items_[itemsCompleted_]);
  if (reverted.hasError()) {
    reports_.fail(reverted.error());
    return;
  }
  auto& item = reverted.value();
  (item.error ? outcome_.failedDuplicateIDs : outcome_.revertedDuplicateIDs).push_back(item.duplicateID);
  outcome_.items.push_back(std::move(item));
  ++itemsCompleted_;
  reports_.update(static_cast<double>(itemsCompleted_) / static_cast<double>(items_.size()));
  request_.store.queue->async([self = shared_from_this()] { self->revertNext(); });
}

Result<RevertedItem> RevertingTask::revertItem(const Item& item) {
  auto& context = *request_.store.context;
  ZK_ASSIGN_OR_RETURN(ZKDuplicate* copy, fetchedCopy(context, group_, item.equivalenceID, item.duplicateID));
  RevertedItem reverted{item.duplicateID, {}, 0, false, std::nullopt};
  if (copy == nullptr) {
    reverted.error = Error::generic("This copy is no longer among the stored results.");
    return reverted;
  }
  const auto node = copy->node();
  reverted.size = node ? node->exactSize() : group_->memberSize;
  reverted.isSimilar = isSimilar(group_->privateEquivalenceKind);
  auto note = cleaningNoteOf(*copy);
  if (!note) {
    reverted.error = Error::generic("The record of this copy's cleaning cannot be read.");
    return reverted;
  }
  reverted.path = note->originalPath;
  if (!note->reverted && !note->isFakeRemove && !note->revertPending) {
    // Stored before anything moves: a revert cut off is finished by the next one.
    note->revertPending = true;
    setCleaningNote(*copy, note);
    ZK_TRY(context.updateEquivalence(*group_));
  }
  if (auto back = revertCleaning(*note); back.hasError()) {
    reverted.error = back.error();
    note->reversionError = back.error();
    note->revertPending = false;
    setCleaningNote(*copy, note);
  } else {
    // Back in place: it can be selected and cleaned again. The selection that removed it stays;
    // it is proposed again, not removed again unasked.
    setCleaningNote(*copy, std::nullopt);
    followNewIdentity(*copy, note->originalPath);
  }
  ZK_TRY(context.updateEquivalence(*group_));
  return reverted;
}

}  // namespace zarnik
