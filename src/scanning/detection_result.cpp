#include "scanning/detection_result.h"

#include <set>

namespace zarnik {
namespace scanning_service {

ByteCount Equivalence::memberSize() const {
  ByteCount largest = 0;
  for (const auto& duplicate : duplicates) largest = std::max(largest, duplicate.node->exactSize());
  return largest;
}

ByteCount Equivalence::reclaimableSize() const {
  if (duplicates.size() < 2 || !duplicatesHaveAccumulatableSize(equivalenceKind)) return 0;
  std::set<std::int64_t> seenLinkGroups;
  ByteCount total = 0;
  size_t independentCopies = 0;
  for (const auto& duplicate : duplicates) {
    if (duplicate.hardlinkedGroupID && !seenLinkGroups.insert(*duplicate.hardlinkedGroupID).second) continue;
    total += duplicate.node->diskSize();
    ++independentCopies;
  }
  if (independentCopies < 2) return 0;
  return total - total / static_cast<ByteCount>(independentCopies);
}

}  // namespace scanning_service

Json exportJSON(const std::vector<scanning_service::DetectionResult>& results) {
  Json equivalences = Json::array();
  for (const auto& result : results) {
    Json duplicates = Json::array();
    for (const auto& duplicate : result.equivalence.duplicates) {
      const auto& scanLocation = duplicate.node->location().scanLocation();
      duplicates.push_back(Json{{"scanLocation", bytesJson(scanLocation ? scanLocation->path() : std::string())},
                                {"path", bytesJson(duplicate.node->path())}});
    }
    equivalences.push_back(Json{{"type", std::string(exportName(result.equivalence.equivalenceKind))},
                                {"duplicates", std::move(duplicates)},
                                {"differences", Json::array()}});
  }
  return Json{{"equivalences", std::move(equivalences)}};
}

}  // namespace zarnik
