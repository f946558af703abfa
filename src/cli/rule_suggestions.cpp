#include "cli/rule_suggestions.h"

#include "detection/duplicates_detection_results.h"
#include "detection/smart_rule_suggestions.h"

#include <algorithm>
#include <map>
#include <set>

namespace zarnik::cli {

Result<RuleSuggestions> ruleSuggestions(DuplicatesDetectionResults& results,
                                        const ExtendedAutoselectionRules& rules) {
  ZK_ASSIGN_OR_RETURN(auto log, results.activityLog().wait());
  std::set<std::int64_t> changed;
  for (const auto& item : log) changed.insert(item.equivalenceIdentifier);
  std::map<std::int64_t, ZKEquivalence> groups;
  for (std::int64_t identifier : changed) {
    auto group = results.equivalence(identifier).wait();
    if (group.hasValue() && group.value()) groups.emplace(identifier, *group.value());
  }
  RuleSuggestions suggestions;
  suggestions.pending = suggestedRules(processSmartRuleSuggestions(log, groups, rules), rules);
  if (suggestions.pending.empty()) return suggestions;
  log.pop_back();
  const auto before = suggestedRules(processSmartRuleSuggestions(log, groups, rules), rules);
  for (const auto& rule : suggestions.pending) {
    if (std::find(before.begin(), before.end(), rule) == before.end())
      suggestions.readyAfterLastChange.push_back(rule);
  }
  return suggestions;
}

}  // namespace zarnik::cli
