#include "matching/similar_images_accumulator.h"

#include <algorithm>

#include "matching/claimers.h"
#include "matching/connected_parts.h"
#include "matching/equivalence_info.h"

namespace zarnik {

SimilarImagesMatchingOptions SimilarImagesMatchingOptions::of(const ExtendedScanRules& rules) {
  SimilarImagesMatchingOptions options;
  options.threshold = static_cast<int>(std::clamp<std::int64_t>(rules.rawImageMatchThreshold(), 0, 255));
  options.isPreciseMatchEnabled = rules.isPreciseImageMatchEnabled();
  options.limitOfCandidatesForPreciseMatch = static_cast<size_t>(std::max<std::int64_t>(0, rules.limitOfCandidatesForPreciseImageMatch()));
  options.preciseMatchThreshold = static_cast<int>(std::clamp<std::int64_t>(rules.preciseImageMatchThreshold(), 0, 255));
  options.preciseProportionMatchThreshold = rules.preciseProprtionMatchThreshold();
  return options;
}

SimilarImagesEquivalenceCandidatesAccumulator::SimilarImagesEquivalenceCandidatesAccumulator(
    EquivalenceCandidatesAccumulatorDelegate* delegate, SimilarImagesMatchingOptions options)
    : delegate_(delegate), options_(options), index_(options.threshold) {}

void SimilarImagesEquivalenceCandidatesAccumulator::add(const MatchingNodePtr& node, const EquivalenceInfoPtr& info) {
  const auto* picture = dynamic_cast<const PerceptualImageEquivalenceInfo*>(info.get());
  if (picture == nullptr || !canContinue_) return;
  const auto vertex = static_cast<std::uint32_t>(vertices_.size());
  vertices_.push_back({std::make_shared<BaseDuplicateCandidate>(node, info), picture, false});
  for (const auto& neighbour : index_.addAndFindNeighbours(picture->perceptualHashesWords())) {
    edges_.push_back({neighbour.entry, vertex});
  }
}

void SimilarImagesEquivalenceCandidatesAccumulator::update(const MatchingNodePtr& node, const EquivalenceInfoPtr& info,
                                                           bool addIfAbsent) {
  const std::string path = node->path();
  for (auto& vertex : vertices_) {
    if (!vertex.removed && vertex.membership->node()->path() == path) {
      vertex.removed = true;  // its edges stay but lead nowhere: removed vertices are skipped
      addIfAbsent = true;
    }
  }
  if (addIfAbsent) add(node, info);
}

void SimilarImagesEquivalenceCandidatesAccumulator::removeNodes(const std::set<std::string>& urls) {
  for (auto& vertex : vertices_) {
    if (urls.count(vertex.membership->node()->path()) != 0) vertex.removed = true;
  }
}

std::vector<EquivalenceCandidatePtr> SimilarImagesEquivalenceCandidatesAccumulator::merge(
    EquivalenceCandidatesAccumulator&, const std::set<std::string>*) {
  return {};
}

void SimilarImagesEquivalenceCandidatesAccumulator::collectNodesByPath(std::map<std::string, MatchingNodePtr>& nodes) const {
  for (const auto& vertex : vertices_) {
    if (!vertex.removed) nodes.emplace(vertex.membership->node()->path(), vertex.membership->node());
  }
}

std::vector<std::vector<std::uint32_t>> SimilarImagesEquivalenceCandidatesAccumulator::clustersOf(
    const std::vector<std::uint32_t>& part) const {
  if (!options_.isPreciseMatchEnabled || part.size() < options_.limitOfCandidatesForPreciseMatch) return {part};
  // Runs of close aspect ratios, then the tighter threshold inside each run.
  std::vector<std::pair<double, std::uint32_t>> byRatio;
  for (std::uint32_t vertex : part) {
    if (auto ratio = vertices_[vertex].info->aspectRatio()) byRatio.emplace_back(*ratio, vertex);
  }
  std::sort(byRatio.begin(), byRatio.end());
  std::vector<std::vector<std::uint32_t>> clusters;
  std::vector<std::uint32_t> run;
  const auto closeRun = [&] {
    if (run.size() >= 2) {
      std::vector<GraphEdge> tight;
      for (size_t i = 0; i < run.size(); ++i) {
        for (size_t j = i + 1; j < run.size(); ++j) {
          if (flexibleDistance(vertices_[run[i]].info->perceptualHashesWords(), vertices_[run[j]].info->perceptualHashesWords()) <=
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
    if (i > 0 && byRatio[i].first - byRatio[i - 1].first > options_.preciseProportionMatchThreshold) closeRun();
    run.push_back(byRatio[i].second);
  }
  closeRun();
  return clusters;
}

void SimilarImagesEquivalenceCandidatesAccumulator::finish(EquivalenceCandidatesMatchingContext& context) {
  // Pictures in exact or folder groups take no part.
  std::vector<std::uint32_t> remaining;
  for (std::uint32_t v = 0; v < vertices_.size(); ++v) {
    if (!vertices_[v].removed && vertices_[v].membership->node()->claimers.rawValue < Claimers::exactMatch) remaining.push_back(v);
  }
  for (const auto& part : connectedParts(remaining, edges_)) {
    for (const auto& cluster : clustersOf(part)) {
      if (cluster.size() < 2) continue;
      auto group = std::make_shared<EquivalenceCandidate>(delegate_, vertices_[cluster.front()].membership->equivalenceInfo(),
                                                          Claimers::similarMatch);
      for (std::uint32_t vertex : cluster) group->add(vertices_[vertex].membership, false);
      context.equivalencesToModel.push_back(std::move(group));
    }
  }
}

}  // namespace zarnik
