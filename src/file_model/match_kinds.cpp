#include "file_model/match_kinds.h"

namespace zarnik {

MatchKinds MatchKinds::of(const ExtendedScanRules& rules) {
  MatchKinds kinds;
  kinds.exact = rules.exactMatchEnabled();
  kinds.audioContent = rules.exactAudioContentMatchEnabled();
  kinds.folders = rules.directoriesMatchEnabled();
  kinds.apps = rules.applicationsMatchEnabled();
  kinds.similarImages = rules.similarImagesMatchEnabled();
  kinds.similarAudio = rules.similarAudioMatchEnabled();
  return kinds;
}

void MatchKinds::applyTo(ExtendedScanRules& rules) const {
  rules.setExactMatchEnabled(exact);
  rules.setExactAudioContentMatchEnabled(audioContent);
  rules.setDirectoriesMatchEnabled(folders);
  rules.setApplicationsMatchEnabled(apps);
  rules.setSimilarImagesMatchAllowed(similarImages);
  rules.setSimilarAudioMatchAllowed(similarAudio);
  rules.setSimilarsDetectionEnabled(similarImages || similarAudio);
}

}  // namespace zarnik
