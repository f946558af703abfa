#include "detection/duplicates_detection_results.h"

#include "cleaning/cleaning_note.h"
#include "cleaning/cleaning_recovery.h"
#include "cleaning/cleaning_reverter.h"
#include "detection/kept_cleaning_records.h"
#include "foundation/logger.h"
#include "foundation/parallel_loop.h"
#include "foundation/thread_pool.h"
#include "scanning/stored_detection_result.h"
#include "store/results_fingerprint.h"

#include <fmt/format.h>

#include <algorithm>
#include <deque>
#include <iterator>
#include <utility>

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

std::optional<DuplicatesDetectionResultsState> DuplicatesDetectionResultsState::decode(
    const Json& archive) {
  if (jsonString(archive, "$class") != "DuplicatesDetectionResultsState") return std::nullopt;
  DuplicatesDetectionResultsState state;
  auto counter = jsonInt(archive, "activityLogIdentifierAutoincrement");
  if (!counter || *counter < 1) return std::nullopt;
  state.activityLogIdentifierAutoincrement = *counter;
  state.scannedNodesCount = jsonInt(archive, "scannedNodesCount").value_or(0);
  state.scannedNodesSize = jsonInt(archive, "scannedNodesSize").value_or(0);
  state.usedSizeThreshold = jsonInt(archive, "usedSizeThreshold");
  if (auto date = jsonInt(archive, "dateOfDetection"))
    state.dateOfDetection = Date(std::chrono::nanoseconds(*date));
  return state;
}

DuplicatesDetectionResults::DuplicatesDetectionResults(
    std::unique_ptr<ManagedObjectContext> context, DuplicatesDetectionResultsState state,
    std::optional<std::string> movedAsideTo)
    : queue_(SerialQueue::make("duplicates-detection-results", QualityOfService::userInitiated)),
      context_(std::move(context)),
      state_(state),
      movedAsideTo_(std::move(movedAsideTo)) {}

Result<std::shared_ptr<DuplicatesDetectionResults>> DuplicatesDetectionResults::open(
    std::optional<std::string> url, DuplicatesDetectionResultsState state) {
  const auto& model = ManagedObjectModel::fileModel();
  auto specification = url && *url != ":memory:"
                           ? OVPersistentStoreSpecification::diskPersistentStore(model, *url)
                           : OVPersistentStoreSpecification::ramPersistentStore(model);
  ZK_ASSIGN_OR_RETURN(auto store, specification.buildPersistentStore());
  auto movedAsideTo = store->movedAsideTo();
  ZK_ASSIGN_OR_RETURN(auto context, ManagedObjectContext::make(std::move(store)));
  return std::shared_ptr<DuplicatesDetectionResults>(
      new DuplicatesDetectionResults(std::move(context), state, std::move(movedAsideTo)));
}

DuplicatesDetectionResultsState DuplicatesDetectionResults::state() const {
  std::lock_guard lock(stateMutex_);
  return state_;
}

namespace {
// Chunks end after this many members: groups range from two copies to thousands.
constexpr size_t kMembersPerChunk = 512;
// Encoded chunks waiting for their turn at most: bounds the memory of a large write.
constexpr size_t kChunksAhead = 2;
}  // namespace

