#include "matching/exact_accumulators.h"

#include <cassert>
#include <cstdlib>

namespace zarnik {
namespace {

// Members that need content work after a placement: both when the group has just reached two
// members, else only the new one.
std::vector<DuplicateCandidatePtr> membersNeedingContentWork(const EquivalenceCandidate& group,
                                                             const DuplicateCandidatePtr& membership) {
  switch (group.numberOfDuplicates()) {
    case 0: assert(false && "a group that was just added to cannot be empty"); std::abort();
    case 1: return {};
    case 2: return group.duplicates();
    default: return {membership};
  }
}

}  // namespace

void SizeEquivalenceCandidatesAccumulator::place(EquivalenceCandidate& group, const DuplicateCandidatePtr& membership,
                                                 bool notify) {
  group.add(membership, notify);
  if (delegate() == nullptr) return;
  for (const auto& member : membersNeedingContentWork(group, membership)) {
    for (const auto& node : exactMatchNodes(member->node())) {
      switch (node->attributes().vnodeType) {
        case VNodeType::regular: delegate()->requestHash(node, HashKind::exact); break;
        case VNodeType::symbolicLink: delegate()->requestSymlinkMatch(node); break;
        case VNodeType::directory: break;
      }
    }
  }
}

void AudioContentSizeEquivalenceCandidatesAccumulator::place(EquivalenceCandidate& group,
                                                             const DuplicateCandidatePtr& membership, bool notify) {
  group.add(membership, notify);
  if (delegate() == nullptr) return;
  for (const auto& member : membersNeedingContentWork(group, membership)) {
    delegate()->requestHash(member->node(), HashKind::exactAudioContent);
  }
}

}  // namespace zarnik
