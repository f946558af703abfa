#include "matching/media/media_pipeline.h"

#include "matching/media/audio_facts.h"
#include "matching/media/picture_facts.h"
#include "matching/perceptual_image_hash.h"

namespace zarnik {

std::shared_ptr<MediaPipeline> MediaPipeline::make(
    ContentWork work, MatchingSettings settings,
    std::shared_ptr<EquivalenceCandidatesProviderImpl> engine) {
  return std::shared_ptr<MediaPipeline>(
      new MediaPipeline(std::move(work), std::move(settings), std::move(engine)));
}

bool MediaPipeline::holds(const MatchingNode& node) const {
  return isComparedPicture(node, settings_) || isMatchedAsAudio(node, settings_);
}

void MediaPipeline::take(const MatchingNodePtr& node) {
  if (isComparedPicture(*node, settings_)) matchPerceptually(node);
  if (isMatchedAsAudio(*node, settings_)) matchAudio(node);
}

ImageFacts MediaPipeline::pictureFacts(const MatchingNode& node, bool wantsHashes) const {
  if (!work_.canContinue()) return {};
  const auto look =
      cache_.isOn() ? cache_.look(node.path(), node.attributes().exactSize) : CachedReading::Look{};
  if (look.known && look.known->picture && (look.known->picture->hashesIncluded || !wantsHashes)) {
    return look.known->picture->facts;
  }
  auto facts = readPictureFacts(node, wantsHashes, work_.readingPriority());
  // A picture that could not be read now is tried again next time.
  if (facts.info) cache_.recordPicture(look, facts, wantsHashes);
  return facts;
}

void MediaPipeline::schedule(const MatchingNodePtr& node,
                             std::function<void(MediaPipeline&, const MatchingNodePtr&)> read) {
  work_.inFlight->enter();
  work_.progress->announce(1, 0);
  work_.queue->addOperation([self = shared_from_this(), node, read = std::move(read)] {
    if (self->work_.canContinue()) {
      self->work_.progress->begin([&node] { return node->path(); }, node->attributes().exactSize);
      read(*self, node);
      self->work_.progress->end(1, 0);
    } else {
      self->work_.progress->skip(1, 0);
    }
    self->work_.inFlight->leave();
  });
}

void MediaPipeline::matchPerceptually(const MatchingNodePtr& node) {
  schedule(node, [](MediaPipeline& self, const MatchingNodePtr& picture) {
    // The size from the header first: a picture too small to compare (icons, most of what
    // /usr/share holds) is never decoded.
    const auto info = picture->imageInfo();
    const ImageSize box = self.settings_.smallestComparedImage;
    if (!info || (info->size.width < box.width && info->size.height < box.height)) return;
    const auto hashes = picture->imageHash();
    if (hashes.empty()) return;
    self.engine_->add(
        picture,
        std::make_shared<PerceptualImageEquivalenceInfo>(hashes, static_cast<int>(info->size.width),
                                                         static_cast<int>(info->size.height)),
        self.work_.inFlight);
  });
}

void MediaPipeline::matchAudio(const MatchingNodePtr& node) {
  schedule(node, [](MediaPipeline& self, const MatchingNodePtr& track) {
    std::vector<std::pair<MatchingNodePtr, EquivalenceInfoPtr>> items;
    for (auto& info : readAudioInformation(*track, self.settings_, self.work_.readingPriority())) {
      items.emplace_back(track, std::move(info));
    }
    self.engine_->addBatch(std::move(items), self.work_.inFlight);
  });
}

}  // namespace zarnik
