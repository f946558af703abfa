#include "matching/similar_images_accumulator.h"

#include "matching/connected_parts.h"
#include "matching/match_criterion.h"

#include <algorithm>

namespace zarnik {

SimilarImagesMatchingOptions SimilarImagesMatchingOptions::of(const ExtendedScanRules& rules) {
  SimilarImagesMatchingOptions options;
  options.threshold =
      static_cast<int>(std::clamp<std::int64_t>(rules.rawImageMatchThreshold(), 0, 255));
  options.isPreciseMatchEnabled = rules.isPreciseImageMatchEnabled();
  options.limitOfCandidatesForPreciseMatch =
      static_cast<size_t>(std::max<std::int64_t>(0, rules.limitOfCandidatesForPreciseImageMatch()));
  options.preciseMatchThreshold =
      static_cast<int>(std::clamp<std::int64_t>(rules.preciseImageMatchThreshold(), 0, 255));
  options.preciseProportionMatchThreshold = rules.preciseProprtionMatchThreshold();
  return options;
}

SimilarImagesEquivalenceCandidatesAccumulator::SimilarImagesEquivalenceCandidatesAccumulator(
    EquivalenceCandidatesAccumulatorDelegate* delegate, SimilarImagesMatchingOptions options)
    : GeneralFuzzyEquivalenceCandidatesAccumulator(EquivalenceKind::similarImage, delegate),
      options_(options),
      index_(options.threshold) {}

bool SimilarImagesEquivalenceCandidatesAccumulator::accepts(const EquivalenceInfo& info) const {
  return dynamic_cast<const PerceptualImageEquivalenceInfo*>(&info) != nullptr;
}

const PerceptualImageEquivalenceInfo& SimilarImagesEquivalenceCandidatesAccumulator::pictureOf(
    std::uint32_t vertex) const {
  return static_cast<const PerceptualImageEquivalenceInfo&>(infoOf(vertex));
}

std::vector<std::uint32_t> SimilarImagesEquivalenceCandidatesAccumulator::earlierNeighbours(
    std::uint32_t vertex) {
  std::vector<std::uint32_t> neighbours;
  for (const auto& neighbour :
       index_.addAndFindNeighbours(pictureOf(vertex).perceptualHashesWords())) {
    neighbours.push_back(neighbour.entry);
  }
  return neighbours;
}

std::vector<std::vector<std::uint32_t>> SimilarImagesEquivalenceCandidatesAccumulator::clustersOf(
    const std::vector<std::uint32_t>& part) const {
  if (!options_.isPreciseMatchEnabled || part.size() < options_.limitOfCandidatesForPreciseMatch)
    return {part};
  // Runs of close aspect ratios, then the tighter threshold inside each run.
  std::vector<std::pair<double, std::uint32_t>> byRatio;
  for (std::uint32_t vertex : part) {
    if (auto ratio = pictureOf(vertex).aspectRatio()) byRatio.emplace_back(*ratio, vertex);
  }
  std::sort(byRatio.begin(), byRatio.end());
  std::vector<std::vector<std::uint32_t>> clusters;
  std::vector<std::uint32_t> run;
  const auto closeRun = [&] {
    if (run.size() >= 2) {
      std::vector<GraphEdge> tight;
      for (size_t i = 0; i < run.size(); ++i) {
        for (size_t j = i + 1; j < run.size(); ++j) {
          if (flexibleDistance(pictureOf(run[i]).perceptualHashesWords(),
                               pictureOf(run[j]).perceptualHashesWords()) <=
              options_.preciseMatchThreshold) {
            tight.push_back({run[i], run[j]});
          }
        }
      }
      for (auto& cluster : connectedParts(run, tight)) clusters.push_back(std::move(cluster));
    }
    run.clear();
  };
  for (size_t i = 0; i < byRatio.size(); ++i) {
    if (i > 0 && byRatio[i].first - byRatio[i - 1].first > options_.preciseProportionMatchThreshold)
      closeRun();
    run.push_back(byRatio[i].second);
  }
  closeRun();
  return clusters;
}

}  // namespace zarnik
