#include "gui/scan_kinds.h"

namespace zarnik::gui {

ScanKinds ScanKinds::of(const ExtendedScanRules& rules) {
  ScanKinds kinds;
  kinds.exact = rules.exactMatchEnabled();
  kinds.audioContent = rules.exactAudioContentMatchEnabled();
  kinds.folders = rules.directoriesMatchEnabled();
  kinds.apps = rules.applicationsMatchEnabled();
  kinds.similarImages = rules.similarImagesMatchEnabled();
  kinds.similarAudio = rules.similarAudioMatchEnabled();
  return kinds;
}

std::shared_ptr<ExtendedScanRules> ScanKinds::appliedTo(const ExtendedScanRules& stored) const {
  auto rules = std::static_pointer_cast<ExtendedScanRules>(stored.copy());
  rules->setExactMatchEnabled(exact);
  rules->setExactAudioContentMatchEnabled(audioContent);
  rules->setDirectoriesMatchEnabled(folders);
  rules->setApplicationsMatchEnabled(apps);
  rules->setSimilarImagesMatchAllowed(similarImages);
  rules->setSimilarAudioMatchAllowed(similarAudio);
  rules->setSimilarsDetectionEnabled(similarImages || similarAudio);
  if (everySize) rules->setSizeThresholdOption(SizeThresholdOption::size(0));
  return rules;
}

}  // namespace zarnik::gui
