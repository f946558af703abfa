#include "matching/match_candidates_provider.h"

#include "foundation/logger.h"
#include "matching/audio_metadata.h"
#include "matching/directory_accumulator.h"
#include "matching/exact_accumulators.h"
#include "matching/similar_images_accumulator.h"

namespace zarnik {

std::shared_ptr<EquivalenceCandidatesProviderImpl> EquivalenceCandidatesProviderImpl::make(
    std::shared_ptr<const ExtendedScanRules> scanRules, std::shared_ptr<SerialQueue> internalQueue,
    std::weak_ptr<EquivalenceCandidatesProviderDelegate> delegate,
    EquivalenceCandidatesAccumulationMode mode, std::shared_ptr<DispatchGroup> finishingReadyGroup,
    const std::vector<EquivalenceKind>& kinds) {
  if (!internalQueue) internalQueue = SerialQueue::make("match-candidates-accumulators-controller");
  if (!finishingReadyGroup) finishingReadyGroup = std::make_shared<DispatchGroup>();
  auto provider =
      std::shared_ptr<EquivalenceCandidatesProviderImpl>(new EquivalenceCandidatesProviderImpl(
          std::move(scanRules), std::move(internalQueue), std::move(delegate), mode,
          std::move(finishingReadyGroup)));
  for (EquivalenceKind kind : kinds) provider->addAccumulator(kind);
  return provider;
}

EquivalenceCandidatesProviderImpl::EquivalenceCandidatesProviderImpl(
    std::shared_ptr<const ExtendedScanRules> scanRules, std::shared_ptr<SerialQueue> internalQueue,
    std::weak_ptr<EquivalenceCandidatesProviderDelegate> delegate,
    EquivalenceCandidatesAccumulationMode mode, std::shared_ptr<DispatchGroup> finishingReadyGroup)
    : scanRules_(std::move(scanRules)),
      internalQueue_(std::move(internalQueue)),
      delegate_(std::move(delegate)),
      mode_(mode),
      finishingReadyGroup_(std::move(finishingReadyGroup)) {}

namespace {

// The accumulators that group by one exact key of their information type.
template <typename Info>
std::unique_ptr<EquivalenceCandidatesAccumulator> exactAccumulator(
    EquivalenceKind kind, EquivalenceCandidatesAccumulatorDelegate* delegate) {
  return std::make_unique<ExactEquivalenceCandidatesAccumulator<Info>>(kind, delegate);
}

}  // namespace

void EquivalenceCandidatesProviderImpl::addAccumulator(EquivalenceKind kind) {
  std::unique_ptr<EquivalenceCandidatesAccumulator> accumulator;
  switch (kind) {
    case EquivalenceKind::exactSize:
      accumulator = std::make_unique<SizeEquivalenceCandidatesAccumulator>(this);
      break;
    case EquivalenceKind::exactAudioSize:
      accumulator = std::make_unique<AudioContentSizeEquivalenceCandidatesAccumulator>(this);
      break;
    case EquivalenceKind::exactHash:
      accumulator = exactAccumulator<ExactHashEquivalenceInfo>(kind, this);
      break;
    case EquivalenceKind::exactAudioHash:
      accumulator = exactAccumulator<ExactAudioHashEquivalenceInfo>(kind, this);
      break;
    case EquivalenceKind::symlinkTargetPath:
      accumulator = exactAccumulator<SymlinkTargetPathEquivalenceInfo>(kind, this);
      break;
    case EquivalenceKind::exactApp:
      accumulator = exactAccumulator<ExactApplicationEquivalenceInfo>(kind, this);
      break;
    case EquivalenceKind::similarApp:
      accumulator = exactAccumulator<SimilarApplicationEquivalenceInfo>(kind, this);
      break;
    case EquivalenceKind::directory:
      accumulator = std::make_unique<DirectoryEquivalenceCandidatesAccumulator>(this);
      break;
    case EquivalenceKind::similarAudio:
      accumulator = std::make_unique<MetadataAudioEquivalenceCandidatesAccumulator>(
          this, scanRules_->similarAudioMetadataThreshold());
      break;
    case EquivalenceKind::similarImage:
      accumulator = std::make_unique<SimilarImagesEquivalenceCandidatesAccumulator>(
          this, SimilarImagesMatchingOptions::of(*scanRules_));
      break;
    default:
      return;  // kinds whose accumulators this build does not have yet take no information
  }
  accumulatorsByEquivalenceKind_[kind] = accumulator.get();
  accumulators_.push_back(std::move(accumulator));
}

void EquivalenceCandidatesProviderImpl::route(
    const EquivalenceInfoPtr& info, const std::shared_ptr<DispatchGroup>& processingGroup,
    std::function<void(EquivalenceCandidatesAccumulator&)> work) {
  if (cancellationMode_.mode()) return;  // heavy work never starts once cancelled
  auto found = accumulatorsByEquivalenceKind_.find(info->kind());
  if (found == accumulatorsByEquivalenceKind_.end()) return;
  EquivalenceCandidatesAccumulator* accumulator = found->second;
  finishingReadyGroup_->enter();
  if (processingGroup) processingGroup->enter();
  internalQueue_->async(
      [self = shared_from_this(), accumulator, work = std::move(work), processingGroup] {
        work(*accumulator);
        self->finishingReadyGroup_->leave();
        if (processingGroup) processingGroup->leave();
      });
}

void EquivalenceCandidatesProviderImpl::add(const MatchingNodePtr& node, EquivalenceInfoPtr info,
                                            const std::shared_ptr<DispatchGroup>& processingGroup) {
  addBatch({{node, std::move(info)}}, processingGroup);
}

void EquivalenceCandidatesProviderImpl::addBatch(
    std::vector<std::pair<MatchingNodePtr, EquivalenceInfoPtr>> items,
    const std::shared_ptr<DispatchGroup>& processingGroup, Task whenRouted) {
  // Runs `whenRouted` once, however the batch ends: routed, refused here, or dropped unrun.
  struct Routed {
    Task task;
    Routed(Task t) : task(std::move(t)) {}  // NOLINT(google-explicit-constructor)
    Routed(Routed&&) noexcept = default;
    Routed& operator=(Routed&&) = delete;
    ~Routed() { run(); }
    void run() {
      if (task) std::exchange(task, {})();
    }
  } routed(std::move(whenRouted));
  if (cancellationMode_.mode() || items.empty()) return;
  std::erase_if(items, [this](const auto& item) {
    return accumulatorsByEquivalenceKind_.count(item.second->kind()) == 0;
  });
  if (items.empty()) return;
  finishingReadyGroup_->enter();
  if (processingGroup) processingGroup->enter();
  internalQueue_->async([self = shared_from_this(), items = std::move(items), processingGroup,
                         routed = std::move(routed)]() mutable {
    const bool collectsChildHashes =
        self->accumulatorsByEquivalenceKind_.count(EquivalenceKind::directory) != 0;
    for (const auto& [node, info] : items) {
      // A matched file leaves its content's hash in its folder, for folder matching.
      if (collectsChildHashes && node->parentNode()) {
        if (auto childHash = info->childHash()) {
          node->parentNode()->childHashesAccumulator.insert(childHash,
                                                            node->attributes().exactSize);
        }
      }
      auto accumulator = self->accumulatorsByEquivalenceKind_.find(info->kind());
      if (accumulator != self->accumulatorsByEquivalenceKind_.end())
        accumulator->second->add(node, info);  // else discarded
    }
    items.clear();
    routed.run();
    self->finishingReadyGroup_->leave();
    if (processingGroup) processingGroup->leave();
  });
}

void EquivalenceCandidatesProviderImpl::update(
    const MatchingNodePtr& node, const EquivalenceInfoPtr& info, bool addIfAbsent,
    const std::shared_ptr<DispatchGroup>& processingGroup) {
  route(info, processingGroup,
        [node, info, addIfAbsent](EquivalenceCandidatesAccumulator& accumulator) {
          accumulator.update(node, info, addIfAbsent);
        });
}

void EquivalenceCandidatesProviderImpl::removeNodes(std::set<std::string> urls) {
  internalQueue_->async([self = shared_from_this(), urls = std::move(urls)] {
    for (auto& accumulator : self->accumulators_) accumulator->removeNodes(urls);
  });
}

void EquivalenceCandidatesProviderImpl::cancelAccumulation(CancellationMode mode) {
  internalQueue_->async([self = shared_from_this(), mode] {
    self->cancellationMode_.cancel(mode);
    for (auto& accumulator : self->accumulators_) accumulator->cancel();
  });
}

struct EquivalenceCandidatesProviderImpl::Finishing {
  EquivalenceCandidatesMatchingContext context;
  size_t next = 0;  // the accumulator to finish next
  Promise<std::vector<EquivalenceCandidatePtr>> groups;
};

Future<std::vector<EquivalenceCandidatePtr>>
EquivalenceCandidatesProviderImpl::finishAccumulationAndProvideEquivalences() {
  using Groups = std::vector<EquivalenceCandidatePtr>;
  if (mode_ == EquivalenceCandidatesAccumulationMode::continuous) {
    return makeFailedFuture<Groups>(AccumulationError::notSupportedInMode());
  }
  auto finishing = std::make_shared<Finishing>();
  auto groups = finishing->groups.future();
  finishWhenReady(std::move(finishing));
  return groups;
}

// Each accumulator is finished on the provider's queue once the content work in flight is done,
// and none waits for it: finishing one may start more work that the next must wait for.
void EquivalenceCandidatesProviderImpl::finishWhenReady(std::shared_ptr<Finishing> finishing) {
  finishingReadyGroup_->notify(
      *internalQueue_, [self = shared_from_this(), finishing = std::move(finishing)]() mutable {
        while (finishing->next < self->accumulators_.size()) {
          auto& accumulator = *self->accumulators_[finishing->next];
          const auto mode = self->cancellationMode_.mode();
          const bool mayFinish = accumulator.isHeavy() ? !mode : canPerformLightActivities(mode);
          if (mayFinish && self->finishingReadyGroup_->count() != 0) {
            self->finishWhenReady(std::move(finishing));
            return;
          }
          ++finishing->next;
          if (mayFinish) accumulator.finish(finishing->context);
        }
        std::vector<EquivalenceCandidatePtr> groups;
        for (auto& group : finishing->context.equivalencesToModel) {
          if (group->hasDuplicates() && shouldPublicateCandidates(group->equivalenceKind()))
            groups.push_back(group);
        }
        Logger::shared().log(
            "MatchCandidatesProvider", "finishAccumulationAndProvideGroups()",
            "Did finish accumulation with " + std::to_string(groups.size()) + " groups");
        finishing->groups.succeed(std::move(groups));
      });
}

void EquivalenceCandidatesProviderImpl::discardAccumulations() {
  std::vector<std::unique_ptr<EquivalenceCandidatesAccumulator>> discarded;
  internalQueue_->sync([&] {
    accumulatorsByEquivalenceKind_.clear();
    discarded = std::move(accumulators_);
    accumulators_.clear();
  });
}

std::vector<EquivalenceCandidatePtr> EquivalenceCandidatesProviderImpl::merge(
    EquivalenceCandidatesProviderImpl& storage, const std::set<std::string>* skippingNodesAt) {
  std::vector<EquivalenceCandidatePtr> merged;
  internalQueue_->sync([&] {
    for (auto& other : storage.accumulators_) {
      auto mine = accumulatorsByEquivalenceKind_.find(other->kind());
      if (mine == accumulatorsByEquivalenceKind_.end()) continue;
      auto groups = mine->second->merge(*other, skippingNodesAt);
      merged.insert(merged.end(), groups.begin(), groups.end());
    }
  });
  return merged;
}

std::map<std::string, MatchingNodePtr> EquivalenceCandidatesProviderImpl::nodeByPath() {
  std::map<std::string, MatchingNodePtr> nodes;
  internalQueue_->sync([&] {
    for (auto& accumulator : accumulators_) accumulator->collectNodesByPath(nodes);
  });
  return nodes;
}

void EquivalenceCandidatesProviderImpl::trackContentWork(const Future<Void>& work) {
  work.onComplete(Executor::immediate(),
                  [group = finishingReadyGroup_](const Result<Void>&) { group->leave(); });
}

void EquivalenceCandidatesProviderImpl::requestHash(const MatchingNodePtr& node, HashKind kind) {
  auto reader = contentReader_.lock();
  if (!reader) return;
  finishingReadyGroup_->enter();
  trackContentWork(reader->calculateHash(node, kind, *this));
}

void EquivalenceCandidatesProviderImpl::requestHash(ParkedFileNode file, ByteCount size,
                                                    HashKind kind) {
  auto reader = contentReader_.lock();
  if (!reader) return;
  finishingReadyGroup_->enter();
  trackContentWork(reader->calculateHash(std::move(file), size, kind, *this));
}

ParkedFileNode EquivalenceCandidatesProviderImpl::parked(const MatchingNodePtr& node) const {
  auto reader = contentReader_.lock();
  return reader ? reader->parked(node) : ParkedFileNode(node, false);
}

void EquivalenceCandidatesProviderImpl::requestSymlinkMatch(const MatchingNodePtr& node) {
  auto reader = contentReader_.lock();
  if (!reader) return;
  finishingReadyGroup_->enter();
  trackContentWork(reader->matchSymLink(node, *this));
}

void EquivalenceCandidatesProviderImpl::didMatchDuplicates(
    ByteCount ofSize, const std::vector<DuplicateCandidatePtr>& duplicates,
    const EquivalenceCandidate& group) {
  if (auto delegate = delegate_.lock())
    delegate->didMatchDuplicates(ofSize, duplicates, group, *this);
}

void EquivalenceCandidatesProviderImpl::didUnmatchDuplicates(
    const std::vector<DuplicateCandidatePtr>& duplicates, const EquivalenceCandidate& group) {
  if (auto delegate = delegate_.lock()) delegate->didUnmatchDuplicates(duplicates, group, *this);
}

}  // namespace zarnik