// One write of a scan's groups: the groups are encoded in chunks on the shared pool while the
// results' queue inserts the chunks already encoded, all inside one transaction.
//
// When the store may hold these very groups already (as many, under the same scan locations, with
// no selection history), each chunk is first only digested, and compared with the store's rows of
// the same groups: the same rows are not written again. At the first difference the groups are
// written from the first after all; a store that cannot be read for this is written too.
struct DuplicatesDetectionResults::StoreJob
    : std::enable_shared_from_this<DuplicatesDetectionResults::StoreJob> {
  std::shared_ptr<const ScanningServiceResult> result;
  std::vector<ScanLocationPtr> scanLocations;
  std::function<void(double)> progress;
  std::shared_ptr<const ArchiveSubstitutions> substitutions;
  bool checking = false;
  // The rows the connection had written when the check began: other work of the queue may join
  // the transaction between chunks, and the store then no longer holds what was compared.
  std::int64_t rowsWrittenWhenChecked = 0;
  // The part of the progress this pass over the groups reports: half of it while checking.
  double progressStart = 0;
  double progressSpan = 1;
  size_t nextGroup = 0;  // the first group of the next chunk to encode
  size_t stored = 0;
  struct EncodedChunk {
    size_t first = 0;  // the chunk's groups, by index
    size_t end = 0;
    std::vector<ManagedObjectContext::EncodedEquivalence> encoded;
    // The groups as written, when they are kept: moved out by the queue, which sees the chunk
    // only as const.
    std::shared_ptr<std::vector<ZKEquivalence>> kept =
        std::make_shared<std::vector<ZKEquivalence>>();
  };
  std::deque<Future<EncodedChunk>> encoding;
  size_t newCopies = 0;  // in the scan's groups
  bool keepsGroups = false;
  std::vector<ZKEquivalence> kept;
  std::vector<ZKEquivalence>
      withKeptRecords;  // earlier groups holding records that must outlive them
  // Their records, renumbered after the new groups, and the records' nodes.
  std::vector<ZKEquivalence> carried;
  std::vector<std::vector<std::shared_ptr<const ZKBaseNode>>> carriedNodes;
  Promise<DuplicatesDetectionResultsState> promise;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();

  // Starts encoding the next chunks on the shared pool, up to kChunksAhead waiting.
  void encodeAhead() {
    const auto& groups = result->detectionResults;
    while (encoding.size() < kChunksAhead && nextGroup < groups.size()) {
      const size_t first = nextGroup;
      size_t end = first;
      for (size_t members = 0; end < groups.size() && members < kMembersPerChunk; ++end) {
        members += groups[end].equivalence.duplicates.size();
      }
      nextGroup = end;
      encoding.push_back(
          makeFuture(Executor::primary(),
                     [result = result, substitutions = substitutions, keeps = keepsGroups, first,
                      end] { return encodedChunk(*result, substitutions, keeps, first, end); }));
    }
  }
  static EncodedChunk encodedChunk(const ScanningServiceResult& result,
                                   const std::shared_ptr<const ArchiveSubstitutions>& substitutions,
                                   bool keeps, size_t first, size_t end);

  // Whether the store may hold exactly these groups: then they are compared before anything is
  // written.
  void checkWhetherStored(ManagedObjectContext& context) {
    auto copies = static_cast<std::int64_t>(newCopies);
    for (const auto& group : carried) copies += static_cast<std::int64_t>(group.duplicates.size());
    const auto groups = static_cast<std::int64_t>(result->detectionResults.size() + carried.size());
    const auto state = ResultsFingerprint::stateOf(context);
    if (groups == 0 || state.hasError() || state.value().groups != groups ||
        state.value().copies != copies || state.value().hasHistory ||
        state.value().scanLocations != archivedScanLocations(scanLocations) ||
        !ResultsFingerprint().isValid()) {
      return;
    }
    checking = true;
    rowsWrittenWhenChecked = state.value().rowsWritten;
    progressSpan = 0.5;  // the writing may follow
  }
  // Whether the store holds `groups` as they would be written, and no other group numbered from
  // `first` to `last` (to the end when none).
  bool holds(ManagedObjectContext& context,
             const std::vector<ManagedObjectContext::EncodedEquivalence>& groups,
             std::int64_t first, std::optional<std::int64_t> last) const {
    ResultsFingerprint fingerprint;
    for (const auto& group : groups) fingerprint.add(group);
    const auto stored = ResultsFingerprint::ofStoredGroups(context, first, last);
    const auto written = ResultsFingerprint::rowsWrittenSoFar(context);
    return stored.hasValue() && written.hasValue() && written.value() == rowsWrittenWhenChecked &&
           stored.value() == fingerprint.finish();
  }
  // The groups are written from the first after all, and kept as written.
  Result<void> writeAfterAll(ManagedObjectContext& context) {
    checking = false;
    encoding.clear();  // chunks encoded for the comparison
    nextGroup = 0;
    stored = 0;
    kept.clear();
    progressStart = 0.5;
    return startWriting(context);
  }
  void reportProgress() const {
    if (!progress) return;
    const double done = static_cast<double>(stored) /
                        static_cast<double>(std::max<size_t>(1, result->detectionResults.size()));
    progress(progressStart + progressSpan * done);
  }
  // Replaces the store's groups: the earlier ones go, the new ones are inserted from the first.
  Result<void> startWriting(ManagedObjectContext& context) {
    ZK_TRY(context.deleteAllEquivalences());
    return context.setScanLocations(scanLocations);
  }
};

