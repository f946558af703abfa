// What the fuzzy matchers (similar pictures, similar audio) share: each item is a vertex of a
// graph joined by an edge to every earlier item close enough to it, and the groups are the
// connected parts of that graph once items held by exact or folder groups are left out. A kind
// says which earlier items are close, and may cut a part into smaller clusters.
#pragma once

#include <cstdint>
#include <vector>

#include "matching/connected_parts.h"
#include "matching/equivalence_candidates_accumulator.h"

namespace zarnik {

class GeneralFuzzyEquivalenceCandidatesAccumulator : public EquivalenceCandidatesAccumulator {
 public:
  GeneralFuzzyEquivalenceCandidatesAccumulator(EquivalenceKind kind, EquivalenceCandidatesAccumulatorDelegate* delegate)
      : kind_(kind), delegate_(delegate) {}

  [[nodiscard]] EquivalenceKind kind() const final { return kind_; }
  [[nodiscard]] bool isHeavy() const final { return true; }
  void add(const MatchingNodePtr& node, const EquivalenceInfoPtr& info) final;
  void update(const MatchingNodePtr& node, const EquivalenceInfoPtr& info, bool addIfAbsent) final;
  void removeNodes(const std::set<std::string>& urls) final;
  void cancel() final { canContinue_ = false; }
  void finish(EquivalenceCandidatesMatchingContext& context) final;
  // Groups are made at the end of a scan only: there is nothing to adopt.
  std::vector<EquivalenceCandidatePtr> merge(EquivalenceCandidatesAccumulator& other,
                                             const std::set<std::string>* skippedURLs) final;
  void collectNodesByPath(std::map<std::string, MatchingNodePtr>& nodes) const final;

 protected:
  // Whether the information is of this kind and may take part.
  [[nodiscard]] virtual bool accepts(const EquivalenceInfo& info) const = 0;
  // The earlier vertices to join to `vertex`, which was just added (vertices are numbered from 0
  // in the order they came).
  virtual std::vector<std::uint32_t> earlierNeighbours(std::uint32_t vertex) = 0;
  // The groups a connected part (sorted vertices, at least two) makes: itself by default.
  [[nodiscard]] virtual std::vector<std::vector<std::uint32_t>> clustersOf(const std::vector<std::uint32_t>& part) const {
    return {part};
  }
  [[nodiscard]] const EquivalenceInfo& infoOf(std::uint32_t vertex) const {
    return *vertices_[vertex].membership->equivalenceInfo();
  }

 private:
  struct Vertex {
    DuplicateCandidatePtr membership;
    bool removed = false;  // its edges stay but lead nowhere: removed vertices are skipped
  };
  EquivalenceKind kind_;
  EquivalenceCandidatesAccumulatorDelegate* delegate_;
  bool canContinue_ = true;
  std::vector<Vertex> vertices_;
  std::vector<GraphEdge> edges_;
};

}  // namespace zarnik
