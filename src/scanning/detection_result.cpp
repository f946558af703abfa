#include "scanning/detection_result.h"

#include <algorithm>
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
    std::vector<std::pair<std::string, std::string>> members;
    for (const auto& duplicate : result.equivalence.duplicates) {
      const auto& scanLocation = duplicate.node->location().scanLocation();
      members.emplace_back(scanLocation ? scanLocation->abbreviatedPath() : std::string(),
                           duplicate.node->location().relativePath());
    }
    std::sort(members.begin(), members.end());
    Json duplicates = Json::array();
    for (const auto& [scanLocation, path] : members) {
      duplicates.push_back(Json{{"scanLocation", bytesJson(scanLocation)}, {"path", bytesJson(path)}});
    }
    equivalences.push_back(Json{{"type", std::string(exportName(result.equivalence.equivalenceKind))},
                                {"duplicates", std::move(duplicates)},
                                {"differences", Json::array()}});
  }
  return Json{{"equivalences", std::move(equivalences)}};
}

}  // namespace zarnik
