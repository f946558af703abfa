// What a scan reads of a picture: its size, camera, dates and place from the header, and, for
// similar-picture matching, the perceptual hashes of its pixels. Documents and drawings with a
// picture type (DjVu, SVG, EPS...) are never decoded.
#pragma once

#include "foundation/thread_pool.h"
#include "matching/matching_node.h"
#include "matching/matching_settings.h"

namespace zarnik {

// Nothing is known of a picture that cannot be read (logged, and no failure of the scan).
// `wantsHashes` false reads the header alone: no pixel is decoded.
[[nodiscard]] ImageFacts readPictureFacts(const MatchingNode& node, bool wantsHashes,
                                          QualityOfService priority);

// Whether similar-picture matching compares the node: a regular, non-empty raster picture whose
// extension is not excluded.
[[nodiscard]] bool isComparedPicture(const MatchingNode& node, const MatchingSettings& settings);

}  // namespace zarnik