// Groups `first` to `end` as rows, and as kept groups when `keeps`.
DuplicatesDetectionResults::StoreJob::EncodedChunk
DuplicatesDetectionResults::StoreJob::encodedChunk(
    const ScanningServiceResult& result,
    const std::shared_ptr<const ArchiveSubstitutions>& substitutions, bool keeps, size_t first,
    size_t end) {
  EncodedChunk chunk;
  chunk.first = first;
  chunk.end = end;
  chunk.encoded.reserve(end - first);
  for (size_t index = first; index < end; ++index) {
    const auto& group = result.detectionResults[index];
    auto model = modelOfDetectionResult(group, static_cast<std::int64_t>(index) + 1, substitutions);
    if (!keeps) {
      chunk.encoded.push_back(ManagedObjectContext::encode(std::move(model)));
      continue;
    }
    chunk.encoded.push_back(ManagedObjectContext::encode(model));
    for (size_t member = 0; member < model.duplicates.size(); ++member) {
      auto& copy = model.duplicates[member];
      copy.keepNodeOnly(group.equivalence.duplicates[member].node);
      copy.equivalence = model.uniqueIdentifier;  // as read back
    }
    chunk.kept->push_back(std::move(model));
  }
  return chunk;
}

Future<DuplicatesDetectionResultsState> DuplicatesDetectionResults::storeResults(
    std::shared_ptr<const ScanningServiceResult> result, std::vector<ScanLocationPtr> scanLocations,
    std::function<void(double)> progress) {
  auto job = std::make_shared<StoreJob>();
  job->result = std::move(result);
  job->progress = std::move(progress);
  for (const auto& group : job->result->detectionResults)
    job->newCopies += group.equivalence.duplicates.size();
  job->keepsGroups = job->newCopies > 0 && job->newCopies <= mostKeptCopies_;
  // The archives refer to the locations as the store will hold them, so encoding need not wait
  // for the earlier groups to be read and removed.
  job->substitutions = std::make_shared<const ArchiveSubstitutions>(
      scanLocations, std::vector<std::shared_ptr<const ZKBaseNode>>{});
  job->encodeAhead();
  auto future = job->promise.future();
  auto self = shared_from_this();
  job->scanLocations = std::move(scanLocations);
  queue_->async([self, job]() {
    self->storedGroups_.clear();
    auto& context = *self->context_;
    auto begun = context.beginTransaction();
    if (begun.hasValue()) {
      begun = context.forEachEquivalenceWithCleanedCopies([&job](ZKEquivalence& group) {
        if (std::any_of(group.duplicates.begin(), group.duplicates.end(),
                        recordMustOutliveResults)) {
          job->withKeptRecords.push_back(group);
        }
        return true;
      });
    }
    if (begun.hasValue()) begun = self->carryOverKeptRecords(*job);
    if (begun.hasValue()) {
      job->checkWhetherStored(context);
      if (!job->checking) begun = job->startWriting(context);
    }
    if (begun.hasError()) {
      self->failStoring(*job, begun.error());
      return;
    }
    self->continueStoring(job);
  });
  return future;
}

void DuplicatesDetectionResults::failStoring(StoreJob& job, const Error& error) {
  context_->rollbackTransaction();
  job.promise.fail(error);
}

void DuplicatesDetectionResults::continueStoring(const std::shared_ptr<StoreJob>& job) {
  job->encodeAhead();
  if (job->encoding.empty()) {
    finishStoring(*job);
    return;
  }
  auto next = std::move(job->encoding.front());
  job->encoding.pop_front();
  auto self = shared_from_this();
  next.onComplete(*queue_, [self, job](const Result<StoreJob::EncodedChunk>& chunk) {
    if (chunk.hasError()) {
      self->failStoring(*job, chunk.error());
      return;
    }
    const auto& encoded = chunk.value().encoded;
    if (job->checking &&
        !job->holds(*self->context_, encoded, static_cast<std::int64_t>(chunk.value().first) + 1,
                    static_cast<std::int64_t>(chunk.value().end))) {
      if (auto restarted = job->writeAfterAll(*self->context_); restarted.hasError()) {
        self->failStoring(*job, restarted.error());
        return;
      }
      self->continueStoring(job);
      return;
    }
    for (const auto& model : encoded) {
      if (job->checking) break;  // the store holds them
      if (auto inserted = self->context_->insertEquivalence(model); inserted.hasError()) {
        self->failStoring(*job, inserted.error());
        return;
      }
    }
    auto& kept = *chunk.value().kept;
    std::move(kept.begin(), kept.end(), std::back_inserter(job->kept));
    job->stored += chunk.value().encoded.size();
    job->reportProgress();
    self->continueStoring(job);
  });
}

