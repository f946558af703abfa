#include "matching/cached_reading.h"

#include "platform/file_state.h"

namespace zarnik {
namespace {

// Longer than the coarsest clock a file system keeps times by (FAT: 2 seconds; the kernel's
// tick elsewhere): a write in the same tick as the look would leave the key as it was.
constexpr auto kUnsettledFor = std::chrono::seconds(2);

// The database's rows cost what reading a file under 64 KiB does: only the table of small files
// holds those (their first blocks and exact digests; empty files have neither).
bool worthLookingUp(ByteCount size, HashKind kind) {
  return kind == HashKind::exact ? size > 0 : size > SmallFileDigestTable::kLargestFile;
}

DigestCacheKey keyOf(const FileState& state) {
  return {state.identity, state.size, state.modified, state.changed};
}

}  // namespace

CachedReading::CachedReading(std::shared_ptr<DigestCache> cache) : cache_(std::move(cache)) {}

CachedReading::Look CachedReading::look(const std::string& path, ByteCount expectedSize) const {
  return isOn() ? lookAt(path, expectedSize, false) : Look{};
}

CachedReading::Look CachedReading::lookForContent(const MatchingNode& node, HashKind kind) const {
  const NodeAttributes& attributes = node.attributes();
  if (!isOn() || !attributes.fileResourceID || !worthLookingUp(attributes.exactSize, kind))
    return {};
  const DigestCacheKey key{*attributes.fileResourceID, attributes.exactSize,
                           attributes.dateOfModification, attributes.dateOfStatusChange};
  return lookUp(key, dateNow(), kind == HashKind::exact && SmallFileDigestTable::holds(key.size));
}

CachedReading::Look CachedReading::lookForContent(const std::string& path,
                                                  ByteCount expectedSize) const {
  if (!isOn() || !worthLookingUp(expectedSize, HashKind::exact)) return {};
  return lookAt(path, expectedSize, SmallFileDigestTable::holds(expectedSize));
}

CachedReading::Look CachedReading::lookAt(const std::string& path, ByteCount expectedSize,
                                          bool inSmallFileTable) const {
  const Date readStart = dateNow();
  auto state = regularFileStateOf(path);
  // A file that is gone or changed is read anyway, which reports it as such.
  if (state.hasError() || state.value().size != expectedSize) return {};
  return lookUp(keyOf(state.value()), readStart, inSmallFileTable);
}

CachedReading::Look CachedReading::keptBy(const FileState& opened, Date readStart) const {
  if (!isOn() || !worthLookingUp(opened.size, HashKind::exact) ||
      !cache_->keepsFilesOf(opened.identity.device))
    return {};
  return Look{keyOf(opened), std::nullopt, readStart, SmallFileDigestTable::holds(opened.size)};
}

CachedReading::Look CachedReading::lookUp(const DigestCacheKey& key, Date readStart,
                                          bool inSmallFileTable) const {
  if (!cache_->keepsFilesOf(key.file.device)) return {};
  Look look{key, std::nullopt, readStart, inSmallFileTable};
  if (!inSmallFileTable) {
    look.known = cache_->lookup(key);
  } else if (auto known = cache_->lookupSmallFile(key)) {
    look.known.emplace();
    look.known->contentPrefixHash = known->prefixHash;
    look.known->sampledDigest = known->digest;
  }
  return look;
}

bool CachedReading::mayRecord(const Look& look) const {
  return look.key && cache_ && look.key->changed + kUnsettledFor < look.readStart;
}

void CachedReading::recordPrefix(const Look& look, std::uint64_t prefix) const {
  if (!mayRecord(look)) return;
  if (look.inSmallFileTable) {
    cache_->recordSmallFile(*look.key, {prefix, std::nullopt});
  } else {
    cache_->recordContentPrefixHash(*look.key, prefix);
  }
}

void CachedReading::recordDigest(const Look& look, HashKind kind,
                                 const ExactFileHash& digest) const {
  if (!mayRecord(look)) return;
  if (look.inSmallFileTable && kind == HashKind::exact) {
    cache_->recordSmallFile(*look.key, {std::nullopt, digest});
  } else if (kind == HashKind::exactAudioContent) {
    cache_->recordAudioDigest(*look.key, digest);
  } else {
    cache_->recordSampledDigest(*look.key, digest);
  }
}

void CachedReading::recordPicture(const Look& look, const ImageFacts& facts,
                                  bool hashesIncluded) const {
  if (mayRecord(look)) cache_->recordPicture(*look.key, facts, hashesIncluded);
}

std::optional<ExactFileHash> CachedReading::digestOf(const Look& look, HashKind kind) {
  if (!look.known) return std::nullopt;
  return kind == HashKind::exactAudioContent ? look.known->audioDigest : look.known->sampledDigest;
}

}  // namespace zarnik
