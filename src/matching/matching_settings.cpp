#include "matching/matching_settings.h"

#include "base/path_components.h"

namespace zarnik {

MatchingSettings MatchingSettings::of(const ExtendedScanRules& rules) {
  MatchingSettings settings;
  settings.exactFiles = rules.exactMatchEnabled();
  settings.folders = rules.directoriesMatchEnabled();
  settings.applications = rules.applicationsMatchEnabled();
  settings.similarApplications = rules.similarApplicationsMatchEnabled();
  settings.similarImages = rules.similarImagesMatchEnabled();
  settings.similarAudio = rules.similarAudioMatchEnabled();
  settings.exactAudioContent = rules.exactAudioContentMatchEnabled();
  for (const auto& extension : rules.pathExtensionsOfImagesToExcludeFromSimilarMatch()) {
    settings.excludedImageExtensions.push_back(asciiLowercased(extension));
  }
  settings.smallestComparedImage = rules.similarImageSizeThreshold();
  return settings;
}

}  // namespace zarnik
