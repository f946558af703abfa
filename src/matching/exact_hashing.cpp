#include "matching/exact_hashing.h"

#include "base/path_components.h"
#include "foundation/disk_access_manager.h"
#include "platform/audio_data_locator.h"
#include "platform/file_descriptor.h"
#include "platform/file_opening.h"
#include "platform/file_state.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <map>
#include <span>
#include <utility>

namespace zarnik {
namespace {

constexpr ByteCount kMebibyte = 1'048'576;
constexpr ByteCount kWholeWavLimit = 4'294'967'295;
constexpr ByteCount kWavChunk = 2'147'483'647;
constexpr size_t kReadBufferSize = 1 << 20;

const char* descriptionOf(int code) {
  switch (code) {
    case FileServicesError::hashingFailedForUnknownReason:
      return "Hashing failed for unknown reason";
    case FileServicesError::exactHashingFailedToGainAccess:
      return "Exact hashing failed to gain access";
    case FileServicesError::exactHashingFailedToRead:
      return "Exact hashing failed to read";
    case FileServicesError::exactHashingFailedToAnalyze:
      return "Exact hashing failed to analyze";
    case FileServicesError::exactAudioHashingFailedToGainAccess:
      return "Exact audio hashing failed to gain access";
    case FileServicesError::exactAudioHashingFailedToOpen:
      return "Exact audio hashing failed to open";
    case FileServicesError::exactAudioHashingFailedToFetchContentSize:
      return "Exact audio hashing failed to fatch content size";
    case FileServicesError::exactAudioHashingFailedToAnalyze:
      return "Exact audio hashing failed to analyze";
    case FileServicesError::exactAudioHashingFailedToRead:
      return "Exact audio hashing failed to read";
    default:
      return "Hashing failed for unknown reason";
  }
}

// Reads [start, end) into the digest; false with errno on failure or a short file.
}  // namespace

Error FileServicesError::make(int code, std::string path) {
  return Error{std::string(kDomain), code, descriptionOf(code), std::move(path), {}};
}

std::optional<FileRangeAnalytics> FileRangeAnalytics::make(std::string_view path, int chunksPerFile,
                                                           ByteCount chunkSizeMultiplier,
                                                           ByteCount totalSize) {
  if (totalSize < 1) return std::nullopt;
  const std::string extension = lowercasedPathExtension(path);
  FileRangeAnalytics analytics;
  analytics.totalSize = totalSize;
  ByteCount chunksToRead = 0;
  ByteCount chunkCount = 0;
  if (extension == "wav") {
    analytics.chunkSize = totalSize < kWholeWavLimit ? totalSize : kWavChunk;
    chunkCount = (totalSize + analytics.chunkSize - 1) / analytics.chunkSize;
    chunksToRead = chunkCount;
  } else {
    analytics.chunkSize = chunkSizeMultiplier * kMebibyte;
    chunkCount = (totalSize + analytics.chunkSize - 1) / analytics.chunkSize;
    chunksToRead = std::min<ByteCount>(chunksPerFile, chunkCount);
  }
  std::vector<ByteCount> indices;
  if (chunksToRead < 2) {
    indices.push_back(0);
  } else {
    const ByteCount step = chunkCount / (chunksToRead - 1);
    for (ByteCount i = 0; i < chunksToRead; ++i)
      indices.push_back(std::min(i * step, chunkCount - 1));
  }
  for (ByteCount index : indices) {
    const ByteCount start = index * analytics.chunkSize;
    const ByteCount end = std::min(start + analytics.chunkSize, totalSize);
    if (end > start) analytics.rangesToRead.push_back({start, end});
  }
  return analytics;
}

bool FileRangeAnalytics::readsWholeFile() const {
  return static_cast<ByteCount>(rangesToRead.size()) * chunkSize >= totalSize;
}

namespace {

// Looking SHA-1 up in the providers, and making a context, cost more than digesting a small
// file: the algorithm is fetched once, and each thread keeps a spare context to reuse.
const EVP_MD* sha1Algorithm() {
  static EVP_MD* algorithm = EVP_MD_fetch(nullptr, "SHA1", nullptr);
  return algorithm;
}

struct SpareContext {
  EVP_MD_CTX* context = nullptr;
  ~SpareContext() { EVP_MD_CTX_free(context); }
};
thread_local SpareContext spareContext;

EVP_MD_CTX* takeContext() {
  EVP_MD_CTX* context = std::exchange(spareContext.context, nullptr);
  return context != nullptr ? context : EVP_MD_CTX_new();
}

void giveBackContext(EVP_MD_CTX* context) {
  if (spareContext.context == nullptr) {
    spareContext.context = context;
  } else {
    EVP_MD_CTX_free(context);
  }
}

}  // namespace

ZKExactHashingHelper::ZKExactHashingHelper()
    : context_(sha1Algorithm() != nullptr ? takeContext() : nullptr) {
  if (context_ != nullptr && EVP_DigestInit_ex2(context_, sha1Algorithm(), nullptr) != 1) {
    EVP_MD_CTX_free(context_);
    context_ = nullptr;
  }
}

ZKExactHashingHelper::~ZKExactHashingHelper() {
  if (context_ != nullptr) giveBackContext(context_);
}

void ZKExactHashingHelper::updateWithBuffer(const void* data, size_t size) {
  assert(isValid() && "Attempt to use invalid ZKExactHashingHelper");
  EVP_DigestUpdate(context_, data, size);
}

std::array<std::uint8_t, 20> ZKExactHashingHelper::buildDigest() {
  assert(isValid() && "Attempt to use invalid ZKExactHashingHelper");
  std::array<std::uint8_t, 20> digest{};
  unsigned int length = 0;
  EVP_DigestFinal_ex(context_, digest.data(), &length);
  giveBackContext(context_);
  context_ = nullptr;
  return digest;
}

namespace {

// A hashing thread's read buffer, made on first use and not zeroed: a page of it costs memory
// only once a read fills it, so the small files of most scans touch the first pages only (a
// zeroed megabyte per buffer, two per thread, was up to 20 MB over a scan's threads).
class ReadBuffer {
 public:
  explicit ReadBuffer(size_t size) : size_(size) {}
  [[nodiscard]] std::span<char> span() {
    if (!data_) data_ = std::make_unique_for_overwrite<char[]>(size_);
    return {data_.get(), size_};
  }

