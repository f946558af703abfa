// What the fuzzy matchers (similar pictures, similar audio) share: each item is a vertex of a
// graph joined by an edge to every earlier item close enough to it, and the groups are the
// connected parts of that graph once items held by exact or folder groups are left out. A kind
// says which earlier items are close, and may cut a part into smaller clusters.
//
// Comparing a new item with the earlier ones is the costly part of matching, so the graph is
// built on the accumulator's own serial queue, not the engine's: exact matching goes on while
// pictures are compared. The engine's finishing-ready group counts the queued additions.
#pragma once

#include "foundation/serial_queue.h"
#include "matching/connected_parts.h"
#include "matching/match_candidates_accumulator.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace zarnik {

class GeneralFuzzyEquivalenceCandidatesAccumulator : public EquivalenceCandidatesAccumulator {
 public:
  GeneralFuzzyEquivalenceCandidatesAccumulator(EquivalenceKind kind,
                                               EquivalenceCandidatesAccumulatorDelegate* delegate);
  ~GeneralFuzzyEquivalenceCandidatesAccumulator() override;

  [[nodiscard]] EquivalenceKind kind() const final { return kind_; }
  [[nodiscard]] bool isHeavy() const final { return true; }
  void add(const MatchingNodePtr& node, const EquivalenceInfoPtr& info) final;
  void update(const MatchingNodePtr& node, const EquivalenceInfoPtr& info, bool addIfAbsent) final;
  void removeNodes(const std::set<std::string>& urls) final;
  void cancel() final { canContinue_.store(false, std::memory_order_relaxed); }
  void finish(EquivalenceCandidatesMatchingContext& context) final;
  // Groups are made at the end of a scan only: there is nothing to adopt.
  std::vector<EquivalenceCandidatePtr> merge(EquivalenceCandidatesAccumulator& other,
                                             const std::set<std::string>* skippedURLs) final;
  void collectNodesByPath(std::map<std::string, MatchingNodePtr>& nodes) const final;

 protected:
  // Lets the additions still queued pass without work and waits for them: they call the kind's
  // overrides, so a kind calls this first in its destructor.
  void stopGraphBuilding();
  // Whether the information is of this kind and may take part.
  [[nodiscard]] virtual bool accepts(const EquivalenceInfo& info) const = 0;
  // The earlier vertices to join to `vertex`, which was just added (vertices are numbered from 0
  // in the order they came). Called on the graph's queue.
  virtual std::vector<std::uint32_t> earlierNeighbours(std::uint32_t vertex) = 0;
  // The groups a connected part (sorted vertices, at least two) makes: itself by default.
  [[nodiscard]] virtual std::vector<std::vector<std::uint32_t>> clustersOf(
      const std::vector<std::uint32_t>& part) const {
    return {part};
  }
  [[nodiscard]] const EquivalenceInfo& infoOf(std::uint32_t vertex) const {
    return *vertices_[vertex].membership->equivalenceInfo();
  }

 private:
  void addVertex(const MatchingNodePtr& node, const EquivalenceInfoPtr& info);
  void finishGraph(EquivalenceCandidatesMatchingContext& context);

  struct Vertex {
    DuplicateCandidatePtr membership;
    bool removed = false;  // its edges stay but lead nowhere: removed vertices are skipped
  };
  EquivalenceKind kind_;
  EquivalenceCandidatesAccumulatorDelegate* delegate_;
  std::shared_ptr<DispatchGroup> finishingReadyGroup_;  // the engine's, when there is an engine
  std::atomic<bool> canContinue_{true};
  std::shared_ptr<SerialQueue> graphQueue_;
  // Touched on graphQueue_ only.
  std::vector<Vertex> vertices_;
  std::vector<GraphEdge> edges_;
};

}  // namespace zarnik
