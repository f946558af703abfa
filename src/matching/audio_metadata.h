// Similar audio by its metadata: title, album and artist compared by normalised edit distance
// over user-perceived characters (canonically equivalent texts are equal, case does not count),
// and durations within 3 seconds. Tracks joined by close pairs form groups through the connected
// parts of that graph.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "matching/equivalence_candidates_accumulator.h"
#include "matching/equivalence_info.h"

namespace zarnik {

// A text as a list of user-perceived characters (grapheme clusters), composed and lower-cased,
// trimmed of NUL, line feeds, tabs and spaces at both ends.
using PerceivedText = std::vector<std::string>;
[[nodiscard]] PerceivedText perceivedText(std::string_view text);

// Levenshtein distance with unit costs, and the longer length.
struct EditDistance {
  size_t distance = 0;
  size_t maxLength = 0;
};
[[nodiscard]] EditDistance editDistance(const PerceivedText& a, const PerceivedText& b);
// 0 when equal, else distance over the longer length (1 when both are empty... equal then).
[[nodiscard]] double normalizedDistance(const PerceivedText& a, const PerceivedText& b);
// A lower bound from the lengths alone.
[[nodiscard]] double estimatedDistance(const PerceivedText& a, const PerceivedText& b);

class AudioMetadataEquivalenceInfo final : public EquivalenceInfo {
 public:
  static constexpr double kDurationWindow = 3.0;

  AudioMetadataEquivalenceInfo(std::optional<std::string_view> title, std::optional<std::string_view> album,
                               std::optional<std::string_view> artist, double duration);
  [[nodiscard]] EquivalenceKind kind() const override { return EquivalenceKind::similarAudio; }
  [[nodiscard]] double duration() const { return duration_; }
  // Infinite when the durations are more than 3 s apart or a title is absent.
  [[nodiscard]] double estimatedDistance(const AudioMetadataEquivalenceInfo& other) const;
  // The sum of the normalised distances of the fields both have.
  [[nodiscard]] double metadataDistance(const AudioMetadataEquivalenceInfo& other) const;

 private:
  std::optional<PerceivedText> title_;
  std::optional<PerceivedText> album_;
  std::optional<PerceivedText> artist_;
  double duration_;
};

class MetadataAudioEquivalenceCandidatesAccumulator final : public EquivalenceCandidatesAccumulator {
 public:
  MetadataAudioEquivalenceCandidatesAccumulator(EquivalenceCandidatesAccumulatorDelegate* delegate, double threshold)
      : delegate_(delegate), threshold_(threshold) {}

  [[nodiscard]] EquivalenceKind kind() const override { return EquivalenceKind::similarAudio; }
  [[nodiscard]] bool isHeavy() const override { return true; }
  void add(const MatchingNodePtr& node, const EquivalenceInfoPtr& info) override;
  void update(const MatchingNodePtr& node, const EquivalenceInfoPtr& info, bool addIfAbsent) override;
  void removeNodes(const std::set<std::string>& urls) override;
  void cancel() override { canContinue_ = false; }
  void finish(EquivalenceCandidatesMatchingContext& context) override;
  std::vector<EquivalenceCandidatePtr> merge(EquivalenceCandidatesAccumulator& other,
                                             const std::set<std::string>* skippedURLs) override;
  void collectNodesByPath(std::map<std::string, MatchingNodePtr>& nodes) const override;

 private:
  struct Track {
    DuplicateCandidatePtr membership;
    const AudioMetadataEquivalenceInfo* info;
    bool removed = false;
  };
  EquivalenceCandidatesAccumulatorDelegate* delegate_;
  double threshold_;
  bool canContinue_ = true;
  std::vector<Track> tracks_;
  // Tracks by 3-second slices of their duration: only neighbouring slices can be close.
  std::map<std::int64_t, std::vector<std::uint32_t>> byDurationSlice_;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> edges_;
};

}  // namespace zarnik