 private:
  size_t size_;
  std::unique_ptr<char[]> data_;
};

// One for the file read, one for the twin beside it; a fresh megabyte per file cost a
// page-faulting mmap each.
thread_local ReadBuffer contentBuffer(kReadBufferSize);
thread_local ReadBuffer twinBuffer(kReadBufferSize + 1);

// A file read beside the digested one, to learn whether it holds the same bytes. It stops
// comparing (and reading) at the first difference, or when it cannot be read.
class TwinComparison {
 public:
  TwinComparison() = default;
  // `modified`: when given, a twin modified at another time is not equal (it is a file whose
  // digest is known from before, and may have changed since).
  TwinComparison(const std::string& path, ByteCount size,
                 std::optional<Date> modified = std::nullopt)
      : fd_(openFileForContentReading(path)) {
    const auto state = regularFileStateOf(fd_, path);
    isEqual_ = state.hasValue() && state.value().size == size &&
               (!modified || state.value().modified == *modified);
  }
  [[nodiscard]] bool isEqual() const { return isEqual_; }

  // The digested file holds `data` at `offset`; `readsPastEnd` asks the twin for one more byte,
  // as the digested file was, to see that it has no more.
  void compare(const char* data, size_t length, ByteCount offset, bool readsPastEnd) {
    if (!isEqual_) return;
    const std::span<char> buffer = twinBuffer.span();
    const ssize_t got = readAt(fd_.get(), buffer.data(), length + (readsPastEnd ? 1 : 0), offset);
    isEqual_ = got == static_cast<ssize_t>(length) && std::memcmp(buffer.data(), data, length) == 0;
  }

