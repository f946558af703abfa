#include "scanning/detection_result.h"

#include "scanning/exported_groups.h"

#include <algorithm>
#include <set>
#include <tuple>

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
    if (duplicate.hardlinkedGroupID && !seenLinkGroups.insert(*duplicate.hardlinkedGroupID).second)
      continue;
    total += duplicate.node->diskSize();
    ++independentCopies;
  }
  if (independentCopies < 2) return 0;
  return total - total / static_cast<ByteCount>(independentCopies);
}

ByteCount DetectionResult::reclaimableSize() const {
  const auto& duplicates = equivalence.duplicates;
  if (duplicates.size() < 2) return 0;
  const SelectionConfiguration* selection =
      selectionConfigurations ? &selectionConfigurations->currentSelectionConfiguration : nullptr;
  if (selection == nullptr || selection->selectedIDs.empty()) {
    // A protected copy (a system file, a never-select folder) is never freed: it stays as the one
    // kept, or, with none protected, the largest copy does.
    const auto mayGo = [&](const Duplicate& duplicate) {
      if (!selectionConfigurations) return true;
      auto decision = selectionConfigurations->modeByDuplicateID.find(duplicate.identifier);
      return decision == selectionConfigurations->modeByDuplicateID.end() ||
             decision->second.mode != AutoselectionMode::neverSelect;
    };
    ByteCount total = 0;
    ByteCount largest = 0;
    bool anyProtected = false;
    std::set<std::int64_t> seenLinkGroups;
    for (const auto& duplicate : duplicates) {
      if (duplicate.hardlinkedGroupID &&
          !seenLinkGroups.insert(*duplicate.hardlinkedGroupID).second)
        continue;
      if (!mayGo(duplicate)) {
        anyProtected = true;
        continue;
      }
      total += duplicate.node->exactSize();
      largest = std::max(largest, duplicate.node->exactSize());
    }
    return anyProtected ? total : total - largest;
  }
  std::set<std::int64_t> keptLinkGroups;
  for (const auto& duplicate : duplicates) {
    if (duplicate.hardlinkedGroupID && !selection->isSelected(duplicate.identifier)) {
      keptLinkGroups.insert(*duplicate.hardlinkedGroupID);
    }
  }
  ByteCount freed = 0;
  std::set<std::int64_t> countedLinkGroups;
  for (const auto& duplicate : duplicates) {
    if (!selection->isSelected(duplicate.identifier)) continue;
    if (const auto& link = duplicate.hardlinkedGroupID) {
      if (keptLinkGroups.count(*link) != 0 || !countedLinkGroups.insert(*link).second) continue;
    }
    freed += duplicate.node->exactSize();
  }
  return freed;
}

}  // namespace scanning_service

void scanning_service::DetectionResult::detectDifferencesAndSelect(
    const Autoselector& autoselector) {
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
  for (auto& [identifier, copyDifferences] :
       selection.configurations.nodeDifferencesInfoByDuplicateID) {
    copyDifferences = copyDifferences.keptAfterSelection();
  }
  equivalenceDifferences = std::move(selection.differences);
  selectionConfigurations =
      std::make_shared<const DetectedSelectionConfigurations>(std::move(selection.configurations));
}

namespace {

// The engine hands groups over in the order their hashing happened to finish: the document's
// order comes from each group's first member, found without keeping every group's exported form.
std::vector<size_t> exportOrder(const std::vector<scanning_service::DetectionResult>& results) {
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
  std::stable_sort(places.begin(), places.end(), [](const Place& a, const Place& b) {
    return exported::precedes(a.first, b.first);
  });
  std::vector<size_t> order;
  order.reserve(places.size());
  for (const auto& place : places) order.push_back(place.index);
  return order;
}

}  // namespace

void writeExportDocument(std::FILE* out,
                         const std::vector<scanning_service::DetectionResult>& results) {
  const std::vector<size_t> order = exportOrder(results);
  exported::writeDocument(out, order.size(), [&](size_t at) {
    return exported::exportedEquivalence(results[order[at]]);
  });
}

Json exportJSON(const std::vector<scanning_service::DetectionResult>& results) {
  std::vector<exported::Equivalence> equivalences;
  for (size_t index : exportOrder(results))
    equivalences.push_back(exported::exportedEquivalence(results[index]));
  return exported::encodeDocument(equivalences);
}

}  // namespace zarnik
