#include "matching/exact_accumulators.h"

namespace zarnik {

void SizeEquivalenceCandidatesAccumulator::requestContentWork(const MatchingNodePtr& node) {
  for (const auto& part : exactMatchNodes(node)) {
    switch (part->attributes().vnodeType) {
      case VNodeType::regular: delegate()->requestHash(part, HashKind::exact); break;
      case VNodeType::symbolicLink: delegate()->requestSymlinkMatch(part); break;
      case VNodeType::directory: break;
    }
  }
}

void AudioContentSizeEquivalenceCandidatesAccumulator::requestContentWork(const MatchingNodePtr& node) {
  delegate()->requestHash(node, HashKind::exactAudioContent);
}

}  // namespace zarnik
