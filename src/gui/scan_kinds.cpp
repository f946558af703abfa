#include "gui/scan_kinds.h"

namespace zarnik::gui {

ScanKinds ScanKinds::of(const ExtendedScanRules& rules) { return ScanKinds{MatchKinds::of(rules)}; }

std::shared_ptr<ExtendedScanRules> ScanKinds::appliedTo(const ExtendedScanRules& stored) const {
  auto rules = std::static_pointer_cast<ExtendedScanRules>(stored.copy());
  applyTo(*rules);
  if (everySize) rules->setSizeThresholdOption(SizeThresholdOption::size(0));
  return rules;
}

}  // namespace zarnik::gui
