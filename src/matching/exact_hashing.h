// Content digests that confirm exact duplicates. Large files are sampled: at most 4 evenly
// spaced chunks of 1 MiB are read, whatever the size; files up to 4 MiB and every WAV file
// are read whole. The digest is SHA-1 (OpenSSL). Every read happens inside a disk-accessing
// session, with pread on a descriptor opened O_NOATIME where the file system allows it.
#pragma once

#include "base/result.h"
#include "foundation/cancellation_token.h"
#include "foundation/thread_pool.h"
#include "matching/match_criterion.h"
#include "matching/matching_node.h"
#include "platform/file_state.h"

#include <openssl/evp.h>

#include <optional>
#include <string>
#include <vector>

namespace zarnik {

struct FileServicesError {
  static constexpr std::string_view kDomain = "FileServicesError.FileServicesError";
  static constexpr int hashingFailedForUnknownReason = -31022;
  static constexpr int exactHashingFailedToGainAccess = -31051;
  static constexpr int exactHashingFailedToRead = -31052;
  static constexpr int exactHashingFailedToAnalyze = -31053;
  static constexpr int exactAudioHashingFailedToGainAccess = -31071;
  static constexpr int exactAudioHashingFailedToOpen = -31072;
  static constexpr int exactAudioHashingFailedToFetchContentSize = -31073;
  static constexpr int exactAudioHashingFailedToAnalyze = -31074;
  static constexpr int exactAudioHashingFailedToRead = -31075;

  static Error make(int code, std::string path = {});
};

struct ByteRange {
  ByteCount start = 0;
  ByteCount end = 0;  // exclusive
  friend bool operator==(const ByteRange&, const ByteRange&) = default;
};

struct FileRangeAnalytics {
  std::vector<ByteRange> rangesToRead;
  ByteCount chunkSize = 0;
  ByteCount totalSize = 0;

  // Nothing for an unknown or empty size.
  static std::optional<FileRangeAnalytics> make(std::string_view path, int chunksPerFile,
                                                ByteCount chunkSizeMultiplier, ByteCount totalSize);
  [[nodiscard]] bool readsWholeFile() const;
};

// An incremental SHA-1 that yields its digest once.
class ZKExactHashingHelper {
 public:
  ZKExactHashingHelper();
  ~ZKExactHashingHelper();
  ZKExactHashingHelper(const ZKExactHashingHelper&) = delete;
  ZKExactHashingHelper& operator=(const ZKExactHashingHelper&) = delete;

  void updateWithBuffer(const void* data, size_t size);
  std::array<std::uint8_t, 20> buildDigest();
  [[nodiscard]] bool isValid() const { return context_ != nullptr; }

 private:
  EVP_MD_CTX* context_;
};

struct ExactFileHashingServiceRequest {
  std::string url;
  int chunksPerFile = 4;
  ByteCount chunkSizeMultiplier = 1;
  std::optional<ByteCount> exactFileSize;
  // Looked at before each block read: a cancelled digest stops within one block (1 MiB), also
  // in a file read whole, and fails with the cancellation error.
  std::shared_ptr<const CancellationToken> cancellation;
  // The disk-accessing session's priority: background reads take one thread a disk.
  QualityOfService priority = QualityOfService::utility;
};

// The sampled digest of a file. A file whose size is no longer the expected one fails: it
// changed since it was listed.
[[nodiscard]] Result<ExactFileHash> calculateExactFileHash(
    const ExactFileHashingServiceRequest& request);

// The digest of the request's file, and whether `twinPath` (listed with the same size) holds
// the same bytes wherever that digest reads: its digest is then the same, found by comparing,
// which costs a tenth of digesting. A twin that differs, or cannot be read, is not equal.
struct TwinDigest {
  ExactFileHash hash;
  bool twinIsEqual = false;
};
[[nodiscard]] Result<TwinDigest> calculateExactFileHashWithTwin(
    const ExactFileHashingServiceRequest& request, const std::string& twinPath);
// Whether the request's file holds what `referencePath` holds wherever the digest reads, the
// reference being as it was when it was digested (last modified at `referenceModified`): the
// file's digest is then the reference's, learnt without digesting. Fails as digesting would.
[[nodiscard]] Result<bool> hasSampledContentOf(const ExactFileHashingServiceRequest& request,
                                               const std::string& referencePath,
                                               Date referenceModified);

// A quick fingerprint of a file's first block, which every sampled digest reads too: files
// whose first blocks differ cannot have equal digests, so most files that merely share a size
// are told apart by reading 4 KiB instead of up to 4 MiB. Not a digest: equal fingerprints
// prove nothing.
inline constexpr ByteCount kContentPrefixSize = 4096;
// `opened`, when given, receives the file's state as found once it is open and before it is
// read: what its fingerprint may be kept by.
[[nodiscard]] Result<std::uint64_t> calculateContentPrefixHash(
    const std::string& path, ByteCount expectedSize,
    QualityOfService priority = QualityOfService::utility,
    std::optional<FileState>* opened = nullptr);

// The digest of a file's audio data alone (its tags and container metadata left out), sampled
// like a file's in chunks of 4 MiB; the size is the audio data's.
[[nodiscard]] Result<ExactFileHash> calculateExactAudioHash(
    const std::string& path, const std::shared_ptr<const CancellationToken>& cancellation = nullptr,
    QualityOfService priority = QualityOfService::utility);

// The sampled digest's request for a node: its path and its size when listed.
[[nodiscard]] ExactFileHashingServiceRequest exactHashingRequest(
    const MatchingNode& node, std::shared_ptr<const CancellationToken> cancellation = nullptr,
    QualityOfService priority = QualityOfService::utility);

// The bytes the sampled digest of a file of `size` reads (the whole file when it is small, or a
// WAV file); `size` itself when it cannot be digested.
[[nodiscard]] ByteCount sampledDigestReadSize(std::string_view path, ByteCount size);

class ExactHashCalculator {
 public:
  // Hashes the node, stores the hash in it and returns the information of the hash kind.
  // `cancellation` stops the reading between blocks.
  static Result<EquivalenceInfoPtr> createEquivalenceInfo(
      MatchingNode& node, HashKind kind,
      const std::shared_ptr<const CancellationToken>& cancellation = nullptr,
      QualityOfService priority = QualityOfService::utility);
  // The exact digest of `node`, also given to `twin` (a file of its size) when the twin holds
  // the same bytes; `twinInfo` is then set.
  static Result<EquivalenceInfoPtr> createEquivalenceInfoWithTwin(
      MatchingNode& node, MatchingNode& twin, EquivalenceInfoPtr& twinInfo,
      const std::shared_ptr<const CancellationToken>& cancellation = nullptr,
      QualityOfService priority = QualityOfService::utility);
};

// The automatic size threshold: the size under which the groups hold only a small share
// (`maximumSizeFractionToSacrifice`) of the found size while hiding many small files.
class ThresholdEvaluator {
 public:
  static ByteCount automaticThreshold(std::vector<ByteCount> sizes,
                                      double maximumSizeFractionToSacrifice);
};

}  // namespace zarnik
