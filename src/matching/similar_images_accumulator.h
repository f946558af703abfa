// Similar pictures: each picture is joined by an edge to every earlier one whose hashes come
// within the threshold (found through an index, not by measuring all pairs), and the connected
// parts of that graph are the groups. A large part is cut further: by aspect ratio into runs of
// close ratios, and within each run by a tighter threshold. Pictures already in an exact or
// folder group are left out at the end.
#pragma once

#include "matching/fuzzy_accumulator.h"
#include "matching/match_criterion.h"
#include "matching/perceptual_hash_index.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace zarnik {

struct SimilarImagesMatchingOptions {
  int threshold = 3;
  bool isPreciseMatchEnabled = true;
  size_t limitOfCandidatesForPreciseMatch = 5;
  int preciseMatchThreshold = 1;
  double preciseProportionMatchThreshold = 0.05;
  static SimilarImagesMatchingOptions of(const ExtendedScanRules& rules);
};

class SimilarImagesEquivalenceCandidatesAccumulator final
    : public GeneralFuzzyEquivalenceCandidatesAccumulator {
 public:
  SimilarImagesEquivalenceCandidatesAccumulator(EquivalenceCandidatesAccumulatorDelegate* delegate,
                                                SimilarImagesMatchingOptions options);
  ~SimilarImagesEquivalenceCandidatesAccumulator() override { stopGraphBuilding(); }

 private:
  [[nodiscard]] bool accepts(const EquivalenceInfo& info) const override;
  std::vector<std::uint32_t> earlierNeighbours(std::uint32_t vertex) override;
  // A large part cut by aspect ratio, then by the tighter threshold.
  [[nodiscard]] std::vector<std::vector<std::uint32_t>> clustersOf(
      const std::vector<std::uint32_t>& part) const override;
  [[nodiscard]] const PerceptualImageEquivalenceInfo& pictureOf(std::uint32_t vertex) const;

  SimilarImagesMatchingOptions options_;
  PerceptualHashIndex index_;  // its entries are the vertices, in the same order
};

}  // namespace zarnik
