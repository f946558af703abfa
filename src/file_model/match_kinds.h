// The kinds of duplicates a scan looks for, as a person chooses them (the scan command's flags,
// the window's check boxes), read from and applied to scan rules.
#pragma once

#include "file_model/scan_rules.h"

namespace zarnik {

struct MatchKinds {
  bool exact = true;
  bool audioContent = false;
  bool folders = false;
  bool apps = false;
  bool similarImages = false;
  bool similarAudio = false;

  [[nodiscard]] static MatchKinds of(const ExtendedScanRules& rules);
  // Switches the kinds on `rules` as these say; similar matching is on when a similar kind is.
  void applyTo(ExtendedScanRules& rules) const;
};

}  // namespace zarnik
