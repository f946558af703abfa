#include "scanning/candidate_group.h"

#include "foundation/parallel_loop.h"
#include "matching/exact_hashing.h"
#include "selection/duplicate_differences.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>
#include <utility>

namespace zarnik {

bool CandidateGroup::holdsSeparateFiles() const {
  std::set<FileId> keys;
  size_t keyless = 0;
  for (const auto& member : members) {
    if (member.hardLinkKey) {
      keys.insert(*member.hardLinkKey);
    } else {
      ++keyless;
    }
  }
  return keys.size() + keyless >= 2;
}

ByteCount CandidateGroup::largestSize() const {
  ByteCount largest = 0;
  for (const auto& member : members)
    largest = std::max(largest, member.node->attributes().exactSize);
  return largest;
}

scanning_service::DetectionResult CandidateGroup::detectionResult(
    std::int64_t& nextIdentifier) const {
  std::map<FileId, int> linkCounts;
  for (const auto& member : members) {
    if (member.hardLinkKey) ++linkCounts[*member.hardLinkKey];
  }
  std::map<FileId, std::int64_t> linkGroupIDs;
  scanning_service::DetectionResult detection;
  detection.equivalence.equivalenceKind = kind;
  detection.verified = verified;
  detection.equivalence.duplicates.reserve(members.size());
  for (const auto& member : members) {
    scanning_service::Duplicate duplicate;
    duplicate.identifier = nextIdentifier++;
    duplicate.node = member.node->buildStorableNode();
    duplicate.equivalenceKind = kind;
    if (member.hardLinkKey && linkCounts[*member.hardLinkKey] > 1) {
      auto [it, inserted] = linkGroupIDs.try_emplace(
          *member.hardLinkKey, static_cast<std::int64_t>(linkGroupIDs.size() + 1));
      duplicate.hardlinkedGroupID = it->second;
    }
    detection.equivalence.duplicates.push_back(std::move(duplicate));
  }
  return detection;
}

CandidateGroup candidateGroupOf(const EquivalenceCandidate& group, const ModelingRules& rules) {
  CandidateGroup candidate{group.equivalenceKind(), {}};
  if (group.numberOfDuplicates() < 2) return candidate;
  for (const auto& membership : group.duplicates()) {
    if (!membership->isModelingIntoDuplicateAllowed(rules, group.claimer())) continue;
    candidate.members.push_back({membership->node(),
                                 membership->node()->attributes().fileResourceID,
                                 membership->node()->path()});
  }
  // The engine hands members over in the order their digests happened to finish.
  std::sort(candidate.members.begin(), candidate.members.end(),
            [](const GroupMember& a, const GroupMember& b) { return a.path < b.path; });
  return candidate;
}

std::vector<CandidateGroup> candidateGroupsOf(const std::vector<EquivalenceCandidatePtr>& groups,
                                              const ExtendedScanRules& rules, Executor& executor,
                                              size_t width) {
  const ModelingRules modeling = ModelingRules::of(rules);
  std::vector<CandidateGroup> candidates(groups.size());
  ParallelLoop::run(executor, width, groups.size(), [&](ParallelLoop::Items& items) {
    while (auto at = items.next()) candidates[*at] = candidateGroupOf(*groups[*at], modeling);
  });
  std::erase_if(candidates, [](const CandidateGroup& group) { return group.members.size() < 2; });
  std::sort(
      candidates.begin(), candidates.end(), [](const CandidateGroup& a, const CandidateGroup& b) {
        return std::tie(a.members.front().path, a.kind) < std::tie(b.members.front().path, b.kind);
      });
  for (auto& candidate : candidates) {
    for (auto& member : candidate.members)
      std::string().swap(member.path);  // sorted: no longer needed
  }
  return candidates;
}

AppliedSizeThreshold applySizeThreshold(std::vector<CandidateGroup>& groups,
                                        const ExtendedScanRules& rules) {
  AppliedSizeThreshold applied;
  const SizeThresholdOption option = rules.sizeThresholdOption();
  if (!groups.empty() && option.isAutomatic()) {
    std::vector<ByteCount> sizes;
    for (const auto& group : groups) {
      for (const auto& member : group.members) sizes.push_back(member.node->attributes().exactSize);
    }
    applied.size = ThresholdEvaluator::automaticThreshold(
        sizes, rules.maximumSizeFractionToSacrificeOfAutomaticSizeThresholdEvaluation());
    applied.keepsSmallerCopiesOfLargeGroups = true;
  } else if (!groups.empty()) {
    applied.size = option.sizeValue();
  }
  std::erase_if(groups, [&](CandidateGroup& group) {
    if (applied.keepsSmallerCopiesOfLargeGroups) {
      if (group.largestSize() < applied.size) return true;
    } else {
      std::erase_if(group.members, [&](const GroupMember& member) {
        return member.node->attributes().exactSize < applied.size;
      });
    }
    return !group.holdsSeparateFiles();
  });
  return applied;
}

std::vector<scanning_service::DetectionResult> selectedDetectionResults(
    std::vector<CandidateGroup>& candidates, const SelectionInputs& inputs, Executor& executor,
    size_t width, const std::function<void()>& groupMade) {
  std::vector<std::int64_t> firstIdentifiers(candidates.size());
  std::int64_t nextIdentifier = 1;
  for (size_t index = 0; index < candidates.size(); ++index) {
    firstIdentifiers[index] = nextIdentifier;
    nextIdentifier += static_cast<std::int64_t>(candidates[index].members.size());
  }
  std::vector<scanning_service::DetectionResult> results(candidates.size());
  if (candidates.empty()) return results;
  ParallelLoop::run(executor, width, results.size(), [&](ParallelLoop::Items& items) {
    const Autoselector autoselector(inputs.resolver, inputs.rules, inputs.systemFiles);
    while (auto at = items.next()) {
      // The group's matching nodes go as soon as its storable ones are made.
      const CandidateGroup candidate =
          std::exchange(candidates[*at], CandidateGroup{candidates[*at].kind, {}});
      std::int64_t identifier = firstIdentifiers[*at];
      results[*at] = candidate.detectionResult(identifier);
      results[*at].detectDifferencesAndSelect(autoselector);
      groupMade();
    }
    // Else kept by this pool thread for as long as the program runs.
    forgetAnalysedFolderNames();
  });
  return results;
}

}  // namespace zarnik
