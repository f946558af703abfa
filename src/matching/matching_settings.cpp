#include "matching/matching_settings.h"

#include "base/path_components.h"

namespace zarnik {

MatchingSettings MatchingSettings::of(const ExtendedScanRules& rules) {
  MatchingSettings settings;
  settings.kinds = MatchKinds::of(rules);
  settings.similarApplications = rules.similarApplicationsMatchEnabled();
  for (const auto& extension : rules.pathExtensionsOfImagesToExcludeFromSimilarMatch()) {
    settings.excludedImageExtensions.push_back(asciiLowercased(extension));
  }
  settings.smallestComparedImage = rules.similarImageSizeThreshold();
  return settings;
}

}  // namespace zarnik
