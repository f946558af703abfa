#include "scanning/scanning_task.h"

#include "foundation/logger.h"
#include "matching/matching_information.h"
#include "platform/process_memory.h"
#include "platform/trash_folders.h"
#include "platform/xdg_directories.h"
#include "scanning/content_verification.h"
#include "selection/system_files.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <thread>

namespace zarnik {
namespace {

constexpr const char* kAuthor = "ScanningTask";
constexpr std::int64_t kContainerNotificationIntervalNanoseconds = 100'000'000;

std::int64_t steadyNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

size_t activeProcessorCount() { return std::max(1U, std::thread::hardware_concurrency()); }

}  // namespace

std::shared_ptr<ScanningTask> ScanningTask::make(ScanningServiceRequest request,
                                                 std::shared_ptr<SerialQueue> internalQueue) {
  auto task =
      std::shared_ptr<ScanningTask>(new ScanningTask(std::move(request), std::move(internalQueue)));
  task->setUp();
  return task;
}

ScanningTask::ScanningTask(ScanningServiceRequest request,
                           std::shared_ptr<SerialQueue> internalQueue)
    : request_(std::move(request)),
      internalQueue_(std::move(internalQueue)),
      maxConcurrentOperationCount_(activeProcessorCount()),
      // A listed file costs its node (about 200 bytes) until it waits at the first-block gate;
      // 20,000 of them keep every hashing worker busy while the walk catches up again.
      walkBacklog_(std::make_shared<Backlog>(20000, 10000)) {}

void ScanningTask::setUp() {
  if (!request_.scanRules) request_.scanRules = std::make_shared<ExtendedScanRules>();
  settings_ = MatchingSettings::of(*request_.scanRules);
  acceptableSpecifications_ = EnumerationSpecification::acceptableSpecifications(
      request_.specifications, *request_.scanRules, request_.resolver);
  workQueue_ = OperationQueue::make("scanning-task.work", maxConcurrentOperationCount_,
                                    QualityOfService::utility);
  enumerationQueue_ = OperationQueue::make(
      "scanning-task.enumeration", maxConcurrentOperationCount_, QualityOfService::userInitiated);
  MatchingNodesFactoryOptions options;
  options.includeHiddenItems = request_.includeHiddenItems;
  options.personalFolders = xdg::userDirectories();
  options.personalFolders.push_back(request_.resolver.homeURL());
  options.trashFolders = TrashFolders::ofCurrentUser();
  options.programFolders = xdg::zarnikDirectories();
  options.cloudFolders = CloudServiceFolders::discover(request_.resolver.homeURL());
  options.imageProcessor = [weak = weak_from_this()](const MatchingNode& node, bool wantsHash) {
    const auto self = weak.lock();
    return self ? self->mediaPipeline_->pictureFacts(node, wantsHash) : ImageFacts{};
  };
  matchingNodesFactory_ =
      MatchingNodesFactory::make(request_.scanRules, request_.resolver, options);
  std::vector<EquivalenceKind> kinds(kAllEquivalenceKinds.begin(), kAllEquivalenceKinds.end());
  // The engine's queue takes the walk's batches at the walk's own priority: behind it, the
  // listed nodes piled up in its queue and the hashing started late (at 200,000 small files
  // the scan took 3.0 s instead of 2.6 s).
  auto engineQueue = SerialQueue::make("match-candidates-accumulators-controller",
                                       QualityOfService::userInitiated);
  equivalenceCandidatesProvider_ = EquivalenceCandidatesProviderImpl::make(
      request_.scanRules, std::move(engineQueue), weak_from_this(),
      EquivalenceCandidatesAccumulationMode::finite, nodesProcessingGroup_, kinds);
  equivalenceCandidatesProvider_->setKeepsSizeStageMembers(
      request_.keepsEquivalenceCandidatesStorage);
  setUpMediaLibraries();
}

void ScanningTask::setUpContentReading() {
  mediaPipeline_ = MediaPipeline::make(contentWork(), settings_, equivalenceCandidatesProvider_);
  exactPipeline_ = ExactPipeline::make(
      contentWork(), walkBacklog_,
      [media = mediaPipeline_](const MatchingNode& node) { return media->holds(node); });
  equivalenceCandidatesProvider_->setContentReader(exactPipeline_);
}

ContentWork ScanningTask::contentWork() {
  ContentWork work;
  work.queue = workQueue_;
  work.width = maxConcurrentOperationCount_;
  work.inFlight = nodesProcessingGroup_;
  work.cancellation = cancellation_;
  work.progress = contentProgress_;
  work.backgroundMode = backgroundMode_;
  work.cache = digestCache_;
  // Held weakly: the pipelines live as long as the task, and may outlive it by a worker's turn.
  work.reportFailure = [weak = weak_from_this()](const Error& error) {
    if (auto self = weak.lock(); self && self->errorHandler_) self->errorHandler_(error);
  };
  work.progressed = [weak = weak_from_this()] {
    if (auto self = weak.lock()) self->publishIfDue(false);
  };
  return work;
}

Future<std::shared_ptr<const ScanningServiceResult>> ScanningTask::start() {
  Logger::shared().log(
      kAuthor, "start()",
      fmt::format("Starting Scan.\n\tSupported Versions: {}\n\tScanLocations:\n\t\t{}",
                  request_.scanRules->reportOfSupportedVersions(),
                  fmt::join(locationURLs(), "\n\t\t")));
  setUpContentReading();
  startMark_ = timingMark_ = std::chrono::steady_clock::now();
  changeStatus([](MutableScanningStatus& status) { status.dateOfStartScan = dateNow(); });

  using Scanned = std::shared_ptr<const ScanningServiceResult>;
  auto self = shared_from_this();
  auto future =
      makeSucceededFuture(Void{})
          .flatMap(Executor::primary(), [self](const Void&) { return self->runEnumerationStage(); })
          .flatMap(Executor::primary(),
                   [self](const Void&) { return self->runAccumulationStage(); })
          .map(Executor::primary(), [self](const Void&) -> Result<Scanned> {
            ZK_ASSIGN_OR_RETURN(ScanningServiceResult result, self->runBuildingStage());
            return std::make_shared<const ScanningServiceResult>(std::move(result));
          });
  future.onComplete(Executor::immediate(),
                    [self = shared_from_this()](const Result<Scanned>&) { self->finish(); });
  return future;
}

void ScanningTask::finish() {
  changeStatus([](MutableScanningStatus& status) { status.dateOfFinishScan = dateNow(); });
  internalQueue_->async([self = shared_from_this()] { self->statusProducer_.succeed(Void{}); });
}

Future<Void> ScanningTask::runEnumerationStage() {
  // The walk's callbacks take `this` plainly: the task outlives the walk, since the stage that
  // follows it holds the task until the walk has finished, and the enumeration object kept for
  // cancelling must not keep the task alive in turn.
  mediaLibraries_->listAll(request_.mediaLibraries);
  ScanningTask* self = this;
  EnumerationOptions options;
  options.backlog = walkBacklog_;
  options.shouldWaitUntilFinish = false;
  auto enumeration = MatchingNodesEnumerator::enumerate(
      acceptableSpecifications_, *matchingNodesFactory_, enumerationQueue_, options,
      [self] {
        return self->canContinue() ? FileSystemEnumerationStatus::allowed
                                   : FileSystemEnumerationStatus::canceled;
      },
      [self](const MatchingNodePtr& node, const std::string&) { self->matchFoundNodes({node}); },
      [self](const Error& error) {
        if (self->errorHandler_) self->errorHandler_(error);
      },
      // A listing's nodes go to the engine as one batch: one queue task per folder instead of
      // one per file.
      [self](const std::vector<MatchingNodePtr>& nodes) { self->matchFoundNodes(nodes); });
  {
    std::lock_guard lock(enumerationMutex_);
    enumeration_ = enumeration;
  }
  return enumeration->whenFinished().map(
      Executor::immediate(), [task = shared_from_this()](const Void&) {
        Logger::shared().log(kAuthor, "enumerate()", "Enumeration finished");
        task->changeStatus(
            [](MutableScanningStatus& status) { status.dateOfEnumerationFinish = dateNow(); });
        return Void{};
      });
}

Future<Void> ScanningTask::runAccumulationStage() {
  if (!canPerformLightActivities(cancellationMode_.mode())) return cancelledFuture<Void>();
  noteTimingLine("[scan] Enumeration finished ");
  Logger::shared().log(kAuthor, "accumulate()", "Waiting for accumulation to finish");
  return equivalenceCandidatesProvider_->finishAccumulationAndProvideEquivalences().map(
      Executor::immediate(),
      [self = shared_from_this()](const std::vector<EquivalenceCandidatePtr>& groups) {
        self->accumulatedGroups_ = groups;
        return Void{};
      });
}

Result<ScanningServiceResult> ScanningTask::runBuildingStage() {
  std::vector<EquivalenceCandidatePtr> groups = std::exchange(accumulatedGroups_, {});
  if (!canPerformLightActivities(cancellationMode_.mode())) return Error::cancelled();
  Logger::shared().log(kAuthor, "build()", "Building candidates to model");
  noteTimingLine("[scan] Accumulation finished ");
  exactPipeline_->finish();
  // Nothing more is learnt of contents: the cache's queue writes it while the groups are built.
  if (digestCache_) (void)digestCache_->flush();
  const auto counts = exactPipeline_->counts();
  Logger::shared().logTiming(kAuthor, "build()",
                             fmt::format("[scan] Digests known from earlier scans: {} of {}",
                                         counts.known, counts.known + counts.read));
  if (!request_.keepsEquivalenceCandidatesStorage)
    equivalenceCandidatesProvider_->discardAccumulations();
  returnFreeMemoryToSystem();  // the waiting files' records and nodes: the results need other sizes
  changeStatus([count = static_cast<std::int64_t>(groups.size())](MutableScanningStatus& status) {
    status.dateOfAccumulationFinish = dateNow();
    status.numberOfEquivalences = count;
    status.numberOfProcessedEquivalences = 0;
  });

  const SelectionInputs selection{request_.resolver, request_.autoselectionRules,
                                  SystemFiles::ofThisSystem(locationURLs())};
  // Read by one worker while the others make the groups: when the first selection asked them,
  // the other selecting workers waited for them.
  if (!groups.empty()) {
    workQueue_->addOperation(
        [systemFiles = selection.systemFiles] { systemFiles->readPackageListsAhead(); });
  }
  const ExtendedScanRules& rules = *request_.scanRules;
  std::vector<CandidateGroup> candidates =
      candidateGroupsOf(groups, rules, *workQueue_, maxConcurrentOperationCount_);
  groups.clear();  // the engine's groups, their members and the nodes only they hold

  ScanningServiceResult result;
  const AppliedSizeThreshold threshold = applySizeThreshold(candidates, rules);
  result.usedSizeThreshold = threshold.size;
  result.keepDuplicatesSmallerThanThresholdIfEquivalenceFits =
      threshold.keepsSmallerCopiesOfLargeGroups;
  verifyGroupsByContent(candidates, verifiesContents_, contentWork());

  result.detectionResults = selectedDetectionResults(
      candidates, selection, *workQueue_, maxConcurrentOperationCount_, [this] {
        changeStatus([](MutableScanningStatus& status) { ++status.numberOfProcessedEquivalences; });
      });

  Logger::shared().log(
      kAuthor, "build()",
      fmt::format("Did build results. Used size threshold is {}", result.usedSizeThreshold));
  noteTimingLine("[scan] Build finished ");
  Logger::shared().logTiming(
      kAuthor, "build()",
      fmt::format(
          "[scan] Total time {:.3f}s",
          std::chrono::duration<double>(std::chrono::steady_clock::now() - startMark_).count()));
  for (const auto& library : matchingNodesFactory_->takeMediaLibraryNodes()) {
    result.mediaLibraries.push_back(library->buildStorableNode());
  }
  result.scannedNodesCount = scannedCount_.load();
  result.scannedNodesSize = scannedSize_.load();
  if (request_.keepsEquivalenceCandidatesStorage)
    result.equivalenceCandidatesStorage = equivalenceCandidatesProvider_;
  return result;
}

std::vector<std::string> ScanningTask::locationURLs() const {
  std::vector<std::string> urls;
  for (const auto& specification : acceptableSpecifications_) urls.push_back(specification.url);
  return urls;
}

void ScanningTask::noteTimingLine(const char* label) {
  const auto now = std::chrono::steady_clock::now();
  Logger::shared().logTiming(
      kAuthor, "start()",
      fmt::format("{}{:.3f}s", label, std::chrono::duration<double>(now - timingMark_).count()));
  timingMark_ = now;
}

void ScanningTask::matchFoundNodes(const std::vector<MatchingNodePtr>& nodes) {
  if (!mediaLibraries_->holdsAnyFile()) return handOverNodes(nodes, true);
  std::vector<MatchingNodePtr> others;
  others.reserve(nodes.size());
  for (const auto& node : nodes) {
    const auto& id = node->attributes().fileResourceID;
    if (node->isDirectory() || !id || !mediaLibraries_->holdsFile(*id)) others.push_back(node);
  }
  handOverNodes(others, true);
}

void ScanningTask::handOverNodes(const std::vector<MatchingNodePtr>& nodes, bool countsAsNodes) {
  nodesProcessingGroup_->enter();
  std::vector<std::pair<MatchingNodePtr, EquivalenceInfoPtr>> items;
  ByteCount size = 0;
  std::int64_t matched = 0;
  for (const auto& node : nodes) {
    size += node->attributes().exactSize;  // reports count logical sizes, as cleaning does
    if (!canContinue() || !node->isProcessingAllowed() || !node->isMatchingAllowed()) continue;
    auto infos = matchingInformationOf(*node, settings_);
    mediaPipeline_->take(node);
    if (infos.empty()) continue;
    ++matched;
    for (auto& info : infos) items.emplace_back(node, std::move(info));
  }
  if (!countsAsNodes) matched = 0;
  nodesToMatch_.fetch_add(matched, std::memory_order_relaxed);
  const size_t handedOver = items.size();
  walkBacklog_->add(handedOver);
  equivalenceCandidatesProvider_->addBatch(
      std::move(items), nodesProcessingGroup_,
      [backlog = walkBacklog_, handedOver] { backlog->remove(handedOver); });
  matchedNodes_.fetch_add(matched, std::memory_order_relaxed);
  scannedCount_.fetch_add(static_cast<std::int64_t>(nodes.size()), std::memory_order_relaxed);
  scannedSize_.fetch_add(size, std::memory_order_relaxed);
  // The latest node only feeds the progress line: skip it rather than wait for the lock.
  if (std::unique_lock lock(latestNodeMutex_, std::try_to_lock);
      lock.owns_lock() && !nodes.empty()) {
    latestNode_ = nodes.front();
  }
  nodesProcessingGroup_->leave();
  publishIfDue(false);
}

void ScanningTask::setUpMediaLibraries() {
  std::vector<ScanLocationPtr> itemLocations;
  for (const auto& specification : acceptableSpecifications_)
    itemLocations.push_back(specification.scanLocation);
  itemLocations.push_back(ScanLocation::make(request_.resolver.homeURL(), request_.resolver));
  // The hooks take `this` plainly: the libraries are listed within the enumeration stage, while
  // the task is alive.
  MediaLibraryScan::Hooks hooks;
  hooks.canContinue = [this] { return canContinue(); };
  hooks.matchItem = [this](const MatchingNodePtr& node) { handOverNodes({node}, false); };
  hooks.progressed = [this] { publishIfDue(false); };
  hooks.reportFailure = [this](const Error& error) {
    if (errorHandler_) errorHandler_(error);
  };
  mediaLibraries_ =
      std::make_unique<MediaLibraryScan>(matchingNodesFactory_, request_.resolver,
                                         std::move(itemLocations), *workQueue_, std::move(hooks));
}

void ScanningTask::didMatchDuplicates(ByteCount ofSize, const std::vector<DuplicateCandidatePtr>&,
                                      const EquivalenceCandidate& group,
                                      EquivalenceCandidatesProviderImpl&) {
  if (!duplicatesHaveAccumulatableSize(group.equivalenceKind())) return;
  changeStatus(
      [ofSize](MutableScanningStatus& status) { status.estimatedSizeOfFoundDuplicates += ofSize; });
}

void ScanningTask::accumulationProgressChanged(int deltaToAccumulate, int deltaAccumulated,
                                               const std::optional<std::string>& lastProcessedURL,
                                               EquivalenceCandidatesProviderImpl&) {
  changeStatus([=](MutableScanningStatus& status) {
    if (lastProcessedURL) status.latestProcessedURL = lastProcessedURL;
    status.numberOfItemsToAccumulate += deltaToAccumulate;
    status.numberOfAccumulatedItems += deltaAccumulated;
  });
}

void ScanningTask::changeStatus(std::function<void(MutableScanningStatus&)> change) {
  internalQueue_->async([self = shared_from_this(), change = std::move(change)] {
    change(self->status_);
    self->publishIfDue(false);
  });
}

void ScanningTask::publishIfDue(bool force) {
  const std::int64_t now = steadyNanoseconds();
  std::int64_t last = lastPublication_.load(std::memory_order_relaxed);
  if (!force && now - last <= kContainerNotificationIntervalNanoseconds) return;
  if (!lastPublication_.compare_exchange_strong(last, now)) return;  // another thread publishes
  internalQueue_->async([self = shared_from_this()] {
    self->status_.numberOfNodesToMatch =
        static_cast<double>(self->nodesToMatch_.load()) + self->mediaLibraries_->sharesToMatch();
    self->status_.numberOfMatchedNodes =
        static_cast<double>(self->matchedNodes_.load()) + self->mediaLibraries_->sharesMatched();
    self->status_.sizeOfListedNodes = self->scannedSize_.load();
    self->status_.content = self->contentProgress_->snapshot();
    // What is read now names the scan's work best; while the walk goes on, the latest item
    // listed; once both are done, nothing, rather than a path the scan has long left.
    if (self->status_.content.readingNow) {
      self->status_.latestProcessedURL = self->status_.content.readingNow;
    } else if (!self->status_.dateOfEnumerationFinish) {
      std::lock_guard lock(self->latestNodeMutex_);
      if (self->latestNode_) self->status_.latestProcessedURL = self->latestNode_->path();
    } else {
      self->status_.latestProcessedURL.reset();
    }
    self->statusProducer_.update(self->status_.constantCopy());
  });
}

void ScanningTask::cancel(bool keepResults) {
  internalQueue_->async([self = shared_from_this(), keepResults] {
    const CancellationMode mode =
        keepResults ? CancellationMode::keepLightActivities : CancellationMode::stopAllActivities;
    if (!self->cancellationMode_.cancel(mode)) return;
    self->cancellation_->cancel();  // heavy work stops under either mode
    self->status_.cancellationMode = mode;
    self->equivalenceCandidatesProvider_->cancelAccumulation(mode);
    self->mediaLibraries_->cancel(mode);
    {
      std::lock_guard lock(self->enumerationMutex_);
      if (self->enumeration_) self->enumeration_->cancel(mode);
    }
    Logger::shared().log(
        kAuthor, "cancel(keepResults:)",
        std::string("Scanning task cancelled.") + (keepResults ? " Results kept." : ""));
  });
}

void ScanningTask::updateIsBackgroundMode(bool isBackgroundMode) {
  internalQueue_->async([weak = weak_from_this(), isBackgroundMode] {
    auto self = weak.lock();
    if (!self || self->backgroundMode_->exchange(isBackgroundMode) == isBackgroundMode) return;
    Logger::shared().log(kAuthor, "updateIsBackgroundMode(_:)",
                         isBackgroundMode ? "Entering background mode" : "Leaving background mode");
    const size_t width = isBackgroundMode ? 2 : self->maxConcurrentOperationCount_;
    self->workQueue_->setMaxConcurrentOperationCount(width);
    self->enumerationQueue_->setMaxConcurrentOperationCount(width);
  });
}

}  // namespace zarnik
