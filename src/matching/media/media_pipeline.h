// MediaPipeline: the content side of similar-picture and audio matching for one scan. Pictures
// are decoded, and audio files' tags and audio data located, on the scan's work queue (a picture
// takes milliseconds); what is learnt goes to the engine, counted as work in flight until then.
#pragma once

#include "matching/cached_reading.h"
#include "matching/content_work.h"
#include "matching/match_candidates_provider.h"
#include "matching/matching_settings.h"

#include <memory>

namespace zarnik {

class MediaPipeline : public std::enable_shared_from_this<MediaPipeline> {
 public:
  static std::shared_ptr<MediaPipeline> make(
      ContentWork work, MatchingSettings settings,
      std::shared_ptr<EquivalenceCandidatesProviderImpl> engine);

  // Whether the node is matched by this pipeline: such a node keeps its identity everywhere,
  // since its groups' claims must reach that very object.
  [[nodiscard]] bool holds(const MatchingNode& node) const;
  // Queues the reading the node needs, if any.
  void take(const MatchingNodePtr& node);
  // A picture's facts for the nodes' factory: nothing once the scan is stopped (a decode in
  // progress is bounded by the decoder itself).
  [[nodiscard]] ImageFacts pictureFacts(const MatchingNode& node, bool wantsHashes) const;

 private:
  MediaPipeline(ContentWork work, MatchingSettings settings,
                std::shared_ptr<EquivalenceCandidatesProviderImpl> engine)
      : work_(std::move(work)),
        cache_(work_.cache),
        settings_(std::move(settings)),
        engine_(std::move(engine)) {}
  void matchPerceptually(const MatchingNodePtr& node);
  void matchAudio(const MatchingNodePtr& node);
  // Runs `read` on the work queue, counted as a file to read and as work in flight.
  void schedule(const MatchingNodePtr& node,
                std::function<void(MediaPipeline&, const MatchingNodePtr&)> read);

  ContentWork work_;
  CachedReading cache_;
  const MatchingSettings settings_;
  std::shared_ptr<EquivalenceCandidatesProviderImpl> engine_;
};

}  // namespace zarnik
