// CachedReading: the digest cache as one scan's readers use it. A file's state is taken before
// its content is read, so that a change while it is read leaves the record behind; a file
// changed within the last two seconds before the read is not recorded at all, since change
// times move in ticks (two seconds on FAT) and a second write in the same tick would go unseen.
#pragma once

#include "matching/digest_cache.h"
#include "matching/match_criterion.h"
#include "platform/file_state.h"

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
    bool inSmallFileTable = false;  // the key's file is kept in the table of small files
  };
  // What is known of the file at `path` while it is still `expectedSize` bytes long.
  [[nodiscard]] Look look(const std::string& path, ByteCount expectedSize) const;
  // What is known of the content of `kind` (first block, digest) of the node's file, by the
  // state it had when listed: no system call. A file changed after it was listed is matched as
  // it was then, as if it had been read at once (cleaning compares contents again before it
  // removes anything); what is read of it is kept by that old state, which the next listing no
  // longer shows.
  [[nodiscard]] Look lookForContent(const MatchingNode& node, HashKind kind) const;
  // The same for a file that has no node now (one parked by its folder and name).
  [[nodiscard]] Look lookForContent(const std::string& path, ByteCount expectedSize) const;

  // Whether the cache knows any small file: a first scan need not look them up, only keep them.
  [[nodiscard]] bool knowsSmallFiles() const { return isOn() && cache_->knowsSmallFiles(); }
  // A look that knows nothing but what a file's content read from `readStart` on may be kept by:
  // its state once it was open.
  [[nodiscard]] Look keptBy(const FileState& opened, Date readStart) const;

  void recordPrefix(const Look& look, std::uint64_t prefix) const;
  void recordDigest(const Look& look, HashKind kind, const ExactFileHash& digest) const;
  void recordPicture(const Look& look, const ImageFacts& facts, bool hashesIncluded) const;

  // The digest of `kind` a look found.
  [[nodiscard]] static std::optional<ExactFileHash> digestOf(const Look& look, HashKind kind);

 private:
  [[nodiscard]] bool mayRecord(const Look& look) const;
  // What is known of the file at `path` by its state now, while it is `expectedSize` bytes long.
  [[nodiscard]] Look lookAt(const std::string& path, ByteCount expectedSize,
                            bool inSmallFileTable) const;
  [[nodiscard]] Look lookUp(const DigestCacheKey& key, Date readStart, bool inSmallFileTable) const;
  std::shared_ptr<DigestCache> cache_;
};

}  // namespace zarnik
