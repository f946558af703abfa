#include "scanning/stored_detection_result.h"

#include <algorithm>
#include <tuple>

namespace zarnik {
namespace {

// One archive class per family of kinds.
std::string_view equivalenceInfoClass(EquivalenceKind kind) {
  switch (kind) {
    case EquivalenceKind::exactApp:
      return "ZKExactApplicationEquivalenceInfo";
    case EquivalenceKind::similarApp:
      return "ZKSimilarApplicationEquivalenceInfo";
    case EquivalenceKind::directory:
      return "ZKDirectoryEquivalenceInfo";
    case EquivalenceKind::exactAudioHash:
    case EquivalenceKind::exactAudioSize:
      return "ZKExactAudioHashEquivalenceInfo";
    case EquivalenceKind::similarAudio:
      return "ZKMetadataAudioEquivalenceInfo";
    case EquivalenceKind::similarImage:
      return "ZKPerceptualImageEquivalenceInfo";
    case EquivalenceKind::symlinkTargetPath:
      return "ZKSymlinkTargetPathEquivalenceInfo";
    case EquivalenceKind::exactHash:
    case EquivalenceKind::exactSize:
      return "ZKExactHashEquivalenceInfo";
  }
  return "ZKEquivalenceInfo";
}

std::string archivedEquivalenceInfo(const scanning_service::DetectionResult& result) {
  const auto& group = result.equivalence;
  Json info{{"kind", rawValue(group.equivalenceKind)},
            {"size", group.memberSize()},
            {"differences", result.equivalenceDifferences.encode()}};
  if (!group.duplicates.empty()) {
    if (const auto& hash = group.duplicates.front().node->exactFileHashData())
      info["hash"] = hexJson(*hash);
  }
  return archivedText(equivalenceInfoClass(group.equivalenceKind), info);
}

}  // namespace

ZKEquivalence modelOfDetectionResult(
    const scanning_service::DetectionResult& result, std::int64_t uniqueIdentifier,
    const std::shared_ptr<const ArchiveSubstitutions>& substitutions) {
  const auto& group = result.equivalence;
  ZKEquivalence equivalence;
  equivalence.uniqueIdentifier = uniqueIdentifier;
  equivalence.privateEquivalenceKind = group.equivalenceKind;
  equivalence.privateEquivalenceInfo = archivedEquivalenceInfo(result);
  equivalence.memberSize = group.memberSize();
  equivalence.reclaimableSize = result.reclaimableSize();
  const auto* configurations = result.selectionConfigurations.get();
  for (const auto& member : group.duplicates) {
    ZKDuplicate duplicate;
    duplicate.identifier = member.identifier;
    duplicate.substitutions = substitutions;
    duplicate.setNode(*member.node);
    duplicate.privateEquivalenceKind = member.equivalenceKind;
    if (configurations != nullptr) {
      auto differences = configurations->nodeDifferencesInfoByDuplicateID.find(member.identifier);
      auto decision = configurations->modeByDuplicateID.find(member.identifier);
      if (differences != configurations->nodeDifferencesInfoByDuplicateID.end()) {
        duplicate.setDifferences(differences->second,
                                 decision != configurations->modeByDuplicateID.end()
                                     ? std::optional<AutoselectionModeDecision>(decision->second)
                                     : std::nullopt);
      }
    }
    equivalence.duplicates.push_back(std::move(duplicate));
  }
  if (configurations != nullptr) {
    equivalence.initialSelectionConfiguration = configurations->currentSelectionConfiguration;
    equivalence.currentSelectionConfiguration = configurations->currentSelectionConfiguration;
    equivalence.availableSelectionConfigurations = configurations->availableSelectionConfigurations;
    equivalence.initialOriginalDuplicateID =
        configurations->currentSelectionConfiguration.originalID;
  }
  return equivalence;
}

EquivalenceDifferencesInfo storedEquivalenceDifferences(const ZKEquivalence& equivalence) {
  if (!equivalence.privateEquivalenceInfo) return {};
  auto info = unarchivedValue(*equivalence.privateEquivalenceInfo,
                              equivalenceInfoClass(equivalence.privateEquivalenceKind));
  const Json* differences = info ? jsonMember(*info, "differences") : nullptr;
  return differences != nullptr ? EquivalenceDifferencesInfo::decode(*differences)
                                : EquivalenceDifferencesInfo{};
}

namespace exported {

Equivalence exportedEquivalence(const ZKEquivalence& stored,
                                std::vector<std::int64_t>* identifiers) {
  std::vector<std::pair<Equivalence::Duplicate, std::int64_t>> members;
  for (const auto& duplicate : stored.duplicates) {
    auto node = duplicate.node();
    if (!node) continue;
    const auto& scanLocation = node->location().scanLocation();
    Equivalence::Duplicate member;
    member.scanLocation = scanLocation ? scanLocation->abbreviatedPath() : std::string();
    member.path = node->location().relativePath();
    if (stored.currentSelectionConfiguration) {
      member.autoselect = stored.isSelected(duplicate);
      member.reason = copyReason(*stored.currentSelectionConfiguration, duplicate.identifier,
                                 duplicate.autoselectionModeDecision());
    }
    members.emplace_back(std::move(member), duplicate.identifier);
  }
  std::sort(members.begin(), members.end(), [](const auto& a, const auto& b) {
    return std::tie(a.first.scanLocation, a.first.path) <
           std::tie(b.first.scanLocation, b.first.path);
  });
  Equivalence equivalence;
  equivalence.type = std::string(exportName(stored.privateEquivalenceKind));
  for (auto& [member, identifier] : members) {
    equivalence.duplicates.push_back(std::move(member));
    if (identifiers != nullptr) identifiers->push_back(identifier);
  }
  for (EquivalenceDifference kind : storedEquivalenceDifferences(stored).differences) {
    if (isUserItem(kind)) equivalence.differences.insert(std::string(identifier(kind)));
  }
  return equivalence;
}

}  // namespace exported
}  // namespace zarnik
