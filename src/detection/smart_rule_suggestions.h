// Smart-rule suggestions: when the user keeps correcting the automatic selection the same way, the
// smart rule that would have made those choices is offered. The evidence is the selection history
// of the results: every group the user changed by hand, as it stands after its last change (so
// that undone changes count no more). For each candidate rule, a counter records in how many such
// groups the user's selection is exactly the rule's (plausible evidence), in how many of those the
// automatic selection had chosen otherwise (mandatory evidence), and the types of file concerned.
// A rule is offered once its counters reach their limits, unless the user has it, or its opposite,
// already.
//
// Every smart rule is judged, as the automatic selection would apply it to the copies as they
// were found: the rules without an argument, and a "same type" or "same application" rule for
// each type and application the changed groups show.
#pragma once

#include "file_model/node_type.h"
#include "selection/selection_rules.h"
#include "store/file_model_entities.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace zarnik {

template <typename T>
struct SimpleLimitableCounter {
  T value{};
  T limit{};
  [[nodiscard]] bool isLimitReached() const { return value >= limit; }
  [[nodiscard]] std::string description() const {
    return std::to_string(value) + "/" + std::to_string(limit);
  }
};

template <typename Instance>
class UniqueInstancesLimitableCounter {
 public:
  UniqueInstancesLimitableCounter() = default;
  explicit UniqueInstancesLimitableCounter(std::int64_t limit) : limit_(limit) {}
  // Adds `delta` to the instance's count; the value is the number of instances counted above zero.
  void updateCounterForInstance(const Instance& instance, std::int64_t delta) {
    counters_[instance] += delta;
    value_ = 0;
    for (const auto& [key, count] : counters_) value_ += count > 0 ? 1 : 0;
  }
  [[nodiscard]] std::int64_t value() const { return value_; }
  [[nodiscard]] std::int64_t limit() const { return limit_; }
  [[nodiscard]] bool isLimitReached() const { return value_ >= limit_; }

 private:
  std::map<Instance, std::int64_t> counters_;
  std::int64_t value_ = 0;
  std::int64_t limit_ = 0;
};

struct SmartSelectionRuleCounter {
  SmartSelectionRule rule;
  SimpleLimitableCounter<std::int64_t> plausibleCounter{0, 5};
  SimpleLimitableCounter<std::int64_t> mandatoryCounter{0, 1};
  UniqueInstancesLimitableCounter<NodeType> nodeTypesCounter;
  bool preferred = false;

  // Fresh counters for a candidate: rules about marks and types need no mandatory evidence.
  static SmartSelectionRuleCounter make(SmartSelectionRule rule, bool preferred);
  [[nodiscard]] bool shouldSuggest() const {
    return plausibleCounter.isLimitReached() && mandatoryCounter.isLimitReached() &&
           nodeTypesCounter.isLimitReached();
  }
};

// The counters of every candidate rule from the history `activityLog` of the groups
// `groupsByIdentifier`; an empty history gives none.
[[nodiscard]] std::vector<SmartSelectionRuleCounter> processSmartRuleSuggestions(
    const std::vector<ZKActivityLogItem>& activityLog,
    const std::map<std::int64_t, ZKEquivalence>& groupsByIdentifier,
    const ExtendedAutoselectionRules& autoselectionRules);

// The rules to offer, preferred ones first: counters that reached their limits, for rules the
// user may be offered.
[[nodiscard]] std::vector<SmartSelectionRule> suggestedRules(
    const std::vector<SmartSelectionRuleCounter>& counters,
    const ExtendedAutoselectionRules& autoselectionRules);

}  // namespace zarnik
