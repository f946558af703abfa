// What a scan reads of an audio file: its tags, length and bit rate (when TagLib can read them)
// and the size of its audio data (when its container is understood). Audio files are matched
// by their tags (similar audio) and by their audio data alone (identical audio under different
// tags); a file of neither kind is matched as a file.
#pragma once

#include "foundation/thread_pool.h"
#include "matching/match_criterion.h"
#include "matching/matching_node.h"
#include "matching/matching_settings.h"

#include <vector>

namespace zarnik {

[[nodiscard]] bool isMatchedAsAudio(const MatchingNode& node, const MatchingSettings& settings);

// Reads the node's audio facts (kept on it, for the differences between copies) and returns the
// information it is matched by.
[[nodiscard]] std::vector<EquivalenceInfoPtr> readAudioInformation(MatchingNode& node,
                                                                   const MatchingSettings& settings,
                                                                   QualityOfService priority);

}  // namespace zarnik