// The earlier groups' records that must outlive them, numbered after the new groups and copies.
Result<void> DuplicatesDetectionResults::carryOverKeptRecords(StoreJob& job) {
  CarriedIdentifiers identifiers;
  const auto& groups = job.result->detectionResults;
  identifiers.nextGroup = static_cast<std::int64_t>(groups.size()) + 1;
  for (const auto& group : groups) {
    for (const auto& member : group.equivalence.duplicates) {
      identifiers.nextCopy = std::max(identifiers.nextCopy, member.identifier + 1);
    }
  }
  for (const auto& group : job.withKeptRecords) {
    auto carried = carriedOverGroup(group, identifiers);
    if (!carried) continue;
    // Node archives refer to the scan locations stored beside them, which the new scan replaced.
    std::vector<std::shared_ptr<const ZKBaseNode>> nodes;
    for (auto& copy : carried->duplicates) {
      nodes.push_back(copy.node());
      copy.substitutions = job.substitutions;
      // An archive that cannot be read stays unreadable: read against the new scan's locations,
      // it could name another file.
      if (nodes.back()) {
        copy.setNode(*nodes.back());
      } else {
        copy.nodeData.clear();
      }
    }
    job.carried.push_back(std::move(*carried));
    job.carriedNodes.push_back(std::move(nodes));
  }
  return success();
}

void DuplicatesDetectionResults::finishStoring(StoreJob& job) {
  const bool unchanged = job.checking;
  if (job.checking) {
    std::vector<ManagedObjectContext::EncodedEquivalence> carried;
    for (const auto& group : job.carried) carried.push_back(ManagedObjectContext::encode(group));
    const auto first = static_cast<std::int64_t>(job.result->detectionResults.size()) + 1;
    if (!job.holds(*context_, carried, first, std::nullopt)) {
      if (auto restarted = job.writeAfterAll(*context_); restarted.hasError()) {
        failStoring(job, restarted.error());
        return;
      }
      continueStoring(job.shared_from_this());
      return;
    }
  } else {
    for (const auto& group : job.carried) {
      if (auto inserted = context_->insertEquivalence(group); inserted.hasError()) {
        failStoring(job, inserted.error());
        return;
      }
    }
  }
  if (auto committed = context_->commitTransaction(); committed.hasError()) {
    job.promise.fail(committed.error());
    return;
  }
  if (job.keepsGroups) {
    for (size_t group = 0; group < job.carried.size(); ++group) {
      auto& copies = job.carried[group].duplicates;
      for (size_t index = 0; index < copies.size(); ++index) {
        if (const auto& node = job.carriedNodes[group][index]) copies[index].keepNodeOnly(node);
      }
      job.kept.push_back(std::move(job.carried[group]));
    }
  }
  if (job.progress) job.progress(1.0);
  // In the order the store lists them.
  std::sort(job.kept.begin(), job.kept.end(), [](const ZKEquivalence& a, const ZKEquivalence& b) {
    return a.reclaimableSize != b.reclaimableSize ? a.reclaimableSize > b.reclaimableSize
                                                  : a.uniqueIdentifier < b.uniqueIdentifier;
  });
  storedGroups_ = std::move(job.kept);
  Logger::shared().logTiming(
      "DuplicatesDetectionResults", "storeResults()",
      fmt::format(
          "[scan] Results stored {:.3f}s{}",
          std::chrono::duration<double>(std::chrono::steady_clock::now() - job.start).count(),
          unchanged ? " (the store held them already: nothing written)" : ""));
  DuplicatesDetectionResultsState state;
  state.usedSizeThreshold = job.result->usedSizeThreshold;
  state.scannedNodesCount = job.result->scannedNodesCount;
  state.scannedNodesSize = job.result->scannedNodesSize;
  state.dateOfDetection = dateNow();
  {
    std::lock_guard lock(stateMutex_);
    state_ = state;
  }
  job.promise.succeed(state);
}

