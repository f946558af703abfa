#include "matching/exact_accumulators.h"

namespace zarnik {

void SizeEquivalenceCandidatesAccumulator::requestContentWork(const MatchingNodePtr& node) {
  for (const auto& part : exactMatchNodes(node)) {
    // A photo library item lies where its original does: hashing the item itself reads the same
    // file, and puts the item, which carries the library's facts, in the group instead of its part.
    const bool isItsOwnFile =
        part->attributes().fileResourceID &&
        part->attributes().fileResourceID == node->attributes().fileResourceID;
    switch (part->attributes().vnodeType) {
      case VNodeType::regular:
        delegate()->requestHash(isItsOwnFile ? node : part, HashKind::exact);
        break;
      case VNodeType::symbolicLink:
        delegate()->requestSymlinkMatch(part);
        break;
      case VNodeType::directory:
        break;
    }
  }
}

void SizeEquivalenceCandidatesAccumulator::requestContentWork(ParkedFileNode file,
                                                              const ByteCount& size) {
  if (const auto* node = file.wholeNode()) {
    requestContentWork(*node);
  } else {
    delegate()->requestHash(std::move(file), size, HashKind::exact);  // a plain file in a folder
  }
}

void AudioContentSizeEquivalenceCandidatesAccumulator::requestContentWork(
    const MatchingNodePtr& node) {
  delegate()->requestHash(node, HashKind::exactAudioContent);
}

}  // namespace zarnik
