#include "detection/smart_rule_suggestions.h"

#include <algorithm>
#include <optional>
#include <set>

namespace zarnik {
namespace {

using Kind = SmartSelectionRule::Kind;

constexpr Kind kJudgedKinds[] = {Kind::nonNewestModificationDate, Kind::nonOldestModificationDate,
                                 Kind::nonBiggestExactSize, Kind::nonSmallestExactSize};

struct CopyFacts {
  std::int64_t identifier = 0;
  std::int64_t key = 0;  // the date or the size the rule compares
};

// The copies `rule` selects in `group`: all but those with the extreme value; nothing when every
// copy has the same value (the group does not show the difference) or a record cannot be read.
std::optional<IdentifierSet> selectedByRule(const SmartSelectionRule& rule,
                                            const ZKEquivalence& group) {
  std::vector<CopyFacts> copies;
  for (const auto& duplicate : group.duplicates) {
    if (duplicate.cleanID) continue;
    const auto node = duplicate.node();
    if (!node) return std::nullopt;
    const bool byDate = rule.kind() == Kind::nonNewestModificationDate ||
                        rule.kind() == Kind::nonOldestModificationDate;
    copies.push_back(
        {duplicate.identifier,
         byDate ? node->dateOfModification().time_since_epoch().count() : node->exactSize()});
  }
  if (copies.size() < 2) return std::nullopt;
  const auto [low, high] = std::minmax_element(
      copies.begin(), copies.end(), [](const auto& a, const auto& b) { return a.key < b.key; });
  if (low->key == high->key) return std::nullopt;
  const bool keepsLargest =
      rule.kind() == Kind::nonNewestModificationDate || rule.kind() == Kind::nonBiggestExactSize;
  const std::int64_t kept = keepsLargest ? high->key : low->key;
  IdentifierSet selected;
  for (const auto& copy : copies) {
    if (copy.key != kept) selected.insert(copy.identifier);
  }
  return selected;
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
  std::vector<SmartSelectionRuleCounter> counters;
  for (Kind kind : kJudgedKinds) {
    SmartSelectionRule rule(kind);
    // Keeping the newest copy is what most people want: offered first.
    auto counter = SmartSelectionRuleCounter::make(rule, kind == Kind::nonNewestModificationDate);
    for (std::int64_t identifier : changedByHand) {
      auto group = groupsByIdentifier.find(identifier);
      if (group == groupsByIdentifier.end()) continue;
      const SelectionConfiguration& chosen = lastSelection[identifier];
      if (chosen.strategy == SelectionStrategy::automatic)
        continue;  // back to the proposal: no evidence
      const auto byRule = selectedByRule(rule, group->second);
      if (!byRule || byRule->empty() || chosen.selectedIDs != *byRule) continue;
      ++counter.plausibleCounter.value;
      const auto& automatic = group->second.initialSelectionConfiguration;
      if (!automatic || automatic->selectedIDs != *byRule) ++counter.mandatoryCounter.value;
      counter.nodeTypesCounter.updateCounterForInstance(typeOf(group->second), 1);
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
