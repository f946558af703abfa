// Autoselector: for one group, which copy is the original, which copies are proposed for
// removal, and the other selections offered (none, newest, oldest, random). A pure computation
// over the copies' difference records; it writes nothing but the two random marks on them.
// One instance serves every group of a run, from one queue at a time.
#pragma once

#include "base/flat_map.h"
#include "file_model/prefix_tree.h"
#include "foundation/url_resolver.h"
#include "selection/autoselection_config.h"
#include "selection/duplicate_differences.h"
#include "selection/selection_rules.h"
#include "selection/system_files.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zarnik {

enum class AutoselectionMode { alwaysSelect, regular, lastOrderSelect, neverSelect };

// Which rule decided a copy's mode (for telling the user why a copy is protected).
enum class AutoselectionModeReason {
  none,                 // regular
  inaccessible,         // neverSelect
  invalidMediaLibrary,  // neverSelect
  hardLinked,           // neverSelect
  neverSelectFolder,    // neverSelect
  readOnly,             // neverSelect
  cloudFolder,          // lastOrderSelect
  applicationsFolder,   // lastOrderSelect
  alwaysSelectFolder,   // alwaysSelect
  systemFolder,         // neverSelect: under /usr, /etc and the like
  installedPackage,     // neverSelect: a file an installed package owns
};

// Why the automatic selection proposes a copy for removal (shown beside it); `none` for a copy
// it keeps.
enum class ProposalReason {
  none,
  alwaysSelectFolder,   // in an always-select folder
  copyNumber,           // "photo (1).jpg" beside "photo.jpg"
  copyWord,             // "report copy.pdf"
  folderCopyNumber,     // "Photos 2/a.jpg" beside "Photos/a.jpg"
  folderCopyWord,       // "Photos copy/a.jpg"
  automaticFolderName,  // "untitled folder/a.jpg"
  thumbnailName,        // "a_1024.jpg"
  notNewest,            // a date rule: older than the copy kept
  notOldest,            // a date rule: newer than the copy kept
  equalCopies,          // nothing tells the copies apart; the first by path is kept
  lowerScore,           // the kept copy is favoured otherwise (a library, a rating, ...)
};
// "name ends in a copy number", "in an always-select folder", ...
[[nodiscard]] std::string_view description(ProposalReason reason);
// Why a copy selected by `strategy` goes: the automatic selection's reason where that one chose
// it ("name ends in a copy number"), else what the strategy does ("newer than the copy kept").
[[nodiscard]] std::string_view selectionReason(SelectionStrategy strategy,
                                               ProposalReason automaticReason);

struct AutoselectionModeDecision {
  AutoselectionMode mode = AutoselectionMode::regular;
  AutoselectionModeReason reason = AutoselectionModeReason::none;
  std::string package;  // the installed package owning the copy, for installedPackage
  ProposalReason proposal = ProposalReason::none;

  // {"mode", "reason", "package", "proposal"} by their case names; a stored decision that cannot
  // be read is regular.
  [[nodiscard]] Json encode() const;
  static AutoselectionModeDecision decode(const Json& archive);
};

// Why a copy may not be proposed ("in a never-select folder", "belongs to package libx11-6",
// "read-only", ...); nothing for a copy that may.
[[nodiscard]] std::optional<std::string> protectionDescription(
    const AutoselectionModeDecision& decision);
// Why a copy is proposed for removal or kept under `selection`: the selection's reason for a
// proposed copy, the protection of a protected one, "original", or "as good as the original".
[[nodiscard]] std::string copyReason(const SelectionConfiguration& selection,
                                     std::int64_t identifier,
                                     const std::optional<AutoselectionModeDecision>& decision);

// Whether `rule` proposes a copy with the record `copy` in a group whose copies differ in
// `group`: "not the newest" holds for every copy but the newest, and for none when the dates
// are all the same.
[[nodiscard]] bool smartRuleSelects(const SmartSelectionRule& rule,
                                    const DuplicateDifferences& copy,
                                    const EquivalenceDifferencesInfo& group);

