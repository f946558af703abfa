// Stored selections, smart rules and difference lists are read back from stores and exports.
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
  const auto differences = zarnik::EquivalenceDifferencesInfo::decode(json.value());
  if (zarnik::EquivalenceDifferencesInfo::decode(differences.encode()).differences != differences.differences) std::abort();
  return 0;
}
