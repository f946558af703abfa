#include "matching/audio_metadata.h"

#include <utf8proc.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>


namespace zarnik {
namespace {

bool isTrimmed(char c) { return c == '\0' || c == '\n' || c == '\t' || c == ' '; }

// Composed (NFC) and case-folded, so that canonically equivalent texts compare equal.
std::string foldedForm(std::string_view text) {
  utf8proc_uint8_t* mapped = nullptr;
  const auto length = utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(text.data()),
                                   static_cast<utf8proc_ssize_t>(text.size()), &mapped,
                                   static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE | UTF8PROC_CASEFOLD));
  if (length < 0) return std::string(text);  // not UTF-8: compared byte by byte
  std::string out(reinterpret_cast<const char*>(mapped), static_cast<size_t>(length));
  std::free(mapped);
  return out;
}

}  // namespace

PerceivedText perceivedText(std::string_view text) {
  while (!text.empty() && isTrimmed(text.front())) text.remove_prefix(1);
  while (!text.empty() && isTrimmed(text.back())) text.remove_suffix(1);
  const std::string folded = foldedForm(text);
  PerceivedText characters;
  utf8proc_int32_t state = 0;
  utf8proc_int32_t previous = -1;
  const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(folded.data());
  for (utf8proc_ssize_t at = 0; at < static_cast<utf8proc_ssize_t>(folded.size());) {
    utf8proc_int32_t codepoint = 0;
    utf8proc_ssize_t length = utf8proc_iterate(bytes + at, static_cast<utf8proc_ssize_t>(folded.size()) - at, &codepoint);
    if (length <= 0) {  // a stray byte is a character of its own
      length = 1;
      codepoint = -1;
    }
    const bool startsCharacter =
        previous < 0 || codepoint < 0 || utf8proc_grapheme_break_stateful(previous, codepoint, &state);
    const std::string piece(folded, static_cast<size_t>(at), static_cast<size_t>(length));
    if (startsCharacter || characters.empty()) {
      characters.push_back(piece);
    } else {
      characters.back() += piece;
    }
    previous = codepoint;
    at += length;
  }
  return characters;
}

EditDistance editDistance(const PerceivedText& a, const PerceivedText& b) {
  const size_t maxLength = std::max(a.size(), b.size());
  if (a.empty()) return {b.size(), maxLength};
  if (b.empty()) return {a.size(), maxLength};
  std::vector<size_t> previous(b.size() + 1);
  std::vector<size_t> current(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) previous[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    current[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t substitution = previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
      current[j] = std::min({previous[j] + 1, current[j - 1] + 1, substitution});
    }
    std::swap(previous, current);
  }
  return {previous[b.size()], maxLength};
}

double normalizedDistance(const PerceivedText& a, const PerceivedText& b) {
  if (a == b) return 0;
  const EditDistance measured = editDistance(a, b);
  return measured.maxLength < 1 ? 1.0 : static_cast<double>(measured.distance) / static_cast<double>(measured.maxLength);
}

double estimatedDistance(const PerceivedText& a, const PerceivedText& b) {
  const size_t larger = std::max(a.size(), b.size());
  const size_t smaller = std::min(a.size(), b.size());
  return larger < 1 ? 1.0 : static_cast<double>(larger - smaller) / static_cast<double>(larger);
}

std::shared_ptr<AudioMetadataEquivalenceInfo> AudioMetadataEquivalenceInfo::of(const AudioInfo& info) {
  return std::make_shared<AudioMetadataEquivalenceInfo>(info.title, info.album, info.artist, info.duration);
}

std::shared_ptr<AudioMetadataEquivalenceInfo> AudioMetadataEquivalenceInfo::of(const ITunesItemInfo& item) {
  if (!item.duration) return nullptr;
  return std::make_shared<AudioMetadataEquivalenceInfo>(item.name, item.album, item.artist, *item.duration);
}

AudioMetadataEquivalenceInfo::AudioMetadataEquivalenceInfo(std::optional<std::string_view> title,
                                                           std::optional<std::string_view> album,
                                                           std::optional<std::string_view> artist, double duration)
    : duration_(duration) {
  if (title) title_ = perceivedText(*title);
  if (album) album_ = perceivedText(*album);
  if (artist) artist_ = perceivedText(*artist);
}

double AudioMetadataEquivalenceInfo::estimatedDistance(const AudioMetadataEquivalenceInfo& other) const {
  if (std::abs(duration_ - other.duration_) > kDurationWindow || !title_ || !other.title_) {
    return std::numeric_limits<double>::infinity();
  }
  double estimate = zarnik::estimatedDistance(*title_, *other.title_);
  if (album_ && other.album_) estimate += zarnik::estimatedDistance(*album_, *other.album_);
  if (artist_ && other.artist_) estimate += zarnik::estimatedDistance(*artist_, *other.artist_);
  return estimate;
}

double AudioMetadataEquivalenceInfo::metadataDistance(const AudioMetadataEquivalenceInfo& other) const {
  double distance = 0;
  if (title_ && other.title_) distance += normalizedDistance(*title_, *other.title_);
  if (album_ && other.album_) distance += normalizedDistance(*album_, *other.album_);
  if (artist_ && other.artist_) distance += normalizedDistance(*artist_, *other.artist_);
  return distance;
}

bool MetadataAudioEquivalenceCandidatesAccumulator::accepts(const EquivalenceInfo& info) const {
  const auto* track = dynamic_cast<const AudioMetadataEquivalenceInfo*>(&info);
  return track != nullptr && std::isfinite(track->duration());
}

std::vector<std::uint32_t> MetadataAudioEquivalenceCandidatesAccumulator::earlierNeighbours(std::uint32_t vertex) {
  const AudioMetadataEquivalenceInfo& track = trackOf(vertex);
  std::vector<std::uint32_t> neighbours;
  const auto slice = static_cast<std::int64_t>(std::floor(track.duration() / AudioMetadataEquivalenceInfo::kDurationWindow));
  for (std::int64_t near = slice - 1; near <= slice + 1; ++near) {
    auto found = byDurationSlice_.find(near);
    if (found == byDurationSlice_.end()) continue;
    for (std::uint32_t earlier : found->second) {
      // The estimate is cheap and bounds the distance from below: a failing one ends the pair.
      if (trackOf(earlier).estimatedDistance(track) > threshold_) continue;
      if (trackOf(earlier).metadataDistance(track) <= threshold_) neighbours.push_back(earlier);
    }
  }
  byDurationSlice_[slice].push_back(vertex);
  return neighbours;
}

}  // namespace zarnik
