#include "preferences/extended_preferences.h"

#include <algorithm>
#include <cctype>

namespace zarnik {
namespace {

std::string lowercased(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::shared_ptr<ExtendedScanRules> extendedScanRules(const ScanRules& stored,
                                                     const std::vector<ZKIgnoreItem>& items) {
  auto rules = std::make_shared<ExtendedScanRules>();
  (void)rules->importJSON(stored.exportJSON());  // the same class's values always read back
  std::map<std::string, ExclusionRule> byPath;
  std::map<std::string, ExclusionRule> byExtension;
  for (const auto& item : items) {
    if (!item.enabled) continue;
    const auto mode = membershipModeFromIdentifier(item.rawMembershipMode)
                          .value_or(ContainerMembershipMode::regular);
    if (item.kind == ZKIgnoreItem::Kind::node) {
      byPath[item.path] = ExclusionRule::ignoring(mode, item.forceWhitelistedPaths);
    } else {
      for (const auto& extension : item.pathExtensions)
        byExtension[lowercased(extension)] = ExclusionRule::ignoring(mode);
    }
  }
  rules->setExclusionRulesByPath(byPath);
  rules->setExclusionRulesByPathExtension(byExtension);
  return rules;
}

}  // namespace

Preferences buildExtendedPreferences(const PreferencesStorage& storage,
                                     const PreferenceLists& lists, const OVURLResolver& resolver) {
  Preferences preferences;
  preferences.scanRules = extendedScanRules(*storage.scanRules(), lists.ignoreItems);
  static_cast<AutoselectionRules&>(preferences.autoselectionRules) =
      storage.autoselectionRules()->rules();
  for (const auto& rule : lists.selectionRules) {
    if (!rule.enabled) continue;
    const std::string path = resolver.expandedPathForPath(rule.path).value_or(rule.path);
    auto& paths = rule.kind == ZKSelectionRule::Kind::always
                      ? preferences.autoselectionRules.alwaysSelectPaths
                      : preferences.autoselectionRules.neverSelectPaths;
    paths.push_back(path);
  }
  for (const auto& rule : lists.smartSelectionRules)
    preferences.autoselectionRules.smartSelectionRuleInfos.push_back(rule.ruleInfo);
  preferences.cleaningRules = storage.cleaningRules()->rules();
  return preferences;
}

}  // namespace zarnik
