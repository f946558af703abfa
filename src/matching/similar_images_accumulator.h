// Similar pictures: each picture is joined by an edge to every earlier one whose hashes come
// within the threshold (found through an index, not by measuring all pairs), and the connected
// parts of that graph are the groups. A large part is cut further: by aspect ratio into runs of
// close ratios, and within each run by a tighter threshold. Pictures already in an exact or
// folder group are left out at the end.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "matching/equivalence_candidates_accumulator.h"
#include "matching/connected_parts.h"
#include "matching/perceptual_hash_index.h"

namespace zarnik {

struct SimilarImagesMatchingOptions {
  int threshold = 3;
  bool isPreciseMatchEnabled = true;
  size_t limitOfCandidatesForPreciseMatch = 5;
  int preciseMatchThreshold = 1;
  double preciseProportionMatchThreshold = 0.05;
  static SimilarImagesMatchingOptions of(const ExtendedScanRules& rules);
};

class SimilarImagesEquivalenceCandidatesAccumulator final : public EquivalenceCandidatesAccumulator {
 public:
  SimilarImagesEquivalenceCandidatesAccumulator(EquivalenceCandidatesAccumulatorDelegate* delegate,
                                                SimilarImagesMatchingOptions options);

  [[nodiscard]] EquivalenceKind kind() const override { return EquivalenceKind::similarImage; }
  [[nodiscard]] bool isHeavy() const override { return true; }
  void add(const MatchingNodePtr& node, const EquivalenceInfoPtr& info) override;
  void update(const MatchingNodePtr& node, const EquivalenceInfoPtr& info, bool addIfAbsent) override;
  void removeNodes(const std::set<std::string>& urls) override;
  void cancel() override { canContinue_ = false; }
  void finish(EquivalenceCandidatesMatchingContext& context) override;
  std::vector<EquivalenceCandidatePtr> merge(EquivalenceCandidatesAccumulator& other,
                                             const std::set<std::string>* skippedURLs) override;
  void collectNodesByPath(std::map<std::string, MatchingNodePtr>& nodes) const override;

 private:
  struct Vertex {
    DuplicateCandidatePtr membership;
    const PerceptualImageEquivalenceInfo* info;
    bool removed = false;
  };
  std::vector<std::vector<std::uint32_t>> clustersOf(const std::vector<std::uint32_t>& part) const;

  EquivalenceCandidatesAccumulatorDelegate* delegate_;
  SimilarImagesMatchingOptions options_;
  bool canContinue_ = true;
  PerceptualHashIndex index_;
  std::vector<Vertex> vertices_;
  std::vector<GraphEdge> edges_;
};

}  // namespace zarnik
