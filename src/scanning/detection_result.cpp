#include "scanning/detection_result.h"

#include "scanning/exported_equivalence.h"

#include <tuple>

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

void scanning_service::DetectionResult::detectDifferencesAndSelect(const Autoselector& autoselector) {
  std::vector<NodeDifferencesInfo> differences;
  for (const auto& duplicate : equivalence.duplicates) {
    NodeDifferencesInfo info;
    info.identifier = duplicate.identifier;
    info.node = duplicate.node;
    info.equivalenceKind = duplicate.equivalenceKind;
    info.hardlinkedGroupID = duplicate.hardlinkedGroupID;
    differences.push_back(std::move(info));
  }
  auto selection = autoselector.detectDifferencesAndSelect(std::move(differences));
  // A scan keeps thousands of groups until they are stored: only what is stored stays.
  for (auto& [identifier, copyDifferences] : selection.configurations.nodeDifferencesInfoByDuplicateID) {
    copyDifferences = copyDifferences.keptAfterSelection();
  }
  equivalenceDifferences = std::move(selection.differences);
  selectionConfigurations = std::make_shared<const DetectedSelectionConfigurations>(std::move(selection.configurations));
}


namespace {

// The engine hands groups over in the order their hashing happened to finish.
std::vector<exported::Equivalence> exportedInOrder(const std::vector<scanning_service::DetectionResult>& results) {
  std::vector<exported::Equivalence> equivalences;
  equivalences.reserve(results.size());
  for (const auto& result : results) equivalences.push_back(exported::exportedEquivalence(result));
  std::sort(equivalences.begin(), equivalences.end(), exported::precedes);
  return equivalences;
}

}  // namespace

void writeExportDocument(std::FILE* out, const std::vector<scanning_service::DetectionResult>& results) {
  // The groups are put in order by their first members, then made and written one at a time:
  // the exported form of every group at once was megabytes of paths.
  struct Place {
    exported::Equivalence first;  // the group with its first member only
    size_t index;
  };
  std::vector<Place> places;
  places.reserve(results.size());
  for (size_t index = 0; index < results.size(); ++index) {
    exported::Equivalence first = exported::exportedEquivalence(results[index]);
    first.duplicates.resize(std::min<size_t>(first.duplicates.size(), 1));
    first.differences.clear();
    places.push_back({std::move(first), index});
  }
  std::stable_sort(places.begin(), places.end(),
                   [](const Place& a, const Place& b) { return exported::precedes(a.first, b.first); });
  exported::writeDocument(out, places.size(),
                          [&](size_t at) { return exported::exportedEquivalence(results[places[at].index]); });
}

Json exportJSON(const std::vector<scanning_service::DetectionResult>& results) {
  return exported::encodeDocument(exportedInOrder(results));
}

}  // namespace zarnik
