#include "selection/autoselector.h"

#include <algorithm>
#include <array>

namespace zarnik {

namespace {

constexpr std::array kModeNames = {"alwaysSelect", "regular", "lastOrderSelect", "neverSelect"};
constexpr std::array kReasonNames = {"none",         "inaccessible",       "invalidMediaLibrary",
                                     "hardLinked",   "neverSelectFolder",  "readOnly",
                                     "cloudFolder",  "applicationsFolder", "alwaysSelectFolder",
                                     "systemFolder", "installedPackage"};
constexpr std::array kProposalNames = {
    "none",           "alwaysSelectFolder",  "copyNumber",    "copyWord",  "folderCopyNumber",
    "folderCopyWord", "automaticFolderName", "thumbnailName", "notNewest", "notOldest",
    "equalCopies",    "lowerScore"};

template <typename Enum, size_t N>
Enum fromName(const std::array<const char*, N>& names, const std::optional<std::string>& name,
              Enum fallback) {
  for (size_t i = 0; name && i < N; ++i) {
    if (*name == names[i]) return static_cast<Enum>(i);
  }
  return fallback;
}

}  // namespace

Json AutoselectionModeDecision::encode() const {
  Json json{{"mode", kModeNames[static_cast<size_t>(mode)]},
            {"reason", kReasonNames[static_cast<size_t>(reason)]}};
  if (!package.empty()) json["package"] = package;
  if (proposal != ProposalReason::none)
    json["proposal"] = kProposalNames[static_cast<size_t>(proposal)];
  return json;
}

AutoselectionModeDecision AutoselectionModeDecision::decode(const Json& archive) {
  AutoselectionModeDecision decision;
  decision.mode = fromName(kModeNames, jsonString(archive, "mode"), AutoselectionMode::regular);
  decision.reason =
      fromName(kReasonNames, jsonString(archive, "reason"), AutoselectionModeReason::none);
  decision.package = jsonString(archive, "package").value_or("");
  decision.proposal =
      fromName(kProposalNames, jsonString(archive, "proposal"), ProposalReason::none);
  return decision;
}

std::string_view description(ProposalReason reason) {
  switch (reason) {
    case ProposalReason::none:
      break;
    case ProposalReason::alwaysSelectFolder:
      return "in an always-select folder";
    case ProposalReason::copyNumber:
      return "name ends in a copy number";
    case ProposalReason::copyWord:
      return "name marks it as a copy";
    case ProposalReason::folderCopyNumber:
      return "in a folder whose name ends in a copy number";
    case ProposalReason::folderCopyWord:
      return "in a folder named as a copy";
    case ProposalReason::automaticFolderName:
      return "in an automatically named folder";
    case ProposalReason::thumbnailName:
      return "name marks it as a thumbnail";
    case ProposalReason::notNewest:
      return "older than the copy kept";
    case ProposalReason::notOldest:
      return "newer than the copy kept";
    case ProposalReason::equalCopies:
      return "equal to the copy kept, which is first by path";
    case ProposalReason::lowerScore:
      return "the copy kept is preferred (library, rating or folder)";
  }
  return "";
}

std::string_view selectionReason(SelectionStrategy strategy, ProposalReason automaticReason) {
  switch (strategy) {
    case SelectionStrategy::automatic:
      // A selection stored before reasons were kept has none to tell.
      return automaticReason == ProposalReason::none ? "chosen by the selection rules"
                                                     : description(automaticReason);
    case SelectionStrategy::manual:
      return automaticReason == ProposalReason::none ? "selected by hand"
                                                     : description(automaticReason);
    case SelectionStrategy::newer:
      return "newer than the copy kept";
    case SelectionStrategy::older:
      return "older than the copy kept";
    case SelectionStrategy::random:
      return "picked at random";
    case SelectionStrategy::none:
      break;
  }
  return "";
}
namespace {

using D = EquivalenceDifference;

std::optional<std::string> stringValue(const DuplicateDifferences& differences,
                                       EquivalenceDifference kind) {
  auto it = differences.factors.find(kind);
  if (it == differences.factors.end()) return std::nullopt;
  if (const auto* text = std::get_if<std::string>(&it->second.value)) return *text;
  return std::nullopt;
}

bool isMarked(const DuplicateDifferences& differences, EquivalenceDifference kind) {
  auto it = differences.factors.find(kind);
  if (it == differences.factors.end()) return false;
  const auto* flag = std::get_if<bool>(&it->second.value);
  return flag != nullptr && *flag;
}

// Each penalty of a folder name weighs one more than the same penalty of the file name.
double pathComponentPart(const DuplicateDifferences& differences,
                         const AutoselectionConfig& config) {
  double sum = 0;
  for (const auto& pattern : differences.pathComponentPatterns) {
    double part = 0;
    int penalties = 0;
    part += config.bonusForHavingSuffixNumber * pattern.numberOfSuffixMatchingNumberPatterns;
    penalties += pattern.numberOfSuffixMatchingNumberPatterns;
    if (pattern.hasPrefixMatchingCopyPattern) part += config.bonusForHavingPrefixCopy, ++penalties;
    if (pattern.hasSuffixMatchingCopyPattern) part += config.bonusForHavingSuffixCopy, ++penalties;
    if (pattern.isAutonamed) part += config.bonusForBeingAutonamed, ++penalties;
    if (!pattern.isLastComponent) part -= penalties;
    sum += part;
  }
  return sum;
}

const NodeAutoselectionInfo& smallestPath(const std::vector<NodeAutoselectionInfo>& infos) {
  return *std::min_element(infos.begin(), infos.end(), [](const auto& a, const auto& b) {
    return a.node->path() < b.node->path();
  });
}

}  // namespace

std::optional<std::string> protectionDescription(const AutoselectionModeDecision& decision) {
  switch (decision.reason) {
    case AutoselectionModeReason::inaccessible:
      return "no longer there";
    case AutoselectionModeReason::invalidMediaLibrary:
      return "in a media library";
    case AutoselectionModeReason::hardLinked:
      return "hard-linked";
    case AutoselectionModeReason::neverSelectFolder:
      return "in a never-select folder";
    case AutoselectionModeReason::readOnly:
      return "read-only";
    case AutoselectionModeReason::cloudFolder:
      return "kept last: in a cloud folder";
    case AutoselectionModeReason::applicationsFolder:
      return "kept last: in an applications folder";
    case AutoselectionModeReason::systemFolder:
      return systemFileDescription({});
    case AutoselectionModeReason::installedPackage:
      return systemFileDescription(decision.package);
    case AutoselectionModeReason::none:
    case AutoselectionModeReason::alwaysSelectFolder:
      break;
  }
  return std::nullopt;
}

std::string copyReason(const SelectionConfiguration& selection, std::int64_t identifier,
                       const std::optional<AutoselectionModeDecision>& decision) {
  if (selection.isSelected(identifier)) {
    return std::string(
        selectionReason(selection.strategy, decision ? decision->proposal : ProposalReason::none));
  }
  if (decision) {
    if (auto protection = protectionDescription(*decision)) return *protection;
  }
  if (selection.isOriginal(identifier)) return "original";
  return selection.strategy == SelectionStrategy::automatic ||
                 selection.strategy == SelectionStrategy::none
             ? "as good as the original"
             : "kept";
}

bool smartRuleSelects(const SmartSelectionRule& rule, const DuplicateDifferences& differences,
                      const EquivalenceDifferencesInfo& group) {
  if (!group.contains(rule.relevantDifference())) return false;
  const ArrangementFactor factor = differences.arrangementFactor(rule.relevantDifference());
  using K = SmartSelectionRule::Kind;
  switch (rule.kind()) {
    case K::sameUTIType:
      return stringValue(differences, D::utiType) == rule.payload();
    case K::sameSoftware:
      return stringValue(differences, D::software) == rule.payload();
    case K::nonSoftwareAndOriginal:
      return stringValue(differences, D::software) != rule.payload();
    case K::nonBiggestImageDimension:
    case K::nonBiggestExactSize:
    case K::nonHighestBitRate:
    case K::nonNewestModificationDate:
    case K::nonLatestAppVersion:
      return factor != ArrangementFactor::max;
    case K::nonSmallestImageDimension:
    case K::nonSmallestExactSize:
    case K::nonLowestBitRate:
    case K::nonOldestModificationDate:
      return factor != ArrangementFactor::min;
    case K::nonHighestRating:
      return factor != ArrangementFactor::max && factor != ArrangementFactor::undefined;
    case K::nonFavorite:
      return !isMarked(differences, D::favorite);
    case K::nonLoved:
      return !isMarked(differences, D::loved);
  }
  return false;
}

Autoselector::Autoselector(OVURLResolver resolver, ExtendedAutoselectionRules rules,
                           std::shared_ptr<const SystemFiles> systemFiles)
    : resolver_(std::move(resolver)),
      rules_(std::move(rules)),
      config_(AutoselectionConfig::shared()),
      systemFiles_(systemFiles ? std::move(systemFiles)
                               : std::make_shared<const SystemFiles>(
                                     SystemFiles::standardFolders(resolver_.homeURL()), nullptr)) {
  const auto components = [this](const std::string& path) {
    return resolver_.abbreviatedPathComponentsForPath(
        resolver_.expandedPathForPath(path).value_or(path));
  };
  for (const auto& [path, bonus] : config_.bonusesForBeingInDirectoryByDirectoryPath) {
    bonusDirectories_.emplace_back(components(path), bonus);
  }
  for (const auto& path : config_.lastOrderSelectionDirectoryPathes)
    lastOrderDirectories_.push_back(components(path));
  for (const auto& path : rules_.alwaysSelectPaths) {
    pathRules_.setValue(components(path), ExtendedAutoselectionRules::SelectionRule::alwaysSelect);
  }
  for (const auto& path : rules_.neverSelectPaths) {
    pathRules_.setValue(components(path), ExtendedAutoselectionRules::SelectionRule::neverSelect);
  }
}

std::optional<ExtendedAutoselectionRules::SelectionRule> Autoselector::pathRuleOf(
    const PathComponents& components) const {
  // The nearest enclosing folder with a rule decides.
  using Node = PrefixTree<std::string, ExtendedAutoselectionRules::SelectionRule>::Node;
  for (const Node* node = pathRules_.getNode(components, /*shouldReturnLastExistingNode=*/true);
       node != nullptr; node = dynamic_cast<const Node*>(node->parentTree())) {
    if (node->value()) return node->value();
  }
  return std::nullopt;
}

AutoselectionModeDecision Autoselector::modeOf(const NodeAutoselectionInfo& info,
                                               const PathComponents& components) const {
  using Mode = AutoselectionMode;
  using Reason = AutoselectionModeReason;
  const DuplicateDifferences& differences = *info.differences;
  if (!differences.has(accessible)) return {Mode::neverSelect, Reason::inaccessible};
  // Removing a file the system or a package needs breaks it, whatever the rules say.
  if (auto owner = systemFiles_->ownerOf(info.node->path())) {
    if (owner->package.empty()) return {Mode::neverSelect, Reason::systemFolder};
    return {Mode::neverSelect, Reason::installedPackage, std::move(owner->package)};
  }
  if (!rules_.allowSelectionOfMembersOfInvalidMediaLibraries &&
      (differences.has(memberOfNonDefaultITunesLibrary) ||
       differences.has(memberOfNonTestedMediaLibrary))) {
    return {Mode::neverSelect, Reason::invalidMediaLibrary};
  }
  if (!rules_.allowAutoselectionWithinHardlinkedGroups && differences.hardlinkedGroupID()) {
    return {Mode::neverSelect, Reason::hardLinked};
  }
  const auto rule = pathRuleOf(components);
  if (rule == ExtendedAutoselectionRules::SelectionRule::neverSelect)
    return {Mode::neverSelect, Reason::neverSelectFolder};
  if (!differences.has(writable)) return {Mode::neverSelect, Reason::readOnly};
  if (differences.factors.count(D::cloud) != 0) return {Mode::lastOrderSelect, Reason::cloudFolder};
  for (const auto& directory : lastOrderDirectories_) {
    if (hasComponentPrefix(components, directory))
      return {Mode::lastOrderSelect, Reason::applicationsFolder};
  }
  if (rule == ExtendedAutoselectionRules::SelectionRule::alwaysSelect)
    return {Mode::alwaysSelect, Reason::alwaysSelectFolder};
  return {Mode::regular, Reason::none};
}

double Autoselector::directoryBonusOf(const PathComponents& components) const {
  double sum = 0;
  for (const auto& [directory, bonus] : bonusDirectories_) {
    if (hasComponentPrefix(components, directory)) sum += bonus;
  }
  return sum;
}

double Autoselector::scoreOf(const NodeAutoselectionInfo& info,
                             const EquivalenceDifferencesInfo& differencesInfo) const {
  const bool similar = isSimilar(info.equivalenceKind);
  double smart = 0;
  for (const auto& ruleInfo : rules_.smartSelectionRuleInfos) {
    const SmartSelectionRule& rule = ruleInfo.rule;
    if (!ruleInfo.isEnabled) continue;
    if (similar ? !rule.supportsSimilarEquivalences() : !rule.supportsExactEquivalences()) continue;
    if (!smartRuleSelects(rule, *info.differences, differencesInfo)) continue;
    const bool isDateRule = rule.kind() == SmartSelectionRule::Kind::nonNewestModificationDate ||
                            rule.kind() == SmartSelectionRule::Kind::nonOldestModificationDate;
    smart += isDateRule ? -2 : -3;
  }
  if (similar) return smart;

  const DuplicateDifferences& differences = *info.differences;
  double score =
      pathComponentPart(differences, config_) + smart + info.sumOfBonusesForBeingInDirectory;
  if (info.mode == AutoselectionMode::alwaysSelect) score += config_.bonusForBeingAlwaysSelect;
  if (differences.has(hasSuffixMatchingThumbnailPattern))
    score += config_.bonusForHavingSuffixThumbnail;
  if (differences.arrangementFactor(D::appVersion) == ArrangementFactor::max)
    score += config_.bonusForBeingNewestApplication;
  if (differences.has(smartRandom)) score += config_.bonusForBeingSmartRandom;
  if (differences.has(randomAmongEqual)) score += config_.bonusForBeingRandomAmongEqualScore;
  if (isMarked(differences, D::favorite)) score += config_.bonusForBeingFavorite;
  if (isMarked(differences, D::loved)) score += config_.bonusForBeingLoved;
  if (differences.has(memberOfITunesLibrary)) score += config_.bonusForBeingMemberOfITunesLibrary;
  if (differences.has(memberOfPhotosLibrary)) score += config_.bonusForBeingMemberOfPhotosLibrary;
  if (differences.has(memberOfNonTestedMediaLibrary))
    score += config_.bonusForBeingMemberOfNotTestedLibrary;
  if (differences.arrangementFactor(D::rating) == ArrangementFactor::max)
    score += config_.bonusForHavingBestITunesRating;
  if (differences.has(lacksArtistName)) score += config_.bonusForLackingArtistName;
  if (differences.has(lacksTrackTitle)) score += config_.bonusForLackingTrackTitle;
  if (differences.arrangementFactor(D::playDate) == ArrangementFactor::max)
    score += config_.bonusForHavingLatestPlayDate;
  if (differences.arrangementFactor(D::playCount) == ArrangementFactor::max)
    score += config_.bonusForHavingMaximumPlayCount;
  return score;
}

ProposalReason Autoselector::proposalReasonOf(
    const NodeAutoselectionInfo& info, const EquivalenceDifferencesInfo& differencesInfo) const {
  if (info.mode == AutoselectionMode::alwaysSelect) return ProposalReason::alwaysSelectFolder;
  const DuplicateDifferences& differences = *info.differences;
  const auto& patterns = differences.pathComponentPatterns;
  if (!patterns.empty() && patterns.back().isLastComponent) {
    const PathComponentPattern& name = patterns.back();
    if (name.numberOfSuffixMatchingNumberPatterns > 0) return ProposalReason::copyNumber;
    if (name.hasPrefixMatchingCopyPattern || name.hasSuffixMatchingCopyPattern)
      return ProposalReason::copyWord;
  }
  for (const auto& folder : patterns) {
    if (folder.isLastComponent) continue;
    if (folder.isAutonamed) return ProposalReason::automaticFolderName;
    if (folder.hasPrefixMatchingCopyPattern || folder.hasSuffixMatchingCopyPattern)
      return ProposalReason::folderCopyWord;
    if (folder.numberOfSuffixMatchingNumberPatterns > 0) return ProposalReason::folderCopyNumber;
  }
  if (differences.has(hasSuffixMatchingThumbnailPattern)) return ProposalReason::thumbnailName;
  for (const auto& ruleInfo : rules_.smartSelectionRuleInfos) {
    if (!ruleInfo.isEnabled || !smartRuleSelects(ruleInfo.rule, *info.differences, differencesInfo))
      continue;
    if (ruleInfo.rule.kind() == SmartSelectionRule::Kind::nonNewestModificationDate)
      return ProposalReason::notNewest;
    if (ruleInfo.rule.kind() == SmartSelectionRule::Kind::nonOldestModificationDate)
      return ProposalReason::notOldest;
  }
  return ProposalReason::lowerScore;
}

Autoselector::Stat Autoselector::statistics(
    const std::vector<NodeAutoselectionInfo>& infos,
    const EquivalenceDifferencesInfo& differencesInfo) const {
  Stat stat;
  bool first = true;
  for (const auto& info : infos) {
    const double score = scoreOf(info, differencesInfo);
    stat.infosAndScores.emplace_back(&info, score);
    stat.maxScore = first ? score : std::max(stat.maxScore, score);
    stat.minScore = first ? score : std::min(stat.minScore, score);
    stat.sumOfScore += score;
    if (first) {
      stat.singleSelectionModeForAll = info.mode;
    } else if (stat.singleSelectionModeForAll != info.mode) {
      stat.singleSelectionModeForAll = std::nullopt;
    }
    first = false;
  }
  return stat;
}

Autoselector::GroupSelection Autoselector::detectDifferencesAndSelect(
    std::vector<NodeDifferencesInfo> copies) const {
  GroupSelection selection;
  selection.differences = detectDifferenceInNodeInfos(copies);
  std::vector<NodeAutoselectionInfo> infos;
  infos.reserve(copies.size());
  for (auto& copy : copies) {
    infos.push_back(
        NodeAutoselectionInfo{copy.identifier, copy.node, copy.equivalenceKind, &copy.differences});
  }
  selection.configurations = detectSelectionConfigurations(infos, selection.differences);
  return selection;
}

DetectedSelectionConfigurations Autoselector::detectSelectionConfigurations(
    std::vector<NodeAutoselectionInfo>& infos,
    const EquivalenceDifferencesInfo& differencesInfo) const {
  DetectedSelectionConfigurations detected;
  if (infos.empty()) return detected;
  for (auto& info : infos) {
    const PathComponents components = resolver_.abbreviatedPathComponentsForPath(info.node->path());
    const AutoselectionModeDecision decision = modeOf(info, components);
    info.mode = decision.mode;
    info.modeReason = decision.reason;
    info.package = decision.package;
    info.sumOfBonusesForBeingInDirectory = directoryBonusOf(components);
  }

  // Ties are broken in favour of the copy with the smallest path (P).
  Stat stat = statistics(infos, differencesInfo);
  const Stat unmarked = stat;  // before any tie-break mark
  DuplicateDifferences& smallest = *smallestPath(infos).differences;
  const bool allAlwaysSelect = stat.singleSelectionModeForAll == AutoselectionMode::alwaysSelect;
  smallest.set(smartRandom);
  if (stat.maxScore == stat.minScore || allAlwaysSelect) {
    if (allAlwaysSelect || rules_.selectRandomAmongEqual) {
      if (stat.maxScore == stat.minScore) smallest.set(randomAmongEqual);
      stat = statistics(infos, differencesInfo);
    }
  }
  // (Otherwise the mark changes no decision: the statistics stand as computed.)

  std::vector<std::int64_t> selected;
  std::vector<std::int64_t> kept;
  for (const auto& [info, score] : stat.infosAndScores) {
    const bool selectable =
        info->mode == AutoselectionMode::alwaysSelect || info->mode == AutoselectionMode::regular;
    (score < stat.maxScore && selectable ? selected : kept).push_back(info->identifier);
  }
  const bool automaticOffered = stat.maxScore != stat.minScore;

  const bool anySelectable = std::any_of(infos.begin(), infos.end(), [](const auto& info) {
    return info.mode != AutoselectionMode::neverSelect;
  });
  if (anySelectable) smallest.set(randomAmongEqual);

  // A proposed copy that scored as high as the kept one before the tie-break marks was told
  // apart by nothing but the marks.
  FlatMap<std::int64_t, ProposalReason> proposals;
  for (size_t i = 0; i < stat.infosAndScores.size(); ++i) {
    const auto& [info, score] = stat.infosAndScores[i];
    if (score >= stat.maxScore || !(info->mode == AutoselectionMode::alwaysSelect ||
                                    info->mode == AutoselectionMode::regular)) {
      continue;
    }
    const bool tiedButForMarks = unmarked.infosAndScores[i].second >= unmarked.maxScore;
    proposals[info->identifier] = tiedButForMarks && info->mode != AutoselectionMode::alwaysSelect
                                      ? ProposalReason::equalCopies
                                      : proposalReasonOf(*info, differencesInfo);
  }

  // The kept copy first by path: the same whatever order the copies arrived in.
  std::int64_t original = infos.front().identifier;
  std::optional<std::string> originalPath;
  for (const auto& info : infos) {
    if (!kept.empty() && std::find(kept.begin(), kept.end(), info.identifier) == kept.end())
      continue;
    std::string path = info.node->path();
    if (!originalPath || path < *originalPath) {
      original = info.identifier;
      originalPath = std::move(path);
    }
  }
  auto offer = [&](SelectionStrategy strategy, const std::vector<std::int64_t>& ids) {
    detected.availableSelectionConfigurations.push_back(
        SelectionConfiguration{strategy, original, {ids.begin(), ids.end()}});
  };
  offer(SelectionStrategy::none, {});
  if (automaticOffered) offer(SelectionStrategy::automatic, selected);
  offer(SelectionStrategy::manual, selected);
  // The other strategies never override a copy's protection (a never-select folder, a system
  // file, a read-only copy): they choose among the copies that may go.
  const auto mayGo = [](const NodeAutoselectionInfo& info) {
    return info.mode != AutoselectionMode::neverSelect;
  };
  if (differencesInfo.contains(D::dateOfModification)) {
    std::vector<std::int64_t> newer;
    std::vector<std::int64_t> older;
    for (const auto& info : infos) {
      if (!mayGo(info)) continue;
      const ArrangementFactor factor = info.differences->arrangementFactor(D::dateOfModification);
      if (factor != ArrangementFactor::min) newer.push_back(info.identifier);
      if (factor != ArrangementFactor::max) older.push_back(info.identifier);
    }
    offer(SelectionStrategy::newer, newer);
    offer(SelectionStrategy::older, older);
  }
  std::vector<std::int64_t> random;
  for (const auto& info : infos) {
    if (!mayGo(info)) continue;
    if (!info.differences->has(smartRandom) && !info.differences->has(randomAmongEqual))
      random.push_back(info.identifier);
  }
  if (!random.empty()) offer(SelectionStrategy::random, random);

  detected.currentSelectionConfiguration = automaticOffered
                                               ? detected.availableSelectionConfigurations[1]
                                               : detected.availableSelectionConfigurations[0];
  // Kept until the group is stored: sized exactly, not by the vectors' doubling.
  detected.availableSelectionConfigurations.shrink_to_fit();
  detected.nodeDifferencesInfoByDuplicateID.reserve(infos.size());
  detected.modeByDuplicateID.reserve(infos.size());
  for (const auto& info : infos) {
    detected.nodeDifferencesInfoByDuplicateID[info.identifier] = std::move(*info.differences);
    auto proposal = proposals.find(info.identifier);
    detected.modeByDuplicateID[info.identifier] = {
        info.mode, info.modeReason, info.package,
        proposal == proposals.end() ? ProposalReason::none : proposal->second};
  }
  return detected;
}

}  // namespace zarnik
