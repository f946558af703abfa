// The kinds of duplicates a scan looks for, as the scan command's flags expose them, read from
// and applied to the stored scan rules.
#pragma once

#include "preferences/extended_preferences.h"

#include <memory>

namespace zarnik::gui {

struct ScanKinds {
  bool exact = true;
  bool audioContent = false;
  bool folders = false;
  bool apps = false;
  bool similarImages = false;
  bool similarAudio = false;
  bool includeHidden = false;
  bool everySize = false;  // no size threshold: small groups are shown too

  static ScanKinds of(const ExtendedScanRules& rules);
  // The stored rules with these kinds over them.
  [[nodiscard]] std::shared_ptr<ExtendedScanRules> appliedTo(const ExtendedScanRules& rules) const;
};

}  // namespace zarnik::gui
