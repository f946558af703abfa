// One scan from request to result: ScanningService makes a ScanningTask per request. The task
// runs three stages in order: enumeration (every item found becomes a matching node and is
// handed to the matching engine at once, so matching runs while the walk goes on), accumulation
// (the engine finishes its groups once no work is in flight) and building (size threshold,
// hard-link rule, detection results). It publishes status snapshots at most every 0.1 s.
//
// Content is read by the exact pipeline (digests) and the media pipeline (pictures, audio),
// both in matching/; the task only orchestrates: stages, status, cancellation, results.
//
// Threads: status changes, cancel and background mode run on the service's serial queue;
// the walk runs on the enumeration queue and content work on the work queue, each as wide as
// the processor count (2 in background mode).
#pragma once

#include "enumeration/file_system_enumeration.h"
#include "enumeration/media_library_locations.h"
#include "foundation/channel.h"
#include "foundation/operation_queue.h"
#include "matching/exact_pipeline.h"
#include "matching/match_candidates_provider.h"
#include "matching/matching_settings.h"
#include "matching/media/media_pipeline.h"
#include "scanning/candidate_group.h"
#include "scanning/detection_result.h"
#include "scanning/media_library_scan.h"
#include "scanning/scanning_status.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace zarnik {

struct ScanningServiceRequest {
  std::vector<LocationSpecification> specifications;
  std::shared_ptr<const ExtendedScanRules> scanRules;
  OVURLResolver resolver = OVURLResolver::shared();
  bool includeHiddenItems = false;
  ExtendedAutoselectionRules autoselectionRules;
  // Whether the result keeps the engine's accumulations, to be merged into a watching scan's.
  bool keepsEquivalenceCandidatesStorage = false;
  // Music and photo libraries, listed item by item from their own files before the walk; their
  // files met again by the walk are not counted twice.
  std::vector<MediaLibraryLocation> mediaLibraries;
};

struct ScanningServiceResult {
  std::vector<scanning_service::DetectionResult> detectionResults;
  std::vector<std::shared_ptr<ZKBaseNode>> mediaLibraries;
  ByteCount usedSizeThreshold = 0;
  std::int64_t scannedNodesCount = 0;
  ByteCount scannedNodesSize = 0;
  bool keepDuplicatesSmallerThanThresholdIfEquivalenceFits = false;
  std::shared_ptr<EquivalenceCandidatesProviderImpl>
      equivalenceCandidatesStorage;  // when asked to keep it
};

