#include "matching/digest_cache.h"

#include "base/path_components.h"
#include "matching/internal/digest_cache_file.h"
#include "matching/internal/digest_cache_pending.h"
#include "platform/mounts.h"
#include "platform/xdg_directories.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <utility>

namespace zarnik {

using digest_cache::CacheReader;
using digest_cache::CacheWriter;
using digest_cache::PendingRecords;
using digest_cache::RecordBatch;
using digest_cache::StoredEntry;

namespace {

constexpr std::string_view kAuthor = "DigestCache";
constexpr std::int64_t kSecondsPerDay = 86400;

std::int64_t dayOf(Date date) {
  return std::chrono::floor<std::chrono::seconds>(date).time_since_epoch().count() / kSecondsPerDay;
}

Logger& loggerOf(const DigestCacheOptions& options) {
  return options.logger != nullptr ? *options.logger : Logger::shared();
}

DigestCacheOptions completed(DigestCacheOptions options) {
  if (!options.now) options.now = dateNow;
  options.maximumEntries = std::max<std::int64_t>(options.maximumEntries, 1);
  options.recordsPerTransaction = std::max<size_t>(options.recordsPerTransaction, 1);
  return options;
}

void logWithCause(Logger& logger, std::string_view function, std::string_view message,
                  const std::string& path, const Error& cause) {
  LogContext context = LogContext::at(path);
  context.underlyingError = cause.oneLine();
  logger.log(kAuthor, function, message, context);
}

// A file that is damaged, not a cache or of a newer format is replaced by an empty cache.
Result<std::unique_ptr<CacheWriter>> openReplacingDamaged(const DigestCacheOptions& options) {
  auto writer = CacheWriter::open(options.path, options.busyTimeout, options.maximumEntries);
  if (writer.hasValue() || !digest_cache::isDamage(writer.error())) return writer;
  ZK_TRY(SqliteDatabase::removeFiles(options.path));
  logWithCause(loggerOf(options), "open(options:)",
               "The digest cache could not be used; removed it and started an empty one",
               options.path, writer.error());
  return CacheWriter::open(options.path, options.busyTimeout, options.maximumEntries);
}

}  // namespace

// --- values

void DigestCacheValues::mergeFrom(const DigestCacheValues& newer) {
  if (newer.contentPrefixHash) contentPrefixHash = newer.contentPrefixHash;
  if (newer.sampledDigest) sampledDigest = newer.sampledDigest;
  if (newer.audioDigest) audioDigest = newer.audioDigest;
  if (!newer.picture) return;
  if (!newer.picture->hashesIncluded && picture && picture->hashesIncluded) {
    auto merged = std::make_shared<CachedPictureFacts>(*picture);
    merged->facts.info = newer.picture->facts.info;
    picture = std::move(merged);
    return;
  }
  picture = newer.picture;
}

bool DigestCacheValues::isEmpty() const {
  return !contentPrefixHash && !sampledDigest && !audioDigest && !picture;
}

// --- the switch

class DigestCache::Switch {
 public:
  Switch(bool on, Logger& logger, std::string path)
      : on_(on), logger_(logger), path_(std::move(path)) {}

  [[nodiscard]] bool isOn() const { return on_.load(std::memory_order_acquire); }

  // Once: the cache is off for the rest of the run. A damaged file is removed, so that the next
  // run starts an empty one instead of failing on it again.
  void turnOff(const Error& error, std::string_view function) {
    if (!on_.exchange(false, std::memory_order_acq_rel)) return;
    const bool damaged = digest_cache::isDamage(error);
    if (damaged) (void)SqliteDatabase::removeFiles(path_);
    logWithCause(
        logger_, function,
        damaged ? "The digest cache is damaged; it is off for this run and removed for the next"
                : "The digest cache failed; it is off for the rest of this run",
        path_, error);
  }

  void logUnsaved(const std::string& tablePath, const Error& error) {
    const bool busy = error.domain == kPosixErrorDomain && error.code == EWOULDBLOCK;
    logWithCause(logger_, "flush()",
                 busy ? "Another scan was saving the digests of small files for too long; those "
                        "this run learnt are not kept"
                      : "The digests of small files this run learnt could not be kept",
                 tablePath, error);
  }

  void logDropped(size_t records, const Error& error) {
    logWithCause(logger_, "flush()",
                 fmt::format("The digest cache was busy with another scan; {} {} not kept", records,
                             records == 1 ? "record was" : "records were"),
                 path_, error);
  }

