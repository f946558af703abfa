// The records of the "FileModel" store: a group (ZKEquivalence) with its members (ZKDuplicate),
// one entry of the selection history (ZKActivityLogItem) and one raw-data record (ZKRawData).
// Records are plain values read from and written to a ManagedObjectContext; a member's node is
// read from its archive on first use and kept.
#pragma once

#include "base/date.h"
#include "base/units.h"
#include "file_model/base_node.h"
#include "foundation/fetchable_value.h"
#include "matching/match_kind.h"
#include "selection/autoselector.h"
#include "selection/copy_differences.h"
#include "selection/selection_rules.h"
#include "store/archiving.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace zarnik {

struct ZKDuplicate {
  std::int64_t identifier = 0;
  std::int64_t equivalence = 0;  // the group's uniqueIdentifier
  std::optional<std::int64_t> recentDuplicate;
  std::string nodeData;  // the archived node
  std::optional<std::string> cleaningNoteData;
  std::optional<std::string> privateEquivalenceInfo;
  std::optional<EquivalenceKind> privateEquivalenceKind;
  std::optional<std::int64_t> cleanID;
  bool ignored = false;
  std::optional<std::string> differencesData;  // the member's differences from the others
  // How the archive's references are resolved; set by the context that read or wrote the record.
  std::shared_ptr<const ArchiveSubstitutions> substitutions;

  // The member's node; nothing when its archive cannot be read (logged once).
  [[nodiscard]] std::shared_ptr<const ZKBaseNode> node() const;
  void setNode(const ZKBaseNode& node);
  // Shows `node`, what the archive holds, from now on and lets the archive go: for a record
  // already written that is only read again.
  void keepNodeOnly(std::shared_ptr<const ZKBaseNode> node);
  [[nodiscard]] DuplicateDifferences differences() const;
  // The rule that decided whether the copy could be proposed; nothing when not recorded.
  [[nodiscard]] std::optional<AutoselectionModeDecision> autoselectionModeDecision() const;
  struct StoredDifferences {
    DuplicateDifferences differences;
    std::optional<AutoselectionModeDecision> decision;
  };
  // Both of the above, read in one go.
  [[nodiscard]] StoredDifferences storedDifferences() const;
  // The member's differences (and the autoselection's decision) as stored.
  void setDifferences(const DuplicateDifferences& differences,
                      const std::optional<AutoselectionModeDecision>& decision);
  [[nodiscard]] bool isFolder() const;

 private:
  mutable FetchableValue<std::shared_ptr<const ZKBaseNode>> node_;
};

struct ZKEquivalence {
  std::int64_t uniqueIdentifier = 0;
  bool expanded = false;
  std::optional<std::string> lastResortName;
  std::optional<std::int64_t> duplicatesMonitorState;
  std::optional<SelectionConfiguration> initialSelectionConfiguration;
  std::optional<SelectionConfiguration> currentSelectionConfiguration;
  std::vector<SelectionConfiguration> availableSelectionConfigurations;
  std::int64_t initialOriginalDuplicateID = 0;
  std::optional<std::string> privateEquivalenceInfo;  // the archived equivalence information
  EquivalenceKind privateEquivalenceKind = EquivalenceKind::exactHash;
  std::optional<std::string> rawSelectedDifference;
  ByteCount memberSize = 0;
  ByteCount reclaimableSize = 0;
  std::vector<ZKDuplicate> duplicates;

  [[nodiscard]] EquivalenceKind equivalenceKind() const { return privateEquivalenceKind; }
  [[nodiscard]] std::string currentSelectionStrategyID() const;
  [[nodiscard]] bool isSelected(const ZKDuplicate& duplicate) const;
  [[nodiscard]] const ZKDuplicate* duplicate(std::int64_t identifier) const;
  [[nodiscard]] ZKDuplicate* duplicate(std::int64_t identifier) {
    return const_cast<ZKDuplicate*>(std::as_const(*this).duplicate(identifier));
  }
};

enum class ActivityInteractionType { direct, undo, redo };
[[nodiscard]] std::string_view rawValue(ActivityInteractionType type);  // "Direct", "Undo", "Redo"
[[nodiscard]] std::optional<ActivityInteractionType> activityInteractionTypeFromRawValue(
    std::string_view raw);

struct ZKActivityLogItem {
  std::int64_t uniqueIdentifier = 0;
  Date date{};
  SelectionConfiguration currentSelectionConfiguration;
  SelectionConfiguration previousSelectionConfiguration;
  std::int64_t equivalenceIdentifier = 0;
  std::vector<std::int64_t> equivalences;  // groups changed together with it
  ActivityInteractionType interactionType = ActivityInteractionType::direct;

  [[nodiscard]] const IdentifierSet& selected() const {
    return currentSelectionConfiguration.selectedIDs;
  }
  [[nodiscard]] const IdentifierSet& previouslySelected() const {
    return previousSelectionConfiguration.selectedIDs;
  }
  [[nodiscard]] std::set<std::int64_t> newlySelected() const;
  [[nodiscard]] std::set<std::int64_t> newlyDeselected() const;
};

struct ZKRawData {
  enum class Kind {
    ScanRules,
    SmartSelectionRule,
    AlwaysSelectRule,
    NeverSelectRule,
    URLResolver,
    MediaLibraryNode,
    CleaningSession
  };
  static constexpr Kind allKinds[] = {
      Kind::ScanRules,   Kind::SmartSelectionRule, Kind::AlwaysSelectRule, Kind::NeverSelectRule,
      Kind::URLResolver, Kind::MediaLibraryNode,   Kind::CleaningSession};

  std::string rawKind;
  std::int64_t index = 0;
  std::string data;

  // Nothing for a raw kind this version does not know.
  [[nodiscard]] std::optional<Kind> kind() const;
};
[[nodiscard]] std::string_view rawValue(ZKRawData::Kind kind);

}  // namespace zarnik
