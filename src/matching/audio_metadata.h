// Similar audio by its metadata: title, album and artist compared by normalised edit distance
// over user-perceived characters (canonically equivalent texts are equal, case does not count),
// and durations within 3 seconds. Tracks joined by close pairs form groups through the connected
// parts of that graph.
#pragma once

#include "file_model/media_info.h"
#include "matching/fuzzy_accumulator.h"
#include "matching/match_criterion.h"

#include <optional>
#include <string>
#include <vector>

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

  AudioMetadataEquivalenceInfo(std::optional<std::string_view> title,
                               std::optional<std::string_view> album,
                               std::optional<std::string_view> artist, double duration);
  // A file's tags and length.
  static std::shared_ptr<AudioMetadataEquivalenceInfo> of(const AudioInfo& info);
  // A music-library track: its name is the title. Nothing when the library gives no length.
  static std::shared_ptr<AudioMetadataEquivalenceInfo> of(const ITunesItemInfo& item);
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

class MetadataAudioEquivalenceCandidatesAccumulator final
    : public GeneralFuzzyEquivalenceCandidatesAccumulator {
 public:
  MetadataAudioEquivalenceCandidatesAccumulator(EquivalenceCandidatesAccumulatorDelegate* delegate,
                                                double threshold)
      : GeneralFuzzyEquivalenceCandidatesAccumulator(EquivalenceKind::similarAudio, delegate),
        threshold_(threshold) {}
  ~MetadataAudioEquivalenceCandidatesAccumulator() override { stopGraphBuilding(); }

 private:
  [[nodiscard]] bool accepts(const EquivalenceInfo& info) const override;
  std::vector<std::uint32_t> earlierNeighbours(std::uint32_t vertex) override;
  [[nodiscard]] const AudioMetadataEquivalenceInfo& trackOf(std::uint32_t vertex) const {
    return static_cast<const AudioMetadataEquivalenceInfo&>(infoOf(vertex));
  }

  double threshold_;
  // Tracks by 3-second slices of their duration: only neighbouring slices can be close.
  std::map<std::int64_t, std::vector<std::uint32_t>> byDurationSlice_;
};

}  // namespace zarnik
