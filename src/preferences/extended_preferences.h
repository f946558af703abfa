// The extended preferences: what a scan, an autoselection and a cleaning are configured from.
// The stored rules merged with the enabled items of the ignore list (as exclusions of the scan
// rules) and of the selection lists (as the always- and never-select folders and smart rules).
#pragma once

#include "file_model/scan_rules.h"
#include "foundation/url_resolver.h"
#include "preferences/preferences_storage.h"
#include "selection/selection_rules.h"
#include "store/preferences_model_entities.h"

#include <memory>
#include <vector>

namespace zarnik {

struct Preferences {
  std::shared_ptr<const ExtendedScanRules> scanRules;
  ExtendedAutoselectionRules autoselectionRules;
  CleaningRules cleaningRules;
};

struct PreferenceLists {
  std::vector<ZKIgnoreItem> ignoreItems;
  std::vector<ZKSelectionRule> selectionRules;
  std::vector<ZKSmartSelectionRule> smartSelectionRules;
};

// Disabled items take no part. Selection folders are given as full paths.
[[nodiscard]] Preferences buildExtendedPreferences(const PreferencesStorage& storage,
                                                   const PreferenceLists& lists,
                                                   const OVURLResolver& resolver);

}  // namespace zarnik