namespace {

// Groups are visited in batches of about this many members when their nodes are decoded ahead.
constexpr size_t kMembersPerVisitedBatch = 256;

// Decoding a stored node is most of what showing a member costs; the batch's members are
// decoded side by side, each into its own record's cache.
void decodeNodes(const std::vector<ZKEquivalence>& groups) {
  std::vector<const ZKDuplicate*> members;
  for (const auto& group : groups) {
    for (const auto& member : group.duplicates) members.push_back(&member);
  }
  ParallelLoop::run(Executor::primary(), ThreadPool::shared().width(), members.size(),
                    [&members](ParallelLoop::Items& items) {
                      while (auto at = items.next()) (void)members[*at]->node();
                    });
}

}  // namespace

Future<std::int64_t> DuplicatesDetectionResults::forEachEquivalence(
    std::function<bool(const ZKEquivalence&)> visit, MemberNodes nodes) {
  auto self = shared_from_this();
  return makeFuture(*queue_, [self, visit = std::move(visit), nodes]() -> Result<std::int64_t> {
    std::int64_t visited = 0;
    if (nodes == MemberNodes::whenAsked) {
      ZK_TRY(self->context_->forEachEquivalence([&](ZKEquivalence& equivalence) {
        ++visited;
        return visit(equivalence);
      }));
      return visited;
    }
    std::vector<ZKEquivalence> batch;
    size_t members = 0;
    bool goOn = true;
    const auto visitBatch = [&] {
      decodeNodes(batch);
      for (const auto& group : batch) {
        ++visited;
        if (!visit(group)) {
          goOn = false;
          break;
        }
      }
      batch.clear();
      members = 0;
      return goOn;
    };
    auto read = self->context_->forEachEquivalence([&](ZKEquivalence& equivalence) {
      members += equivalence.duplicates.size();
      batch.push_back(std::move(equivalence));
      return members < kMembersPerVisitedBatch || visitBatch();
    });
    // Groups read before a failure are visited, as when their nodes are decoded on demand.
    if (goOn && !batch.empty()) visitBatch();
    ZK_TRY(read);
    return visited;
  });
}

Future<DuplicatesDetectionResults::StoredGroups> DuplicatesDetectionResults::takeStoredGroups() {
  auto self = shared_from_this();
  return makeFuture(*queue_, [self]() {
    return std::make_shared<const std::vector<ZKEquivalence>>(
        std::exchange(self->storedGroups_, {}));
  });
}

Future<std::optional<ZKEquivalence>> DuplicatesDetectionResults::equivalence(
    std::int64_t uniqueIdentifier) {
  auto self = shared_from_this();
  return makeFuture(*queue_, [self, uniqueIdentifier]() {
    return self->context_->fetchEquivalence(uniqueIdentifier);
  });
}

Future<std::vector<ZKActivityLogItem>> DuplicatesDetectionResults::activityLog() {
  auto self = shared_from_this();
  return makeFuture(*queue_, [self]() { return self->context_->fetchActivityLogItems(); });
}

Future<SelectionChangeResult> DuplicatesDetectionResults::changeSelection(
    std::optional<std::int64_t> equivalenceIdentifier, const SelectionRequest& request) {
  auto self = shared_from_this();
  return makeFuture(
      *queue_, [self, equivalenceIdentifier, request]() -> Result<SelectionChangeResult> {
        auto& context = *self->context_;
        std::optional<ZKEquivalence> group;
        if (equivalenceIdentifier) {
          ZK_ASSIGN_OR_RETURN(group, context.fetchEquivalence(*equivalenceIdentifier));
          if (!group)
            return Error::generic(fmt::format("There is no group {}.", *equivalenceIdentifier));
        } else {
          if (request.identifiers.empty()) return Error::generic("Name a group or a copy.");
          const std::int64_t first = *request.identifiers.begin();
          ZK_ASSIGN_OR_RETURN(group, context.fetchEquivalenceOfDuplicate(first));
          if (!group) return Error::generic(fmt::format("There is no copy {}.", first));
        }
        return self->applyChange(std::move(*group), request, ActivityInteractionType::direct);
      });
}

