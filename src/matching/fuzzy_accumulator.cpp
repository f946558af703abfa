#include "matching/fuzzy_accumulator.h"

#include "matching/claimers.h"

namespace zarnik {

void GeneralFuzzyEquivalenceCandidatesAccumulator::add(const MatchingNodePtr& node, const EquivalenceInfoPtr& info) {
  if (!canContinue_ || info == nullptr || !accepts(*info)) return;
  const auto vertex = static_cast<std::uint32_t>(vertices_.size());
  vertices_.push_back({std::make_shared<BaseDuplicateCandidate>(node, info), false});
  for (std::uint32_t earlier : earlierNeighbours(vertex)) edges_.emplace_back(earlier, vertex);
}

void GeneralFuzzyEquivalenceCandidatesAccumulator::update(const MatchingNodePtr& node, const EquivalenceInfoPtr& info,
                                                          bool addIfAbsent) {
  const std::string path = node->path();
  for (auto& vertex : vertices_) {
    if (!vertex.removed && vertex.membership->node()->path() == path) {
      vertex.removed = true;
      addIfAbsent = true;
    }
  }
  if (addIfAbsent) add(node, info);
}

void GeneralFuzzyEquivalenceCandidatesAccumulator::removeNodes(const std::set<std::string>& urls) {
  for (auto& vertex : vertices_) {
    if (urls.count(vertex.membership->node()->path()) != 0) vertex.removed = true;
  }
}

std::vector<EquivalenceCandidatePtr> GeneralFuzzyEquivalenceCandidatesAccumulator::merge(EquivalenceCandidatesAccumulator&,
                                                                                        const std::set<std::string>*) {
  return {};
}

void GeneralFuzzyEquivalenceCandidatesAccumulator::collectNodesByPath(std::map<std::string, MatchingNodePtr>& nodes) const {
  for (const auto& vertex : vertices_) {
    if (!vertex.removed) nodes.emplace(vertex.membership->node()->path(), vertex.membership->node());
  }
}

void GeneralFuzzyEquivalenceCandidatesAccumulator::finish(EquivalenceCandidatesMatchingContext& context) {
  // Items in exact or folder groups take no part.
  std::vector<std::uint32_t> remaining;
  for (std::uint32_t v = 0; v < vertices_.size(); ++v) {
    if (!vertices_[v].removed && vertices_[v].membership->node()->claimers.rawValue < Claimers::exactMatch) {
      remaining.push_back(v);
    }
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
