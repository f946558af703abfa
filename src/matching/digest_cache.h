// DigestCache: what scans learnt of files' contents, kept between runs in
// $XDG_CACHE_HOME/zarnik/digests.db, so that a rescan of an unchanged tree reads almost nothing.
//
// An entry belongs to one file, found by (device, inode), and holds whatever the scans learnt of
// it: the first-block fingerprint, the sampled digest, the audio-data digest, a picture's facts
// and perceptual hashes, each recorded on its own. It is used only while every field of its key
// still matches: size, modification time and change time as well. A file rewritten in place
// with its old size and its modification time set back still has a new change time, and misses.
//
// Threads: `lookup`, `lookupMany`, the `record` calls and `flush` may be called from any thread
// at once. Lookups read through a small pool of read connections (one per concurrent caller,
// kept for reuse). Records are kept in memory and written by the cache's own serial queue in one
// transaction per `recordsPerTransaction` records and at `flush()`; hits refresh an entry's
// last-used day in the same writes, at most once a day. Lookups see what was recorded and not
// yet written.
//
// Failures never fail a scan: a cache file that is damaged, not a cache, or of a newer format is
// removed when opened and an empty one is started, with one line in the log. Any failure of
// SQLite later turns the cache off for the rest of the run with one line in the log (lookups
// then miss, records are dropped); a file found damaged then is removed, to be rebuilt by the
// next run. A write that finds the file locked by another scan past the busy timeout is dropped.
//
// Two processes may share the file (write-ahead logging, busy timeout): both see correct
// entries and the file stays consistent.
//
// Files smaller than 64 KiB keep their first block's fingerprint and digest in a table of their
// own beside the file (SmallFileDigestTable, read whole when the cache opens and saved by
// `flush()`), where a lookup costs no more than a search in memory: a database row costs what
// reading such a file does.
//
// Size: at most `maximumEntries` entries; past that the least recently used are removed (down to
// nine tenths of the maximum, so that pruning is rare) when the cache is opened and after writes.
#pragma once

#include "base/date.h"
#include "base/result.h"
#include "foundation/future.h"
#include "foundation/logger.h"
#include "foundation/serial_queue.h"
#include "matching/digest_cache_values.h"
#include "matching/small_file_digest_table.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zarnik {

namespace digest_cache {
class CacheReader;
class CacheWriter;
class PendingRecords;
struct RecordBatch;
struct StoredEntry;
}  // namespace digest_cache

struct DigestCacheOptions {
  std::string path;  // the cache file; DigestCache::defaultPath() for scans
  std::int64_t maximumEntries = 2'000'000;
  std::int64_t maximumSmallFileEntries = 1'000'000;  // 80 bytes each, in memory while open
  size_t recordsPerTransaction = 4096;
  // How long a write waits for another scan's transaction before its records are dropped.
  std::chrono::milliseconds busyTimeout{5000};
  std::function<Date()> now;  // the wall clock; dateNow when empty
  Logger* logger = nullptr;   // Logger::shared() when null
};

class DigestCache {
 public:
  // $XDG_CACHE_HOME/zarnik/digests.db
  [[nodiscard]] static std::string defaultPath();
  // The table of small files' digests beside the cache file at `path`.
  [[nodiscard]] static std::string smallFileTablePath(const std::string& path);
  // Opens the cache file, making its folder and the file when missing, and replacing a damaged
  // one with an empty cache (logged). Fails only when no working cache can be had: the folder
  // or file cannot be made or opened, or another scan holds it locked past the busy timeout.
  [[nodiscard]] static Result<std::shared_ptr<DigestCache>> open(DigestCacheOptions options);
  // The same, but a failure is logged and gives the disabled cache.
  [[nodiscard]] static std::shared_ptr<DigestCache> openOrDisabled(DigestCacheOptions options);
  // A cache that knows nothing and keeps nothing (`--no-cache`).
  [[nodiscard]] static std::shared_ptr<DigestCache> disabled();

