#include "store/file_model_entities.h"

#include "foundation/logger.h"

#include <algorithm>
#include <iterator>

namespace zarnik {

std::shared_ptr<const ZKBaseNode> ZKDuplicate::node() const {
  using Cache = FetchableValue<std::shared_ptr<const ZKBaseNode>>;
  if (node_.shouldFetch()) {
    static const ArchiveSubstitutions kNoSubstitutions;
    auto decoded = (substitutions ? *substitutions : kNoSubstitutions).unarchivedNode(nodeData);
    if (decoded.hasError()) {
      Logger::shared().log("ZKDuplicate", "node",
                           "Did fail to decode the stored node of duplicate " +
                               std::to_string(identifier) + ": " + decoded.error().oneLine());
    }
    node_ = decoded.hasValue()
                ? Cache::fetched(std::shared_ptr<const ZKBaseNode>(std::move(decoded).value()))
                : Cache::fetched(std::nullopt);
  }
  auto value = node_.value();
  return value ? *value : nullptr;
}

void ZKDuplicate::setNode(const ZKBaseNode& node) {
  static const ArchiveSubstitutions kNoSubstitutions;
  nodeData = (substitutions ? *substitutions : kNoSubstitutions).archivedNode(node);
  node_.reset();
}

void ZKDuplicate::keepNodeOnly(std::shared_ptr<const ZKBaseNode> node) {
  std::string().swap(nodeData);  // an assignment would keep its capacity
  node_ = FetchableValue<std::shared_ptr<const ZKBaseNode>>::fetched(std::move(node));
}

namespace {
constexpr std::string_view kDifferencesClass = "DuplicateDifferences";
}  // namespace

// Stored: the flags the selection checks read, the hard-link group and the autoselection's
// decision. The shown values of the other factors are made again from the node when needed.
DuplicateDifferences ZKDuplicate::differences() const { return storedDifferences().differences; }

std::optional<AutoselectionModeDecision> ZKDuplicate::autoselectionModeDecision() const {
  return storedDifferences().decision;
}

ZKDuplicate::StoredDifferences ZKDuplicate::storedDifferences() const {
  StoredDifferences stored;
  auto value =
      differencesData ? unarchivedValue(*differencesData, kDifferencesClass) : std::nullopt;
  if (!value) return stored;
  if (auto flags = jsonInt(*value, "flags"); flags && *flags >= 0)
    stored.differences.flags = static_cast<std::uint32_t>(*flags);
  if (auto group = jsonInt(*value, "hardLinkedGroup")) {
    auto& factor = stored.differences.factors[EquivalenceDifference::hardLinkedGroup];
    factor.kind = EquivalenceDifference::hardLinkedGroup;
    factor.value = *group;
  }
  if (const Json* decision = jsonMember(*value, "autoselectionMode"))
    stored.decision = AutoselectionModeDecision::decode(*decision);
  return stored;
}

void ZKDuplicate::setDifferences(const DuplicateDifferences& differences,
                                 const std::optional<AutoselectionModeDecision>& decision) {
  Json value{{"flags", differences.flags}};
  if (auto group = differences.hardlinkedGroupID()) value["hardLinkedGroup"] = *group;
  if (decision) value["autoselectionMode"] = decision->encode();
  differencesData = archivedText(kDifferencesClass, value);
}

bool ZKDuplicate::isFolder() const {
  auto stored = node();
  return stored != nullptr && stored->className() == "ZKDirectoryNode";
}

std::string ZKEquivalence::currentSelectionStrategyID() const {
  return std::string(identifier(currentSelectionConfiguration
                                    ? currentSelectionConfiguration->strategy
                                    : SelectionStrategy::none));
}

bool ZKEquivalence::isSelected(const ZKDuplicate& duplicate) const {
  return currentSelectionConfiguration &&
         currentSelectionConfiguration->isSelected(duplicate.identifier);
}

const ZKDuplicate* ZKEquivalence::duplicate(std::int64_t identifier) const {
  for (const auto& member : duplicates) {
    if (member.identifier == identifier) return &member;
  }
  return nullptr;
}

std::string_view rawValue(ActivityInteractionType type) {
  switch (type) {
    case ActivityInteractionType::direct:
      return "Direct";
    case ActivityInteractionType::undo:
      return "Undo";
    case ActivityInteractionType::redo:
      return "Redo";
  }
  return "Direct";
}

std::optional<ActivityInteractionType> activityInteractionTypeFromRawValue(std::string_view raw) {
  for (auto type : {ActivityInteractionType::direct, ActivityInteractionType::undo,
                    ActivityInteractionType::redo}) {
    if (rawValue(type) == raw) return type;
  }
  return std::nullopt;
}

std::set<std::int64_t> ZKActivityLogItem::newlySelected() const {
  std::set<std::int64_t> result;
  std::set_difference(selected().begin(), selected().end(), previouslySelected().begin(),
                      previouslySelected().end(), std::inserter(result, result.end()));
  return result;
}

std::set<std::int64_t> ZKActivityLogItem::newlyDeselected() const {
  std::set<std::int64_t> result;
  std::set_difference(previouslySelected().begin(), previouslySelected().end(), selected().begin(),
                      selected().end(), std::inserter(result, result.end()));
  return result;
}

std::string_view rawValue(ZKRawData::Kind kind) {
  switch (kind) {
    case ZKRawData::Kind::ScanRules:
      return "ScanRules";
    case ZKRawData::Kind::SmartSelectionRule:
      return "SmartSelectionRule";
    case ZKRawData::Kind::AlwaysSelectRule:
      return "AlwaysSelectRule";
    case ZKRawData::Kind::NeverSelectRule:
      return "NeverSelectRule";
    case ZKRawData::Kind::URLResolver:
      return "URLResolver";
    case ZKRawData::Kind::MediaLibraryNode:
      return "MediaLibraryNode";
    case ZKRawData::Kind::CleaningSession:
      return "CleaningSession";
  }
  return "";
}

std::optional<ZKRawData::Kind> ZKRawData::kind() const {
  for (Kind candidate : allKinds) {
    if (rawValue(candidate) == rawKind) return candidate;
  }
  return std::nullopt;
}

}  // namespace zarnik
