#include "matching/directory_accumulator.h"

#include "matching/claimers.h"
#include "matching/match_criterion.h"

#include <algorithm>
#include <tuple>
#include <unordered_map>

namespace zarnik {
namespace {

using ChildHashes = MatchingDirectoryNode::ChildHashesAccumulator;

struct ChildHashesKeyHash {
  size_t operator()(const ChildHashes* key) const noexcept {
    return static_cast<size_t>(key->hashValue());
  }
};
struct ChildHashesKeyEqual {
  bool operator()(const ChildHashes* a, const ChildHashes* b) const noexcept { return *a == *b; }
};

}  // namespace

void DirectoryEquivalenceCandidatesAccumulator::add(const MatchingNodePtr& node,
                                                    const EquivalenceInfoPtr&) {
  auto folder = std::dynamic_pointer_cast<MatchingDirectoryNode>(node);
  if (folder) candidates_.push_back({std::move(folder), false});
}

void DirectoryEquivalenceCandidatesAccumulator::update(const MatchingNodePtr& node,
                                                       const EquivalenceInfoPtr& info,
                                                       bool addIfAbsent) {
  const bool known =
      std::any_of(candidates_.begin(), candidates_.end(),
                  [&](const Candidate& candidate) { return candidate.folder == node; });
  if (!known && addIfAbsent) add(node, info);
}

void DirectoryEquivalenceCandidatesAccumulator::removeNodes(const std::set<std::string>& urls) {
  std::erase_if(candidates_, [&](const Candidate& candidate) {
    return urls.count(candidate.folder->path()) != 0;
  });
}

std::vector<EquivalenceCandidatePtr> DirectoryEquivalenceCandidatesAccumulator::merge(
    EquivalenceCandidatesAccumulator&, const std::set<std::string>*) {
  return {};
}

void DirectoryEquivalenceCandidatesAccumulator::collectNodesByPath(
    std::map<std::string, MatchingNodePtr>& nodes) const {
  for (const auto& candidate : candidates_)
    nodes.emplace(candidate.folder->path(), candidate.folder);
}

void DirectoryEquivalenceCandidatesAccumulator::finish(
    EquivalenceCandidatesMatchingContext& context) {
  for (const auto& candidate : candidates_) {
    const auto& parent = candidate.folder->parentNode();
    if (candidate.folder->numberOfMatchableNodes.load() == 0 && parent)
      ++parent->numberOfEmptyChildDirectories;
  }
  for (;;) {
    auto groups = matchPass();
    if (groups.empty()) break;
    context.equivalencesToModel.insert(context.equivalencesToModel.end(), groups.begin(),
                                       groups.end());
  }
}

std::vector<EquivalenceCandidatePtr> DirectoryEquivalenceCandidatesAccumulator::matchPass() {
  std::erase_if(candidates_, [](const Candidate& candidate) { return candidate.didMatch; });
  // A folder has a key once every matchable child is accounted for.
  std::unordered_map<const ChildHashes*, std::vector<Candidate*>, ChildHashesKeyHash,
                     ChildHashesKeyEqual>
      byKey;
  for (auto& candidate : candidates_) {
    // Such a folder gives no hash to its parent either: the parent holds something unmatched.
    if (candidate.folder->isNeverACopy()) continue;
    auto& hashes = candidate.folder->childHashesAccumulator;
    if (static_cast<std::int64_t>(hashes.count()) !=
        candidate.folder->numberOfMatchableNodes.load())
      continue;
    hashes.normalizeIfNeeded();
    byKey[&hashes].push_back(&candidate);
  }
  std::vector<EquivalenceCandidatePtr> groups;
  // Parents learn of their matched subfolders once the pass is over: a parent's collection may
  // not change while collections are keys of the map.
  std::vector<std::tuple<std::shared_ptr<MatchingDirectoryNode>, std::uint64_t, ByteCount>>
      parentsToFeed;
  for (auto& [key, members] : byKey) {
    if (members.size() < 2) continue;
    const std::uint64_t childHash = key->hashValue();
    const ByteCount size = key->size();
    auto info = std::make_shared<DirectoryEquivalenceInfo>();
    auto group = std::make_shared<EquivalenceCandidate>(delegate_, info, Claimers::directoryMatch);
    for (Candidate* member : members) {
      member->didMatch = true;
      member->folder->claimers.insert(Claimers::directoryMatch);
      group->add(std::make_shared<BaseDuplicateCandidate>(member->folder, info), false);
    }
    for (Candidate* member : members) {
      if (const auto& parent = member->folder->parentNode())
        parentsToFeed.emplace_back(parent, childHash, size);
    }
    groups.push_back(std::move(group));
  }
  for (const auto& [parent, childHash, size] : parentsToFeed)
    parent->childHashesAccumulator.insert(childHash, size);
  for (const auto& group : groups) {
    const ByteCount size =
        std::static_pointer_cast<MatchingDirectoryNode>(group->duplicates().front()->node())
            ->childHashesAccumulator.size();
    for (const auto& member : group->duplicates()) {
      std::static_pointer_cast<MatchingDirectoryNode>(member->node())->setMatchedSize(size);
    }
  }
  return groups;
}

}  // namespace zarnik