Result<SelectionChangeResult> DuplicatesDetectionResults::applyChange(
    ZKEquivalence equivalence, const SelectionRequest& request, ActivityInteractionType type) {
  SelectionChangeResult result;
  result.equivalenceIdentifier = equivalence.uniqueIdentifier;
  ZK_ASSIGN_OR_RETURN(result.proposal, proposeSelectionChange(equivalence, request));
  // An undo or redo is recorded even when it changes nothing, so that the history moves on.
  if (!result.proposal.canApply ||
      (!result.proposal.changesAnything() && type == ActivityInteractionType::direct)) {
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

Future<SelectionChangeResult> DuplicatesDetectionResults::undo(bool confirmsWarnings) {
  auto self = shared_from_this();
  return makeFuture(*queue_,
                    [self, confirmsWarnings]() { return self->replay(true, confirmsWarnings); });
}

Future<SelectionChangeResult> DuplicatesDetectionResults::redo(bool confirmsWarnings) {
  auto self = shared_from_this();
  return makeFuture(*queue_,
                    [self, confirmsWarnings]() { return self->replay(false, confirmsWarnings); });
}

// The history read as two stacks: direct changes are done (and end every redo), an undo moves
// the latest done change to the undone ones, a redo moves it back.
Result<SelectionChangeResult> DuplicatesDetectionResults::replay(bool undo, bool confirmsWarnings) {
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
  if (stack.empty())
    return Error::generic(undo ? "There is no selection change to undo."
                               : "There is nothing to redo.");
  const ZKActivityLogItem& target = *stack.back();
  ZK_ASSIGN_OR_RETURN(auto group, context_->fetchEquivalence(target.equivalenceIdentifier));
  if (!group)
    return Error::generic(
        fmt::format("Group {} is no longer stored.", target.equivalenceIdentifier));
  // Going back or forth restores a configuration the user once had, but the group may have been
  // changed since (or the configuration was applied with --force): the same checks as for a direct
  // change decide, so that no step selects every copy unconfirmed.
  const SelectionConfiguration& restored =
      undo ? target.previousSelectionConfiguration : target.currentSelectionConfiguration;
  SelectionRequest request;
  request.kind = SelectionRequest::Kind::restore;
  request.configuration = restored;
  request.confirmsWarnings = confirmsWarnings;
  return applyChange(std::move(*group), request,
                     undo ? ActivityInteractionType::undo : ActivityInteractionType::redo);
}

}  // namespace zarnik

namespace zarnik {

Future<CleaningPlan> DuplicatesDetectionResults::planCleaning(bool removesEveryCopyOfAGroup) {
  auto self = shared_from_this();
  return makeFuture(*queue_, [self, removesEveryCopyOfAGroup]() {
    return zarnik::planCleaning(*self->context_, removesEveryCopyOfAGroup);
  });
}

Future<Void> DuplicatesDetectionResults::settleCutOffCleanings() {
  auto self = shared_from_this();
  return makeFuture(*queue_, [self]() -> Result<Void> {
    ZK_TRY(zarnik::settleCutOffCleanings(*self->context_));
    return Void{};
  });
}

Future<std::int64_t> DuplicatesDetectionResults::forgetTrialCleanings() {
  auto self = shared_from_this();
  return makeFuture(*queue_, [self]() -> Result<std::int64_t> {
    auto& context = *self->context_;
    const auto isTrial = [](const ZKDuplicate& copy) {
      const auto note = cleaningNoteOf(copy);
      return note && note->isFakeRemove;
    };
    std::vector<ZKEquivalence> touched;
    ZK_TRY(context.forEachEquivalence([&](ZKEquivalence& group) {
      if (std::any_of(group.duplicates.begin(), group.duplicates.end(), isTrial))
        touched.push_back(group);
      return true;
    }));
    std::int64_t forgotten = 0;
    ZK_TRY(context.performTransaction([&]() -> Result<void> {
      for (auto& group : touched) {
        for (auto& copy : group.duplicates) {
          if (!isTrial(copy)) continue;
          setCleaningNote(copy, std::nullopt);
          ++forgotten;
        }
        ZK_TRY(context.updateEquivalence(group));
      }
      return success();
    }));
    return forgotten;
  });
}

Future<CleaningRequest> DuplicatesDetectionResults::cleaningRequest(CleaningRules rules,
                                                                    bool removesEveryCopyOfAGroup) {
  auto self = shared_from_this();
  return makeFuture(*queue_, [self, rules = std::move(rules), removesEveryCopyOfAGroup]() {
    return CleaningRequest{self->storeAccess(), self->context_->scanLocations(), rules,
                           removesEveryCopyOfAGroup};
  });
}

}  // namespace zarnik
