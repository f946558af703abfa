#include "matching/fuzzy_accumulator.h"

#include "matching/claimers.h"

namespace zarnik {

GeneralFuzzyEquivalenceCandidatesAccumulator::GeneralFuzzyEquivalenceCandidatesAccumulator(
    EquivalenceKind kind, EquivalenceCandidatesAccumulatorDelegate* delegate)
    : kind_(kind),
      delegate_(delegate),
      finishingReadyGroup_(delegate != nullptr ? delegate->finishingReadyGroup() : nullptr),
      graphQueue_(SerialQueue::make("fuzzy-accumulator." + std::string(rawValue(kind)))) {}

GeneralFuzzyEquivalenceCandidatesAccumulator::~GeneralFuzzyEquivalenceCandidatesAccumulator() { stopGraphBuilding(); }

void GeneralFuzzyEquivalenceCandidatesAccumulator::stopGraphBuilding() {
  cancel();
  graphQueue_->sync([] {});  // the additions still queued now skip their work
}

void GeneralFuzzyEquivalenceCandidatesAccumulator::add(const MatchingNodePtr& node, const EquivalenceInfoPtr& info) {
  if (!canContinue_.load(std::memory_order_relaxed) || info == nullptr || !accepts(*info)) return;
  if (finishingReadyGroup_) finishingReadyGroup_->enter();
  graphQueue_->async([this, node, info] {
    if (canContinue_.load(std::memory_order_relaxed)) addVertex(node, info);  // queued additions are skipped once cancelled
    if (finishingReadyGroup_) finishingReadyGroup_->leave();
  });
}

void GeneralFuzzyEquivalenceCandidatesAccumulator::addVertex(const MatchingNodePtr& node, const EquivalenceInfoPtr& info) {
  const auto vertex = static_cast<std::uint32_t>(vertices_.size());
  vertices_.push_back({std::make_shared<BaseDuplicateCandidate>(node, info), false});
  for (std::uint32_t earlier : earlierNeighbours(vertex)) edges_.emplace_back(earlier, vertex);
}

void GeneralFuzzyEquivalenceCandidatesAccumulator::update(const MatchingNodePtr& node, const EquivalenceInfoPtr& info,
                                                          bool addIfAbsent) {
  // On the graph's queue, after the additions queued before it.
  bool wasPresent = false;
  graphQueue_->sync([&] {
    const std::string path = node->path();
    for (auto& vertex : vertices_) {
      if (!vertex.removed && vertex.membership->node()->path() == path) {
        vertex.removed = true;
        wasPresent = true;
      }
    }
  });
  if (wasPresent || addIfAbsent) add(node, info);
}

void GeneralFuzzyEquivalenceCandidatesAccumulator::removeNodes(const std::set<std::string>& urls) {
  graphQueue_->sync([&] {
    for (auto& vertex : vertices_) {
      if (urls.count(vertex.membership->node()->path()) != 0) vertex.removed = true;
    }
  });
}

std::vector<EquivalenceCandidatePtr> GeneralFuzzyEquivalenceCandidatesAccumulator::merge(EquivalenceCandidatesAccumulator&,
                                                                                        const std::set<std::string>*) {
  return {};
}

void GeneralFuzzyEquivalenceCandidatesAccumulator::collectNodesByPath(std::map<std::string, MatchingNodePtr>& nodes) const {
  graphQueue_->sync([&] {
    for (const auto& vertex : vertices_) {
      if (!vertex.removed) nodes.emplace(vertex.membership->node()->path(), vertex.membership->node());
    }
  });
}

void GeneralFuzzyEquivalenceCandidatesAccumulator::finish(EquivalenceCandidatesMatchingContext& context) {
  // The engine has waited for the queued additions; the graph is read after the last of them.
  graphQueue_->sync([&] { finishGraph(context); });
}

void GeneralFuzzyEquivalenceCandidatesAccumulator::finishGraph(EquivalenceCandidatesMatchingContext& context) {
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
