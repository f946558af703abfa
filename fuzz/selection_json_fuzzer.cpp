// Stored selections, rules and difference lists are read back from stores, exports and settings.
// Reading must never crash, and whatever is accepted must write out and read back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "selection/selection_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto json = zarnik::parseJson(std::string_view(reinterpret_cast<const char*>(data), size));
  if (json.hasError()) return 0;
  if (auto configuration = zarnik::SelectionConfiguration::decode(json.value())) {
    if (zarnik::SelectionConfiguration::decode(configuration->encode()) != configuration) std::abort();
  }
  if (auto rule = zarnik::SmartSelectionRule::decode(json.value())) {
    if (zarnik::SmartSelectionRule::decode(rule->encode()) != rule) std::abort();
    (void)rule->description();
  }
  if (auto rules = zarnik::ExtendedAutoselectionRules::decode(json.value()); rules.hasValue()) {
    auto again = zarnik::ExtendedAutoselectionRules::decode(rules.value().encode());
    if (again.hasError() || again.value().encode() != rules.value().encode()) std::abort();
  }
  if (auto rules = zarnik::CleaningRules::decode(json.value()); rules.hasValue()) {
    auto again = zarnik::CleaningRules::decode(rules.value().encode());
    if (again.hasError() || again.value().encode() != rules.value().encode()) std::abort();
  }
  const auto differences = zarnik::EquivalenceDifferencesInfo::decode(json.value());
  if (zarnik::EquivalenceDifferencesInfo::decode(differences.encode()).differences != differences.differences) std::abort();
  return 0;
}
