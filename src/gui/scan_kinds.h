// What the window's scan looks for: the kinds of duplicates, hidden items, and small groups.
#pragma once

#include "file_model/match_kinds.h"
#include "preferences/extended_preferences.h"

#include <memory>

namespace zarnik::gui {

struct ScanKinds : MatchKinds {
  bool includeHidden = false;
  bool everySize = false;  // no size threshold: small groups are shown too

  static ScanKinds of(const ExtendedScanRules& rules);
  // The stored rules with these kinds over them.
  [[nodiscard]] std::shared_ptr<ExtendedScanRules> appliedTo(const ExtendedScanRules& rules) const;
};

}  // namespace zarnik::gui