 private:
  UniqueFd fd_;
  bool isEqual_ = false;
};

bool isCancelled(const std::shared_ptr<const CancellationToken>& cancellation) {
  return cancellation && cancellation->isCancelled();
}

// False with errno set on failure or a short file; with ECANCELED when cancelled between blocks.
bool digestRange(int fd, ByteRange range, ZKExactHashingHelper* digest, std::span<char> buffer,
                 TwinComparison* twin = nullptr,
                 const std::shared_ptr<const CancellationToken>& cancellation = nullptr) {
  for (ByteCount offset = range.start; offset < range.end;) {
    if (isCancelled(cancellation)) {
      errno = ECANCELED;
      return false;
    }
    const size_t want = static_cast<size_t>(
        std::min<ByteCount>(range.end - offset, static_cast<ByteCount>(buffer.size())));
    const ssize_t got = readAt(fd, buffer.data(), want, offset);
    if (got < 0) return false;
    if (got == 0) {
      errno = ESTALE;  // the file became shorter while it was read
      return false;
    }
    if (digest != nullptr) digest->updateWithBuffer(buffer.data(), static_cast<size_t>(got));
    if (twin != nullptr) twin->compare(buffer.data(), static_cast<size_t>(got), offset, false);
    offset += got;
  }
  return true;
}

// Reads the file's sampled ranges into its digest and beside the twin; `digests` false only
// compares them (the digest returned is then empty).
Result<ExactFileHash> readSampledContent(const ExactFileHashingServiceRequest& request,
                                         TwinComparison& twin, bool digests = true) {
  ByteCount size = request.exactFileSize.value_or(0);
  if (!request.exactFileSize) {
    const auto state = regularFileStateOf(request.url);
    if (state.hasValue()) size = state.value().size;
  }
  auto analytics = FileRangeAnalytics::make(request.url, request.chunksPerFile,
                                            request.chunkSizeMultiplier, size);
  if (!analytics)
    return FileServicesError::make(FileServicesError::hashingFailedForUnknownReason, request.url);
  const bool partial = !analytics->readsWholeFile();
  auto session = DiskAccessManager::shared().beginAccessingURL(
      request.url,
      partial ? "calculatePartialExactFileHash(_:analytics:)" : "calculateFullExactFileHash(_:)",
      request.priority);
  if (!session)
    return FileServicesError::make(FileServicesError::exactHashingFailedToGainAccess, request.url);

  const auto changed = [&] {
    return FileServicesError::make(FileServicesError::exactHashingFailedToAnalyze, request.url)
        .withUnderlying("the file changed since it was listed");
  };
  const auto failedToRead = [&] {
    return FileServicesError::make(FileServicesError::exactHashingFailedToRead, request.url)
        .withUnderlying(Error::posix(errno).description);
  };
  const UniqueFd fd = openFileForContentReading(request.url);
  if (!fd.isValid()) return failedToRead();
  std::optional<ZKExactHashingHelper> digest;
  if (digests && !digest.emplace().isValid()) {
    return FileServicesError::make(FileServicesError::hashingFailedForUnknownReason, request.url);
  }
  ZKExactHashingHelper* sink = digest ? &*digest : nullptr;
  const std::span<char> buffer = contentBuffer.span();
  if (!partial && size < static_cast<ByteCount>(buffer.size())) {
    // Most files are small: asking for one byte more than the listed size shows in the same
    // read whether the file is still that long, without a stat. (Something else put in its
    // place cannot be read like this: a folder or FIFO fails, a device gives too many bytes.)
    const ssize_t got = readAt(fd.get(), buffer.data(), static_cast<size_t>(size) + 1, 0);
    if (got < 0) return failedToRead();
    if (got != size) return changed();
    if (sink != nullptr) sink->updateWithBuffer(buffer.data(), static_cast<size_t>(got));
    twin.compare(buffer.data(), static_cast<size_t>(got), 0, true);
  } else {
    const auto state = regularFileStateOf(fd, request.url);
    if (!state.hasValue() || state.value().size != size) return changed();
    const std::vector<ByteRange> wholeFile = {{0, size}};
    for (const ByteRange& range : partial ? analytics->rangesToRead : wholeFile) {
      if (!digestRange(fd.get(), range, sink, buffer, &twin, request.cancellation)) {
        return errno == ECANCELED ? Error::cancelled() : failedToRead();
      }
    }
  }
  session->endAccessing();
  return ExactFileHash{sink != nullptr ? sink->buildDigest() : std::array<std::uint8_t, 20>{},
                       size};
}

}  // namespace

Result<ExactFileHash> calculateExactFileHash(const ExactFileHashingServiceRequest& request) {
  TwinComparison noTwin;
  return readSampledContent(request, noTwin);
}

Result<bool> hasSampledContentOf(const ExactFileHashingServiceRequest& request,
                                 const std::string& referencePath, Date referenceModified) {
  TwinComparison reference(referencePath, request.exactFileSize.value_or(-1), referenceModified);
  ZK_TRY(readSampledContent(request, reference, false));
  return reference.isEqual();
}

Result<TwinDigest> calculateExactFileHashWithTwin(const ExactFileHashingServiceRequest& request,
                                                  const std::string& twinPath) {
  TwinComparison twin(twinPath, request.exactFileSize.value_or(-1));
  ZK_ASSIGN_OR_RETURN(ExactFileHash hash, readSampledContent(request, twin));
  return TwinDigest{hash, twin.isEqual()};
}

Result<std::uint64_t> calculateContentPrefixHash(const std::string& path, ByteCount expectedSize,
                                                 QualityOfService priority,
                                                 std::optional<FileState>* opened) {
  auto session = DiskAccessManager::shared().beginAccessingURL(
      path, "calculateContentPrefixHash(_:)", priority);
  if (!session)
    return FileServicesError::make(FileServicesError::exactHashingFailedToGainAccess, path);
  const UniqueFd fd = openFileForContentReading(path);
  if (!fd.isValid()) {
    return FileServicesError::make(FileServicesError::exactHashingFailedToRead, path)
        .withUnderlying(Error::posix(errno).description);
  }
  if (opened != nullptr) {
    if (auto state = regularFileStateOf(fd, path); state.hasValue()) *opened = state.value();
  }
  const auto length = static_cast<size_t>(std::min(expectedSize, kContentPrefixSize));
  std::array<char, kContentPrefixSize> block{};
  const ssize_t got = readAt(fd.get(), block.data(), length, 0);
  if (got < 0) {
    return FileServicesError::make(FileServicesError::exactHashingFailedToRead, path)
        .withUnderlying(Error::posix(errno).description);
  }
  session->endAccessing();
  if (static_cast<size_t>(got) != length) {
    return FileServicesError::make(FileServicesError::exactHashingFailedToAnalyze, path)
        .withUnderlying("the file changed since it was listed");
  }
  return static_cast<std::uint64_t>(
      std::hash<std::string_view>()(std::string_view(block.data(), length)));
}

Result<ExactFileHash> calculateExactAudioHash(
    const std::string& path, const std::shared_ptr<const CancellationToken>& cancellation,
    QualityOfService priority) {
  auto session =
      DiskAccessManager::shared().beginAccessingURL(path, "calculateExactAudioHash(_:)", priority);
  if (!session)
    return FileServicesError::make(FileServicesError::exactAudioHashingFailedToGainAccess, path);
  const UniqueFd fd = openFileForContentReading(path);
  const auto state = regularFileStateOf(fd, path);
  if (!state.hasValue()) {
    return FileServicesError::make(FileServicesError::exactAudioHashingFailedToOpen, path);
  }
  const ByteReader read = [&fd](std::int64_t offset, void* buffer,
                                std::int64_t length) -> std::int64_t {
    return readAt(fd.get(), buffer, static_cast<size_t>(length), offset);
  };
  const auto audio = locateAudioData(read, state.value().size);
  if (!audio)
    return FileServicesError::make(FileServicesError::exactAudioHashingFailedToFetchContentSize,
                                   path);
  // Sampled like files, in chunks of 4 MiB of audio data; WAV data whole.
  auto analytics = FileRangeAnalytics::make(path, 4, 4, audio->length);
  if (!analytics)
    return FileServicesError::make(FileServicesError::exactAudioHashingFailedToAnalyze, path);
  ZKExactHashingHelper digest;
  if (!digest.isValid())
    return FileServicesError::make(FileServicesError::hashingFailedForUnknownReason, path);
  const std::span<char> buffer = contentBuffer.span();
  for (const ByteRange& range : analytics->rangesToRead) {
    if (!digestRange(fd.get(), {audio->offset + range.start, audio->offset + range.end}, &digest,
                     buffer, nullptr, cancellation)) {
      if (errno == ECANCELED) return Error::cancelled();
      return FileServicesError::make(FileServicesError::exactAudioHashingFailedToRead, path)
          .withUnderlying(Error::posix(errno).description);
    }
  }
  session->endAccessing();
  return ExactFileHash{digest.buildDigest(), audio->length};
}

ExactFileHashingServiceRequest exactHashingRequest(
    const MatchingNode& node, std::shared_ptr<const CancellationToken> cancellation,
    QualityOfService priority) {
  ExactFileHashingServiceRequest request;
  request.priority = priority;
  request.url = node.path();
  request.exactFileSize = node.attributes().exactSize;
  request.cancellation = std::move(cancellation);
  return request;
}

ByteCount sampledDigestReadSize(std::string_view path, ByteCount size) {
  const auto analytics = FileRangeAnalytics::make(path, 4, 1, size);
  if (!analytics) return size;
  ByteCount total = 0;
  for (const ByteRange& range : analytics->rangesToRead) total += range.end - range.start;
  return total;
}

Result<EquivalenceInfoPtr> ExactHashCalculator::createEquivalenceInfo(
    MatchingNode& node, HashKind kind, const std::shared_ptr<const CancellationToken>& cancellation,
    QualityOfService priority) {
  if (kind == HashKind::exactAudioContent) {
    ZK_ASSIGN_OR_RETURN(ExactFileHash hash,
                        calculateExactAudioHash(node.path(), cancellation, priority));
    node.setExactFileHash(hash);
    return EquivalenceInfoPtr(std::make_shared<ExactAudioHashEquivalenceInfo>(hash));
  }
  ZK_ASSIGN_OR_RETURN(ExactFileHash hash,
                      calculateExactFileHash(exactHashingRequest(node, cancellation, priority)));
  node.setExactFileHash(hash);
  return EquivalenceInfoPtr(std::make_shared<ExactHashEquivalenceInfo>(hash));
}

Result<EquivalenceInfoPtr> ExactHashCalculator::createEquivalenceInfoWithTwin(
    MatchingNode& node, MatchingNode& twin, EquivalenceInfoPtr& twinInfo,
    const std::shared_ptr<const CancellationToken>& cancellation, QualityOfService priority) {
  ZK_ASSIGN_OR_RETURN(TwinDigest digest,
                      calculateExactFileHashWithTwin(
                          exactHashingRequest(node, cancellation, priority), twin.path()));
  node.setExactFileHash(digest.hash);
  auto info = std::make_shared<ExactHashEquivalenceInfo>(digest.hash);
  if (digest.twinIsEqual) {
    twin.setExactFileHash(digest.hash);
    twinInfo = info;
  }
  return EquivalenceInfoPtr(info);
}

ByteCount ThresholdEvaluator::automaticThreshold(std::vector<ByteCount> sizes, double fraction) {
  assert(!sizes.empty());
  std::sort(sizes.begin(), sizes.end());
  std::vector<std::pair<ByteCount, std::int64_t>> sizeAndCount;
  for (ByteCount size : sizes) {
    if (!sizeAndCount.empty() && sizeAndCount.back().first == size) {
      ++sizeAndCount.back().second;
    } else {
      sizeAndCount.emplace_back(size, 1);
    }
  }
  double totalSize = 0;
  double totalCount = 0;
  for (const auto& [size, count] : sizeAndCount) {
    totalSize += static_cast<double>(size) * static_cast<double>(count);
    totalCount += static_cast<double>(count);
  }
  std::vector<double> difference;  // sizeFraction − countFraction per distinct size
  double runningSize = 0;
  double runningCount = 0;
  size_t k = 0;
  bool found = false;
  for (size_t i = 0; i < sizeAndCount.size(); ++i) {
    runningSize +=
        static_cast<double>(sizeAndCount[i].first) * static_cast<double>(sizeAndCount[i].second);
    runningCount += static_cast<double>(sizeAndCount[i].second);
    const double sizeFraction = totalSize > 0 ? 1.0 - runningSize / totalSize : 0.0;
    const double countFraction = 1.0 - runningCount / totalCount;
    difference.push_back(sizeFraction - countFraction);
    if (sizeFraction >= 1.0 - fraction) {
      k = i;
      found = true;
    }
  }
  if (!found) k = 0;
  size_t answer = 0;
  if (k > 1) {
    size_t lo = 0;
    size_t hi = k;
    size_t mid = k / 2;
    for (;;) {
      const size_t a = (lo + mid) / 2;
      const size_t b = (mid + hi - 1) / 2;
      if (difference[a] >= difference[b]) {
        hi = mid;
        mid = a;
      } else {
        lo = mid;
        mid = b;
        hi = hi - 1;
      }
      if (mid == lo || mid == hi) break;
    }
    answer = lo;
  }
  return sizeAndCount[answer].first;
}

}  // namespace zarnik