class ScanningTask final : public EquivalenceCandidatesProviderDelegate,
                           public std::enable_shared_from_this<ScanningTask> {
 public:
  static std::shared_ptr<ScanningTask> make(ScanningServiceRequest request,
                                            std::shared_ptr<SerialQueue> internalQueue);

  // Starts the stages; the future completes with the result (shared, never copied: it holds
  // every group of the scan) or the failure.
  Future<std::shared_ptr<const ScanningServiceResult>> start();
  // Snapshots, the latest one kept for late subscribers.
  [[nodiscard]] const Producer<ConstantScanningStatus, Void>& status() const {
    return statusProducer_;
  }
  // Items that could not be read, as they are met (called on the walk's and the readers' threads).
  void setErrorHandler(std::function<void(const Error&)> handler) {
    errorHandler_ = std::move(handler);
  }
  // Before start(): whether groups of exact duplicates are confirmed by whole content before the
  // results are built (each member compared byte for byte with the first, on the work queue;
  // members that differ split off). Without it only groups the digest read whole count as
  // verified.
  void setVerifiesContents(bool verifies) { verifiesContents_ = verifies; }
  // Before start(): music and photo libraries listed item by item besides the locations.
  void setMediaLibraries(std::vector<MediaLibraryLocation> libraries) {
    request_.mediaLibraries = std::move(libraries);
  }
  // Before start(): where what the scan learns of files' contents is looked up and kept.
  void setDigestCache(std::shared_ptr<DigestCache> cache) { digestCache_ = std::move(cache); }

  void cancel(bool keepResults);
  // This scan's reads (and only this scan's) take one thread a disk in background mode.
  void updateIsBackgroundMode(bool isBackgroundMode);
  [[nodiscard]] bool canContinue() const { return !cancellationMode_.mode(); }
  [[nodiscard]] const std::vector<EnumerationSpecification>& acceptableEnumerationSpecifications()
      const {
    return acceptableSpecifications_;
  }

  // Matching engine delegate.
  void didMatchDuplicates(ByteCount ofSize, const std::vector<DuplicateCandidatePtr>& duplicates,
                          const EquivalenceCandidate& group,
                          EquivalenceCandidatesProviderImpl& provider) override;
  void didUnmatchDuplicates(const std::vector<DuplicateCandidatePtr>&, const EquivalenceCandidate&,
                            EquivalenceCandidatesProviderImpl&) override {}
  void accumulationProgressChanged(int deltaNumberOfItemsToAccumulate,
                                   int deltaNumberOfAccumulatedItems,
                                   const std::optional<std::string>& lastProcessedURL,
                                   EquivalenceCandidatesProviderImpl& provider) override;

 private:
  ScanningTask(ScanningServiceRequest request, std::shared_ptr<SerialQueue> internalQueue);
  void setUp();
  void setUpContentReading();
  [[nodiscard]] ContentWork contentWork();

  // The stages follow one another as futures: none holds a thread while another runs.
  Future<Void> runEnumerationStage();
  // Keeps the engine's groups in accumulatedGroups_.
  Future<Void> runAccumulationStage();
  Result<ScanningServiceResult> runBuildingStage();
  void finish();

  // Hands a listed batch to the engine and the media pipeline.
  void matchFoundNodes(const std::vector<MatchingNodePtr>& nodes);
  // `countsAsNodes`: each node is one of the nodes to match; library items are credited their
  // library's share instead.
  void handOverNodes(const std::vector<MatchingNodePtr>& nodes, bool countsAsNodes);

  // Library items are matched as they are listed, credited their library's share instead of
  // counting as nodes.
  void setUpMediaLibraries();

  // Applies a change to the status on the internal queue and publishes when due.
  void changeStatus(std::function<void(MutableScanningStatus&)> change);
  void publishIfDue(bool force);
  void noteTimingLine(const char* label);
  [[nodiscard]] std::vector<std::string> locationURLs() const;

  ScanningServiceRequest request_;
  MatchingSettings settings_;
  std::shared_ptr<SerialQueue> internalQueue_;
  std::shared_ptr<OperationQueue> workQueue_;
  std::shared_ptr<OperationQueue> enumerationQueue_;
  std::vector<EnumerationSpecification> acceptableSpecifications_;
  std::shared_ptr<MatchingNodesFactory> matchingNodesFactory_;
  std::shared_ptr<DispatchGroup> nodesProcessingGroup_ = std::make_shared<DispatchGroup>();
  std::shared_ptr<EquivalenceCandidatesProviderImpl> equivalenceCandidatesProvider_;
  std::shared_ptr<ExactPipeline> exactPipeline_;
  std::shared_ptr<MediaPipeline> mediaPipeline_;
  std::shared_ptr<FileSystemFastEnumeration> enumeration_;
  std::vector<EquivalenceCandidatePtr> accumulatedGroups_;  // from accumulation to building
  std::unique_ptr<MediaLibraryScan> mediaLibraries_;
  std::mutex enumerationMutex_;
  AtomicCancellationMode cancellationMode_;
  // Cancelled with the task: stops content reads between blocks.
  std::shared_ptr<CancellationToken> cancellation_ = CancellationToken::make();
  std::shared_ptr<ContentProgress> contentProgress_ = std::make_shared<ContentProgress>();
  std::shared_ptr<std::atomic<bool>> backgroundMode_ = std::make_shared<std::atomic<bool>>(false);
  bool verifiesContents_ = false;             // set before start
  std::shared_ptr<DigestCache> digestCache_;  // set before start
  size_t maxConcurrentOperationCount_;
  std::function<void(const Error&)> errorHandler_;

  MutableScanningStatus status_;  // internal queue only
  Producer<ConstantScanningStatus, Void> statusProducer_{1};
  std::atomic<std::int64_t> lastPublication_{0};  // steady clock, nanoseconds
  // Node counters bumped by the walk's threads and folded into the status when published.
  std::atomic<std::int64_t> nodesToMatch_{0};
  std::atomic<std::int64_t> matchedNodes_{0};
  std::mutex latestNodeMutex_;
  MatchingNodePtr latestNode_;

  // Files listed and not yet past the first-block gate: the walk waits while too many are.
  std::shared_ptr<Backlog> walkBacklog_;

  std::atomic<std::int64_t> scannedCount_{0};
  std::atomic<std::int64_t> scannedSize_{0};
  std::chrono::steady_clock::time_point timingMark_;
  std::chrono::steady_clock::time_point startMark_;
};

// Makes scanning tasks; they share the service's serial queue.
class ScanningService {
 public:
  ScanningService();
  std::shared_ptr<ScanningTask> perform(ScanningServiceRequest request);

 private:
  std::shared_ptr<SerialQueue> internalQueue_;
  std::mutex mutex_;
  std::vector<std::weak_ptr<ScanningTask>> tasks_;
};

}  // namespace zarnik
