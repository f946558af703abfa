#include "detection/smart_rule_suggestions.h"

#include "matching/match_kind.h"
#include "selection/autoselector.h"
#include "selection/duplicate_differences.h"

#include <algorithm>
#include <optional>
#include <set>

namespace zarnik {
namespace {

using Kind = SmartSelectionRule::Kind;

// A group's copies still present, told apart as the automatic selection tells them.
struct ToldApart {
  std::vector<NodeDifferencesInfo> copies;
  EquivalenceDifferencesInfo differences;
  bool similar = false;
};

// Nothing when fewer than two copies are left or a copy's record cannot be read.
std::optional<ToldApart> tellApart(const ZKEquivalence& group) {
  ToldApart toldApart;
  toldApart.similar = isSimilar(group.equivalenceKind());
  for (const auto& duplicate : group.duplicates) {
    if (duplicate.cleanID) continue;
    NodeDifferencesInfo copy;
    copy.node = duplicate.node();
    if (!copy.node) return std::nullopt;
    copy.identifier = duplicate.identifier;
    copy.equivalenceKind = duplicate.privateEquivalenceKind.value_or(group.equivalenceKind());
    copy.hardlinkedGroupID = duplicate.differences().hardlinkedGroupID();
    toldApart.copies.push_back(std::move(copy));
  }
  if (toldApart.copies.size() < 2) return std::nullopt;
  toldApart.differences = detectDifferenceInNodeInfos(toldApart.copies);
  return toldApart;
}

// The copies `rule` proposes in `group`; nothing when it proposes none or all of them (the
// group does not show what the rule tells apart).
std::optional<IdentifierSet> selectedByRule(const SmartSelectionRule& rule,
                                            const ToldApart& group) {
  if (group.similar ? !rule.supportsSimilarEquivalences() : !rule.supportsExactEquivalences())
    return std::nullopt;
  IdentifierSet selected;
  for (const auto& copy : group.copies) {
    if (smartRuleSelects(rule, copy.differences, group.differences))
      selected.insert(copy.identifier);
  }
  if (selected.empty() || selected.size() == group.copies.size()) return std::nullopt;
  return selected;
}

// The texts of `kind` (types, applications) the copies of `groups` have, each once.
std::set<std::string> textsOf(const std::map<std::int64_t, ToldApart>& groups,
                              EquivalenceDifference kind) {
  std::set<std::string> texts;
  for (const auto& [identifier, group] : groups) {
    for (const auto& copy : group.copies) {
      const auto factor = copy.differences.factors.find(kind);
      if (factor == copy.differences.factors.end()) continue;
      if (const auto* text = std::get_if<std::string>(&factor->second.value)) texts.insert(*text);
    }
  }
  return texts;
}

// Every rule that could explain the choices: the rules without an argument, then one "same type"
// rule per type and one "same application" rule per application the groups show.
std::vector<SmartSelectionRule> candidateRules(const std::map<std::int64_t, ToldApart>& groups) {
  std::vector<SmartSelectionRule> rules = SmartSelectionRule::simpleRules();
  for (const auto& type : textsOf(groups, EquivalenceDifference::utiType))
    rules.emplace_back(Kind::sameUTIType, type);
  for (const auto& software : textsOf(groups, EquivalenceDifference::software))
    rules.emplace_back(Kind::sameSoftware, software);
  return rules;
}

NodeType typeOf(const ZKEquivalence& group) {
  for (const auto& duplicate : group.duplicates) {
    if (const auto node = duplicate.node()) return node->type();
  }
  return NodeType::other;
}

// Whether `rule` may be offered to a user who has `rules`: not when it or its opposite is there.
bool canSuggest(const SmartSelectionRule& rule, const std::vector<SmartSelectionRuleInfo>& rules) {
  const auto opposite = rule.oppositeRules();
  return std::none_of(rules.begin(), rules.end(), [&](const SmartSelectionRuleInfo& info) {
    return info.rule == rule ||
           std::find(opposite.begin(), opposite.end(), info.rule) != opposite.end();
  });
}

}  // namespace

SmartSelectionRuleCounter SmartSelectionRuleCounter::make(SmartSelectionRule rule, bool preferred) {
  SmartSelectionRuleCounter counter{std::move(rule)};
  const Kind kind = counter.rule.kind();
  if (kind == Kind::sameUTIType || kind == Kind::nonFavorite || kind == Kind::nonLoved)
    counter.mandatoryCounter.limit = 0;
  counter.preferred = preferred;
  return counter;
}

std::vector<SmartSelectionRuleCounter> processSmartRuleSuggestions(
    const std::vector<ZKActivityLogItem>& activityLog,
    const std::map<std::int64_t, ZKEquivalence>& groupsByIdentifier,
    const ExtendedAutoselectionRules& autoselectionRules) {
  if (activityLog.empty()) return {};
  // The groups changed by hand, and the selection each was left with.
  std::map<std::int64_t, SelectionConfiguration> lastSelection;
  std::set<std::int64_t> changedByHand;
  for (const auto& item : activityLog) {
    lastSelection[item.equivalenceIdentifier] = item.currentSelectionConfiguration;
    if (item.interactionType == ActivityInteractionType::direct)
      changedByHand.insert(item.equivalenceIdentifier);
  }
  // Each group changed by hand and left with a selection of its own is told apart once.
  std::map<std::int64_t, ToldApart> evidence;
  std::map<std::int64_t, NodeType> types;
  for (std::int64_t identifier : changedByHand) {
    const auto group = groupsByIdentifier.find(identifier);
    if (group == groupsByIdentifier.end()) continue;
    if (lastSelection[identifier].strategy == SelectionStrategy::automatic)
      continue;  // back to the proposal: no evidence
    if (auto toldApart = tellApart(group->second)) {
      evidence.emplace(identifier, std::move(*toldApart));
      types.emplace(identifier, typeOf(group->second));
    }
  }
  std::vector<SmartSelectionRuleCounter> counters;
  for (auto& rule : candidateRules(evidence)) {
    // Keeping the newest copy is what most people want: offered first.
    const bool preferred = rule.kind() == Kind::nonNewestModificationDate;
    auto counter = SmartSelectionRuleCounter::make(std::move(rule), preferred);
    for (const auto& [identifier, group] : evidence) {
      const auto byRule = selectedByRule(counter.rule, group);
      if (!byRule || lastSelection[identifier].selectedIDs != *byRule) continue;
      ++counter.plausibleCounter.value;
      const auto& automatic = groupsByIdentifier.at(identifier).initialSelectionConfiguration;
      if (!automatic || automatic->selectedIDs != *byRule) ++counter.mandatoryCounter.value;
      counter.nodeTypesCounter.updateCounterForInstance(types.at(identifier), 1);
    }
    counters.push_back(std::move(counter));
  }
  (void)autoselectionRules;  // the rules the user has decide what is offered, not what is counted
  return counters;
}

std::vector<SmartSelectionRule> suggestedRules(
    const std::vector<SmartSelectionRuleCounter>& counters,
    const ExtendedAutoselectionRules& autoselectionRules) {
  std::vector<const SmartSelectionRuleCounter*> ready;
  for (const auto& counter : counters) {
    if (counter.shouldSuggest() &&
        canSuggest(counter.rule, autoselectionRules.smartSelectionRuleInfos)) {
      ready.push_back(&counter);
    }
  }
  std::stable_sort(ready.begin(), ready.end(),
                   [](const auto* a, const auto* b) { return a->preferred > b->preferred; });
  std::vector<SmartSelectionRule> rules;
  rules.reserve(ready.size());
  for (const auto* counter : ready) rules.push_back(counter->rule);
  return rules;
}

}  // namespace zarnik
