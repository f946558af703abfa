// CachedReading: the digest cache as one scan's readers use it. A file's state is taken before
// its content is read, so that a change while it is read leaves the record behind; a file
// changed within the last two seconds before the read is not recorded at all, since change
// times move in ticks (two seconds on FAT) and a second write in the same tick would go unseen.
#pragma once

#include "matching/digest_cache.h"
#include "matching/match_criterion.h"

#include <memory>
#include <optional>
#include <string>

namespace zarnik {

class CachedReading {
 public:
  // Without a cache (or with the disabled one) nothing is found and nothing kept.
  explicit CachedReading(std::shared_ptr<DigestCache> cache);
  [[nodiscard]] bool isOn() const { return cache_ && cache_->isEnabled(); }

  struct Look {
    std::optional<DigestCacheKey> key;  // none: the file is not cached now
    std::optional<DigestCacheValues> known;
    Date readStart;
  };
  // What is known of the file at `path` while it is still `expectedSize` bytes long.
  [[nodiscard]] Look look(const std::string& path, ByteCount expectedSize) const;

  void recordPrefix(const Look& look, std::uint64_t prefix) const;
  void recordDigest(const Look& look, HashKind kind, const ExactFileHash& digest) const;
  void recordPicture(const Look& look, const ImageFacts& facts, bool hashesIncluded) const;

  // The digest of `kind` a look found.
  [[nodiscard]] static std::optional<ExactFileHash> digestOf(const Look& look, HashKind kind);

 private:
  [[nodiscard]] bool mayRecord(const Look& look) const;
  std::shared_ptr<DigestCache> cache_;
};

}  // namespace zarnik
