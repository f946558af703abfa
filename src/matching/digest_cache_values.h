// The key and values of the digest cache's entries (see digest_cache.h).
#pragma once

#include "base/date.h"
#include "base/units.h"
#include "matching/exact_file_hash.h"
#include "matching/matching_node.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace zarnik {

// The state of a file an entry stands for. `changed` is the status-change time (st_ctime),
// which every write moves and no one can set back.
struct DigestCacheKey {
  FileId file;
  ByteCount size = 0;
  Date modified;
  Date changed;

  friend bool operator==(const DigestCacheKey&, const DigestCacheKey&) = default;
};

// A picture's facts as picture processing learnt them. `hashesIncluded` says whether the
// perceptual hashes were computed: then an empty `facts.hashes` means none could be.
struct CachedPictureFacts {
  ImageFacts facts;
  bool hashesIncluded = false;
};

// What is known of one file's content; each part is absent until a scan recorded it.
struct DigestCacheValues {
  std::optional<std::uint64_t> contentPrefixHash;  // calculateContentPrefixHash
  std::optional<ExactFileHash> sampledDigest;      // calculateExactFileHash
  std::optional<ExactFileHash> audioDigest;        // calculateExactAudioHash
  // Shared, never changed: a picture's facts are 300 bytes that most files do not have.
  std::shared_ptr<const CachedPictureFacts> picture;

  // Takes every part `newer` has. Picture hashes already known stay when `newer` has the
  // picture's facts alone.
  void mergeFrom(const DigestCacheValues& newer);
  [[nodiscard]] bool isEmpty() const;
};

// Values to add to a file's entry, or, for a hit, only its last-used day to refresh.
struct DigestCacheRecord {
  DigestCacheKey key;
  DigestCacheValues values;
  bool touchOnly = false;
};

}  // namespace zarnik