 private:
  std::atomic<bool> on_;
  Logger& logger_;
  const std::string path_;
};

namespace {

void writeBatch(CacheWriter& writer, DigestCache::Switch& cacheSwitch, const RecordBatch& batch,
                std::int64_t day) {
  if (!cacheSwitch.isOn()) return;
  auto written = writer.write(batch.records, day);
  if (written.hasValue()) return;
  // Another scan holding the file past the busy timeout costs this batch, not the cache.
  if (SqliteDatabase::isBusy(written.error())) {
    cacheSwitch.logDropped(batch.records.size(), written.error());
  } else {
    cacheSwitch.turnOff(written.error(), "flush()");
  }
}

void saveSmallFiles(SmallFileDigestTable* table, DigestCache::Switch& cacheSwitch,
                    const DigestCacheOptions& options) {
  if (table == nullptr) return;
  auto saved = table->save(options.maximumSmallFileEntries, options.busyTimeout);
  if (saved.hasError()) cacheSwitch.logUnsaved(table->path(), saved.error());
}

}  // namespace

// --- opening

std::string DigestCache::defaultPath() {
  return appendingPathComponent(xdg::zarnikCacheDirectory(), "digests.db");
}

std::string DigestCache::smallFileTablePath(const std::string& path) {
  return path + "-small-files";
}

Result<std::shared_ptr<DigestCache>> DigestCache::open(DigestCacheOptions options) {
  options = completed(std::move(options));
  ZK_TRY(xdg::makeDirectories(parentPath(options.path)));
  ZK_ASSIGN_OR_RETURN(std::shared_ptr<CacheWriter> writer, openReplacingDamaged(options));
  ZK_ASSIGN_OR_RETURN(const std::int64_t entries, writer->entryCount());
  auto cacheSwitch = std::make_shared<Switch>(true, loggerOf(options), options.path);
  std::shared_ptr<SmallFileDigestTable> smallFiles = SmallFileDigestTable::load(
      smallFileTablePath(options.path), [now = options.now] { return dayOf(now()); },
      loggerOf(options));
  std::shared_ptr<DigestCache> cache(new DigestCache(
      std::move(options), std::move(writer), std::move(cacheSwitch), std::move(smallFiles)));
  // A smaller maximum than the last run's: pruned by an empty write, off the caller's thread.
  if (entries > cache->options_.maximumEntries) cache->writeSoon(cache->pending_->close());
  return cache;
}

std::shared_ptr<DigestCache> DigestCache::openOrDisabled(DigestCacheOptions options) {
  Logger& logger = loggerOf(options);
  const std::string path = options.path;
  auto opened = open(std::move(options));
  if (opened.hasValue()) return std::move(opened).value();
  logWithCause(logger, "open(options:)",
               "The digest cache cannot be opened; this run goes without it", path, opened.error());
  return disabled();
}

std::shared_ptr<DigestCache> DigestCache::disabled() {
  DigestCacheOptions options = completed({});
  auto cacheSwitch = std::make_shared<Switch>(false, loggerOf(options), std::string());
  return std::shared_ptr<DigestCache>(
      new DigestCache(std::move(options), nullptr, std::move(cacheSwitch), nullptr));
}

DigestCache::DigestCache(DigestCacheOptions options, std::shared_ptr<CacheWriter> writer,
                         std::shared_ptr<Switch> cacheSwitch,
                         std::shared_ptr<SmallFileDigestTable> smallFiles)
    : options_(std::move(options)),
      switch_(std::move(cacheSwitch)),
      writer_(std::move(writer)),
      pending_(std::make_shared<PendingRecords>(options_.recordsPerTransaction)),
      queue_(SerialQueue::make("digest-cache.internal-queue")),
      smallFiles_(std::move(smallFiles)) {}

DigestCache::~DigestCache() {
  if (!writer_) return;
  // The last task closes the writer's connection before the cache is gone, so that the file is
  // whole for whoever opens it next. Earlier tasks let go of it as they ended.
  (void)makeFuture(*queue_, [writer = std::move(writer_), cacheSwitch = switch_,
                             batch = pending_->close(), day = today(), smallFiles = smallFiles_,
                             options = options_]() mutable {
    if (!batch->records.empty()) writeBatch(*writer, *cacheSwitch, *batch, day);
    saveSmallFiles(smallFiles.get(), *cacheSwitch, options);
    writer.reset();
    return Void{};
  }).wait();
}

bool DigestCache::isEnabled() const { return switch_->isOn(); }

std::int64_t DigestCache::today() const { return dayOf(options_.now()); }

// --- lookups

std::optional<DigestCacheValues> DigestCache::lookup(const DigestCacheKey& key) {
  return std::move(lookupMany(std::span(&key, 1)).front());
}

std::vector<std::optional<DigestCacheValues>> DigestCache::lookupMany(
    std::span<const DigestCacheKey> keys) {
  std::vector<std::optional<DigestCacheValues>> found(keys.size());
  if (keys.empty() || !isEnabled()) return found;
  // Records first, the file next: a batch written in between is in the file when it is read.
  const auto waiting = pending_->find(keys);
  auto stored = readStored(keys);
  if (stored.hasError()) {
    switch_->turnOff(stored.error(), "lookupMany(keys:)");
    return found;
  }
  const std::int64_t day = today();
  std::vector<DigestCacheKey> stale;
  for (size_t i = 0; i < keys.size(); ++i) {
    const auto& entry = stored.value()[i];
    const bool hit = entry && entry->key == keys[i];
    if (hit) found[i] = entry->values;
    if (const auto& recorded = waiting.values[i]) {
      if (!found[i]) found[i].emplace();
      found[i]->mergeFrom(*recorded);
    }
    // Refreshed once a day at most: a rescan the same day writes nothing.
    if (hit && !waiting.hasRecord[i] && entry->lastUsedDay < day) stale.push_back(keys[i]);
  }
  if (!stale.empty()) {
    if (auto batch = pending_->touch(stale)) writeSoon(std::move(batch));
  }
  return found;
}

Result<std::vector<std::optional<StoredEntry>>> DigestCache::readStored(
    std::span<const DigestCacheKey> keys) {
  std::unique_ptr<CacheReader> reader;
  {
    std::lock_guard lock(readersMutex_);
    if (!idleReaders_.empty()) {
      reader = std::move(idleReaders_.back());
      idleReaders_.pop_back();
    }
  }
  // One connection per concurrent caller: as many as the pool has threads at most.
  if (!reader) {
    ZK_ASSIGN_OR_RETURN(reader, CacheReader::open(options_.path, options_.busyTimeout));
  }
  auto stored = reader->read(keys);
  if (stored.hasValue()) {
    std::lock_guard lock(readersMutex_);
    idleReaders_.push_back(std::move(reader));
  }
  return stored;
}

// --- small files

std::optional<SmallFileDigestTable::Known> DigestCache::lookupSmallFile(const DigestCacheKey& key) {
  if (!smallFiles_ || !isEnabled()) return std::nullopt;
  return smallFiles_->find(key);
}

bool DigestCache::keepsFilesOf(std::uint64_t device) {
  // Nearly every lookup of a scan is of the device before.
  if (lastKeptDevice_.load(std::memory_order_relaxed) == device) return true;
  std::lock_guard lock(devicesMutex_);
  auto known = std::find_if(devices_.begin(), devices_.end(),
                            [device](const auto& entry) { return entry.first == device; });
  if (known == devices_.end()) {
    static constexpr std::string_view kRenumbering[] = {"vfat", "msdos", "exfat", "fat", "umsdos"};
    bool keeps = true;
    for (const MountEntry& mount : readMountTable()) {
      const std::uint64_t id = (static_cast<std::uint64_t>(mount.major) << 32) | mount.minor;
      if (id == device && std::find(std::begin(kRenumbering), std::end(kRenumbering),
                                    mount.fileSystemType) != std::end(kRenumbering)) {
        keeps = false;
      }
    }
    known = devices_.emplace(devices_.end(), device, keeps);
  }
  if (known->second) lastKeptDevice_.store(device, std::memory_order_relaxed);
  return known->second;
}

bool DigestCache::knowsSmallFiles() const {
  return smallFiles_ && isEnabled() && !smallFiles_->isEmpty();
}

void DigestCache::recordSmallFile(const DigestCacheKey& key,
                                  const SmallFileDigestTable::Known& known) {
  if (smallFiles_ && isEnabled()) smallFiles_->record(key, known);
}

// --- records

void DigestCache::record(const DigestCacheKey& key, const DigestCacheValues& values) {
  if (values.isEmpty() || !isEnabled()) return;
  if (auto batch = pending_->add(key, values)) writeSoon(std::move(batch));
}

void DigestCache::recordContentPrefixHash(const DigestCacheKey& key, std::uint64_t prefixHash) {
  DigestCacheValues values;
  values.contentPrefixHash = prefixHash;
  record(key, values);
}

void DigestCache::recordSampledDigest(const DigestCacheKey& key, const ExactFileHash& digest) {
  DigestCacheValues values;
  values.sampledDigest = digest;
  record(key, values);
}

void DigestCache::recordAudioDigest(const DigestCacheKey& key, const ExactFileHash& digest) {
  DigestCacheValues values;
  values.audioDigest = digest;
  record(key, values);
}

void DigestCache::recordPicture(const DigestCacheKey& key, const ImageFacts& facts,
                                bool hashesIncluded) {
  DigestCacheValues values;
  values.picture =
      std::make_shared<const CachedPictureFacts>(CachedPictureFacts{facts, hashesIncluded});
  record(key, values);
}

// --- writing

void DigestCache::writeSoon(std::shared_ptr<const RecordBatch> batch) {
  queue_->async([writer = writer_, cacheSwitch = switch_, pending = pending_,
                 batch = std::move(batch), day = today()] {
    writeBatch(*writer, *cacheSwitch, *batch, day);
    pending->finished(batch.get());
  });
}

Future<Void> DigestCache::flush() {
  if (!writer_) return makeSucceededFuture(Void{});
  return makeFuture(*queue_, [writer = writer_, cacheSwitch = switch_, pending = pending_,
                              batch = pending_->close(), day = today(), smallFiles = smallFiles_,
                              options = options_] {
    if (!batch->records.empty()) writeBatch(*writer, *cacheSwitch, *batch, day);
    pending->finished(batch.get());
    saveSmallFiles(smallFiles.get(), *cacheSwitch, options);
    return Void{};
  });
}

}  // namespace zarnik
