// Autoselector: for one group, which copy is the original, which copies are proposed for
// removal, and the other selections offered (none, newest, oldest, random). A pure computation
// over the copies' difference records; it writes nothing but the two random marks on them.
// One instance serves every group of a run, from one queue at a time.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "base/flat_map.h"
#include "file_model/prefix_tree.h"
#include "foundation/url_resolver.h"
#include "selection/autoselection_config.h"
#include "selection/duplicate_differences.h"
#include "selection/selection_rules.h"

namespace zarnik {

enum class AutoselectionMode { alwaysSelect, regular, lastOrderSelect, neverSelect };

// Which rule decided a copy's mode (for telling the user why a copy is protected).
enum class AutoselectionModeReason {
  none,                  // regular
  inaccessible,          // neverSelect
  invalidMediaLibrary,   // neverSelect
  hardLinked,            // neverSelect
  neverSelectFolder,     // neverSelect
  readOnly,              // neverSelect
  cloudFolder,           // lastOrderSelect
  applicationsFolder,    // lastOrderSelect
  alwaysSelectFolder,    // alwaysSelect
};

struct AutoselectionModeDecision {
  AutoselectionMode mode = AutoselectionMode::regular;
  AutoselectionModeReason reason = AutoselectionModeReason::none;

  // {"mode", "reason"} by their case names; a stored decision that cannot be read is regular.
  [[nodiscard]] Json encode() const;
  static AutoselectionModeDecision decode(const Json& archive);
};

struct NodeAutoselectionInfo {
  std::int64_t identifier = 0;
  std::shared_ptr<const ZKBaseNode> node;
  EquivalenceKind equivalenceKind = EquivalenceKind::exactHash;
  DuplicateDifferences* differences = nullptr;  // the copy's record, marked by the autoselector
  AutoselectionMode mode = AutoselectionMode::regular;
  AutoselectionModeReason modeReason = AutoselectionModeReason::none;
  double sumOfBonusesForBeingInDirectory = 0;
};

struct DetectedSelectionConfigurations {
  SelectionConfiguration currentSelectionConfiguration;
  std::vector<SelectionConfiguration> availableSelectionConfigurations;  // in offering order
  FlatMap<std::int64_t, DuplicateDifferences> nodeDifferencesInfoByDuplicateID;
  FlatMap<std::int64_t, AutoselectionModeDecision> modeByDuplicateID;  // why a copy was or was not proposed
};

class Autoselector {
 public:
  Autoselector(OVURLResolver resolver, ExtendedAutoselectionRules rules);

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
  [[nodiscard]] GroupSelection detectDifferencesAndSelect(std::vector<NodeDifferencesInfo> copies) const;

  // `infos` in the group's order; sets their modes, directory bonuses and random marks. The
  // copies' records end in the result (moved there: the infos' records are left empty).
  DetectedSelectionConfigurations detectSelectionConfigurations(std::vector<NodeAutoselectionInfo>& infos,
                                                                const EquivalenceDifferencesInfo& differencesInfo) const;

  // `components`: the copy's abbreviated path components.
  [[nodiscard]] AutoselectionModeDecision modeOf(const NodeAutoselectionInfo& info, const PathComponents& components) const;
  [[nodiscard]] double directoryBonusOf(const PathComponents& components) const;
  [[nodiscard]] double scoreOf(const NodeAutoselectionInfo& info, const EquivalenceDifferencesInfo& differencesInfo) const;

 private:
  [[nodiscard]] std::optional<ExtendedAutoselectionRules::SelectionRule> pathRuleOf(const PathComponents& components) const;
  [[nodiscard]] bool smartRuleMatches(const SmartSelectionRule& rule, const NodeAutoselectionInfo& info,
                                      const EquivalenceDifferencesInfo& differencesInfo) const;
  [[nodiscard]] Stat statistics(const std::vector<NodeAutoselectionInfo>& infos,
                                const EquivalenceDifferencesInfo& differencesInfo) const;

  OVURLResolver resolver_;
  ExtendedAutoselectionRules rules_;
  const AutoselectionConfig& config_;
  std::vector<std::pair<PathComponents, double>> bonusDirectories_;
  std::vector<PathComponents> lastOrderDirectories_;
  PrefixTree<std::string, ExtendedAutoselectionRules::SelectionRule> pathRules_;
};

}  // namespace zarnik
