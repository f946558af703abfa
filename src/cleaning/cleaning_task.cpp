#include "cleaning/cleaning_task.h"

#include "base/path_components.h"
#include "cleaning/cleaning_error.h"
#include "cleaning/cleaning_recovery.h"
#include "foundation/logger.h"
#include "platform/mounts.h"
#include "platform/xdg_directories.h"

#include <fmt/format.h>

namespace zarnik {
namespace {

// Where a fake removal says the item went; nothing is ever put there.
std::string fakeTrashLocation(std::string_view path) {
  return appendingPathComponent(appendingPathComponent(xdg::zarnikCacheDirectory(), "fake-trash"),
                                lastPathComponent(path));
}

bool wasReplacedByHardLink(const CleaningNote& note) {
  return note.actions.size() > 1 &&
         std::holds_alternative<CleaningReplacedWithHardlinkAction>(note.actions.back());
}

}  // namespace

std::shared_ptr<CleaningTask> CleaningTask::make(CleaningRequest request, Clock& clock) {
  return std::shared_ptr<CleaningTask>(new CleaningTask(std::move(request), clock));
}

CleaningTask::CleaningTask(CleaningRequest request, Clock& clock)
    : request_(std::move(request)), clock_(clock) {}

void CleaningTask::start() {
  request_.store.queue->async([self = shared_from_this()] {
    self->startTime_ = std::chrono::steady_clock::now();
    self->mounts_ =
        readMountTable();  // once: volumes decide the option and name the volume to change
    if (auto settled = settleCutOffCleanings(*self->request_.store.context); settled.hasError()) {
      self->reports_.fail(settled.error());
      return;
    }
    auto plan =
        planCleaning(*self->request_.store.context, self->request_.removesEveryCopyOfAGroup);
    if (plan.hasError()) {
      self->reports_.fail(plan.error());
      return;
    }
    self->plan_ = std::move(plan.value());
    self->cleanID_.store(self->plan_.cleanID, std::memory_order_release);
    self->part_.cleaningRules = self->request_.cleaningRules;
    self->part_.progress.numberOfItems = static_cast<std::int64_t>(self->plan_.items.size());
    self->part_.progress.sizeOfItems = self->plan_.size();
    self->result_ = self->part_;
    self->reports_.update(self->part_.progress);
    self->cleanNext();
  });
}

void CleaningTask::cleanNext() {
  if (next_ == plan_.items.size() || !canContinue()) {
    finish();
    return;
  }
  const size_t index = next_++;
  if (!request_.cleaningRules.isFakeRemove) {
    performItem(index);
    return;
  }
  DelayedWorkItem::schedule(clock_, kFakeRemoveTimeout, request_.store.queue,
                            [self = shared_from_this(), index] { self->performItem(index); });
}

void CleaningTask::performItem(size_t index) {
  const auto& planned = plan_.items[index];
  if (planned.policy != policyOfPart_) {
    // One policy's items end: its part of the result joins the whole.
    if (policyOfPart_) {
      result_.merge(part_);
      part_ = CleaningResult{};
      part_.cleaningRules = request_.cleaningRules;
    }
    policyOfPart_ = planned.policy;
    Logger::shared().log(
        "CleaningTask", "performItem",
        "Start of cleaning of policy " + planned.policy.value_or(CleaningPolicy{}).description());
  }
  auto emitted = cleanItem(planned);
  if (emitted.hasError()) {
    // The store cannot record what is done: nothing more is touched.
    reports_.fail(emitted.error());
    return;
  }
  account(planned, emitted.value());
  reports_.update(emitted.value());
  CleaningProgress whole = result_.progress;
  whole.merge(part_.progress);
  reports_.update(whole);
  request_.store.queue->async([self = shared_from_this()] { self->cleanNext(); });
}

Result<CleaningNoteEmitted> CleaningTask::cleanItem(const PlannedCleaningItem& planned) {
  auto& context = *request_.store.context;
  CleaningNoteEmitted emitted{
      planned.duplicateID, {}, planned.path, planned.size, planned.isSimilar};
  ZK_ASSIGN_OR_RETURN(ZKDuplicate * copy,
                      fetchedCopy(context, group_, planned.equivalenceID, planned.duplicateID));
  CleaningNote& note = emitted.note;
  note.cleanID = plan_.cleanID;
  note.date = dateNow();
  note.originalPath = planned.path;
  note.pending = false;
  note.isFakeRemove = request_.cleaningRules.isFakeRemove;
  if (copy == nullptr || isCleaned(*copy)) {
    note.error = Error::generic("This copy is no longer among the stored results.", planned.path);
    return emitted;  // nothing stored to write the note on
  }
  const ZKDuplicate* kept = keptCopy(*group_);
  auto node = copy->node();
  if (!group_->isSelected(*copy) || kept == copy) {
    // The plan was made when the cleaning began; the copy to keep is decided now.
    note.error = cleaningError(CleaningErrorCode::sourceInvalid, planned.path,
                               "it is no longer selected for removal; it was left in place");
  } else if (!node) {
    note.error = Error::generic("The stored record of this copy cannot be read.", planned.path);
  } else if (!planned.policy) {
    note.error = cleaningError(CleaningErrorCode::sourceInvalid, planned.path,
                               "the photo library this picture belongs to is not known");
  } else {
    note.modificationDate = node->attributes().dateOfModification;
    note.option = request_.cleaningRules.cleaningOptionForURL(planned.path, mounts_);
    auto removed = removeCopy(*copy, kept, node, note);
    if (removed.hasError()) {
      note.error = removed.error();
    } else {
      note.actions = std::move(removed.value().actions);
      note.note = std::move(removed.value().note);
      // The library's own file is never written: the library will miss the item until a revert.
      if (planned.policy->isMediaLibraryPolicy() && !request_.cleaningRules.isFakeRemove) {
        const std::string missing = planned.policy->libraryItemRemovedNote();
        note.note = note.note ? *note.note + "; " + missing : missing;
      }
    }
  }
  if (note.error) {
    const auto code = static_cast<CleaningErrorCode>(note.error->code);
    const bool ours = note.error->domain == kCleaningErrorDomain;
    Logger::shared().log(
        "CleaningTask", "performItem",
        fmt::format("Did fail to clean item: {}: {}",
                    ours ? description(code) : note.error->description, note.error->oneLine()));
  }
  setCleaningNote(*copy, note);
  ZK_TRY(context.updateEquivalence(*group_));
  if (note.isSuccessful() && !request_.cleaningRules.isFakeRemove &&
      request_.cleaningRules.removeEmptyDirectories && !wasReplacedByHardLink(note)) {
    cleanEmptyFolders(planned.path);
  }
  return emitted;
}

Result<CleaningItemOutcome> CleaningTask::removeCopy(ZKDuplicate& copy, const ZKDuplicate* kept,
                                                     const std::shared_ptr<const ZKBaseNode>& node,
                                                     CleaningNote& note) {
  if (request_.cleaningRules.isFakeRemove) {
    CleaningItemOutcome outcome;
    outcome.actions.emplace_back(
        CleaningMovedToTrashAction{fakeTrashLocation(note.originalPath), std::nullopt});
    return outcome;
  }
  const auto kind = group_->privateEquivalenceKind;
  const CleaningItem item{copy.identifier,
                          node,
                          kept ? kept->identifier : 0,
                          kept ? kept->node() : nullptr,
                          kind,
                          scanLocationHolding(note.originalPath),
                          plan_.cleanID};
  const CleaningSteps steps{
      // Written before the copy is touched: if the program dies now, the copy is accounted for.
      [&](const CleaningNote& journal) -> Result<void> {
        CleaningNote pending = journal;
        pending.pending = true;
        setCleaningNote(copy, pending);
        return request_.store.context->updateEquivalence(*group_);
      },
      [this] { return canContinue(); }};
  return DefaultCleaningPolicy().perform(
      item, note, request_.cleaningRules.shouldTryToReplaceRemovedDuplicatesWithHardLinkToOriginal,
      steps);
}

void CleaningTask::account(const PlannedCleaningItem& planned, const CleaningNoteEmitted& emitted) {
  const bool succeeded = emitted.note.isSuccessful();
  auto& progress = part_.progress;
  (succeeded ? progress.numberOfSuccededItems : progress.numberOfFailedItems) += 1;
  (succeeded ? progress.sizeOfSuccededItems : progress.sizeOfFailedItems) += planned.size;
  part_.statistics.count(succeeded, planned.isSimilar, planned.size);
  if (planned.policy && planned.policy->kind == CleaningPolicy::Kind::photos)
    part_.didCleanPhotosItems = true;
  if (succeeded) part_.cleanedURLs.insert(planned.path);
  const bool trashUnusable =
      !succeeded && emitted.note.option.kind == FileCleaningOption::Kind::moveToTrash &&
      emitted.note.error &&
      emitted.note.error->code == static_cast<int>(CleaningErrorCode::destinationUnaccessible);
  if (trashUnusable)
    part_.volumeURLToChangeCleaningOption = mountPointForPath(mounts_, planned.path);
}

std::string CleaningTask::scanLocationHolding(const std::string& path) const {
  // The innermost scan location holding the copy.
  std::string bound;
  for (const auto& location : request_.scanLocations) {
    const std::string& folder = location->path();
    const bool inside = path.size() > folder.size() &&
                        path.compare(0, folder.size(), folder) == 0 &&
                        (folder.back() == '/' || path[folder.size()] == '/');
    if (inside && folder.size() > bound.size()) bound = folder;
  }
  return bound;
}

void CleaningTask::cleanEmptyFolders(const std::string& removedPath) {
  const std::string bound = scanLocationHolding(removedPath);
  if (!bound.empty()) (void)DefaultCleaningPolicy::cleanEmptyDirectories(removedPath, bound);
}

void CleaningTask::finish() {
  part_.didCancel = !canContinue();
  part_.statistics.cleanDuration =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - startTime_).count();
  if (policyOfPart_) {
    result_.merge(part_);
  } else {
    result_ = part_;
  }
  reports_.update(result_.progress);
  reports_.succeed(result_);
}

}  // namespace zarnik