struct NodeAutoselectionInfo {
  std::int64_t identifier = 0;
  std::shared_ptr<const ZKBaseNode> node;
  EquivalenceKind equivalenceKind = EquivalenceKind::exactHash;
  DuplicateDifferences* differences = nullptr;  // the copy's record, marked by the autoselector
  AutoselectionMode mode = AutoselectionMode::regular;
  AutoselectionModeReason modeReason = AutoselectionModeReason::none;
  double sumOfBonusesForBeingInDirectory = 0;
  std::string package;  // with modeReason installedPackage
};

struct DetectedSelectionConfigurations {
  SelectionConfiguration currentSelectionConfiguration;
  std::vector<SelectionConfiguration> availableSelectionConfigurations;  // in offering order
  FlatMap<std::int64_t, DuplicateDifferences> nodeDifferencesInfoByDuplicateID;
  FlatMap<std::int64_t, AutoselectionModeDecision>
      modeByDuplicateID;  // why a copy was or was not proposed
};

class Autoselector {
 public:
  // `systemFiles`: which copies belong to the system; none: only the system folders do.
  Autoselector(OVURLResolver resolver, ExtendedAutoselectionRules rules,
               std::shared_ptr<const SystemFiles> systemFiles = nullptr);

  struct Stat {
    std::vector<std::pair<const NodeAutoselectionInfo*, double>> infosAndScores;
    double maxScore = 0;
    double minScore = 0;
    double sumOfScore = 0;
    std::optional<AutoselectionMode> singleSelectionModeForAll;
  };

  // A group's copies (in the group's order) told apart, then selected among: the kinds in which
  // they differ, and the selection, which holds each copy's record.
  struct GroupSelection {
    EquivalenceDifferencesInfo differences;
    DetectedSelectionConfigurations configurations;
  };
  [[nodiscard]] GroupSelection detectDifferencesAndSelect(
      std::vector<NodeDifferencesInfo> copies) const;

  // `infos` in the group's order; sets their modes, directory bonuses and random marks. The
  // copies' records end in the result (moved there: the infos' records are left empty).
  DetectedSelectionConfigurations detectSelectionConfigurations(
      std::vector<NodeAutoselectionInfo>& infos,
      const EquivalenceDifferencesInfo& differencesInfo) const;

  // `components`: the copy's abbreviated path components.
  [[nodiscard]] AutoselectionModeDecision modeOf(const NodeAutoselectionInfo& info,
                                                 const PathComponents& components) const;
  [[nodiscard]] double directoryBonusOf(const PathComponents& components) const;
  [[nodiscard]] double scoreOf(const NodeAutoselectionInfo& info,
                               const EquivalenceDifferencesInfo& differencesInfo) const;

 private:
  [[nodiscard]] std::optional<ExtendedAutoselectionRules::SelectionRule> pathRuleOf(
      const PathComponents& components) const;
  [[nodiscard]] Stat statistics(const std::vector<NodeAutoselectionInfo>& infos,
                                const EquivalenceDifferencesInfo& differencesInfo) const;
  // What weighs most against `info` where it scores below the kept copy.
  [[nodiscard]] ProposalReason proposalReasonOf(
      const NodeAutoselectionInfo& info, const EquivalenceDifferencesInfo& differencesInfo) const;

  OVURLResolver resolver_;
  ExtendedAutoselectionRules rules_;
  const AutoselectionConfig& config_;
  std::vector<std::pair<PathComponents, double>> bonusDirectories_;
  std::vector<PathComponents> lastOrderDirectories_;
  PrefixTree<std::string, ExtendedAutoselectionRules::SelectionRule> pathRules_;
  std::shared_ptr<const SystemFiles> systemFiles_;
};

}  // namespace zarnik