  // Writes what was recorded, closes the file and waits for both: the next opening, in this
  // process or another, finds the file whole. Destroy it off the shared pool, where its owner
  // lets go of it: its queue needs a pool thread to finish.
  ~DigestCache();
  DigestCache(const DigestCache&) = delete;
  DigestCache& operator=(const DigestCache&) = delete;

  // False for the disabled cache and once a failure turned the cache off.
  [[nodiscard]] bool isEnabled() const;

  // The values stored for the key's file when the entry's key matches in every field.
  [[nodiscard]] std::optional<DigestCacheValues> lookup(const DigestCacheKey& key);
  // One answer per key, in order, read in one transaction (a scan works in batches of 16).
  [[nodiscard]] std::vector<std::optional<DigestCacheValues>> lookupMany(
      std::span<const DigestCacheKey> keys);

  // Adds what was learnt to the file's entry. An entry of another key (the file changed) is
  // replaced. Whether a file changed too recently to be kept is the reader's to decide: only
  // it knows when it began to read.
  void record(const DigestCacheKey& key, const DigestCacheValues& values);
  void recordContentPrefixHash(const DigestCacheKey& key, std::uint64_t prefixHash);
  void recordSampledDigest(const DigestCacheKey& key, const ExactFileHash& digest);
  void recordAudioDigest(const DigestCacheKey& key, const ExactFileHash& digest);
  void recordPicture(const DigestCacheKey& key, const ImageFacts& facts, bool hashesIncluded);

  // Files the table of small files holds (SmallFileDigestTable::holds) have their first
  // block's fingerprint and digest kept there, and nothing else of them.
  [[nodiscard]] std::optional<SmallFileDigestTable::Known> lookupSmallFile(
      const DigestCacheKey& key);
  void recordSmallFile(const DigestCacheKey& key, const SmallFileDigestTable::Known& known);
  // Whether any small file is known (else there is nothing to look up for them).
  [[nodiscard]] bool knowsSmallFiles() const;
  // Whether files of the device keep their inode numbers from one mount to the next. FAT and
  // exFAT hand numbers out afresh at each mount, and their times are coarse: another file could
  // show a cached file's whole key. Their files are neither looked up nor kept.
  [[nodiscard]] bool keepsFilesOf(std::uint64_t device);

  // Completes when everything recorded before the call is written (or dropped); never fails.
  Future<Void> flush();

  class Switch;  // on until a failure turns the cache off, shared with the write queue's tasks

 private:
  DigestCache(DigestCacheOptions options, std::shared_ptr<digest_cache::CacheWriter> writer,
              std::shared_ptr<Switch> cacheSwitch,
              std::shared_ptr<SmallFileDigestTable> smallFiles);
  Result<std::vector<std::optional<digest_cache::StoredEntry>>> readStored(
      std::span<const DigestCacheKey> keys);
  void writeSoon(std::shared_ptr<const digest_cache::RecordBatch> batch);
  [[nodiscard]] std::int64_t today() const;

  const DigestCacheOptions options_;
  const std::shared_ptr<Switch> switch_;
  // Used only by the tasks of queue_, which keep it alive until they have run; the last one,
  // queued by the destructor, takes it.
  std::shared_ptr<digest_cache::CacheWriter> writer_;
  const std::shared_ptr<digest_cache::PendingRecords> pending_;
  const std::shared_ptr<SerialQueue> queue_;
  // Saved by the tasks of queue_; null for the disabled cache.
  const std::shared_ptr<SmallFileDigestTable> smallFiles_;

  std::atomic<std::uint64_t> lastKeptDevice_{~std::uint64_t{0}};
  std::mutex devicesMutex_;
  std::vector<std::pair<std::uint64_t, bool>> devices_;  // under devicesMutex_

  std::mutex readersMutex_;
  std::vector<std::unique_ptr<digest_cache::CacheReader>> idleReaders_;  // under readersMutex_
};

}  // namespace zarnik
