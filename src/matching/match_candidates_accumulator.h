// The accumulator protocol: one accumulator per kind of group. All calls arrive on the
// provider's internal queue; an accumulator may pass heavy work on to a queue of its own.
#pragma once

#include "foundation/dispatch_group.h"
#include "matching/match_candidate.h"
#include "matching/parked_file_node.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace zarnik {

enum class EquivalenceCandidatesAccumulationMode { finite = 0, continuous = 1 };

// What an accumulator may ask of its provider.
class EquivalenceCandidatesAccumulatorDelegate : public EquivalenceCandidateDelegate {
 public:
  // Content work for a node; the provider's finishing group counts it until it is done.
  virtual void requestHash(const MatchingNodePtr& node, HashKind kind) = 0;
  // The same for a file set aside as its folder and name (see ContentReader::parked).
  virtual void requestHash(ParkedFileNode file, ByteCount size, HashKind kind) {
    if (auto node = file.unpark(size); node.hasValue()) requestHash(node.value(), kind);
  }
  [[nodiscard]] virtual ParkedFileNode parked(const MatchingNodePtr& node) const {
    return {node, false};
  }
  virtual void requestSymlinkMatch(const MatchingNodePtr& node) = 0;
  [[nodiscard]] virtual EquivalenceCandidatesAccumulationMode accumulationMode() const = 0;
  // Whether the size stages keep the members of their groups: needed to update, remove or
  // merge them later, not by a scan that only wants its groups.
  [[nodiscard]] virtual bool keepsSizeStageMembers() const { return true; }
  // Counts work an accumulator queues elsewhere, so that groups are not taken before it is done.
  [[nodiscard]] virtual std::shared_ptr<DispatchGroup> finishingReadyGroup() const {
    return nullptr;
  }
};

class EquivalenceCandidatesAccumulator {
 public:
  virtual ~EquivalenceCandidatesAccumulator() = default;
  [[nodiscard]] virtual EquivalenceKind kind() const = 0;
  // Heavy accumulators (similarity graphs, folders) never finish once a scan is cancelled.
  [[nodiscard]] virtual bool isHeavy() const = 0;
  virtual void add(const MatchingNodePtr& node, const EquivalenceInfoPtr& info) = 0;
  virtual void update(const MatchingNodePtr& node, const EquivalenceInfoPtr& info,
                      bool addIfAbsent) = 0;
  virtual void removeNodes(const std::set<std::string>& urls) = 0;
  virtual void cancel() {}
  virtual void finish(EquivalenceCandidatesMatchingContext& context) = 0;
  // Adopts the members of another accumulator of the same class, skipping some URLs; returns
  // the groups made or extended. Another class yields nothing.
  virtual std::vector<EquivalenceCandidatePtr> merge(EquivalenceCandidatesAccumulator& other,
                                                     const std::set<std::string>* skippedURLs) = 0;
  // Its members by node path; an entry already present wins.
  virtual void collectNodesByPath(std::map<std::string, MatchingNodePtr>& nodes) const = 0;
};

}  // namespace zarnik
