// EquivalenceCandidatesProviderImpl: the front of the matching engine. It owns one accumulator
// per kind, routes every (node, information) pair to the accumulator of its kind on one serial
// queue, counts pending work in the finishing-ready group so that groups are never taken while
// work is in flight, honours cancellation and collects the groups at the end.
//
// add/update/removeNodes/cancelAccumulation return at once and queue their work. The content
// reader (the exact pipeline) and the delegate (the scanning task or the monitor, told of groups
// and progress) are held weakly.
#pragma once

#include "foundation/cancellation_mode.h"
#include "foundation/dispatch_group.h"
#include "foundation/future.h"
#include "foundation/serial_queue.h"
#include "matching/content_reader.h"
#include "matching/match_candidates_accumulator.h"

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

namespace zarnik {

class EquivalenceCandidatesProviderImpl;

class EquivalenceCandidatesProviderDelegate {
 public:
  virtual ~EquivalenceCandidatesProviderDelegate() = default;
  virtual void didMatchDuplicates(ByteCount ofSize,
                                  const std::vector<DuplicateCandidatePtr>& duplicates,
                                  const EquivalenceCandidate& group,
                                  EquivalenceCandidatesProviderImpl& provider) = 0;
  virtual void didUnmatchDuplicates(const std::vector<DuplicateCandidatePtr>& duplicates,
                                    const EquivalenceCandidate& group,
                                    EquivalenceCandidatesProviderImpl& provider) = 0;
  virtual void accumulationProgressChanged(int deltaNumberOfItemsToAccumulate,
                                           int deltaNumberOfAccumulatedItems,
                                           const std::optional<std::string>& lastProcessedURL,
                                           EquivalenceCandidatesProviderImpl& provider) = 0;
};

struct AccumulationError {
  static Error notSupportedInMode() {
    return Error{
        "MatchCandidatesProvider.AccumulationError", -1, "Not supported in this mode.", {}, {}};
  }
};

class EquivalenceCandidatesProviderImpl final
    : public EquivalenceCandidatesAccumulatorDelegate,
      public std::enable_shared_from_this<EquivalenceCandidatesProviderImpl> {
 public:
  static std::shared_ptr<EquivalenceCandidatesProviderImpl> make(
      std::shared_ptr<const ExtendedScanRules> scanRules,
      std::shared_ptr<SerialQueue> internalQueue,
      std::weak_ptr<EquivalenceCandidatesProviderDelegate> delegate,
      EquivalenceCandidatesAccumulationMode mode,
      std::shared_ptr<DispatchGroup> finishingReadyGroup,
      const std::vector<EquivalenceKind>& kinds);

  // Who reads the contents the stages ask for; set before the first node is added.
  void setContentReader(std::weak_ptr<ContentReader> reader) { contentReader_ = std::move(reader); }

  void add(const MatchingNodePtr& node, EquivalenceInfoPtr info,
           const std::shared_ptr<DispatchGroup>& processingGroup = nullptr);
  // Hands many pairs in with one task on the engine's queue (a folder's worth of nodes).
  // `whenRouted` runs once they are routed, or dropped (after a cancellation).
  void addBatch(std::vector<std::pair<MatchingNodePtr, EquivalenceInfoPtr>> items,
                const std::shared_ptr<DispatchGroup>& processingGroup = nullptr,
                Task whenRouted = {});
  void update(const MatchingNodePtr& node, const EquivalenceInfoPtr& info, bool addIfAbsent,
              const std::shared_ptr<DispatchGroup>& processingGroup = nullptr);
  void removeNodes(std::set<std::string> urls);
  void cancelAccumulation(CancellationMode mode);
  // The groups of at least two members of the published kinds, once the finishing-ready
  // group is empty. Fails with notSupportedInMode in continuous mode.
  Future<std::vector<EquivalenceCandidatePtr>> finishAccumulationAndProvideEquivalences();
  // Lets go of everything accumulated, once the groups were provided and nothing will be merged
  // into another provider: the nodes of files without duplicates are most of a scan's memory.
  // The provider accumulates nothing afterwards.
  void discardAccumulations();
  // Merges another provider's groups into this one; runs on this provider's queue.
  std::vector<EquivalenceCandidatePtr> merge(EquivalenceCandidatesProviderImpl& storage,
                                             const std::set<std::string>* skippingNodesAt);
  [[nodiscard]] std::map<std::string, MatchingNodePtr> nodeByPath();

  [[nodiscard]] const ExtendedScanRules& scanRules() const { return *scanRules_; }
  [[nodiscard]] std::optional<CancellationMode> cancellationMode() const {
    return cancellationMode_.mode();
  }
  [[nodiscard]] const std::shared_ptr<SerialQueue>& internalQueue() const { return internalQueue_; }

  // Accumulator delegate.
  void requestHash(const MatchingNodePtr& node, HashKind kind) override;
  void requestHash(ParkedFileNode file, ByteCount size, HashKind kind) override;
  [[nodiscard]] ParkedFileNode parked(const MatchingNodePtr& node) const override;
  void requestSymlinkMatch(const MatchingNodePtr& node) override;
  [[nodiscard]] EquivalenceCandidatesAccumulationMode accumulationMode() const override {
    return mode_;
  }
  [[nodiscard]] bool keepsSizeStageMembers() const override {
    return mode_ == EquivalenceCandidatesAccumulationMode::continuous || keepsSizeStageMembers_;
  }
  // A finite scan that will not merge its accumulations lets the size stages forget their
  // members. Set before the first node is added.
  void setKeepsSizeStageMembers(bool keeps) { keepsSizeStageMembers_ = keeps; }
  [[nodiscard]] std::shared_ptr<DispatchGroup> finishingReadyGroup() const override {
    return finishingReadyGroup_;
  }
  void didMatchDuplicates(ByteCount ofSize, const std::vector<DuplicateCandidatePtr>& duplicates,
                          const EquivalenceCandidate& group) override;
  void didUnmatchDuplicates(const std::vector<DuplicateCandidatePtr>& duplicates,
                            const EquivalenceCandidate& group) override;

 private:
  EquivalenceCandidatesProviderImpl(std::shared_ptr<const ExtendedScanRules> scanRules,
                                    std::shared_ptr<SerialQueue> internalQueue,
                                    std::weak_ptr<EquivalenceCandidatesProviderDelegate> delegate,
                                    EquivalenceCandidatesAccumulationMode mode,
                                    std::shared_ptr<DispatchGroup> finishingReadyGroup);
  void addAccumulator(EquivalenceKind kind);
  // Queues `work` on the accumulator of the information's kind, counted in both groups.
  void route(const EquivalenceInfoPtr& info, const std::shared_ptr<DispatchGroup>& processingGroup,
             std::function<void(EquivalenceCandidatesAccumulator&)> work);
  void trackContentWork(const Future<Void>& work);
  struct Finishing;
  void finishWhenReady(std::shared_ptr<Finishing> finishing);

  std::shared_ptr<const ExtendedScanRules> scanRules_;
  std::shared_ptr<SerialQueue> internalQueue_;
  std::weak_ptr<EquivalenceCandidatesProviderDelegate> delegate_;
  std::weak_ptr<ContentReader> contentReader_;
  EquivalenceCandidatesAccumulationMode mode_;
  std::shared_ptr<DispatchGroup> finishingReadyGroup_;
  AtomicCancellationMode cancellationMode_;
  bool keepsSizeStageMembers_ = true;
  std::vector<std::unique_ptr<EquivalenceCandidatesAccumulator>> accumulators_;
  std::map<EquivalenceKind, EquivalenceCandidatesAccumulator*> accumulatorsByEquivalenceKind_;
};

}  // namespace zarnik
