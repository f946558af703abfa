// One scan from request to result: ScanningService makes a ScanningTask per request. The task
// runs three stages in order: enumeration (every item found becomes a matching node and is
// handed to the matching engine at once, so matching runs while the walk goes on), accumulation
// (the engine finishes its groups once no work is in flight) and building (size threshold,
// hard-link rule, detection results). It publishes status snapshots at most every 0.1 s.
//
// Threads: status changes, cancel and background mode run on the service's serial queue;
// the walk runs on the enumeration queue and content work (hashing, link targets) on the work
// queue, each as wide as the processor count (2 in background mode).
#pragma once

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "enumeration/file_system_enumeration.h"
#include "foundation/channel.h"
#include "foundation/operation_queue.h"
#include "matching/equivalence_candidates_provider.h"
#include "matching/parked_file_node.h"
#include "scanning/content_prefix_gate.h"
#include "scanning/content_progress.h"
#include "scanning/detection_result.h"
#include "scanning/scanning_status.h"

namespace zarnik {

struct ScanningServiceRequest {
  std::vector<LocationSpecification> specifications;
  std::shared_ptr<const ExtendedScanRules> scanRules;
  OVURLResolver resolver = OVURLResolver::shared();
  bool includeHiddenItems = false;
  ExtendedAutoselectionRules autoselectionRules;
  // Whether the result keeps the engine's accumulations, to be merged into a watching scan's.
  bool keepsEquivalenceCandidatesStorage = false;
};

struct ScanningServiceResult {
  std::vector<scanning_service::DetectionResult> detectionResults;
  std::vector<std::shared_ptr<ZKBaseNode>> mediaLibraries;
  ByteCount usedSizeThreshold = 0;
  std::int64_t scannedNodesCount = 0;
  ByteCount scannedNodesSize = 0;
  bool keepDuplicatesSmallerThenThresholdIfEquivalenceFits = false;
  std::shared_ptr<EquivalenceCandidatesProviderImpl> equivalenceCandidatesStorage;  // when asked to keep it
};

class ScanningTask final : public EquivalenceCandidatesProviderDelegate,
                           public std::enable_shared_from_this<ScanningTask> {
 public:
  static std::shared_ptr<ScanningTask> make(ScanningServiceRequest request, std::shared_ptr<SerialQueue> internalQueue);

  // Starts the stages; the future completes with the result (shared, never copied: it holds
  // every group of the scan) or the failure.
  Future<std::shared_ptr<const ScanningServiceResult>> start();
  // Snapshots, the latest one kept for late subscribers.
  [[nodiscard]] const Producer<ConstantScanningStatus, Void>& status() const { return statusProducer_; }
  // Items that could not be read, as they are met (called on the walk's threads).
  void setErrorHandler(std::function<void(const Error&)> handler) { errorHandler_ = std::move(handler); }
  // Before start(): whether groups of exact duplicates are confirmed by whole content before the
  // results are built (each member compared byte for byte with the first, on the work queue;
  // members that differ split off). Without it only groups the digest read whole count as
  // verified.
  void setVerifiesContents(bool verifies) { verifiesContents_ = verifies; }

  void cancel(bool keepResults);
  void updateIsBackgroundMode(bool isBackgroundMode);
  [[nodiscard]] bool canContinue() const { return !cancellationMode_.mode(); }
  [[nodiscard]] const std::vector<EnumerationSpecification>& acceptableEnumerationSpecifications() const {
    return acceptableSpecifications_;
  }

  // Matching engine delegate.
  Future<Void> calculateHash(const MatchingNodePtr& node, HashKind kind, EquivalenceCandidatesProviderImpl& provider) override;
  Future<Void> matchSymLink(const MatchingNodePtr& node, EquivalenceCandidatesProviderImpl& provider) override;
  void didMatchDuplicates(ByteCount ofSize, const std::vector<DuplicateCandidatePtr>& duplicates,
                          const EquivalenceCandidate& group, EquivalenceCandidatesProviderImpl& provider) override;
  void didUnmatchDuplicates(const std::vector<DuplicateCandidatePtr>&, const EquivalenceCandidate&,
                            EquivalenceCandidatesProviderImpl&) override {}
  void accumulationProgressChanged(int deltaNumberOfItemsToAccumulate, int deltaNumberOfAccumulatedItems,
                                   const std::optional<std::string>& lastProcessedURL,
                                   EquivalenceCandidatesProviderImpl& provider) override;

 private:
  ScanningTask(ScanningServiceRequest request, std::shared_ptr<SerialQueue> internalQueue);
  void setUp();

  Result<Void> runEnumerationStage();
  Result<std::vector<EquivalenceCandidatePtr>> runAccumulationStage();
  Result<ScanningServiceResult> runBuildingStage(std::vector<EquivalenceCandidatePtr> groups);
  void finish();

  struct GroupMember {
    MatchingNodePtr node;
    std::optional<FileId> hardLinkKey;
    std::string path;  // for ordering; let go once the groups are sorted
  };
  struct CandidateGroup {
    EquivalenceKind kind = EquivalenceKind::exactHash;
    std::vector<GroupMember> members;
    bool verified = false;
  };
  // Groups of exact duplicates are marked verified when the digest read their files whole, and,
  // when asked, confirmed by whole content (split where members differ); a cancelled
  // confirmation leaves the rest as they were, unverified.
  void verifyContents(std::vector<CandidateGroup>& groups);
  [[nodiscard]] Result<std::vector<CandidateGroup>> splitByContent(const CandidateGroup& group);
  // A group made only of hard links of one file frees nothing.
  [[nodiscard]] static bool holdsSeparateFiles(const CandidateGroup& group);
  [[nodiscard]] scanning_service::DetectionResult detectionResultOf(const CandidateGroup& group,
                                                                    std::int64_t& nextIdentifier) const;

  // A file waiting for its digest. One that may wait at the first-block gate is parked at once:
  // while the walk outruns the reading, most of a scan's files wait here.
  struct HashRequest {
    ParkedFileNode file;
    ByteCount size = 0;
    HashKind kind = HashKind::exact;
  };
  void drainHashRequests(EquivalenceCandidatesProviderImpl& provider);
  // The nodes' hash information, added to `hashed`; failures are logged and reported. Two
  // files the first-block gate let through together are most often copies: the second is
  // compared with the first while that is digested, and digested itself only if it differs.
  void hashNodes(const std::vector<MatchingNodePtr>& nodes, HashKind kind,
                 std::vector<std::pair<MatchingNodePtr, EquivalenceInfoPtr>>& hashed);
  // The node's hash information, or nothing (the failure is logged and reported).
  EquivalenceInfoPtr hashNode(const MatchingNodePtr& node, HashKind kind);
  // The digest of another link of the node's file, computed earlier in this scan.
  std::optional<ExactFileHash> knownLinkDigest(const MatchingNode& node);
  void rememberLinkDigest(const MatchingNode& node);
  // Digests the requested file, once the first-block gate lets it through, with the one it
  // was waiting for; a file passing an open gate is first compared with the gate's reference.
  void hashRequestedFile(const HashRequest& request, std::vector<std::pair<MatchingNodePtr, EquivalenceInfoPtr>>& hashed);
  // Whether the node holds what the reference held when digested; it then takes its digest.
  bool matchesReference(MatchingNode& node, const DigestReference& reference);
  // `size`: the file's size when listed (an empty file's failure is expected, and not reported).
  void reportHashingFailure(const Error& error, ByteCount size);
  // Similar pictures: the picture's size and, when asked, its perceptual hashes.
  static ImageFacts processImage(const MatchingNode& node, bool wantsHash);
  // The bytes the digest of a request will read, for the progress of content reading.
  [[nodiscard]] static ByteCount plannedReadSize(ByteCount size, HashKind kind);
  [[nodiscard]] bool wantsPerceptualHashes(const MatchingNode& node) const;
  void matchPerceptually(const MatchingNodePtr& node);
  // Audio files are matched by their tags (similar audio) and by their audio data alone
  // (identical audio under different tags).
  [[nodiscard]] bool wantsAudioWork(const MatchingNode& node) const;
  [[nodiscard]] std::vector<EquivalenceInfoPtr> audioInformation(MatchingNode& node) const;
  void matchAudio(const MatchingNodePtr& node);

  // Per-node matching: which information a node gets, handed to the engine.
  void matchFoundNodes(const std::vector<MatchingNodePtr>& nodes);
  [[nodiscard]] std::vector<EquivalenceInfoPtr> equivalenceInformation(MatchingNode& node) const;
  // Bundles with an identifier and a version, matched with their whole-tree sizes.
  [[nodiscard]] std::vector<EquivalenceInfoPtr> applicationInformation(MatchingNode& node) const;

  // Applies a change to the status on the internal queue and publishes when due.
  void changeStatus(std::function<void(MutableScanningStatus&)> change);
  void publishIfDue(bool force);
  void noteTimingLine(const char* label);
  void detectDifferencesAndSelect(std::vector<scanning_service::DetectionResult>& results);

  ScanningServiceRequest request_;
  std::shared_ptr<SerialQueue> internalQueue_;
  std::shared_ptr<OperationQueue> workQueue_;
  std::shared_ptr<OperationQueue> enumerationQueue_;
  std::vector<EnumerationSpecification> acceptableSpecifications_;
  std::shared_ptr<MatchingNodesFactory> matchingNodesFactory_;
  std::shared_ptr<DispatchGroup> nodesProcessingGroup_ = std::make_shared<DispatchGroup>();
  std::shared_ptr<EquivalenceCandidatesProviderImpl> equivalenceCandidatesProvider_;
  std::shared_ptr<FileSystemFastEnumeration> enumeration_;
  std::mutex enumerationMutex_;
  AtomicCancellationMode cancellationMode_;
  // Cancelled with the task: stops content reads between blocks.
  std::shared_ptr<CancellationToken> cancellation_ = CancellationToken::make();
  bool verifiesContents_ = false;  // set before start
  ContentProgress contentProgress_;
  size_t maxConcurrentOperationCount_;
  bool isBackgroundMode_ = false;  // internal queue only
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
  std::mutex hashRequestsMutex_;
  std::deque<HashRequest> hashRequests_;
  size_t hashWorkers_ = 0;  // under hashRequestsMutex_
  // Hard links of one file share their content: its digest is computed once per scan.
  std::mutex hardLinkDigestsMutex_;
  std::unordered_map<FileId, ExactFileHash, FileIdHash> hardLinkDigests_;
  ContentPrefixGate prefixGate_;

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
